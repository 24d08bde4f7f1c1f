#pragma once

#include <QString>

// The test for a previous instance: an exclusive lock on a file in the user's
// runtime directory, keyed by the EXE name (with the instance name, for
// bridges that run side by side; the key must be a plain file name). The
// lock is held for the life of this object (and so of the process); the
// kernel drops it when the process ends, however it ends, so a crash leaves
// no stale lock behind.
class InstanceLock {
public:
    explicit InstanceLock(const QString &key);
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // True when the lock of this key was already held, normally by another
    // process.
    bool AnotherInstanceRunning() const { return held_by_other_; }

    // $XDG_RUNTIME_DIR, else /tmp/vaskorlink-<uid> (made 0700).
    static QString LockPath(const QString &key);

private:
    int fd_ = -1;
    bool held_by_other_ = false;
};
