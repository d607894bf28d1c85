#pragma once
// The pairing panel of the wireless document camera and its USB receiver. When it comes on
// screen it opens a HID link to each, asks both for their settings texts, and a moment later
// shows what came back: whether each is connected, its serial number and its pairing fields.
// "Pair" writes a direct (P2P) pairing into both. Five taps in a row on "Connected Dongle"
// unlock the two serial-number fields. The panel's links stop when it closes.
#include <QElapsedTimer>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

#include "capture/hid/SettingsText.h"

class QButtonGroup;
class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;

namespace qv::hid {
class QVHIDDevice;
}

namespace qv::pairing {

class KestrixConfigView : public QWidget {
    Q_OBJECT
public:
    using LinkFactory = std::function<std::unique_ptr<hid::QVHIDDevice>()>;
    struct Timing {
        int requestMs = 1000;    // settings requests after the links start
        int readBackMs = 2000;   // read-back after the links start
        int tapIntervalMs = 600; // longest pause between two taps of one row
    };
    // Taps in a row on "Connected Dongle" that make the serial fields editable.
    static constexpr int serialUnlockTaps = 5;
    static constexpr std::int64_t dongleProductId = 22;
    static constexpr std::int64_t cameraProductId = 25;

    // Links over the program's HID transport (hidapi).
    explicit KestrixConfigView(QWidget* parent = nullptr);
    KestrixConfigView(LinkFactory makeLink, Timing timing, QWidget* parent = nullptr);
    ~KestrixConfigView() override;  // stops both links

    // --- state ---
    QString pairType = QStringLiteral("P2P");  // "P2P" ("Direct") or "JOIN" ("Through WiFi")
    QString wifi_ssid = QStringLiteral("Kestrix");
    QString wifi_password;
    bool isDongleConnected = false;
    bool isCameraConnected = false;
    hid::CameraSettings cameraSettings;
    hid::DongleSettings dongleSettings;
    QString dongleSN;
    QString cameraSN;
    bool isAdmin = false;

    hid::QVHIDDevice& dongleLink() const { return *hidDongle_; }
    hid::QVHIDDevice& cameraLink() const { return *hidCamera_; }
    bool devicesStarted() const { return started_; }
    bool readBackDone() const { return readBack_; }

    // --- actions ---
    void startDevices();
    void requestSettings();
    void readSettings();
    void tapDongleTitle();
    void unlockSerialEditing();
    // Both devices connected at read-back, and both serial numbers usable.
    bool canPair() const;
    void pair();
    void cancel();
    // What the panel says about the last "Pair" (empty when there is nothing to say).
    QString status() const { return status_; }

signals:
    void changed();

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void build();
    void refresh();
    void pairDirect();
    void pairThroughWiFi();
    void delivered(bool camera, bool ok, const hid::CameraSettings& cameraTable, const hid::DongleSettings& dongleTable);

    Timing timing_;
    std::unique_ptr<hid::QVHIDDevice> hidDongle_;
    std::unique_ptr<hid::QVHIDDevice> hidCamera_;
    bool started_ = false;
    bool readBack_ = false;
    int taps_ = 0;
    QElapsedTimer lastTap_;
    QString status_;

    // What the left column shows of one device.
    struct DeviceRows {
        QWidget* block = nullptr;    // shown while the device was connected at read-back
        QLabel* missing = nullptr;   // "Please make sure ... is connected." otherwise
        QLineEdit* serial = nullptr;
        QLabel* second = nullptr;    // "Paired Camera: " or "Pair Type: "
        QWidget* wifiRows = nullptr;
        QLabel* ssid = nullptr;
        QLabel* password = nullptr;
    };
    DeviceRows addDeviceRows(QLayout* column, const QString& serialName, QString* serial, const QString& secondLabel,
                             const QString& secondName, const QString& missingText, const QString& missingName);

    DeviceRows dongle_;
    DeviceRows camera_;
    QButtonGroup* pairTypeGroup_ = nullptr;
    QWidget* joinRows_ = nullptr;
    QLineEdit* ssidField_ = nullptr;
    QLineEdit* passwordField_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QPushButton* pairButton_ = nullptr;
};

}  // namespace qv::pairing
