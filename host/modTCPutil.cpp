#include "host/modTCPutil.h"

#include <QCoreApplication>
#include <QStringList>

#include "platform/HostResolver.h"
#include "platform/MessageBoxes.h"

namespace {

constexpr quint16 kRequestedVersion = 0x0101;  // 1.1

QByteArray TrimmedName(QByteArray name) {
    const qsizetype nul = name.indexOf('\0');
    if (nul >= 0) name.truncate(nul);
    qsizetype begin = 0;
    qsizetype end = name.size();
    while (begin < end && name[begin] == ' ') ++begin;
    while (end > begin && name[end - 1] == ' ') --end;
    return name.sliced(begin, end - begin);
}

QString DottedDecimal(const QByteArray &address) {
    QStringList parts;
    for (const char byte : address) parts << QString::number(static_cast<unsigned char>(byte));
    return parts.join(QLatin1Char('.'));
}

}  // namespace

bool StartWinsock(HostResolver &resolver) {
    const SocketsStartup startup = resolver.Startup(kRequestedVersion);
    if (startup.error != 0) return false;
    if (startup.maxSockets < 1) return false;
    const int major = startup.version & 0xFF;
    const int minor = startup.version >> 8;
    if (major == 0 || (major == 1 && minor == 0)) return false;
    return true;
}

void StopWinsock(HostResolver &resolver, MessageBoxes &boxes) {
    if (resolver.Cleanup() != 0) {
        boxes.Show(QStringLiteral("Socket error occurred in Cleanup."),
                   QCoreApplication::applicationName(), MessageIcon::None);
    }
}

QString GetLocalIP(HostResolver &resolver, MessageBoxes &boxes) {
    if (!StartWinsock(resolver)) return QString();
    QString result;
    if (const std::optional<QByteArray> name = resolver.HostName()) {
        const std::optional<QList<QByteArray>> addresses = resolver.ResolveIPv4(TrimmedName(*name));
        // Only the first address counts, whichever interface it belongs to.
        if (addresses && !addresses->isEmpty()) result = DottedDecimal(addresses->first());
    }
    StopWinsock(resolver, boxes);
    return result;
}
