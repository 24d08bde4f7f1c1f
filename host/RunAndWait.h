#pragma once

#include <QString>

class Clock;
class MessageBoxes;
class MessagePump;
class ProcessLauncher;

// Starts `commandLine` and returns when the program has ended, letting the
// window's events run every 200 ms meanwhile (handlers may nest here). When
// it cannot be started, shows "Error Executing the Following Statement:"
// with the command line, titled `exeName`, and returns once that is closed.
void RunAndWait(const QString &commandLine, ProcessLauncher &launcher, MessagePump &pump,
                Clock &clock, MessageBoxes &boxes, const QString &exeName);
