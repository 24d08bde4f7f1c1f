// The link: the socket to the device and the virtual port, started and torn
// down together, with the settings dialog as the fallback of every failure.
#include <QApplication>

#include "app/Lamp.h"
#include "app/frmVaskorLinkPC.h"
#include "config/SettingsDialogRunner.h"
#include "platform/Clock.h"
#include "platform/MessagePump.h"
#include "platform/SerialPortDriver.h"
#include "platform/TcpClientControl.h"
#include "platform/Timer.h"

namespace {
constexpr int kPollMilliseconds = 50;
constexpr int kRelayIntervalMilliseconds = 50;
}  // namespace

// A failed attempt ends in the settings dialog, whose OK asks for the next
// one. The attempts follow one another in this loop rather than each calling
// the next: run unattended, the program retries on its own for as long as
// the device is away, and a chain of calls would deepen the stack with every
// attempt until it overflowed.
void frmVaskorLinkPC::ConnectToHost() {
    while (ConnectOnce()) {
    }
}

void frmVaskorLinkPC::CreateVirtualPort() {
    if (CreateVirtualPortOnce()) ConnectToHost();
}

bool frmVaskorLinkPC::ConnectOnce() {
    DrawStatus();                                                          // 1
    if (RemoteIP.isEmpty() || unloaded_) return false;                     // 2
    s_.sock.Close();                                                       // 3
    s_.sock.SetLocalPort(0);
    bool connected = false;
    if (s_.sock.State() == TcpClientControl::sckClosed) {                  // 4
        s_.sock.SetRemoteHost(RemoteIP);                                   // 5
        s_.sock.SetRemotePort(TCPport);
        setCursor(Qt::WaitCursor);                                         // 6
        const quint32 start = s_.clock.TickCount();
        s_.sock.Connect();                                                 // 7
        for (;;) {                                                         // 8
            s_.clock.Sleep(kPollMilliseconds);
            s_.pump.DoEvents();
            // A close that ran inside the pump ends the wait: nothing is
            // left to connect for.
            if (unloaded_) break;
            const quint32 elapsed = ElapsedTicks(start, s_.clock.TickCount());
            if (static_cast<qint64>(elapsed) > static_cast<qint64>(TcpTimeout)) break;
            if (s_.sock.State() == TcpClientControl::sckConnected) {
                connected = true;
                break;
            }
        }
    }
    unsetCursor();                                                         // 9
    if (unloaded_) return false;
    if (!connected) {                                                      // 10
        s_.sock.Close();
        ShowDeviceLink(false);
        ErrorMessage = QStringLiteral("Error connecting to host");
        ShowSettings();
        return !CancelSettings;
    }
    ShowDeviceLink(true);                                                  // 11
    return CreateVirtualPortOnce();
}

bool frmVaskorLinkPC::CreateVirtualPortOnce() {
    if (!PortOpened) {                                                     // 1
        PortCreated = false;                                               // 2
        PortOpened = false;
        CreatedPort = COMport;
        if (!vCOMM_->CreatePort(CreatedPort)) {                            // 3
            s_.sock.Close();
            ErrorMessage = QStringLiteral("Error creating ") + CreatedPort;
            ShowSettings();
            if (!CancelSettings) return true;
            RequestClose();
            return false;
        }
        PortCreated = true;
    }
    LinkStopped = false;                                                   // 4
    s_.masterTimer.SetInterval(kRelayIntervalMilliseconds);
    s_.masterTimer.SetEnabled(true);
    s_.settingsDialog.LinkEstablished();
    return false;
}

void frmVaskorLinkPC::CloseVirtualPort() {
    LinkStopped = true;                                                    // 1
    s_.masterTimer.SetEnabled(false);
    s_.pump.DoEvents();
    comLEDred->SetFillColor(Lamp::kDarkRed);                               // 2
    tcpLEDred->SetFillColor(Lamp::kDarkRed);
    if (PortOpened || !PortCreated) return;                                // 3
    vCOMM_->RemovePort();                                                  // 4
    PortCreated = false;
}

void frmVaskorLinkPC::ShowSettings() {
    if (unloaded_) {
        CancelSettings = true;
        return;
    }
    SettingsON = true;                                                     // 1
    LinkStopped = true;
    s_.masterTimer.SetEnabled(false);
    s_.pump.DoEvents();
    CloseVirtualPort();                                                    // 2
    s_.sock.Close();
    ShowDeviceLink(false);
    SettingsDialogVariables variables{RemoteIP, TCPport, COMport, CancelSettings, SettingsON,
                                      ErrorMessage,
                                      [this](const QString &name) { return PortExists(name); }};
    const QPoint below = frameGeometry().bottomLeft() + QPoint(0, 1);     // 3
    s_.settingsDialog.ShowModal(variables, this, below);                   // 4
    // A close that ran while the dialog was open has already saved.
    if (unloaded_) {
        CancelSettings = true;
        return;
    }
    SaveINIfile(s_.iniPath);                                               // 5
}

void frmVaskorLinkPC::Sock_Close() {
    if (unloaded_) return;
    ShowDeviceLink(false);                                                 // 1
    LinkStopped = true;                                                    // 2
    s_.masterTimer.SetEnabled(false);
    s_.pump.DoEvents();
    CloseVirtualPort();                                                    // 3
    s_.sock.Close();                                                       // 4
    ConnectToHost();                                                       // 5
}

void frmVaskorLinkPC::vCOMM_OnOpenClose(bool opened) {
    PortOpened = opened;
    comLEDgreen->SetFillColor(opened ? Lamp::kLitGreen : Lamp::kDarkGreen);
    comLEDred->SetFillColor(Lamp::kDarkRed);
    // The driver discards what was queued for a client that has gone, so the
    // device's data may flow again.
    if (!opened) s_.sock.SetReceivePaused(false);
}

// The TCP lamp and the modem lines a serial program sees tell the same
// thing: whether the device is there.
void frmVaskorLinkPC::ShowDeviceLink(bool up) {
    tcpLEDgreen->SetFillColor(up ? Lamp::kLitGreen : Lamp::kDarkGreen);
    if (vCOMM_) vCOMM_->SetDeviceLinkUp(up);
}

bool frmVaskorLinkPC::PortExists(const QString &name) const { return s_.serialDeviceExists(name); }
