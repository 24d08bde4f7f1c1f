#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Whole-file reads and writes, as the INI file needs them. Every call
// blocks until the file system has answered; none throws.
class Files {
public:
    virtual ~Files() = default;
    // True when `path` names an existing regular file (or a link to one).
    virtual bool Exists(const QString &path) = 0;
    // The whole content, or nullopt when the file cannot be opened or read.
    // Files larger than `maxBytes` are refused (nullopt) instead of read.
    virtual std::optional<QByteArray> ReadAll(const QString &path, qint64 maxBytes) = 0;
    // Replaces the file with `bytes` atomically: the new content is written
    // beside the old file, flushed, and renamed over it, so a failed write
    // leaves the old file whole. Returns false on any failure, and when
    // something other than a regular file is in the way (at the path or at
    // the end of its link), which is left as it is.
    virtual bool WriteReplacing(const QString &path, const QByteArray &bytes) = 0;
    // True when the current user may create files in `directory`.
    virtual bool IsDirectoryWritable(const QString &directory) = 0;
    // Creates `directory` and any missing parents (new ones mode 0700, as
    // per-user configuration folders are made). True when it is a directory
    // afterwards, whether or not it had to be created.
    virtual bool MakeDirectories(const QString &directory) = 0;
};

// POSIX implementation. Retries on EINTR, handles partial writes. Writing
// through a symbolic link replaces the file it points at, not the link.
class PosixFiles final : public Files {
public:
    bool Exists(const QString &path) override;
    std::optional<QByteArray> ReadAll(const QString &path, qint64 maxBytes) override;
    bool WriteReplacing(const QString &path, const QByteArray &bytes) override;
    bool IsDirectoryWritable(const QString &directory) override;
    bool MakeDirectories(const QString &directory) override;
};
