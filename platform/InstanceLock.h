#pragma once

#include <QString>

// The test for a previous instance: an exclusive lock on a file in the user's
// runtime directory, keyed by the EXE name. The lock is held for the life of
// this object (and so of the process); the kernel drops it when the process
// ends, however it ends, so a crash leaves no stale lock behind.
class InstanceLock {
public:
    explicit InstanceLock(const QString &exeName);
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // True when another process of the same EXE name holds the lock.
    bool AnotherInstanceRunning() const { return held_by_other_; }

    // $XDG_RUNTIME_DIR, else /tmp/vaskorlink-<uid> (made 0700).
    static QString LockPath(const QString &exeName);

private:
    int fd_ = -1;
    bool held_by_other_ = false;
};
