#pragma once

// The main window on test doubles of every seam, for unit tests of its
// handlers.

#include <gtest/gtest.h>

#include <memory>

#include "app/BridgeServices.h"
#include "app/frmVaskorLinkPC.h"
#include "support/BridgeFakes.h"
#include "support/FakeFiles.h"
#include "support/FakeHostResolver.h"
#include "support/FakeTrayNotifier.h"
#include "support/LaunchFakes.h"

class BridgeFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The window, constructed on the doubles, with the INI file that the
    // settings below describe.
    void MakeWindow();
    // Constructed, initialised and loaded with AutoStart off and the start-up
    // dialog cancelled: running without a link.
    void Load();
    // Loaded, then connected: the link runs (port created, timer on).
    void StartLink();

    int IniWrites() const;
    bool TrayIconAdded() const;
    static qint64 SendHighWater() { return frmVaskorLinkPC::kSendHighWater; }

    // Script, read by MakeWindow().
    bool otherInstance = false;
    bool driverAvailable = true;
    bool autoStart = false;
    bool alwaysOnTop = false;
    QByteArray iniExtra;
    QByteArray iniText = "x";  // cleared: no INI file at all
    QString localIP = QStringLiteral("10.1.2.3");
    // Run as without a display: lines the program writes go to unattendedLines.
    bool unattended = false;
    // Names of the serial devices that exist on the "machine".
    QStringList serialDevices;
    QStringList unattendedLines;

    // Doubles.
    CallLog log;
    FakeSock sock{log};
    FakeTimer timer;
    FakeClock clock;
    FakePump pump;
    FakeMessageBoxes boxes;
    FakeSettingsDialog dialog{log};
    FakeFiles files;
    FakeTrayNotifier trayNotifier;
    FakeHostResolver resolver;
    FakeProcessLauncher launcher;
    FakeRegistry registry;
    QStringList aboutShown;
    int driverCreations = 0;
    int quits = 0;
    FakeDriver *driver = nullptr;  // owned by the window

    std::unique_ptr<BridgeServices> services;
    std::unique_ptr<frmVaskorLinkPC> window;

    static inline const QString kIniPath = QStringLiteral("/program/VaskorLinkPC.ini");
};
