#pragma once

#include <termios.h>
#include <QByteArray>
#include <chrono>

// A serial program's side of a virtual port, for tests: opens a path the way
// such programs do (O_RDWR | O_NOCTTY, non-blocking so that no carrier wait
// can hang it) and reads and writes with time limits.
//
// Every waiting call keeps running the Qt event loop of the calling thread
// (when an application object exists), so a driver living on the test's own
// thread goes on working while the client waits for it.
class PtyClient {
public:
    using Millis = std::chrono::milliseconds;

    PtyClient() = default;
    ~PtyClient();
    PtyClient(const PtyClient &) = delete;
    PtyClient &operator=(const PtyClient &) = delete;

    // Closes a previous port first. False when the path cannot be opened.
    bool Open(const QByteArray &path);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }

    // One non-blocking write: the number of bytes taken (0 when the port
    // would block), or -1 on an error.
    qint64 WriteSome(const char *data, qint64 size);
    // True once the port takes bytes again; false when it stays full for
    // `timeout` (the reader is holding the client back).
    bool WaitWritable(Millis timeout);
    // Writes everything, waiting while the port is full. False on an error or
    // when the time-out passes first.
    bool WriteAll(const QByteArray &bytes, Millis timeout = Millis(5000));

    // Exactly `count` bytes, or whatever came before the time-out.
    QByteArray ReadExactly(qsizetype count, Millis timeout = Millis(5000));
    // Whatever arrives until nothing more has come for `quiet` (or until
    // `timeout` in all).
    QByteArray ReadUntilQuiet(Millis quiet, Millis timeout = Millis(5000));

    bool GetTermios(termios *settings) const;
    bool SetTermios(const termios &settings);
    // Raw 8-bit mode, as a binary serial program sets it.
    bool SetRaw();
    // A terminal's usual cooked mode ("stty sane"): canonical input, echo,
    // CR/LF translation both ways, signals, XON/XOFF.
    bool SetCooked();

private:
    int fd_ = -1;
};

// Runs the calling thread's event loop for about `duration` (plain sleep
// without an application object).
void RunEventLoopFor(std::chrono::milliseconds duration);
