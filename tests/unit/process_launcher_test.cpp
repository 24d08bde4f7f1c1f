#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>

#include "platform/CommandLine.h"
#include "platform/ProcessLauncher.h"

namespace {

using State = ProcessLauncher::Status::State;

class ProcessLauncherTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString Path(const QString &name) const { return dir.path() + QLatin1Char('/') + name; }

    // A shell script that may write to "$OUT", a file beside it.
    QString Script(const QString &name, const QByteArray &body) const {
        const QString path = Path(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\nOUT=\"$(dirname \"$0\")/out\"\n" + body + '\n');
        file.close();
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
        return path;
    }

    QString Output(const QString &folder = {}) const {
        QFile file(folder.isEmpty() ? Path(QStringLiteral("out"))
                                    : folder + QStringLiteral("/out"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed()
                                              : QString();
    }

    ProcessLauncher::Status WaitForEnd(qint64 pid) {
        const QDeadlineTimer deadline(20000);
        ProcessLauncher::Status status;
        while ((status = launcher.Poll(pid)).state == State::Running && !deadline.hasExpired())
            QThread::msleep(10);
        return status;
    }

    QTemporaryDir dir;
    PosixProcessLauncher launcher;
};

TEST_F(ProcessLauncherTest, ReportsTheExitCodeOnceAndReapsTheProcess) {
    const std::optional<qint64> pid = launcher.Start(QStringLiteral("/bin/sh -c 'exit 7'"));
    ASSERT_TRUE(pid);
    // Ids that waitpid reads as "any child" must not reap it.
    EXPECT_EQ(launcher.Poll(0).state, State::Unknown);
    EXPECT_EQ(launcher.Poll(-1).state, State::Unknown);
    const ProcessLauncher::Status status = WaitForEnd(*pid);
    EXPECT_EQ(status.state, State::Exited);
    EXPECT_EQ(status.exitCode, 7);
    EXPECT_EQ(launcher.Poll(*pid).state, State::Unknown);
}

TEST_F(ProcessLauncherTest, RunningProcessIsRunningAndASignalEndsItWith128PlusTheSignal) {
    const std::optional<qint64> pid = launcher.Start(QStringLiteral("sleep 30"));
    ASSERT_TRUE(pid);
    EXPECT_EQ(launcher.Poll(*pid).state, State::Running);
    ::kill(static_cast<pid_t>(*pid), SIGKILL);
    const ProcessLauncher::Status status = WaitForEnd(*pid);
    EXPECT_EQ(status.state, State::Exited);
    EXPECT_EQ(status.exitCode, 128 + SIGKILL);
}

TEST_F(ProcessLauncherTest, UnquotedPathWithSpacesNamingAProgramIsThatProgram) {
    const QString program =
        Script(QStringLiteral("My Programs/conf tool"), "echo \"$#\" > \"$OUT\"; exit 5");
    const std::optional<qint64> pid = launcher.Start(program);
    ASSERT_TRUE(pid);
    EXPECT_EQ(WaitForEnd(*pid).exitCode, 5);
    EXPECT_EQ(Output(Path(QStringLiteral("My Programs"))), QStringLiteral("0"));
}

TEST_F(ProcessLauncherTest, QuotedProgramTakesItsArgumentsAsAShellSplitsThem) {
    const QString program = Script(QStringLiteral("a dir/show"), "printf '%s|' \"$@\" > \"$OUT\"");
    const std::optional<qint64> pid =
        launcher.Start(QuoteArgumentAlways(program) + QStringLiteral(" /A \"Page=1\" 'x y' z\\ w"));
    ASSERT_TRUE(pid);
    EXPECT_EQ(WaitForEnd(*pid).exitCode, 0);
    EXPECT_EQ(Output(Path(QStringLiteral("a dir"))), QStringLiteral("/A|Page=1|x y|z w|"));
}

TEST_F(ProcessLauncherTest, RefusesWhatCannotBeStarted) {
    QFile plain(Path(QStringLiteral("not-executable")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    for (const QString &line :
         {QStringLiteral("/nonexistent/VaskorConfigurator.exe"),
          QStringLiteral("no-such-program-here"), QStringLiteral("\"/bin/true"), QString(),
          QStringLiteral("   "), Path(QStringLiteral("not-executable")), dir.path()}) {
        EXPECT_FALSE(launcher.Start(line)) << line.toStdString();
    }
}

TEST_F(ProcessLauncherTest, ChildInheritsNoStrayDescriptorsNorIgnoredSigpipe) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);  // without O_CLOEXEC, as a careless descriptor would be
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &previous);

    // Exits 1 when the descriptor is open in the child, 2 when SIGPIPE is ignored.
    const QString check = QStringLiteral(
                              "/bin/sh -c 'test -e /proc/self/fd/%1 && exit 1; "
                              "mask=$(sed -n \"s/^SigIgn:[[:space:]]*//p\" /proc/self/status); "
                              "test $(( 0x$mask & 0x1000 )) -ne 0 && exit 2; exit 0'")
                              .arg(fds[0]);
    const std::optional<qint64> pid = launcher.Start(check);
    sigaction(SIGPIPE, &previous, nullptr);
    ::close(fds[0]);
    ::close(fds[1]);
    ASSERT_TRUE(pid);
    EXPECT_EQ(WaitForEnd(*pid).exitCode, 0);
}

TEST_F(ProcessLauncherTest, DetachedProgramRunsInItsOwnSessionAndIsReaped) {
    const QString program =
        Script(QStringLiteral("detached"),
               "read -r stat < /proc/$$/stat; echo \"$$ ${stat#*) }\" > \"$OUT.tmp\"; "
               "mv \"$OUT.tmp\" \"$OUT\"");
    ASSERT_TRUE(launcher.StartDetached({program}));

    const QDeadlineTimer deadline(20000);
    while (Output().isEmpty() && !deadline.hasExpired()) QThread::msleep(10);
    // "<pid> <state> <ppid> <pgrp> <session> ..."
    const QStringList fields = Output().split(QLatin1Char(' '));
    ASSERT_GE(fields.size(), 5) << Output().toStdString();
    EXPECT_EQ(fields[4], fields[0]);

    const QString proc = QStringLiteral("/proc/") + fields[0];
    while (QFileInfo::exists(proc) && !deadline.hasExpired()) QThread::msleep(10);
    EXPECT_FALSE(QFileInfo::exists(proc)) << "left as a zombie";

    EXPECT_FALSE(launcher.StartDetached({QStringLiteral("/nonexistent/reader")}));
    EXPECT_FALSE(launcher.StartDetached({}));
}

}  // namespace
