#include "pairing/KestrixConfigView.h"

#include <QApplication>
#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "capture/hid/HIDCameraInfo.h"
#include "capture/hid/HIDReports.h"
#include "capture/hid/link/QVHIDDevice.h"
#include "helpers/NiceButtonStyle.h"
#include "helpers/RoundedBackground.h"
#include "pairing/PairingTexts.h"
#include "state/NotificationCenter.h"
#include "state/Notifications.h"
#include "util/Print.h"

namespace qv::pairing {

namespace {

namespace cmd = hid::QVHIDCommand;
using CK = hid::CameraSettingsKey;
using DK = hid::DongleSettingsKey;

const QColor kGray(128, 128, 128);
// The labels of the device rows, right-aligned in one column.
constexpr int kRowLabelWidth = 120;

// A title that reports every press (a second press within the double-click time arrives as a
// double click and counts as a tap too).
class TapLabel : public QLabel {
public:
    using QLabel::QLabel;
    std::function<void()> onTap;

protected:
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton && onTap) onTap();
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton && onTap) onTap();
    }
};

QFont scaledFont(const QFont& base, double factor, bool underline = false) {
    QFont f = base;
    f.setPointSizeF(base.pointSizeF() * factor);
    f.setUnderline(underline);
    return f;
}

template <typename Table, typename Key>
QString entry(const Table& table, Key key) {
    const auto it = table.find(key);
    return it == table.end() ? QString() : QString::fromStdString(it->second);
}

// A label in a column of fixed width; a text wider than the column goes on to a second line
// rather than being cut.
QLabel* rightAligned(const QString& text, int width) {
    auto* label = new QLabel(text);
    label->setFixedWidth(width);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setWordWrap(true);
    return label;
}

QWidget* row(QWidget* label, QWidget* value) {
    auto* w = new QWidget;
    auto* l = new QHBoxLayout(w);
    l->setContentsMargins(0, 0, 0, 0);
    l->addWidget(label, 0, Qt::AlignVCenter);
    l->addWidget(value, 0, Qt::AlignVCenter);
    l->addStretch();
    return w;
}

QLineEdit* outlinedField(const QString& name, int width) {
    auto* field = new QLineEdit;
    field->setObjectName(name);
    if (width > 0) field->setFixedWidth(width);
    field->setStyleSheet(QStringLiteral("QLineEdit { color: white; background: transparent; border: 1px solid white; "
                                        "border-radius: 5px; padding: 2px 5px; }"
                                        "QLineEdit:disabled { color: rgba(255,255,255,160); }"));
    return field;
}

std::unique_ptr<hid::QVHIDDevice> hidapiLink() { return std::make_unique<hid::QVHIDDevice>(); }

}  // namespace

KestrixConfigView::KestrixConfigView(QWidget* parent) : KestrixConfigView(hidapiLink, Timing{}, parent) {}

KestrixConfigView::KestrixConfigView(LinkFactory makeLink, Timing timing, QWidget* parent)
    : QWidget(parent),
      wifi_password(QString::fromLatin1(defaultWifiPassword.data(), int(defaultWifiPassword.size()))),
      timing_(timing),
      hidDongle_(makeLink()),
      hidCamera_(makeLink()) {
    setObjectName(QStringLiteral("kestrixConfig"));
    build();
    refresh();
}

KestrixConfigView::~KestrixConfigView() {
    // The links' threads end with the panel; nothing of theirs outlives it.
    hidDongle_->stop();
    hidCamera_->stop();
}

