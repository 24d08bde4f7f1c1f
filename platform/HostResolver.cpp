#include "platform/HostResolver.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>

namespace {

QByteArray AddressBytes(const sockaddr *address) {
    const auto *ipv4 = reinterpret_cast<const sockaddr_in *>(address);
    return QByteArray(reinterpret_cast<const char *>(&ipv4->sin_addr), 4);
}

bool IsLoopback(const QByteArray &address) {
    return address.size() == 4 && static_cast<unsigned char>(address[0]) == 127;
}

QList<QByteArray> InterfaceAddresses() {
    QList<QByteArray> addresses;
    ifaddrs *list = nullptr;
    if (::getifaddrs(&list) != 0) return addresses;
    for (const ifaddrs *entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
        if ((entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0) continue;
        const QByteArray address = AddressBytes(entry->ifa_addr);
        if (!addresses.contains(address)) addresses << address;
    }
    ::freeifaddrs(list);
    return addresses;
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
    // Ask the interfaces only when their answer can matter.
    if (!std::all_of(resolved.cbegin(), resolved.cend(), IsLoopback)) return resolved;
    return PreferInterfaceAddresses(resolved, InterfaceAddresses());
}

QList<QByteArray> PreferInterfaceAddresses(const QList<QByteArray> &resolved,
                                           const QList<QByteArray> &interfaceAddresses) {
    const bool onlyLoopback = std::all_of(resolved.cbegin(), resolved.cend(), IsLoopback);
    return onlyLoopback && !interfaceAddresses.isEmpty() ? interfaceAddresses : resolved;
}
