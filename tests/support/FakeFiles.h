#pragma once

#include <QMap>
#include <QSet>
#include <QStringList>

#include "platform/Files.h"

// In-memory files. Records every call as "<Operation> <path>" and can be
// told to fail reads, writes and folder creation.
class FakeFiles final : public Files {
public:
    QMap<QString, QByteArray> content;  // the files that exist
    QSet<QString> unreadable;           // exist, but ReadAll fails
    QSet<QString> writableDirectories;
    QSet<QString> directories;  // exist; MakeDirectories adds to it
    bool failWrites = false;
    bool failMakeDirectories = false;
    QStringList calls;

    bool Exists(const QString &path) override;
    std::optional<QByteArray> ReadAll(const QString &path, qint64 maxBytes) override;
    bool WriteReplacing(const QString &path, const QByteArray &bytes) override;
    bool IsDirectoryWritable(const QString &directory) override;
    bool MakeDirectories(const QString &directory) override;
};
