// The sign-in, route-list, picture and disk-listing pages in the program's own web engine: the
// document it parsed, the elements it shows (each drawn on a picture of the view, kept in a
// temporary folder when a check of it fails) and the addresses of public hosts it asked for. No
// request leaves loopback: the engine resolves every other host to nothing (the test's
// environment) and the page's requests for them are refused before they start, so the result
// never depends on a network this machine may not have, and a public address can only be read
// from the page, never loaded.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "server/demo/DemoHosts.h"
#include "server/demo/DemoTestSupport.h"
#include "support/QtWait.h"
#include "support/TestPictures.h"

namespace qv::serverdemo::test {
namespace {

using qv::test::waitUntil;
using Lines = std::vector<std::string>;

// Lets the engine reach the demonstration server only; every other request is refused and noted.
class LoopbackOnly : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        const QUrl url = info.requestUrl();
        if (url.host() == QLatin1String("127.0.0.1")) return;
        info.block(true);
        refused.insert(url.toString().toStdString());
    }
    std::set<std::string> refused;  // interceptors run on the main thread
};

// The page in a view of 900 x 700 with a private, off-the-record profile. Members are destroyed
// in reverse: the view with its page before the profile they use.
struct BrowserView {
    QWebEngineProfile profile;
    LoopbackOnly guard;
    QWebEngineView view;
    std::optional<bool> loaded;

    BrowserView() {
        profile.setUrlRequestInterceptor(&guard);
        view.setPage(new QWebEnginePage(&profile, &view));
        QObject::connect(view.page(), &QWebEnginePage::loadFinished, [this](bool ok) { loaded = ok; });
        view.resize(900, 700);
        view.show();
    }

    QVariant evaluate(const QString& script) {
        auto result = std::make_shared<std::optional<QVariant>>();
        // A world of its own: a page under a sandbox policy runs no script of its main world.
        view.page()->runJavaScript(script, QWebEngineScript::ApplicationWorld, [result](const QVariant& v) { *result = v; });
        EXPECT_TRUE(waitUntil([&] { return result->has_value(); }, 20000)) << script.toStdString();
        return result->value_or(QVariant());
    }

    Lines evaluateLines(const QString& script) {
        Lines lines;
        for (const QVariant& line : evaluate(script).toList()) lines.push_back(line.toString().toStdString());
        return lines;
    }
};

// One line per element that the selector finds, in document order: the tag, the attributes
// sorted by name, and for an element without child elements its text in quotes.
QString describeElements(const char* selector) {
    return QStringLiteral(R"((() => [...document.querySelectorAll('%1')].map(e => {
        let line = e.tagName.toLowerCase();
        for (const a of [...e.attributes].sort((x, y) => x.name < y.name ? -1 : 1)) line += ' ' + a.name + '="' + a.value + '"';
        if (e.children.length === 0) line += ' "' + e.textContent + '"';
        return line;
    }))())")
        .arg(QLatin1String(selector));
}

// The boxes of the elements the selector finds, in the view's pixels: x, y, width, height.
QString boxesOf(const char* selector) {
    return QStringLiteral(R"((() => [...document.querySelectorAll('%1')].map(e => {
        const r = e.getBoundingClientRect(), s = window.devicePixelRatio;
        return [r.x * s, r.y * s, r.width * s, r.height * s];
    }))())")
        .arg(QLatin1String(selector));
}

// Whether something other than the page's white background is drawn inside the box.
bool inked(const QImage& picture, const QRect& box) {
    const QRect inside = box.intersected(picture.rect());
    int ink = 0;
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            if (qGray(picture.pixel(x, y)) < 160) ++ink;
    return ink >= 4;
}

struct BrowserPage {
    const char* name;
    const char* path;
    Lines parsed;  // pieces of the document as the engine serialises it
    std::size_t listItems;
    std::function<Lines(const LiveDemo&)> elements;  // every element, as describeElements("html *") tells them
    const char* drawn;                               // elements that must have ink in their box
    Lines refused;                                   // public addresses the page asks for
};

// The test's name rather than its bytes in the test runner's lines.
void PrintTo(const BrowserPage& page, std::ostream* out) { *out << page.name; }

std::string address(std::string_view host, std::string_view path) { return std::string(host).append(path); }

std::string joined(const std::set<std::string>& texts) {
    std::string out;
    for (const std::string& t : texts) out += t + "\n";
    return out;
}

class DemoInBrowser : public testing::TestWithParam<BrowserPage> {};

