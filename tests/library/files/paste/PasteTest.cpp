#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

#include "library/files/Paste.h"
#include "support/QtWait.h"

using namespace qv::library;

namespace {

// Reads the helper's report lines as they come.
struct Target {
    QProcess process;
    QStringList lines;
    Target() {
        QObject::connect(&process, &QProcess::readyReadStandardOutput, [this] {
            while (process.canReadLine()) lines << QString::fromUtf8(process.readLine()).trimmed();
        });
    }
};

TEST(Paste, TheFileUrlLandsInTheLineEditOfTheWindowInFront) {
    const QByteArray program = qgetenv("QV_PASTE_TARGET");
    ASSERT_FALSE(program.isEmpty());
    QTemporaryDir dir;
    const QString file = dir.filePath("~library/photo one.png");
    Target target;
    target.process.start(QString::fromLocal8Bit(program), {});
    ASSERT_TRUE(target.process.waitForStarted(20000));
    ASSERT_TRUE(qv::test::waitUntil([&] { return target.lines.contains("ready"); }, 60000))
        << "the helper window never got the focus";

    auto poster = makeDesktopKeyPoster();
    ASSERT_TRUE(pasteIntoFrontApplication(file, QApplication::clipboard(), *poster));
    const QString expected = "text:" + QUrl::fromLocalFile(file).toString();
    // The helper asks this process for the clipboard: keep serving it while waiting.
    EXPECT_TRUE(qv::test::waitUntil([&] { return target.lines.contains(expected); }, 60000))
        << "lines: " << target.lines.join(" | ").toStdString();

    // The clipboard holds the one URL (and its text).
    const QMimeData* data = QApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->urls(), QList<QUrl>{QUrl::fromLocalFile(file)});
    target.process.kill();
    target.process.waitForFinished(10000);
}

// A poster that fails, as on a desktop without the test extension.
struct NoKeys : KeyPoster {
    bool postPasteKeystroke() override { return false; }
};

TEST(Paste, WithoutAKeystrokeTheClipboardStillHoldsTheUrl) {
    NoKeys poster;
    EXPECT_FALSE(pasteIntoFrontApplication("/tmp/x/a.pdf", QApplication::clipboard(), poster));
    ASSERT_NE(QApplication::clipboard()->mimeData(), nullptr);
    EXPECT_EQ(QApplication::clipboard()->mimeData()->urls(), QList<QUrl>{QUrl("file:///tmp/x/a.pdf")});
}

}  // namespace