void KestrixConfigView::build() {
    QPalette p = palette();
    p.setColor(QPalette::WindowText, Qt::white);
    p.setColor(QPalette::Text, Qt::white);
    setPalette(p);

    auto* panel = new QHBoxLayout(this);
    panel->setContentsMargins(10, 10, 10, 10);
    panel->setSpacing(0);
    panel->setSizeConstraint(QLayout::SetFixedSize);  // always as large as what it shows

    // Left column: what the devices reported.
    auto* left = new QWidget(this);
    left->setFont(scaledFont(font(), 1.3));
    auto* leftColumn = new QVBoxLayout(left);
    leftColumn->setContentsMargins(0, 0, 0, 0);
    auto* dongleTitle = new TapLabel(QStringLiteral("Connected Dongle"));
    dongleTitle->setObjectName(QStringLiteral("dongleTitle"));
    dongleTitle->setFont(scaledFont(font(), 1.6, true));
    dongleTitle->onTap = [this] { tapDongleTitle(); };
    leftColumn->addWidget(dongleTitle);

    dongle_ = addDeviceRows(leftColumn, QStringLiteral("dongleSN"), &dongleSN, QStringLiteral("Paired Camera: "),
                            QStringLiteral("pairedCamera"), QStringLiteral("Please make sure Dongle is connected."),
                            QStringLiteral("dongleMissing"));
    leftColumn->addSpacing(10);
    auto* cameraTitle = new QLabel(QStringLiteral("Connected Camera"));
    cameraTitle->setFont(scaledFont(font(), 1.6, true));
    leftColumn->addWidget(cameraTitle);
    camera_ = addDeviceRows(leftColumn, QStringLiteral("cameraSN"), &cameraSN, QStringLiteral("Pair Type: "),
                            QStringLiteral("cameraType"), QStringLiteral("Please make sure Camera is connected."),
                            QStringLiteral("cameraMissing"));
    leftColumn->addStretch();
    panel->addWidget(left, 0, Qt::AlignVCenter);

    // Right column: the pairing type, the Wi-Fi fields of "Through WiFi", Cancel and Pair.
    auto* right = new QWidget(this);
    right->setFixedWidth(300);
    auto* rightColumn = new QVBoxLayout(right);
    rightColumn->setContentsMargins(11, 11, 11, 11);
    auto* segments = new QWidget;
    auto* segmentRow = new QHBoxLayout(segments);
    segmentRow->setContentsMargins(0, 0, 0, 0);
    segmentRow->setSpacing(0);
    pairTypeGroup_ = new QButtonGroup(this);
    const std::pair<const char*, const char*> types[] = {{"Direct", "P2P"}, {"Through WiFi", "JOIN"}};
    for (const auto& [text, value] : types) {
        auto* segment = new QPushButton(QString::fromUtf8(text));
        segment->setObjectName(QString::fromUtf8(value));
        segment->setCheckable(true);
        segment->setChecked(pairType == QLatin1String(value));
        segment->setStyleSheet(QStringLiteral("QPushButton { color: white; background: rgba(255,255,255,40); border: 1px solid white; padding: 4px 10px; }"
                                              "QPushButton:checked { background: rgba(255,255,255,140); color: black; }"));
        pairTypeGroup_->addButton(segment);
        segmentRow->addWidget(segment);
        const QString chosen = QString::fromUtf8(value);
        connect(segment, &QPushButton::clicked, this, [this, chosen] {
            pairType = chosen;
            refresh();
        });
    }
    pairTypeGroup_->setExclusive(true);
    rightColumn->addWidget(segments, 0, Qt::AlignHCenter);

    joinRows_ = new QWidget;
    auto* join = new QVBoxLayout(joinRows_);
    join->setContentsMargins(0, 0, 0, 0);
    ssidField_ = outlinedField(QStringLiteral("wifiSSID"), 0);
    ssidField_->setText(wifi_ssid);
    connect(ssidField_, &QLineEdit::textEdited, this, [this](const QString& t) { wifi_ssid = t; });
    passwordField_ = outlinedField(QStringLiteral("wifiPassword"), 0);
    passwordField_->setText(wifi_password);
    connect(passwordField_, &QLineEdit::textEdited, this, [this](const QString& t) { wifi_password = t; });
    join->addWidget(row(rightAligned(QStringLiteral("WiFi SSID:"), 100), ssidField_));
    join->addWidget(row(rightAligned(QStringLiteral("WiFi Password:"), 100), passwordField_));
    rightColumn->addWidget(joinRows_);

    statusLabel_ = new QLabel;
    statusLabel_->setObjectName(QStringLiteral("pairStatus"));
    statusLabel_->setWordWrap(true);
    rightColumn->addWidget(statusLabel_);

    auto* buttons = new QWidget;
    auto* buttonRow = new QHBoxLayout(buttons);
    buttonRow->setContentsMargins(0, 0, 0, 0);
    const QColor accent = QApplication::palette().color(QPalette::Highlight);
    auto* cancelButton = new QPushButton(QStringLiteral("Cancel"));
    cancelButton->setObjectName(QStringLiteral("Cancel"));
    app::NiceButtonStyle{Qt::white, kGray, accent}.apply(cancelButton);
    connect(cancelButton, &QPushButton::clicked, this, [this] { cancel(); });
    pairButton_ = new QPushButton(QStringLiteral("Pair"));
    pairButton_->setObjectName(QStringLiteral("Pair"));
    app::NiceButtonStyle{Qt::white, QColor(0, 0, 255, 153), accent}.apply(pairButton_);
    pairButton_->setFont(scaledFont(font(), 1.3));
    pairButton_->setStyleSheet(pairButton_->styleSheet() + QStringLiteral(" QPushButton { padding-left: 10px; padding-right: 10px; }"
                                                                          " QPushButton:disabled { color: rgba(255,255,255,110); }"));
    connect(pairButton_, &QPushButton::clicked, this, [this] { pair(); });
    buttonRow->addWidget(cancelButton, 0, Qt::AlignVCenter);
    buttonRow->addWidget(pairButton_, 0, Qt::AlignVCenter);
    rightColumn->addWidget(buttons, 0, Qt::AlignHCenter);
    panel->addWidget(right, 0, Qt::AlignVCenter);
}

