#pragma once
// A one-page PDF that tries to run script in a viewer that compiles font glyphs into code: its
// embedded TrueType font has no units per em (so a glyph's transform is the font dictionary's
// /FontMatrix) and that matrix ends in a text that closes the call and goes on as a script. Its
// glyph is drawn in the clipping text mode, which has the viewer build the glyph's outline. The
// page also shows a blue bar and a line of text: the document itself is harmless to draw.
#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

namespace qv::test {

namespace hostile_pdf_detail {

inline void put16(QByteArray& out, int value) {
    out.append(char((value >> 8) & 0xff));
    out.append(char(value & 0xff));
}
inline void put32(QByteArray& out, std::uint32_t value) {
    put16(out, int(value >> 16));
    put16(out, int(value & 0xffff));
}

// A TrueType font of two glyphs (.notdef, empty, and a triangle for "A") with unitsPerEm 0.
inline QByteArray fontWithoutUnitsPerEm() {
    QByteArray head;
    put32(head, 0x00010000);  // version
    put32(head, 0x00010000);  // revision
    put32(head, 0);           // checksum adjustment
    put32(head, 0x5F0F3CF5);  // magic
    put16(head, 0x000B);      // flags
    put16(head, 0);           // unitsPerEm: none, which lets the dictionary's matrix through
    head.append(16, '\0');    // created, modified
    for (int v : {0, 0, 1000, 1000, 0, 8, 2, 0, 0}) put16(head, v);  // box, style, ppem, hint, loca, glyf
    QByteArray hhea;
    put32(hhea, 0x00010000);
    for (int v : {800, -200, 0, 1000, 0, 0, 1000, 1, 0, 0, 0, 0, 0, 0, 0}) put16(hhea, v);
    put16(hhea, 2);  // numberOfHMetrics
    QByteArray maxp;
    put32(maxp, 0x00010000);
    for (int v : {2, 3, 1, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0}) put16(maxp, v);
    QByteArray hmtx;
    for (int v : {1000, 0, 1000, 0}) put16(hmtx, v);
    QByteArray glyf;
    for (int v : {1, 0, 0, 1000, 1000, 2, 0})
        put16(glyf, v);      // one contour, box, last point 2, no instructions
    glyf.append(3, '\x01');  // three points on the curve, 16-bit deltas
    for (int v : {0, 1000, -500, 0, 0, 1000}) put16(glyf, v);  // x deltas, then y deltas
    glyf.append('\0');
    QByteArray loca;
    for (int v : {0, 0, int(glyf.size() / 2)}) put16(loca, v);
    QByteArray cmap;
    for (int v : {0, 1, 1, 0}) put16(cmap, v);  // one subtable: Macintosh, Roman
    put32(cmap, 12);
    for (int v : {0, 262, 0}) put16(cmap, v);  // format 0
    QByteArray glyphIds(256, '\0');
    glyphIds['A'] = 1;
    cmap += glyphIds;
    QByteArray post;
    put32(post, 0x00030000);
    post.append(28, '\0');

    const QList<std::pair<const char*, QByteArray>> tables = {{"cmap", cmap}, {"glyf", glyf}, {"head", head},
                                                              {"hhea", hhea}, {"hmtx", hmtx}, {"loca", loca},
                                                              {"maxp", maxp}, {"post", post}};
    QByteArray font;
    put32(font, 0x00010000);
    for (int v : {int(tables.size()), 128, 3, int(tables.size()) * 16 - 128}) put16(font, v);
    std::uint32_t offset = 12 + 16 * std::uint32_t(tables.size());
    QByteArray body;
    for (const auto& [tag, data] : tables) {
        QByteArray padded = data;
        while (padded.size() % 4) padded.append('\0');
        std::uint32_t sum = 0;
        for (qsizetype i = 0; i < padded.size(); i += 4)
            sum += (std::uint32_t(std::uint8_t(padded[i])) << 24) |
                   (std::uint32_t(std::uint8_t(padded[i + 1])) << 16) |
                   (std::uint32_t(std::uint8_t(padded[i + 2])) << 8) |
                   std::uint32_t(std::uint8_t(padded[i + 3]));
        font.append(tag, 4);
        put32(font, sum);
        put32(font, offset + std::uint32_t(body.size()));
        put32(font, std::uint32_t(data.size()));
        body += padded;
    }
    return font + body;
}

}  // namespace hostile_pdf_detail

// The PDF whose glyph, once compiled into code, runs `script` (any statements; "(", ")" and "\"
// are escaped here for the PDF string).
inline QByteArray hostilePdf(const QString& script) {
    using namespace hostile_pdf_detail;
    QByteArray payload = "0); " + script.toUtf8() + "; (0";
    payload.replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)");
    const QByteArray font = fontWithoutUnitsPerEm();
    const QByteArray content =
        "0 0 1 rg 20 20 200 20 re f\n"
        "BT /F2 18 Tf 20 150 Td (A harmless page) Tj ET\n"
        "BT 7 Tr /F1 40 Tf 20 70 Td (A) Tj ET\n";
    const QList<QByteArray> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Resources << /Font << /F1 4 0 R /F2 7 0 R >> "
        ">> "
        "/Contents 5 0 R >>",
        "<< /Type /Font /Subtype /TrueType /BaseFont /Probe /FirstChar 65 /LastChar 65 /Widths [1000] "
        "/FontDescriptor 6 0 R /FontMatrix [1 2 3 4 5 (" +
            payload + ")] >>",
        "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "endstream",
        "<< /Type /FontDescriptor /FontName /Probe /Flags 4 /FontBBox [0 0 1000 1000] /ItalicAngle 0 /Ascent "
        "800 "
        "/Descent -200 /CapHeight 700 /StemV 80 /FontFile2 8 0 R >>",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
        "<< /Length " + QByteArray::number(font.size()) + " /Length1 " + QByteArray::number(font.size()) +
            " >>\nstream\n" + font + "\nendstream",
    };
    QByteArray pdf = "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n";
    QList<qsizetype> offsets;
    for (qsizetype i = 0; i < objects.size(); ++i) {
        offsets.append(pdf.size());
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (qsizetype offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

}  // namespace qv::test
