#include "support/BridgeFixture.h"

void BridgeFixture::SetUp() {
    resolver.addresses = QList<QByteArray>{};
    const QStringList parts = localIP.split(QLatin1Char('.'));
    QByteArray address;
    for (const QString &part : parts) address.append(static_cast<char>(part.toInt()));
    resolver.addresses->append(address);
}

void BridgeFixture::TearDown() { window.reset(); }

void BridgeFixture::MakeWindow() {
    if (!iniText.isEmpty()) {
        QByteArray text = "[VASKORLINKPC]\r\nRemoteIP = 127.0.0.1\r\n";
        text += QByteArray("AutoStart = ") + (autoStart ? "True" : "False") + "\r\n";
        text += QByteArray("AlwaysOnTop = ") + (alwaysOnTop ? "True" : "False") + "\r\n";
        text += iniExtra;
        files.content.insert(kIniPath, text);
    }
    services = std::make_unique<BridgeServices>(BridgeServices{
        .program = ProgramInfo{QStringLiteral("VaskorLinkPC"), QStringLiteral("/program")},
        .anotherInstanceRunning = [this] { return otherInstance; },
        .createDriver =
            [this]() -> std::unique_ptr<SerialPortDriver> {
            ++driverCreations;
            if (!driverAvailable) return nullptr;
            auto made = std::make_unique<FakeDriver>(log);
            driver = made.get();
            return made;
        },
        .serialDeviceExists = [this](const QString &name) { return serialDevices.contains(name); },
        .sock = sock,
        .masterTimer = timer,
        .clock = clock,
        .pump = pump,
        .boxes = boxes,
        .settingsDialog = dialog,
        .files = files,
        .trayNotifier = trayNotifier,
        .resolver = resolver,
        .quit = [this] { ++quits; },
        .launcher = launcher,
        .registry = registry,
        .showAbout = [this](QWidget *) { aboutShown << QStringLiteral("about"); },
        .unattendedLog = unattended ? std::function<void(const QString &)>(
                                          [this](const QString &line) { unattendedLines << line; })
                                    : nullptr,
        .iniPath = kIniPath,
    });
    window = std::make_unique<frmVaskorLinkPC>(*services);
}

void BridgeFixture::Load() {
    MakeWindow();
    ASSERT_TRUE(window->Form_Initialize());
    window->Form_Load();
    log.clear();
}

void BridgeFixture::StartLink() {
    Load();
    sock.stateAfterConnect = TcpClientControl::sckConnected;
    window->ConnectToHost();
    ASSERT_TRUE(timer.enabled);
    log.clear();
}

int BridgeFixture::IniWrites() const {
    return static_cast<int>(files.calls.filter(QStringLiteral("WriteReplacing")).size());
}

bool BridgeFixture::TrayIconAdded() const { return trayNotifier.IconShown(); }
