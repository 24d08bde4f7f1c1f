// Feeds arbitrary bytes through the INI reader, and checks that whatever it
// accepted is written so that it reads back identically.
#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "config/IniFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QString exe = QStringLiteral("VaskorLinkPC");
    const QString localIP = QStringLiteral("127.0.0.1");

    IniSettings loaded = IniDefaults(localIP);
    ParseINItext(bytes, loaded, exe);

    IniSettings reloaded = IniDefaults(QStringLiteral("unused"));
    ParseINItext(FormatINIfile(loaded, exe), reloaded, exe);
    if (!(reloaded == loaded)) std::abort();

    QString key;
    QString value;
    ParseINIline(QString::fromLocal8Bit(bytes), key, value);
    return 0;
}
