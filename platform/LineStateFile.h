#pragma once

#include <sys/types.h>
#include <QByteArray>

// The bridge's side of a port's modem-line record (LineStateRecord.h): the
// file serial programs read, through the preload library, to learn whether
// the link to the device is up, and where they keep DTR and RTS.
//
// Nothing here is needed for bytes to flow: when the record cannot be made,
// the port works as before and programs see a pty's usual refusals. Every
// call is non-blocking (small writes to a file in the runtime directory) and
// never throws.
class LineStateFile {
public:
    LineStateFile() = default;
    ~LineStateFile() { Remove(); }
    LineStateFile(const LineStateFile &) = delete;
    LineStateFile &operator=(const LineStateFile &) = delete;

    // Publishes the record for `slavePath` in `directory` (the port
    // directory, which must exist), with DTR and RTS asserted. Replaces a
    // leftover record of a bridge that was killed; refuses one that another
    // live bridge holds. False when nothing was published.
    bool Create(const QByteArray &directory, const QByteArray &slavePath, bool linkUp);
    // True when `directory` holds a record for the device at `devicePath`
    // that no live bridge holds: the bridge that made it has died.
    static bool IsLeftover(const QByteArray &directory, const QByteArray &devicePath);
    // Removes the file; no-op without one.
    void Remove();
    bool Published() const { return fd_ >= 0; }
    const QByteArray &Path() const { return path_; }

    // The device link went up or down: CTS, DSR and DCD follow, and a change
    // is counted.
    void SetLinkUp(bool up);
    // A client's last close: the next open finds DTR and RTS asserted, as a
    // real port's open asserts them.
    void ResetClientLines();

private:
    int fd_ = -1;
    QByteArray path_;
    bool linkUp_ = false;
    quint32 linkChanges_ = 0;
};
