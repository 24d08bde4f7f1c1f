#pragma once

#include <QByteArray>

// One pseudo-terminal pair, held through its master. The driver reads and
// writes the master itself; this class owns the descriptor and hides the
// termios and flush details. No call blocks; none throws.
class PtyTerminal {
public:
    PtyTerminal() = default;
    ~PtyTerminal() { Close(); }
    PtyTerminal(const PtyTerminal &) = delete;
    PtyTerminal &operator=(const PtyTerminal &) = delete;

    // True when this process can open pseudo-terminals at all.
    static bool Available();

    // Opens a new pair: master non-blocking and close-on-exec, slave in raw
    // mode with mode 0600, then opened and closed once so that the master
    // reports hang-up until a client opens the slave. False on failure, with
    // nothing left open.
    bool Open();
    void Close();

    bool IsOpen() const { return master_ >= 0; }
    int MasterFd() const { return master_; }
    // The slave's device path, e.g. "/dev/pts/3".
    const QByteArray &SlavePath() const { return slavePath_; }

    // Becomes readable when anyone opens or closes the slave (an inotify
    // watch on its device node), so an absent client costs no polling; -1
    // where the system does not give one (inotify instances are limited).
    int OpenCloseWatchFd() const { return openCloseWatch_; }
    // Empties the watch, to be called when it is readable.
    void DrainOpenCloseWatch() const;

    struct State {
        bool hangup = false;    // no client holds the slave
        bool readable = false;  // bytes from a client are waiting
    };
    // The master's state right now (poll without waiting).
    State Poll() const;

    // Puts the slave back into raw mode when a client has changed it. Line
    // speed and the client's VMIN/VTIME are left alone unless the client had
    // turned canonical mode on.
    void EnsureRaw() const;

    // Discards bytes written toward the client that no client has read, in
    // the kernel's buffers and in the slave's line discipline.
    void DiscardTowardClient() const;
    // Discards bytes a client wrote that have not been read from the master.
    void DiscardFromClient() const;

private:
    int OpenSlave() const;

    int master_ = -1;
    int openCloseWatch_ = -1;
    QByteArray slavePath_;
};
