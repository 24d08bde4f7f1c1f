#include "platform/DesktopEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/CommandLine.h"

namespace {

QStringList PathList(const char *variable, const QString &fallback) {
    QString value = qEnvironmentVariable(variable);
    if (value.isEmpty()) value = fallback;
    QStringList paths;
    for (const QString &path : value.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(path)) paths.append(path);
    }
    return paths;
}

// Lines of one group of an INI-style file, as key and value.
QList<std::pair<QString, QString>> GroupEntries(const QByteArray &content, const QString &group) {
    QList<std::pair<QString, QString>> entries;
    bool inGroup = false;
    for (const QByteArray &rawLine : content.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QLatin1Char('[') + group + QLatin1Char(']');
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (!inGroup || equals < 0) continue;
        entries.append({line.left(equals).trimmed(), line.mid(equals + 1).trimmed()});
    }
    return entries;
}

QByteArray ReadSmallFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.read(1 << 20);
}

QStringList ListedApplications(const QString &path, const QString &group, const QString &mimeType) {
    for (const auto &[key, value] : GroupEntries(ReadSmallFile(path), group)) {
        if (key == mimeType) return value.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    }
    return {};
}

QString UnescapeString(const QString &value) {
    QString result;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            result += c;
            continue;
        }
        switch (value[++i].unicode()) {
            case 's':
                result += QLatin1Char(' ');
                break;
            case 'n':
                result += QLatin1Char('\n');
                break;
            case 't':
                result += QLatin1Char('\t');
                break;
            case 'r':
                result += QLatin1Char('\r');
                break;
            case '\\':
                result += QLatin1Char('\\');
                break;
            default:
                result += QLatin1Char('\\') + value[i];
                break;
        }
    }
    return result;
}

bool IsDocumentFieldCode(const QString &word) {
    return word == QLatin1String("%f") || word == QLatin1String("%F") ||
           word == QLatin1String("%u") || word == QLatin1String("%U");
}

// "%%" becomes "%"; any other field code is dropped.
QString WithoutFieldCodes(const QString &word) {
    QString text;
    for (qsizetype i = 0; i < word.size(); ++i) {
        if (word[i] != QLatin1Char('%')) {
            text += word[i];
        } else if (i + 1 < word.size() && word[++i] == QLatin1Char('%')) {
            text += QLatin1Char('%');
        }
    }
    return text;
}

}  // namespace

XdgDirs XdgDirs::FromEnvironment() {
    const QString home = QDir::homePath();
    XdgDirs dirs;
    dirs.configDirs = PathList("XDG_CONFIG_HOME", home + QStringLiteral("/.config")) +
                      PathList("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg"));
    dirs.dataDirs = PathList("XDG_DATA_HOME", home + QStringLiteral("/.local/share")) +
                    PathList("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"));
    const QString desktops = qEnvironmentVariable("XDG_CURRENT_DESKTOP").toLower();
    dirs.desktops = desktops.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return dirs;
}

QString FindDesktopEntry(const QString &desktopId, const XdgDirs &dirs) {
    if (!desktopId.endsWith(QStringLiteral(".desktop")) || desktopId.contains(QLatin1Char('/')))
        return {};
    for (const QString &dir : dirs.dataDirs) {
        const QString path = dir + QStringLiteral("/applications/") + desktopId;
        if (QFileInfo(path).isFile()) return path;
    }
    return {};
}

QString DefaultApplicationFor(const QString &mimeType, const XdgDirs &dirs) {
    QStringList candidates;
    const auto addMimeApps = [&](const QString &dir) {
        for (const QString &desktop : dirs.desktops)
            candidates += dir + QLatin1Char('/') + desktop + QStringLiteral("-mimeapps.list");
        candidates += dir + QStringLiteral("/mimeapps.list");
    };
    for (const QString &dir : dirs.configDirs) addMimeApps(dir);
    for (const QString &dir : dirs.dataDirs) addMimeApps(dir + QStringLiteral("/applications"));

    QList<std::pair<QString, QString>> sources;  // file, group
    for (const QString &file : candidates)
        sources.append({file, QStringLiteral("Default Applications")});
    for (const QString &dir : dirs.dataDirs)
        sources.append({dir + QStringLiteral("/applications/defaults.list"),
                        QStringLiteral("Default Applications")});
    for (const QString &dir : dirs.dataDirs)
        sources.append(
            {dir + QStringLiteral("/applications/mimeinfo.cache"), QStringLiteral("MIME Cache")});

    for (const auto &[file, group] : sources) {
        for (const QString &id : ListedApplications(file, group, mimeType)) {
            if (!FindDesktopEntry(id, dirs).isEmpty()) return id;
        }
    }
    return {};
}

std::optional<QString> ExecKeyOf(const QByteArray &desktopEntry) {
    for (const auto &[key, value] : GroupEntries(desktopEntry, QStringLiteral("Desktop Entry"))) {
        if (key == QLatin1String("Exec")) return UnescapeString(value);
    }
    return std::nullopt;
}

std::optional<QStringList> ExpandExecLine(const QString &exec) {
    const std::optional<QStringList> words = SplitCommandLine(exec);
    if (!words || words->isEmpty() || IsDocumentFieldCode(words->first())) return std::nullopt;
    const QString program = WithoutFieldCodes(words->first());
    if (program.isEmpty()) return std::nullopt;
    QStringList expanded{program};
    bool hasDocument = false;
    for (const QString &word : words->mid(1)) {
        if (IsDocumentFieldCode(word)) {
            if (!hasDocument) expanded.append(QStringLiteral("%1"));
            hasDocument = true;
            continue;
        }
        const QString text = WithoutFieldCodes(word);
        // A word that was only a field code (%i, %c, %k) vanishes.
        if (!text.isEmpty() || word.isEmpty()) expanded.append(text);
    }
    if (!hasDocument) expanded.append(QStringLiteral("%1"));
    return expanded;
}
