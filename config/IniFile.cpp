#include "config/IniFile.h"

#include <QFileInfo>
#include <cmath>

#include "config/NumberText.h"
#include "platform/Files.h"

namespace {

QString SectionHeader(const QString &exeName) {
    return QLatin1Char('[') + exeName.toUpper() + QLatin1Char(']');
}

QString BooleanText(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

void ApplySetting(const QString &key, const QString &value, IniSettings &s) {
    const auto number = [&value] { return RoundToInt32(LeadingNumber(value)); };
    const auto boolean = [&value] { return value.toUpper() == QLatin1String("TRUE"); };

    if (key == QLatin1String("TOP")) {
        s.FormTop = number();
    } else if (key == QLatin1String("LEFT")) {
        s.FormLeft = number();
    } else if (key == QLatin1String("REMOTEIP")) {
        s.RemoteIP = value;
    } else if (key == QLatin1String("TCPPORT")) {
        s.TCPport = number();
    } else if (key == QLatin1String("COMPORT")) {
        // A bare number names a port by its number; an overflowing one has no
        // decimal form and is kept as written.
        const NumberScan scan = ScanNumber(value);
        s.COMport = scan.wholeText && std::isfinite(scan.value)
                        ? QStringLiteral("COM") + ShortestDecimal(scan.value)
                        : value;
    } else if (key == QLatin1String("ALWAYSONTOP")) {
        s.AlwaysOnTopON = boolean();
    } else if (key == QLatin1String("AUTOSTART")) {
        s.AutoStartON = boolean();
    } else if (key == QLatin1String("TCPTIMEOUT")) {
        s.TcpTimeout = number();
    } else if (key == QLatin1String("CTS")) {
        s.CTSflag = boolean();
    } else if (key == QLatin1String("DCD")) {
        s.DCDflag = boolean();
    } else if (key == QLatin1String("DSR")) {
        s.DSRflag = boolean();
    } else if (key == QLatin1String("RELAYTICK")) {
        // A tick of 0 would spin; one longer than the default would only
        // hold bytes back. Neither is a setting anybody means.
        const qint32 tick = number();
        s.RelayTick = tick >= kMinRelayTick && tick <= kMaxRelayTick ? tick : kDefaultRelayTick;
    }
}

}  // namespace

IniSettings IniDefaults(const QString &localIP) {
    IniSettings s;
    s.FormTop = 0;
    s.FormLeft = 0;
    s.RemoteIP = localIP;
    s.TCPport = 5555;
    s.COMport = QStringLiteral("COM4");
    s.AlwaysOnTopON = false;
    s.AutoStartON = false;
    s.TcpTimeout = 5000;
    s.CTSflag = false;
    s.DCDflag = false;
    s.DSRflag = false;
    s.RelayTick = kDefaultRelayTick;
    return s;
}

bool FileExists(const QString &path, Files &files) {
    return files.Exists(path);
}

void LoadINIfile(const QString &path, IniSettings &s, const QString &localIP,
                 const QString &exeName, Files &files) {
    s = IniDefaults(localIP);
    if (!FileExists(path, files)) return;
    const std::optional<QByteArray> bytes = files.ReadAll(path, kMaxIniFileBytes);
    if (!bytes) return;
    ParseINItext(*bytes, s, exeName);
}

void ParseINItext(const QByteArray &bytes, IniSettings &s, const QString &exeName) {
    const QString text = QString::fromLocal8Bit(bytes);
    const QString header = SectionHeader(exeName);
    const QLatin1String lineEnd("\r\n");

    // Only lines ended by CR LF count; text after the last one is ignored.
    bool inOurSection = false;
    QString key;
    QString value;
    qsizetype position = 0;
    for (qsizetype end = text.indexOf(lineEnd); end >= 0; end = text.indexOf(lineEnd, position)) {
        ParseINIline(text.sliced(position, end - position), key, value);
        position = end + lineEnd.size();
        if (key.isEmpty()) continue;
        if (key.startsWith(QLatin1Char('['))) inOurSection = key == header;
        if (inOurSection) ApplySetting(key, value, s);
    }
}

void ParseINIline(QString line, QString &key, QString &value) {
    for (QChar &c : line) {
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('\t')) {
            c = QLatin1Char(' ');
        }
    }
    line = TrimBlanks(line);
    key.clear();
    value.clear();
    if (line.isEmpty()) return;
    if (line.startsWith(QLatin1Char('['))) {
        key = line.toUpper();
        return;
    }
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    if (equals < 0) return;
    key = TrimBlanks(line.left(equals)).toUpper();
    value = TrimBlanks(line.sliced(equals + 1));
}

QString FormatINIline(const QString &key, const QString &value) {
    QString line = (QStringLiteral("   ") + key + QString(16, QLatin1Char(' '))).left(16);
    line += QLatin1Char('=');
    const QString trimmed = TrimBlanks(value);
    if (!trimmed.isEmpty()) line += QLatin1Char(' ') + trimmed;
    line += QLatin1String("\r\n");
    return line;
}

QByteArray FormatINIfile(const IniSettings &s, const QString &exeName) {
    QString text = SectionHeader(exeName) + QLatin1String("\r\n");
    text += FormatINIline(QStringLiteral("Top"), QString::number(s.FormTop));
    text += FormatINIline(QStringLiteral("Left"), QString::number(s.FormLeft));
    text += FormatINIline(QStringLiteral("RemoteIP"), s.RemoteIP);
    text += FormatINIline(QStringLiteral("TCPport"), QString::number(s.TCPport));
    text += FormatINIline(QStringLiteral("COMport"), s.COMport);
    text += FormatINIline(QStringLiteral("AlwaysOnTop"), BooleanText(s.AlwaysOnTopON));
    text += FormatINIline(QStringLiteral("AutoStart"), BooleanText(s.AutoStartON));
    text += FormatINIline(QStringLiteral("TcpTimeout"), QString::number(s.TcpTimeout));
    text += FormatINIline(QStringLiteral("CTS"), BooleanText(s.CTSflag));
    text += FormatINIline(QStringLiteral("DCD"), BooleanText(s.DCDflag));
    text += FormatINIline(QStringLiteral("DSR"), BooleanText(s.DSRflag));
    // Only written when changed, so a file with the defaults keeps its
    // long-standing layout for anything else that reads it.
    if (s.RelayTick != kDefaultRelayTick)
        text += FormatINIline(QStringLiteral("RelayTick"), QString::number(s.RelayTick));
    return text.toLocal8Bit();
}

bool SaveINIfile(const QString &path, const IniSettings &s, const QString &exeName, Files &files) {
    const QString folder = QFileInfo(path).path();
    if (!files.MakeDirectories(folder)) return false;
    return files.WriteReplacing(path, FormatINIfile(s, exeName));
}
