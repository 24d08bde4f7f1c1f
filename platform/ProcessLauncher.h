#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <optional>

// Starts other programs: the configurator, which is waited for, and the PDF
// reader, which is not.
class ProcessLauncher {
public:
    struct Status {
        enum class State {
            Running,
            // The process has ended and has been reaped; exitCode holds its
            // exit status, or 128 + the signal number when a signal ended it.
            Exited,
            // Not a child of this launcher, or already reaped: nothing to wait for.
            Unknown,
        };
        State state = State::Unknown;
        int exitCode = 0;
    };

    virtual ~ProcessLauncher() = default;

    // Starts `commandLine` as a child process and returns its process id, or
    // nullopt when it cannot be started (no such program, not executable,
    // unterminated quote, empty line). A line that does not begin with a
    // quote and names an existing executable file as a whole is that one
    // program, spaces and all; otherwise it is split by SplitCommandLine
    // (platform/CommandLine.h) and a program without "/" is looked up in
    // PATH. The child gets this process's environment and working directory,
    // default signal handling and no inherited descriptors beyond 0, 1, 2.
    // Does not wait for the program. The caller must Poll until it is no
    // longer Running, which reaps it.
    virtual std::optional<qint64> Start(const QString &commandLine) = 0;

    // Never blocks. Reaps the process when it has ended.
    virtual Status Poll(qint64 pid) = 0;

    // Starts `arguments[0]` (looked up in PATH when it holds no "/") with the
    // rest as its arguments, in a session of its own, and forgets it: it is
    // reaped in the background, so it never lingers as a zombie. False when
    // it cannot be started. Does not wait for the program.
    virtual bool StartDetached(const QStringList &arguments) = 0;
};

// posix_spawnp and waitpid.
class PosixProcessLauncher final : public ProcessLauncher {
public:
    std::optional<qint64> Start(const QString &commandLine) override;
    Status Poll(qint64 pid) override;
    bool StartDetached(const QStringList &arguments) override;
};
