#pragma once

#include <QByteArray>
#include <QString>

// Where virtual serial ports live and how a port name becomes a path.
//
// A name that contains "/" is the path itself. Any other name ("COM4") is a
// link of that name in the port directory: $VASKORLINK_PORT_DIR when set,
// else $XDG_RUNTIME_DIR/vaskorlink, else /tmp/vaskorlink-<uid>. Names become
// file names through the locale's 8-bit encoding.
//
// Every call blocks only for local file-system look-ups; none throws.

// The port directory as configured by the environment; not checked, not
// created.
QByteArray PortDirectory();

// Creates `directory` (its last component only) with mode 0700 when it is
// missing. True when it is then a real directory (not a link to one) owned by
// this user and not writable by group or others.
bool EnsurePortDirectory(const QByteArray &directory);

// The path a name maps to, without touching the file system. Empty for a
// name that cannot be a port: empty, containing NUL or a line break, a bare
// "." or "..", or not representable in the locale's encoding.
QByteArray PortPath(const QString &name);

// PortPath(), and for a bare name also EnsurePortDirectory(). Empty when
// either fails: this is the path CreatePort may put a link at.
QByteArray PreparePortPath(const QString &name);

// True when the name maps to an existing terminal character device, or to a
// link that leads to one (such as another instance's port). Regular files,
// other devices and dangling links do not count. Never opens the device:
// opening a real serial port can change its modem lines.
bool SerialDeviceExists(const QString &name);
