// Builds the real platform services and hands them to the main window.
#include <QApplication>
#include <QElapsedTimer>

#include "app/frmVaskorLinkPC.h"
#include "config/IniLocation.h"
#include "config/InstanceName.h"
#include "config/QtSettingsDialogRunner.h"
#include "config/UnattendedSettingsRunner.h"
#include "platform/Clock.h"
#include "platform/CloseSignals.h"
#include "platform/DisplayMode.h"
#include "platform/Files.h"
#include "platform/HostResolver.h"
#include "platform/InstanceLock.h"
#include "platform/MessageBoxes.h"
#include "platform/MessagePump.h"
#include "platform/PortNames.h"
#include "platform/ProcessLauncher.h"
#include "platform/PtyDriver.h"
#include "platform/QuietQtMessages.h"
#include "platform/QtTcpClient.h"
#include "platform/QtTimer.h"
#include "platform/Registry.h"
#include "platform/TrayNotifier.h"
#include "platform/UrlOpener.h"
#include "shell/AppIcon.h"
#include "shell/frmAbout.h"

namespace {
// A close request while a client holds the port is refused; without anybody
// to see that, a second request this soon after ends the program anyway, so
// a service manager can always stop it.
constexpr qint64 kForceCloseWithinMs = 10000;
// A bad instance name is a configuration error that a restart cannot mend;
// the template unit tells systemd so through this status.
constexpr int kInvalidInstanceStatus = 2;
// Qt's own event dispatcher costs less per pass than GLib's, which matters
// where a request and its answer each take a few passes. Nothing here needs
// GLib's loop; a user's setting is kept.
void ChooseEventDispatcher() {
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
}
}  // namespace

int main(int argc, char **argv) {
    const bool unattended = ChooseDisplayMode() == DisplayMode::Unattended;
    if (unattended) QuietDisplayComplaints();
    ChooseEventDispatcher();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    InitShellResources();

    const ProgramInfo program = ProgramInfo::FromRunningProgram();
    const InstanceName instance = InstanceName::FromEnvironment();
    QtTcpClient sock;
    QtTimer masterTimer;
    SteadyClock clock;
    QtMessagePump pump;
    QtMessageBoxes desktopBoxes;
    StderrMessageBoxes lineBoxes(instance.Qualify(program.exeName));
    MessageBoxes &boxes = unattended ? static_cast<MessageBoxes &>(lineBoxes) : desktopBoxes;
    // Refused before the lock is taken, so a bad name creates nothing.
    if (!instance.IsValid()) {
        boxes.Show(instance.RefusalText(), program.exeName, MessageIcon::Critical);
        return kInvalidInstanceStatus;
    }
    const InstanceLock lock(instance.Qualify(program.exeName));
    QtSettingsDialogRunner desktopDialog;
    UnattendedSettingsRunner unattendedDialog(instance.Qualify(program.exeName));
    SettingsDialogRunner &settingsDialog =
        unattended ? static_cast<SettingsDialogRunner &>(unattendedDialog) : desktopDialog;
    PosixFiles files;
    QtTrayNotifier trayNotifier;
    SystemHostResolver resolver;
    PosixProcessLauncher launcher;
    DesktopRegistry registry;
    DesktopUrlOpener urlOpener;

    BridgeServices services{
        .program = program,
        .anotherInstanceRunning = [&lock] { return lock.AnotherInstanceRunning(); },
        .createDriver = [] { return CreatePtyDriver(); },
        .serialDeviceExists = [](const QString &name) { return SerialDeviceExists(name); },
        .sock = sock,
        .masterTimer = masterTimer,
        .clock = clock,
        .pump = pump,
        .boxes = boxes,
        .settingsDialog = settingsDialog,
        .files = files,
        .trayNotifier = trayNotifier,
        .resolver = resolver,
        .quit = [] { QCoreApplication::exit(0); },
        .launcher = launcher,
        .registry = registry,
        .showAbout =
            [&urlOpener](QWidget *owner) {
                frmAbout about(urlOpener, owner);
                about.exec();
            },
        .unattendedLog = unattended ? std::function<void(const QString &)>(
                                          [&lineBoxes, &program](const QString &line) {
                                              lineBoxes.Show(line, program.exeName,
                                                             MessageIcon::None);
                                          })
                                    : nullptr,
        .iniPath = IniPath(program, files, instance),
    };

    frmVaskorLinkPC window(services);
    if (!window.Form_Initialize()) return 0;
    CloseSignals closeSignals;
    QElapsedTimer sinceRefusal;
    QObject::connect(&closeSignals, &CloseSignals::CloseRequested, &window, [&] {
        if (unattended && sinceRefusal.isValid() && sinceRefusal.elapsed() < kForceCloseWithinMs) {
            window.ForceClose();
            return;
        }
        if (!window.RequestClose()) sinceRefusal.start();
    });
    window.Form_Load();
    if (window.Unloaded()) return 0;
    return app.exec();
}