KestrixConfigView::DeviceRows KestrixConfigView::addDeviceRows(QLayout* column, const QString& serialName, QString* serial,
                                                              const QString& secondLabel, const QString& secondName,
                                                              const QString& missingText, const QString& missingName) {
    DeviceRows rows;
    rows.block = new QWidget;
    rows.block->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* layout = new QVBoxLayout(rows.block);
    layout->setContentsMargins(0, 0, 0, 0);
    rows.serial = outlinedField(serialName, 200);
    connect(rows.serial, &QLineEdit::textEdited, this, [this, serial](const QString& t) {
        *serial = t;
        refresh();
    });
    layout->addWidget(row(rightAligned(QStringLiteral("Serial #: "), kRowLabelWidth), rows.serial));
    rows.second = new QLabel;
    rows.second->setObjectName(secondName);
    layout->addWidget(row(rightAligned(secondLabel, kRowLabelWidth), rows.second));
    rows.wifiRows = new QWidget;
    auto* wifi = new QVBoxLayout(rows.wifiRows);
    wifi->setContentsMargins(0, 0, 0, 0);
    rows.ssid = new QLabel;
    rows.ssid->setTextFormat(Qt::PlainText);  // names from the device
    rows.password = new QLabel;
    wifi->addWidget(row(rightAligned(QStringLiteral("WiFi SSID: "), kRowLabelWidth), rows.ssid));
    wifi->addWidget(row(rightAligned(QStringLiteral("Password: "), kRowLabelWidth), rows.password));
    layout->addWidget(rows.wifiRows);
    column->addWidget(rows.block);
    rows.missing = new QLabel(missingText);
    rows.missing->setObjectName(missingName);
    column->addWidget(rows.missing);
    return rows;
}

void KestrixConfigView::refresh() {
    const bool cameraIsP2P = entry(cameraSettings, CK::KEY_TYPE) == QLatin1String("P2P");
    const auto show = [&](DeviceRows& rows, bool connected, const QString& serial, const QString& second,
                          const QString& ssid, const QString& password) {
        rows.block->setVisible(connected);
        rows.missing->setVisible(!connected);
        if (rows.serial->text() != serial) rows.serial->setText(serial);
        rows.serial->setEnabled(isAdmin);
        rows.second->setText(second);
        // With a P2P camera neither block shows Wi-Fi rows.
        rows.wifiRows->setVisible(!cameraIsP2P);
        rows.ssid->setText(ssid);
        rows.password->setText(password);
    };
    show(dongle_, isDongleConnected, dongleSN, entry(dongleSettings, DK::KEY_CAMERA_HOST),
         entry(dongleSettings, DK::KEY_WIFI_SSID), entry(dongleSettings, DK::KEY_WIFI_PASSWORD));
    show(camera_, isCameraConnected, cameraSN, entry(cameraSettings, CK::KEY_TYPE), entry(cameraSettings, CK::KEY_WIFI_SSID),
         entry(cameraSettings, CK::KEY_WIFI_PASSWORD));

    for (QAbstractButton* b : pairTypeGroup_->buttons()) b->setChecked(b->objectName() == pairType);
    joinRows_->setVisible(pairType == QLatin1String("JOIN"));
    statusLabel_->setText(status_);
    statusLabel_->setVisible(!status_.isEmpty());
    pairButton_->setEnabled(canPair());
    if (layout()) layout()->activate();
    adjustSize();
    emit changed();
}

void KestrixConfigView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    startDevices();
}

void KestrixConfigView::paintEvent(QPaintEvent*) { app::paintRoundedBackground(*this, kGray); }

void KestrixConfigView::startDevices() {
    if (started_) return;
    started_ = true;
    for (auto& [link, product] : {std::pair{hidDongle_.get(), dongleProductId}, std::pair{hidCamera_.get(), cameraProductId}}) {
        link->setVendorId(hid::makerVendorID);
        link->setProductId(product);
        link->setReportSize(24);
        link->start();
    }
    QTimer::singleShot(timing_.requestMs, this, [this] { requestSettings(); });
    QTimer::singleShot(timing_.readBackMs, this, [this] { readSettings(); });
}

