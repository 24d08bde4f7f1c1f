#pragma once

#include <QByteArray>
#include <QString>

class Files;

// The main window's settings that live in the INI file. Every member starts
// as 0, False or empty; LoadINIfile gives them their defaults.
struct IniSettings {
    qint32 FormTop = 0;   // twips
    qint32 FormLeft = 0;  // twips
    QString RemoteIP;
    qint32 TCPport = 0;
    QString COMport;
    bool AlwaysOnTopON = false;
    bool AutoStartON = false;
    qint32 TcpTimeout = 0;  // milliseconds
    bool CTSflag = false;
    bool DCDflag = false;
    bool DSRflag = false;
    // The relay's tick (milliseconds). Shorter ticks answer a request sooner;
    // the default batches what a client writes within one tick into one send.
    qint32 RelayTick = 0;

    friend bool operator==(const IniSettings &, const IniSettings &) = default;
};

// The relay tick's range; anything outside it reads as the default.
inline constexpr qint32 kMinRelayTick = 1;
inline constexpr qint32 kMaxRelayTick = 50;
inline constexpr qint32 kDefaultRelayTick = 50;

// Largest INI file that is read; a larger one is treated like an unreadable
// one: the defaults stand.
inline constexpr qint64 kMaxIniFileBytes = 16 * 1024 * 1024;

// The defaults that hold before the file is read; RemoteIP is `localIP`.
IniSettings IniDefaults(const QString &localIP);

// Sets `s` to the defaults, then takes the values of the section named after
// `exeName` from the file at `path`. A missing, unreadable or oversized file
// leaves the defaults. Never writes anything.
void LoadINIfile(const QString &path, IniSettings &s, const QString &localIP,
                 const QString &exeName, Files &files);

// Applies the settings found in the file content `bytes` (the locale's 8-bit
// encoding, CR LF line ends) to `s`, without resetting it first.
void ParseINItext(const QByteArray &bytes, IniSettings &s, const QString &exeName);

// Writes the whole file anew from `s`: header, then the eleven settings, and
// RelayTick after them only when it is not the default.
// The old file is replaced only once the new one is complete on disk, so a
// failed save leaves it as it was. Creates the file's folder when missing.
// Returns false when nothing could be written.
bool SaveINIfile(const QString &path, const IniSettings &s, const QString &exeName, Files &files);

// The exact bytes that SaveINIfile writes.
QByteArray FormatINIfile(const IniSettings &s, const QString &exeName);

// Splits one line into an upper-case key and a trimmed value. A section
// header gives the whole line, upper-cased, as the key; a line without "="
// gives an empty key. Takes the line by value since it is rewritten.
void ParseINIline(QString line, QString &key, QString &value);

// One complete line, CR LF included, with "=" in column 17.
QString FormatINIline(const QString &key, const QString &value);

bool FileExists(const QString &path, Files &files);
