#include "platform/ProcessLauncher.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QByteArray>
#include <QFileInfo>
#include <cerrno>
#include <csignal>
#include <limits>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/CommandLine.h"

namespace {

std::optional<pid_t> Spawn(const QStringList &arguments, bool newSession) {
    if (arguments.isEmpty() || arguments.first().isEmpty()) return std::nullopt;

    std::vector<QByteArray> storage;
    storage.reserve(static_cast<size_t>(arguments.size()));
    for (const QString &argument : arguments) storage.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    argv.reserve(storage.size() + 1);
    for (QByteArray &bytes : storage) argv.push_back(bytes.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Descriptors opened without O_CLOEXEC (the pseudo-terminal's master, a
    // socket) must not reach the child: a reader left running would keep the
    // virtual port's terminal alive after the program removed it.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    // Ignored signals survive exec; the program may ignore SIGPIPE for the
    // terminal, which the child must not inherit.
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD, SIGUSR1, SIGUSR2})
        sigaddset(&defaults, signal);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (newSession) flags |= POSIX_SPAWN_SETSID;
    posix_spawnattr_setflags(&attributes, flags);

    pid_t pid = 0;
    // glibc reports a failed exec (ENOENT, EACCES, ENOEXEC) as the result.
    const int rc = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return std::nullopt;
    return pid;
}

std::optional<QStringList> ProgramAndArguments(const QString &commandLine) {
    // An unquoted path with spaces (a program folder under "My Programs")
    // would split into pieces; when the whole line is an executable file,
    // it is meant as one.
    const bool quoted =
        commandLine.startsWith(QLatin1Char('"')) || commandLine.startsWith(QLatin1Char('\''));
    if (!quoted && commandLine.contains(QLatin1Char('/'))) {
        const QFileInfo whole(commandLine);
        if (whole.isFile() && whole.isExecutable()) return QStringList{commandLine};
    }
    return SplitCommandLine(commandLine);
}

}  // namespace

std::optional<qint64> PosixProcessLauncher::Start(const QString &commandLine) {
    const std::optional<QStringList> arguments = ProgramAndArguments(commandLine);
    if (!arguments) return std::nullopt;
    const std::optional<pid_t> pid = Spawn(*arguments, false);
    if (!pid) return std::nullopt;
    return *pid;
}

ProcessLauncher::Status PosixProcessLauncher::Poll(qint64 pid) {
    using State = Status::State;
    // waitpid reads 0 and negative ids as "any child" or a process group.
    if (pid <= 0 || pid > std::numeric_limits<pid_t>::max()) return {State::Unknown, 0};
    int status = 0;
    pid_t result;
    do {
        result = waitpid(static_cast<pid_t>(pid), &status, WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == 0) return {State::Running, 0};
    if (result < 0) return {State::Unknown, 0};
    if (WIFSIGNALED(status)) return {State::Exited, 128 + WTERMSIG(status)};
    return {State::Exited, WEXITSTATUS(status)};
}

bool PosixProcessLauncher::StartDetached(const QStringList &arguments) {
    const std::optional<pid_t> pid = Spawn(arguments, true);
    if (!pid) return false;
    try {
        std::thread([child = *pid] {
            int status = 0;
            while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error &) {
        // Without a thread the child is reaped by init once this program
        // ends; it runs either way.
    }
    return true;
}