void KestrixConfigView::requestSettings() {
    if (hidDongle_->isConnected()) hidDongle_->sendReport(hid::makeSettingsRequest(cmd::CMD_GET_DONGLE_SETTINGS));
    if (hidCamera_->isConnected()) hidCamera_->sendReport(hid::makeSettingsRequest(cmd::CMD_GET_CAMERA_SETTINGS));
}

void KestrixConfigView::readSettings() {
    // The links publish a settings text only once its last chunk came in, so what is read here
    // is always a whole text (or nothing).
    isDongleConnected = hidDongle_->isConnected();
    isCameraConnected = hidCamera_->isConnected();
    cameraSettings = hid::parseCameraSettings(hidCamera_->kestrixCameraSettings());
    dongleSettings = hid::parseDongleSettings(hidDongle_->kestrixDongleSettings());
    dongleSN = entry(dongleSettings, DK::KEY_DONGLE_SN);
    cameraSN = entry(cameraSettings, CK::KEY_CAMERA_SN);
    readBack_ = true;
    refresh();
}

void KestrixConfigView::tapDongleTitle() {
    if (!lastTap_.isValid() || lastTap_.elapsed() > timing_.tapIntervalMs) taps_ = 0;
    lastTap_.restart();
    if (++taps_ >= serialUnlockTaps) {
        taps_ = 0;
        unlockSerialEditing();
    }
}

void KestrixConfigView::unlockSerialEditing() {
    isAdmin = true;
    refresh();
}

bool KestrixConfigView::canPair() const {
    return isDongleConnected && isCameraConnected && isUsableSerial(dongleSN.toStdString()) &&
           isUsableSerial(cameraSN.toStdString());
}

void KestrixConfigView::pair() {
    // A missing device or serial would write an empty camera host and wipe the receiver's pairing.
    if (!canPair()) {
        status_ = QStringLiteral("Pairing needs both devices connected, each with a serial number "
                                 "(printable characters, no = or \").");
        refresh();
        return;
    }
    status_.clear();
    if (pairType == QLatin1String("P2P"))
        pairDirect();
    else
        pairThroughWiFi();
    refresh();
}

void KestrixConfigView::pairDirect() {
    hid::CameraSettings camera = cameraSettings;
    camera[CK::KEY_CAMERA_SN] = cameraSN.toStdString();
    const std::string cameraText = cameraP2PText(camera);
    util::printLine(util::debugQuoted(cameraText));

    hid::DongleSettings dongle = dongleSettings;
    const std::string quotedSerial = "\"" + cameraSN.toStdString() + "\"";
    dongle[DK::KEY_DONGLE_SN] = dongleSN.toStdString();
    dongle[DK::KEY_CAMERA_HOST] = quotedSerial;
    dongle[DK::KEY_WIFI_SSID] = quotedSerial;
    const std::string dongleText = dongleP2PText(dongle);
    util::printLine(util::debugQuoted(dongleText));

    // The outcome comes from the link's thread; it is handled here on the main thread. A panel
    // closed meanwhile has stopped its links first, so no outcome can outlive it.
    QPointer<KestrixConfigView> self(this);
    auto onMain = [self](std::function<void()> f) {
        QMetaObject::invokeMethod(self.data(), std::move(f), Qt::QueuedConnection);
    };
    hidCamera_->sendSettings(cmd::CMD_SET_CAMERA_SETTINGS, cameraText, [this, onMain, camera, dongle](bool ok) {
        onMain([this, ok, camera, dongle] { delivered(true, ok, camera, dongle); });
    });
    hidDongle_->sendSettings(cmd::CMD_SET_DONGLE_SETTINGS, dongleText, [this, onMain, camera, dongle](bool ok) {
        onMain([this, ok, camera, dongle] { delivered(false, ok, camera, dongle); });
    });
}

void KestrixConfigView::delivered(bool camera, bool ok, const hid::CameraSettings& cameraTable,
                                  const hid::DongleSettings& dongleTable) {
    if (ok) {
        // What the device took is what the panel shows from now on.
        if (camera)
            cameraSettings = cameraTable;
        else
            dongleSettings = dongleTable;
    } else {
        const QString line = camera ? QStringLiteral("The camera did not take the pairing settings: it is not paired.")
                                    : QStringLiteral("The dongle did not take the pairing settings: it is not paired.");
        status_ = status_.isEmpty() ? line : status_ + "\n" + line;
    }
    refresh();
}

void KestrixConfigView::pairThroughWiFi() {
    cameraSettings[CK::KEY_CAMERA_SN] = cameraSN.toStdString();
    util::printLine(util::debugQuoted(cameraJoinText(cameraSettings)));
}

void KestrixConfigView::cancel() { app::post(app::notification::OpenKestrixConfig); }

}  // namespace qv::pairing
