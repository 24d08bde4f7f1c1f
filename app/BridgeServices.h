#pragma once

#include <functional>
#include <memory>

#include "platform/ProgramInfo.h"

class Clock;
class Files;
class HostResolver;
class MessageBoxes;
class MessagePump;
class SerialPortDriver;
class SettingsDialogRunner;
class TcpClientControl;
class Timer;
class TrayNotifier;
class ProcessLauncher;
class Registry;
class QWidget;

// Everything the main window needs from the operating system, handed in by
// main() (the real services) or by a test (doubles). The window does not own
// them; they must outlive it.
struct BridgeServices {
    ProgramInfo program;
    std::function<bool()> anotherInstanceRunning;
    // Creates the driver object; nullptr when no driver can be had.
    std::function<std::unique_ptr<SerialPortDriver>()> createDriver;
    // True when a serial device of that name exists on this machine.
    std::function<bool(const QString &)> serialDeviceExists;
    TcpClientControl &sock;
    Timer &masterTimer;
    Clock &clock;
    MessagePump &pump;
    MessageBoxes &boxes;
    SettingsDialogRunner &settingsDialog;
    Files &files;
    TrayNotifier &trayNotifier;
    HostResolver &resolver;
    // Ends the program's event loops once the window has unloaded.
    std::function<void()> quit;
    ProcessLauncher &launcher;
    Registry &registry;
    // Shows the About window modally, owned by `owner`; returns when it closed.
    std::function<void(QWidget *owner)> showAbout;
    // Unattended (no display) only: writes one line on standard error for
    // what a person on a desktop would see or need to know. Empty on a
    // desktop, where the windows say it.
    std::function<void(const QString &line)> unattendedLog;
    // Where the INI file lives (the program folder, or the per-user folder
    // when the program folder is read-only).
    QString iniPath;
};
