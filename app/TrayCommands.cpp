// What the user can do: clicks on the tray icon and the skin, and the
// commands of the pop-up menu.
#include <QCursor>
#include <QMenu>

#include "app/Lamp.h"
#include "app/frmVaskorLinkPC.h"
#include "host/HelpDocument.h"
#include "host/RunAndWait.h"
#include "platform/Files.h"
#include "platform/MessagePump.h"
#include "platform/TcpClientControl.h"
#include "platform/Timer.h"
#include "shell/SysTray.h"
#include "shell/modShapeForm.h"

void frmVaskorLinkPC::ShowPopupMenu() {
    mPopConfigure->setEnabled(!PortOpened);
    if (popupMenuHook)
        popupMenuHook(*mPopSysTray);
    else
        mPopSysTray->exec(QCursor::pos());
}

void frmVaskorLinkPC::SysTray_MouseDown(short &Button, short & /*Shift*/) {
    if (SettingsON || AboutON) return;
    if (Button == 1) {
        SysTray_->RestoreWindow(true);
        s_.pump.DoEvents();
        SysTray_->RestoreWindow(mPopAlwaysOnTop->isChecked());
    } else if (Button == 2) {
        ShowPopupMenu();
    }
}

void frmVaskorLinkPC::Form_MouseDown(short Button, short /*Shift*/, float /*X*/, float /*Y*/) {
    if (Button == 2)
        ShowPopupMenu();
    else
        DragWindow(this);
}

void frmVaskorLinkPC::mPopAbout_Click() {
    AboutON = true;
    if (s_.showAbout) s_.showAbout(this);
    AboutON = false;
}

void frmVaskorLinkPC::mPopHelp_Click() {
    const QString name = s_.program.exeName + QStringLiteral(".pdf");
    QString document = s_.program.InFolder(name);
    // An installed copy keeps its documents in the data folder beside bin/.
    const QString installed =
        s_.program.InFolder(QStringLiteral("../share/vaskorlinkpc/") + name);
    if (!s_.files.Exists(document) && s_.files.Exists(installed)) document = installed;
    OpenHelpDocument(document, 1, s_.registry, s_.launcher);
}

void frmVaskorLinkPC::mPopAlwaysOnTop_Click() {
    mPopAlwaysOnTop->setChecked(!mPopAlwaysOnTop->isChecked());
    SysTray_->SetAlwaysOnTop(mPopAlwaysOnTop->isChecked());
}

void frmVaskorLinkPC::mPopAutoStart_Click() {
    mPopAutoStart->setChecked(!mPopAutoStart->isChecked());
}

void frmVaskorLinkPC::mPopSettings_Click() {
    if (PortOpened) {
        ShowRefusal();
        return;
    }
    ErrorMessage.clear();
    ShowSettings();
    // A close request that came while the dialog was open has ended the
    // program: its window must not come back.
    if (unloaded_) return;
    SysTray_->RestoreWindow(mPopAlwaysOnTop->isChecked());
    if (!CancelSettings) ConnectToHost();
}

void frmVaskorLinkPC::mPopConfigure_Click() {
    // The menu item is disabled while a client holds the port, but the menu
    // may have been opened before the client came. Going on would tear the
    // link down only for the Settings command to refuse afterwards.
    if (PortOpened) {
        ShowRefusal();
        return;
    }
    SettingsON = true;                                                     // 1
    LinkStopped = true;
    s_.masterTimer.SetEnabled(false);                                      // 2
    s_.pump.DoEvents();
    CloseVirtualPort();                                                    // 3
    CloseSockAfterSending();                                               // 4
    ShowDeviceLink(false);                                                 // 5
    // A close request ends the wait (the configurator may go on running).
    RunAndWait(s_.program.InFolder(QStringLiteral("VaskorConfigurator")), s_.launcher,  // 6
               s_.pump, s_.clock, s_.boxes, s_.program.exeName, [this] { return unloaded_; });
    if (unloaded_) return;
    mPopSettings_Click();                                                  // 7
}

void frmVaskorLinkPC::mPopExit_Click() { RequestClose(); }
