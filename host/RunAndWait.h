#pragma once

#include <QString>
#include <functional>

class Clock;
class MessageBoxes;
class MessagePump;
class ProcessLauncher;

// Starts `commandLine` and returns when the program has ended, letting the
// window's events run every 200 ms meanwhile (handlers may nest here). When
// it cannot be started, shows "Error Executing the Following Statement:"
// with the command line, titled `exeName`, and returns once that is closed.
// Returns early, leaving the program running, once `stopWaiting` says so
// (asked after every pass of events).
void RunAndWait(const QString &commandLine, ProcessLauncher &launcher, MessagePump &pump,
                Clock &clock, MessageBoxes &boxes, const QString &exeName,
                const std::function<bool()> &stopWaiting = {});
