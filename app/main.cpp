// Builds the real platform services and hands them to the main window.
#include <QApplication>

#include "app/frmVaskorLinkPC.h"
#include "config/IniLocation.h"
#include "config/QtSettingsDialogRunner.h"
#include "platform/Clock.h"
#include "platform/CloseSignals.h"
#include "platform/Files.h"
#include "platform/HostResolver.h"
#include "platform/InstanceLock.h"
#include "platform/MessageBoxes.h"
#include "platform/MessagePump.h"
#include "platform/PortNames.h"
#include "platform/ProcessLauncher.h"
#include "platform/PtyDriver.h"
#include "platform/QtTcpClient.h"
#include "platform/QtTimer.h"
#include "platform/Registry.h"
#include "platform/TrayNotifier.h"
#include "platform/UrlOpener.h"
#include "shell/AppIcon.h"
#include "shell/frmAbout.h"

namespace {
// Window positions, topmost and shaped windows need X11: under Wayland run
// on XWayland unless the user chose a platform.
void PreferX11UnderWayland() {
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && !qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
}
}  // namespace

int main(int argc, char **argv) {
    PreferX11UnderWayland();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    InitShellResources();

    const ProgramInfo program = ProgramInfo::FromRunningProgram();
    const InstanceLock lock(program.exeName);
    QtTcpClient sock;
    QtTimer masterTimer;
    SteadyClock clock;
    QtMessagePump pump;
    QtMessageBoxes boxes;
    QtSettingsDialogRunner settingsDialog;
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
        .iniPath = IniPath(program, files),
    };

    frmVaskorLinkPC window(services);
    if (!window.Form_Initialize()) return 0;
    CloseSignals closeSignals;
    QObject::connect(&closeSignals, &CloseSignals::CloseRequested, &window, [&window] { window.RequestClose(); });
    window.Form_Load();
    if (window.Unloaded()) return 0;
    return app.exec();
}