TEST_P(DemoInBrowser, ParsedAndPhotographed) {
    const BrowserPage& page = GetParam();
    LiveDemo demo;
    BrowserView browser;
    browser.view.load(QUrl(QString::fromStdString("http://" + demo.host() + page.path)));
    ASSERT_TRUE(waitUntil([&] { return browser.loaded.has_value(); }, 60000)) << "the page did not finish loading";
    ASSERT_TRUE(*browser.loaded) << "the page failed to load";

    const std::string dom = browser.evaluate(QStringLiteral("document.documentElement.outerHTML")).toString().toStdString();
    for (const std::string& piece : page.parsed) EXPECT_NE(dom.find(piece), std::string::npos) << piece << "\n" << dom;
    std::size_t items = 0;
    for (std::size_t at = dom.find("<li>"); at != std::string::npos; at = dom.find("<li>", at + 1)) ++items;
    EXPECT_EQ(items, page.listItems) << dom;

    EXPECT_EQ(browser.evaluateLines(describeElements("html *")), page.elements(demo));

    // The engine asked for every public address the page names, and none of them left the machine.
    const std::set<std::string> wanted(page.refused.begin(), page.refused.end());
    EXPECT_TRUE(waitUntil([&] {
        return std::includes(browser.guard.refused.begin(), browser.guard.refused.end(), wanted.begin(), wanted.end());
    }, 20000)) << "asked for and refused:\n" << joined(browser.guard.refused);

    // A picture of the view: each element that the page shows is drawn, once the engine has painted.
    const QVariantList boxes = browser.evaluate(boxesOf(page.drawn)).toList();
    ASSERT_FALSE(boxes.isEmpty()) << page.drawn;
    auto box = [](const QVariant& b) {
        const QVariantList v = b.toList();
        return QRectF(v.value(0).toDouble(), v.value(1).toDouble(), v.value(2).toDouble(), v.value(3).toDouble()).toAlignedRect();
    };
    QImage picture;
    waitUntil([&] {  // the checks below name what stays bare
        picture = browser.view.grab().toImage();
        return std::all_of(boxes.begin(), boxes.end(), [&](const QVariant& b) { return inked(picture, box(b)); });
    }, 20000);
    // The picture goes to a temporary folder, kept (and named) only when a check of it fails, and
    // to the folder of pictures for a person to look at when one is set (scripts/screenshots).
    QTemporaryDir shots;
    ASSERT_TRUE(shots.isValid());
    const QString shot = shots.filePath(QLatin1String(page.name) + QStringLiteral(".png"));
    EXPECT_TRUE(picture.save(shot)) << shot.toStdString();
    qv::test::saveTestPicture(picture, QStringLiteral("demo-%1.png").arg(QLatin1String(page.name)));
    EXPECT_EQ(picture.size(), QSize(900, 700));
    bool drawn = true;
    for (const QVariant& b : boxes) {
        drawn = drawn && inked(picture, box(b));
        EXPECT_TRUE(inked(picture, box(b)))
            << page.drawn << ": nothing drawn in " << QJsonDocument::fromVariant(b).toJson(QJsonDocument::Compact).toStdString()
            << " of " << shot.toStdString();
    }
    shots.setAutoRemove(drawn);
}

Lines routeListElements(const LiveDemo& demo) {
    Lines lines{"head \"\"", "body", "ul"};
    for (const std::string& pattern : demo.server->routePatterns()) {
        lines.push_back("li");
        lines.push_back("a href=\"" + pattern + "\" \"" + pattern + "\"");
    }
    return lines;
}

Lines signInElements(const LiveDemo&) {
    const std::string cdn(contentDeliveryHost);
    return {"head",
            "script src=\"" + address(cdn, scriptLibraryPath) + "\" \"\"",
            "link href=\"" + address(cdn, stylesheetPath) + "\" rel=\"stylesheet\" type=\"text/css\" \"\"",
            "body",
            "h3 \"Sign In\"",
            "form action=\"/login\" method=\"POST\"",
            "fieldset",
            "input name=\"email\" placeholder=\"E-mail\" type=\"email\" \"\"",
            "input name=\"password\" placeholder=\"Password\" type=\"password\" \"\"",
            "a href=\"/login\"",
            "button type=\"submit\" \"Login\"",
            "script src=\"" + address(cdn, stylesheetScriptPath) + "\" type=\"text/javascript\" \"\""};
}

Lines pictureElements(const LiveDemo&) {
    return {"head \"\"", "body", "center", "h2 \"Hello Swift\"", "img src=\"" + address(pictureHost, picturePath) + "\" \"\""};
}

// The disk browser's page of the demonstration's own public folder.
const std::string publicListingPath = [] {
    std::string path = "/files/";
    for (char c : publicFolder) path += c == '/' ? std::string("%2F") : std::string(1, c);
    return path;
}();

Lines listingElements(const LiveDemo&) {
    Lines lines{"head \"\"", "body", "table", "tbody"};
    for (const char* name : {".", "..", "dot.svg", "hello.txt", "index.html", "style.css"}) {
        lines.push_back("tr");
        lines.push_back("td");
        lines.push_back("a href=\"" + publicListingPath + "%2F" + name + "\" \"" + name + "\"");
    }
    return lines;
}

INSTANTIATE_TEST_SUITE_P(
    Pages, DemoInBrowser,
    testing::Values(
        BrowserPage{"sign-in", "/login",
                    {"<h3>Sign In</h3>", "<form action=\"/login\" method=\"POST\"><fieldset>",
                     "<input type=\"email\" name=\"email\" placeholder=\"E-mail\">",
                     "<input type=\"password\" name=\"password\" placeholder=\"Password\">",
                     "<a href=\"/login\"><button type=\"submit\">Login</button></a>"},
                    0, signInElements, "h3, input, button",
                    {address(contentDeliveryHost, scriptLibraryPath), address(contentDeliveryHost, stylesheetPath),
                     address(contentDeliveryHost, stylesheetScriptPath)}},
        BrowserPage{"route-list", "/",
                    {"<ul><li><a href=\"\"></a></li>", "<li><a href=\"/wildcard/*/test/*/:param\">/wildcard/*/test/*/:param</a></li>",
                     "<li><a href=\"/websocket-echo\">/websocket-echo</a></li>"},
                    17, routeListElements, "li > a:not([href=\"\"])", {}},
        BrowserPage{"picture", "/demo",
                    {"<center><h2>Hello Swift</h2><img src=\"https://developer.apple.com/swift/images/swift-hero_2x.png\"></center>"},
                    0, pictureElements, "h2", {address(pictureHost, picturePath)}},
        BrowserPage{"listing", publicListingPath.c_str(),
                    {"<tr><td><a href=\"" + publicListingPath + "%2Fhello.txt\">hello.txt</a></td></tr>"},
                    0, listingElements, "a", {}}),
    [](const testing::TestParamInfo<BrowserPage>& info) {
        std::string name = info.param.name;
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

}  // namespace
}  // namespace qv::serverdemo::test
