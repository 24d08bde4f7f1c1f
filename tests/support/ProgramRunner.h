#pragma once

#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <functional>

// Runs the real program for end-to-end tests: a copy of the executable in a
// scratch folder (so its INI file sits beside it), offscreen, with its own
// port directory and runtime directory.
class ProgramRunner {
public:
    ProgramRunner();
    ~ProgramRunner();

    // The INI text written beside the executable before Start(), CR LF ends.
    static QByteArray IniText(const QString &remoteIP, int tcpPort, const QString &comPort,
                              bool autoStart, int tcpTimeout = 5000);
    void WriteIni(const QByteArray &text);
    QByteArray ReadIni() const;

    // Runs as the named instance: VASKORLINK_INSTANCE is set (to an empty
    // value too) and IniPath() moves to the instance's settings folder.
    void SetInstance(const QString &name);
    // Uses the port, runtime and configuration directories of `other`, as a
    // second bridge of the same user would; call before Start().
    void ShareDirectoriesWith(const ProgramRunner &other);

    bool Start();
    qint64 Pid() const;
    void Signal(int number);
    // Exit code, or -1 when it has not ended within the time-out.
    int WaitExit(std::chrono::milliseconds timeout);
    bool Running() const;

    QString Folder() const { return folder_.path(); }
    // The port directory made for this runner (or the shared one), whatever
    // a test later puts into the environment.
    QString PortDir() const { return portDirPath_; }
    QString PortPath(const QString &name) const { return PortDir() + QLatin1Char('/') + name; }
    QString IniPath() const;
    // Waits until the port's link exists (or is gone).
    bool WaitPortExists(const QString &name, bool exists, std::chrono::milliseconds timeout) const;

    // From /proc: open file descriptors and resident memory of the program.
    int OpenFileDescriptors() const;
    qint64 ResidentKiB() const;
    QByteArray StandardError();
    // Everything the program has written to standard error so far, kept
    // across calls. It takes from the same source as StandardError(), which
    // hands out each part once: a test uses one or the other.
    QByteArray StandardErrorSoFar();
    // Waits until the standard error so far contains `text`.
    bool WaitStandardErrorContains(const QByteArray &text, std::chrono::milliseconds timeout);

    QProcessEnvironment &Environment() { return env_; }
    // Runs in the child between fork and exec (async-signal-safe calls only),
    // e.g. to put the program into a network namespace of the test's.
    void SetChildSetup(std::function<void()> setup) { childSetup_ = std::move(setup); }

private:
    QTemporaryDir folder_;
    QTemporaryDir portDir_;
    QTemporaryDir runtimeDir_;
    QString portDirPath_;
    QProcessEnvironment env_;
    QProcess process_;
    QByteArray stderrSoFar_;
    std::function<void()> childSetup_;
};
