// Start-up and shutdown of the main window.
#include <QCloseEvent>
#include <QMenu>

#include "app/Lamp.h"
#include "app/frmVaskorLinkPC.h"
#include "config/SettingsDialogRunner.h"
#include "host/modTCPutil.h"
#include "platform/MessageBoxes.h"
#include "platform/MessagePump.h"
#include "platform/SerialPortDriver.h"
#include "platform/TcpClientControl.h"
#include "platform/Timer.h"
#include "shell/SysTray.h"
#include "shell/modShapeForm.h"

namespace {
const QString kCrLf = QStringLiteral("\r\n");
}

bool frmVaskorLinkPC::Form_Initialize() {
    const QString exe = s_.program.exeName;
    if (s_.anotherInstanceRunning()) {
        s_.boxes.Show(exe + QStringLiteral(" is already running!") + kCrLf +
                          QStringLiteral("Left-Click on System Tray Icon to View"),
                      exe, MessageIcon::Exclamation);
        return false;
    }
    vCOMM_ = s_.createDriver();
    if (!vCOMM_) {
        s_.boxes.Show(QStringLiteral("Virtual Serial Port Driver could not be loaded!"), exe,
                      MessageIcon::Critical);
        return false;
    }
    connect(vCOMM_.get(), &SerialPortDriver::OnOpenClose, this,
            &frmVaskorLinkPC::vCOMM_OnOpenClose);
    // The relay sleeps while nothing waits; the client's bytes wake it.
    connect(vCOMM_.get(), &SerialPortDriver::ClientBytesWaiting, this,
            [this] { s_.masterTimer.Unpark(); });
    // The client reads again: let the device's data flow again.
    connect(vCOMM_.get(), &SerialPortDriver::WriteQueueDrained, this,
            [this] { s_.sock.SetReceivePaused(false); });
    return true;
}

void frmVaskorLinkPC::Form_Load() {
    const QString exe = s_.program.exeName;
    setFixedSize(skin_.size());                                     // 1
    hide();                                                         // 2
    ApplySkinShape(this, s_.boxes, exe);                            // 3
    SysTray_->SetIcon(windowIcon());                                // 4
    SysTray_->SetParentForm(this);
    SysTray_->SetToolTip(exe + kCrLf + QStringLiteral("Left-Click to Open") + kCrLf +
                         QStringLiteral("Right-Click for Options"));
    SysTray_->NotifyAdd();                                          // 5
    SysTray_->RestoreWindow(false);                                 // 6
    comLEDgreen->move(23, 117);                                     // 7
    comLEDred->move(97, 117);
    tcpLEDgreen->move(23, 173);
    tcpLEDred->move(97, 173);
    LocalIP = GetLocalIP(s_.resolver, s_.boxes);                    // 8
    LoadINIfile(s_.iniPath);                                        // 9
    move(qRound(FormLeft / TwipsPerPixelX()), qRound(FormTop / TwipsPerPixelY()));  // 10
    mPopAlwaysOnTop->setCheckable(true);                            // 11
    mPopAlwaysOnTop->setChecked(AlwaysOnTopON);
    mPopAutoStart->setCheckable(true);
    mPopAutoStart->setChecked(AutoStartON);
    if (!mPopAutoStart->isChecked()) {                              // 12
        DrawStatus();
        ErrorMessage.clear();
        ShowSettings();
        if (CancelSettings) return;
    }
    SysTray_->RestoreWindow(mPopAlwaysOnTop->isChecked());          // 13
    ConnectToHost();                                                // 14
}

void frmVaskorLinkPC::ShowRefusal() {
    SysTray_->RestoreWindow(false);
    s_.boxes.Show(QStringLiteral("Your Virtual Port is Still Open!") + kCrLf +
                      QStringLiteral("Please Close the Application using it First."),
                  s_.program.exeName, MessageIcon::Exclamation);
    SysTray_->RestoreWindow(mPopAlwaysOnTop->isChecked());
}

void frmVaskorLinkPC::Form_QueryUnload(short &Cancel, short /*UnloadMode*/) {
    if (PortOpened) {
        ShowRefusal();
        Cancel = 1;
        return;
    }
    SysTray_->SetAlwaysOnTop(false);
    SaveINIfile(s_.iniPath);
}

void frmVaskorLinkPC::ForceClose() {
    if (unloaded_) return;
    SysTray_->SetAlwaysOnTop(false);
    SaveINIfile(s_.iniPath);
    Form_Unload();
}

void frmVaskorLinkPC::Form_Unload() {
    LinkStopped = true;
    s_.masterTimer.SetEnabled(false);
    s_.pump.DoEvents();
    CloseSockAfterSending();
    CloseVirtualPort();
    unloaded_ = true;
    s_.settingsDialog.Unload();
    hide();
    if (s_.quit) s_.quit();
}
