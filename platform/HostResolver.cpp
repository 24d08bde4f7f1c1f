#include "platform/HostResolver.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <QFile>

#include <algorithm>

#include "platform/OwnAddresses.h"

namespace {

QByteArray AddressBytes(const sockaddr *address) {
    const auto *ipv4 = reinterpret_cast<const sockaddr_in *>(address);
    return QByteArray(reinterpret_cast<const char *>(&ipv4->sin_addr), 4);
}

QList<NetInterface> Interfaces() {
    QList<NetInterface> interfaces;
    ifaddrs *list = nullptr;
    if (::getifaddrs(&list) != 0) return interfaces;
    for (const ifaddrs *entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
        const QByteArray name(entry->ifa_name);
        auto it = std::find_if(interfaces.begin(), interfaces.end(),
                               [&](const NetInterface &known) { return known.name == name; });
        if (it == interfaces.end()) {
            NetInterface added;
            added.name = name;
            added.up = (entry->ifa_flags & IFF_UP) != 0;
            // The kernel sets IFF_RUNNING only while the link is operational:
            // a cable in, a veth peer up.
            added.carrier = (entry->ifa_flags & IFF_RUNNING) != 0;
            added.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
            interfaces << added;
            it = interfaces.end() - 1;
        }
        const QByteArray address = AddressBytes(entry->ifa_addr);
        if (!it->addresses.contains(address)) it->addresses << address;
    }
    ::freeifaddrs(list);
    return interfaces;
}

QByteArray SystemDefaultRouteInterface() {
    QFile routes(QStringLiteral("/proc/net/route"));
    if (!routes.open(QIODevice::ReadOnly)) return {};
    return DefaultRouteInterface(routes.readAll()).value_or(QByteArray());
}

}  // namespace

SocketsStartup SystemHostResolver::Startup(quint16) {
    return {0, 0x0101, 32767};
}

int SystemHostResolver::Cleanup() {
    return 0;
}

std::optional<QByteArray> SystemHostResolver::HostName() {
    char buffer[256] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0) return std::nullopt;
    return QByteArray(buffer);
}

std::optional<QList<QByteArray>> SystemHostResolver::ResolveIPv4(const QByteArray &name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;  // one entry per address, not one per socket type
    addrinfo *answer = nullptr;
    if (name.isEmpty() || ::getaddrinfo(name.constData(), nullptr, &hints, &answer) != 0) {
        return std::nullopt;
    }
    QList<QByteArray> resolved;
    for (const addrinfo *entry = answer; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family != AF_INET || entry->ai_addr == nullptr) continue;
        const QByteArray address = AddressBytes(entry->ai_addr);
        if (!resolved.contains(address)) resolved << address;
    }
    ::freeaddrinfo(answer);
    if (resolved.isEmpty()) return std::nullopt;
    return RankOwnAddresses(resolved, Interfaces(), SystemDefaultRouteInterface());
}
