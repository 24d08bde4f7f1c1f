#include "host/RunAndWait.h"

#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "platform/MessagePump.h"
#include "platform/ProcessLauncher.h"

void RunAndWait(const QString &commandLine, ProcessLauncher &launcher, MessagePump &pump,
                Clock &clock, MessageBoxes &boxes, const QString &exeName,
                const std::function<bool()> &stopWaiting) {
    const std::optional<qint64> pid = launcher.Start(commandLine);
    if (!pid) {
        boxes.Show(QStringLiteral("Error Executing the Following Statement:\r\n\r\n") + commandLine,
                   exeName, MessageIcon::Exclamation);
        return;
    }
    // The poll asks whether the process itself is still running, so a program
    // whose exit code is 259 (STILL_ACTIVE elsewhere) ends the wait like any
    // other. A process that cannot be asked about ends it too.
    ProcessLauncher::Status status;
    do {
        pump.DoEvents();
        if (stopWaiting && stopWaiting()) return;
        clock.Sleep(200);
        status = launcher.Poll(*pid);
    } while (status.state == ProcessLauncher::Status::State::Running);
}
