#include <gtest/gtest.h>

#include <QTimer>

#include "host/RunAndWait.h"
#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "platform/MessagePump.h"
#include "support/LaunchFakes.h"

namespace {

using State = ProcessLauncher::Status::State;

// Pump and clock in one, writing into the launcher's log, so the order of
// pumping, sleeping and polling can be checked.
class Recorder final : public MessagePump, public Clock {
public:
    QStringList log;
    void DoEvents() override { log.append(QStringLiteral("events")); }
    quint32 TickCount() override { return 0; }
    void Sleep(int milliseconds) override {
        log.append(QStringLiteral("sleep ") + QString::number(milliseconds));
    }
};

struct Shown {
    QString text, title;
    MessageIcon icon;
};

class RecordingBoxes final : public MessageBoxes {
public:
    QList<Shown> shown;
    void Show(const QString &text, const QString &title, MessageIcon icon) override {
        shown.append({text, title, icon});
    }
};

class RunAndWaitTest : public ::testing::Test {
protected:
    RunAndWaitTest() {
        launcher.onCall = [this](const QString &call) { recorder.log.append(call); };
    }
    void Run(const QString &commandLine) {
        RunAndWait(commandLine, launcher, recorder, recorder, boxes,
                   QStringLiteral("VaskorLinkPC"));
    }

    Recorder recorder;
    FakeProcessLauncher launcher;
    RecordingBoxes boxes;
};

TEST_F(RunAndWaitTest, ProgramThatCannotStartIsReportedAndNotWaitedFor) {
    launcher.startFails = true;
    Run(QStringLiteral("/opt/My Programs/VaskorConfigurator.exe"));

    ASSERT_EQ(boxes.shown.size(), 1);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Error Executing the Following Statement:\r\n\r\n"
                                                  "/opt/My Programs/VaskorConfigurator.exe"));
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("VaskorLinkPC"));
    EXPECT_EQ(boxes.shown[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(recorder.log,
              QStringList{QStringLiteral("start /opt/My Programs/VaskorConfigurator.exe")});
}

TEST_F(RunAndWaitTest, LetsEventsRunThenSleepsThenPollsUntilTheProgramHasEnded) {
    launcher.polls = {{State::Running, 0}, {State::Running, 0}, {State::Exited, 3}};
    Run(QStringLiteral("/opt/conf"));

    QStringList expected{QStringLiteral("start /opt/conf")};
    for (int i = 0; i < 3; ++i)
        expected << QStringLiteral("events") << QStringLiteral("sleep 200")
                 << QStringLiteral("poll 4242");
    EXPECT_EQ(recorder.log, expected);
    EXPECT_TRUE(boxes.shown.isEmpty());
}

TEST_F(RunAndWaitTest, ExitCode259EndsTheWaitLikeAnyOther) {
    launcher.polls = {{State::Running, 0}, {State::Exited, 259}};
    Run(QStringLiteral("/opt/conf"));
    EXPECT_EQ(launcher.pollCount, 2);
}

TEST_F(RunAndWaitTest, ProcessThatCannotBeAskedAboutEndsTheWaitAfterOnePass) {
    launcher.polls = {{State::Unknown, 0}};
    Run(QStringLiteral("/opt/conf"));
    EXPECT_EQ(recorder.log.count(QStringLiteral("events")), 1);
    EXPECT_EQ(launcher.pollCount, 1);
}

TEST(RunAndWaitReal, KeepsHandlingEventsWhileTheProgramRuns) {
    PosixProcessLauncher launcher;
    QtMessagePump pump;
    SteadyClock clock;
    RecordingBoxes boxes;
    bool timerRan = false;
    QTimer::singleShot(0, [&] { timerRan = true; });

    RunAndWait(QStringLiteral("/bin/sh -c 'sleep 0.3'"), launcher, pump, clock, boxes,
               QStringLiteral("VaskorLinkPC"));

    EXPECT_TRUE(timerRan);
    EXPECT_TRUE(boxes.shown.isEmpty());
}

}  // namespace
