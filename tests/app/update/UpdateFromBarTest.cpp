// "Update" in the Settings popover against a local feed and installer host: "Continue" stores
// the installer in Quorvane/ of the save folder (replacing an older file), then opens it and
// quits; "Cancel" fetches nothing; a failed download says so and the program goes on.
#include <gtest/gtest.h>

#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <atomic>

#include "../../server/ServerTestSupport.h"
#include "app/Download.h"
#include "app/UpdateCheck.h"
#include "controlbar/ControlBarView.h"
#include "controlbar/Popover.h"
#include "server/HttpServer.h"
#include "state/AppState.h"
#include "support/QtWait.h"

namespace qv::app {
namespace {

using controlbar::ControlBarView;

class UpdateFromBar : public ::testing::Test {
protected:
    void SetUp() override {
        host.server->GET["/feed.xml"] = [this](const server::HttpRequest&) {
            const std::string feed = "<?xml version=\"1.0\"?><update version=\"99.0\" downloadLocation=\"" +
                                     base.toStdString() + "/dl/Quorvane-99.deb\"/>";
            return server::HttpResponse::ok(server::HttpResponseBody::text(feed));
        };
        host.server->GET["/dl/:path"] = [this](const server::HttpRequest&) {
            ++downloads;
            return server::HttpResponse::ok(server::HttpResponseBody::data({'N', 'E', 'W'}));
        };
        host.start();
        base = "http://127.0.0.1:" + QString::number(host.port);
        ASSERT_TRUE(save.isValid());
        setFolderLocations(std::make_shared<const FolderLocations>(FolderLocations::forSaveFolder(save.path())));
        updateAvailable = false;

        window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        bar = new ControlBarView([]() -> controlbar::CameraPort* { return nullptr; }, window.get());
        layout->addWidget(bar);
        bar->model().setUpdateInstaller(
            {[](const QString& address, auto stored, auto failed) { downloadFile(address, stored, failed); },
             [this](const QString& path) { opened.push_back(path); },
             [this] { ++quits; }});
        window->resize(900, 200);
        window->show();
    }
    void TearDown() override {
        window.reset();
        updateAvailable = false;
        setFolderLocations(nullptr);
    }

    // The feed says a newer version waits; the badge shows at the bar's next redraw.
    void checkFeed() {
        bool answered = false;
        checkForUpdate(QUrl(base + "/feed.xml"), [&] { answered = true; });
        ASSERT_TRUE(test::waitUntil([&] { return answered; }));
        ASSERT_TRUE(updateAvailable);
        emit bar->model().changed();
        ASSERT_NE(bar->updateBadge(), nullptr);
    }
    // Opens the popover, presses "Update" and answers the question with `answer`.
    void answerUpdate(const QString& answer) {
        bar->model().showPopoverSettings = true;
        emit bar->model().changed();
        ASSERT_TRUE(test::waitUntil([&] { return bar->popover("Settings")->isVisible(); }));
        QPushButton* update = nullptr;
        for (auto* b : bar->popover("Settings")->findChildren<QPushButton*>("Update"))
            if (b->isVisibleTo(bar->popover("Settings"))) update = b;
        ASSERT_NE(update, nullptr);
        update->click();
        EXPECT_FALSE(bar->model().showPopoverSettings) << "the popover closes first";
        QMessageBox* box = nullptr;
        ASSERT_TRUE(test::waitUntil([&] {
            box = window->findChild<QMessageBox*>("updateConfirmation");
            return box && box->isVisible();
        }));
        EXPECT_EQ(box->windowModality(), Qt::WindowModal);
        EXPECT_EQ(box->text(), "Update Software");
        EXPECT_TRUE(box->informativeText().startsWith("Do you want to download and install the new version? "));
        EXPECT_TRUE(box->informativeText().endsWith(" will be closed after downloading."));
        QAbstractButton* button = nullptr;
        for (QAbstractButton* b : box->buttons())
            if (b->text() == answer) button = b;
        ASSERT_NE(button, nullptr) << answer.toStdString();
        EXPECT_EQ(box->buttons().size(), 2);
        button->click();
    }

    server::test::RunningServer host;
    QString base;
    QTemporaryDir save;
    std::atomic<int> downloads{0};
    std::unique_ptr<QWidget> window;
    ControlBarView* bar = nullptr;
    std::vector<QString> opened;
    int quits = 0;
};

TEST_F(UpdateFromBar, ContinueStoresTheInstallerThenOpensItAndQuits) {
    const QString target = save.path() + "/Quorvane/Quorvane-99.deb";
    QDir().mkpath(save.path() + "/Quorvane");
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("AN OLDER AND LONGER INSTALLER");
    }
    checkFeed();
    answerUpdate("Continue");
    ASSERT_TRUE(test::waitUntil([&] { return quits > 0; }, 10000));
    EXPECT_EQ(downloads.load(), 1);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], target);
    EXPECT_EQ(quits, 1);
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("NEW"));
}

TEST_F(UpdateFromBar, CancelFetchesNothingAndTheOfferStays) {
    checkFeed();
    answerUpdate("Cancel");
    // A marker download, started after the answer, comes back after a download the answer
    // would have started.
    QString marker;
    downloadFile(base + "/dl/marker.bin", [&](const QString& path) { marker = path; });
    ASSERT_TRUE(test::waitUntil([&] { return !marker.isEmpty(); }));
    test::spin(50);
    EXPECT_EQ(downloads.load(), 1) << "only the marker";
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(quits, 0);
    EXPECT_TRUE(updateAvailable);
    emit bar->model().changed();
    EXPECT_NE(bar->updateBadge(), nullptr) << "the badge stays";
}

TEST_F(UpdateFromBar, AFailedDownloadSaysSoAndTheProgramGoesOn) {
    checkFeed();
    updateDownloadLocation = base + "/missing/Quorvane-99.deb";
    answerUpdate("Continue");
    QMessageBox* failure = nullptr;
    ASSERT_TRUE(test::waitUntil([&] {
        failure = window->findChild<QMessageBox*>("updateFailed");
        return failure && failure->isVisible();
    }, 10000));
    EXPECT_EQ(failure->text(), "The new version could not be downloaded.");
    EXPECT_TRUE(failure->informativeText().contains("404")) << failure->informativeText().toStdString();
    EXPECT_EQ(quits, 0);
    EXPECT_TRUE(opened.empty());
    EXPECT_FALSE(QFile::exists(save.path() + "/Quorvane/Quorvane-99.deb"));
    EXPECT_TRUE(updateAvailable);
}

}  // namespace
}  // namespace qv::app
