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
// How long a tear-down of the program's own (Exit, Settings, Configure, a
// termination request) waits for the device to acknowledge what the relay
// had already sent. Long enough for a slow device on a slow network to take
// a tick's worth, short enough that a dead one does not hold up an exit.
constexpr int kTearDownSendMilliseconds = 3000;
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
    if (unloaded_) return false;
    if (RemoteIP.isEmpty()) return NoRemoteIP();                           // 2
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
    s_.masterTimer.SetInterval(RelayTick);
    s_.masterTimer.SetEnabled(true);
    s_.settingsDialog.LinkEstablished();
    return false;
}

// On a desktop an empty address means "not set up yet": nothing happens until
// the user opens the settings. Unattended nobody ever would, so the program
// says what the dialog would say and keeps trying as after a failed
// connection, reading the INI file again each time so that settings written
// into it meanwhile are taken up.
bool frmVaskorLinkPC::NoRemoteIP() {
    if (!s_.unattendedLog) return false;
    LoadINIfile(s_.iniPath);
    if (!RemoteIP.isEmpty()) return true;
    ErrorMessage = QStringLiteral("Remote IP not specified");
    ShowSettings();
    return !CancelSettings;
}

// What the relay had already taken from the client belongs to the device:
// it leaves before the socket closes, within a bound, and what the device
// did not take in time is told where nobody sees the lamps.
void frmVaskorLinkPC::CloseSockAfterSending() {
    if (s_.sock.State() == TcpClientControl::sckConnected) {
        const qint64 unsent = s_.sock.FlushSendQueue(kTearDownSendMilliseconds);
        if (unsent > 0 && s_.unattendedLog)
            s_.unattendedLog(QStringLiteral("%1 bytes for the device were not taken before the "
                                            "connection closed")
                                 .arg(unsent));
    }
    s_.sock.Close();
}

bool frmVaskorLinkPC::IsOwnHeldPort(const QString &name) const {
    return PortOpened && PortCreated && name == CreatedPort;
}

void frmVaskorLinkPC::CloseVirtualPort() {
    LinkStopped = true;                                                    // 1
    s_.masterTimer.SetEnabled(false);
    s_.pump.DoEvents();
    // Nothing relays until the link is up again: the driver may give up on a
    // closed client's bytes as it would without a link.
    if (PortOpened) vCOMM_->SetReadingHeldBack(false);
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
    CloseSockAfterSending();
    ShowDeviceLink(false);
    // The port this program made and a client still holds is the one the
    // next connection goes on with, not somebody else's.
    SettingsDialogVariables variables{
        RemoteIP, TCPport, COMport, CancelSettings, SettingsON, ErrorMessage,
        [this](const QString &name) { return PortExists(name) && !IsOwnHeldPort(name); }};
    const QPoint below = frameGeometry().bottomLeft() + QPoint(0, 1);     // 3
    s_.settingsDialog.ShowModal(variables, this, below);                   // 4
    // A close that ran while the dialog was open has already saved.
    if (unloaded_) {
        CancelSettings = true;
        return;
    }
    // Unattended nobody can have changed a setting, and writing the file now
    // would undo what a person wrote into it while the program waited.
    if (!s_.unattendedLog) SaveINIfile(s_.iniPath);                        // 5
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
    // A client that wrote before its open was reported has bytes waiting
    // that were announced while the relay still had no client to take them.
    if (opened) s_.masterTimer.Unpark();
}

// The TCP lamp and the modem lines a serial program sees tell the same
// thing: whether the device is there.
void frmVaskorLinkPC::ShowDeviceLink(bool up) {
    tcpLEDgreen->SetFillColor(up ? Lamp::kLitGreen : Lamp::kDarkGreen);
    if (vCOMM_) vCOMM_->SetDeviceLinkUp(up);
}

bool frmVaskorLinkPC::PortExists(const QString &name) const { return s_.serialDeviceExists(name); }
