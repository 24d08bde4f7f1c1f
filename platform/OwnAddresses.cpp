#include "platform/OwnAddresses.h"

#include <QList>

#include <algorithm>
#include <limits>

namespace {

bool Usable(const NetInterface &interface) {
    return interface.up && interface.carrier && !interface.loopback;
}

const NetInterface *OwnerOf(const QByteArray &address, const QList<NetInterface> &interfaces) {
    for (const NetInterface &interface : interfaces) {
        if (interface.addresses.contains(address)) return &interface;
    }
    return nullptr;
}

void AddOnce(QList<QByteArray> &list, const QByteArray &address) {
    if (!list.contains(address)) list << address;
}

}  // namespace

bool IsLoopbackAddress(const QByteArray &address) {
    return address.size() == 4 && static_cast<unsigned char>(address[0]) == 127;
}

QList<QByteArray> RankOwnAddresses(const QList<QByteArray> &resolved,
                                   const QList<NetInterface> &interfaces,
                                   const QByteArray &defaultRouteInterface) {
    const bool ours = std::any_of(resolved.cbegin(), resolved.cend(), [&](const QByteArray &a) {
        return IsLoopbackAddress(a) || OwnerOf(a, interfaces) != nullptr;
    });
    if (!ours) return resolved;

    QList<QByteArray> ranked;
    for (const NetInterface &interface : interfaces) {
        if (Usable(interface) && interface.name == defaultRouteInterface) {
            for (const QByteArray &address : interface.addresses) AddOnce(ranked, address);
        }
    }
    for (const QByteArray &address : resolved) {
        const NetInterface *owner = OwnerOf(address, interfaces);
        if (owner != nullptr && Usable(*owner)) AddOnce(ranked, address);
    }
    for (const NetInterface &interface : interfaces) {
        if (!Usable(interface)) continue;
        for (const QByteArray &address : interface.addresses) {
            if (!IsLoopbackAddress(address)) AddOnce(ranked, address);
        }
    }
    for (const QByteArray &address : resolved) {
        if (!IsLoopbackAddress(address) && OwnerOf(address, interfaces) == nullptr)
            AddOnce(ranked, address);
    }
    for (const QByteArray &address : resolved) {
        if (!IsLoopbackAddress(address)) AddOnce(ranked, address);
    }
    for (const QByteArray &address : resolved) AddOnce(ranked, address);
    return ranked;
}

std::optional<QByteArray> DefaultRouteInterface(const QByteArray &procNetRoute) {
    // Iface Destination Gateway Flags RefCnt Use Metric Mask ...; hex fields.
    constexpr uint kRouteUp = 0x1;
    std::optional<QByteArray> best;
    uint bestMetric = std::numeric_limits<uint>::max();
    const QList<QByteArray> lines = procNetRoute.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].simplified().split(' ');
        if (fields.size() < 8) continue;
        bool ok = false;
        const uint flags = fields[3].toUInt(&ok, 16);
        const uint metric = fields[6].toUInt(nullptr, 10);
        if (!ok || (flags & kRouteUp) == 0) continue;
        if (fields[1].toUInt(nullptr, 16) != 0 || fields[7].toUInt(nullptr, 16) != 0) continue;
        if (!best || metric < bestMetric) {
            best = fields[0];
            bestMetric = metric;
        }
    }
    return best;
}
