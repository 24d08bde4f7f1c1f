#include "FakeFiles.h"

bool FakeFiles::Exists(const QString &path) {
    calls << QStringLiteral("Exists ") + path;
    return content.contains(path);
}

std::optional<QByteArray> FakeFiles::ReadAll(const QString &path, qint64 maxBytes) {
    calls << QStringLiteral("ReadAll ") + path;
    const auto found = content.constFind(path);
    if (found == content.constEnd() || unreadable.contains(path) || found->size() > maxBytes) {
        return std::nullopt;
    }
    return *found;
}

bool FakeFiles::WriteReplacing(const QString &path, const QByteArray &bytes) {
    calls << QStringLiteral("WriteReplacing ") + path;
    if (failWrites) return false;
    content[path] = bytes;
    return true;
}

bool FakeFiles::IsDirectoryWritable(const QString &directory) {
    calls << QStringLiteral("IsDirectoryWritable ") + directory;
    return writableDirectories.contains(directory);
}

bool FakeFiles::MakeDirectories(const QString &directory) {
    calls << QStringLiteral("MakeDirectories ") + directory;
    if (failMakeDirectories) return false;
    directories.insert(directory);
    return true;
}
