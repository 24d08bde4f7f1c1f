#pragma once

#include <QByteArray>
#include <QList>
#include <optional>

// What starting the sockets library reports: 0 for success, the version it
// grants (low byte major, high byte minor) and how many sockets it allows.
struct SocketsStartup {
    int error = 0;
    quint16 version = 0;
    qint16 maxSockets = 0;
};

// This machine's host name and the IPv4 addresses it resolves to.
class HostResolver {
public:
    virtual ~HostResolver() = default;
    // Readies the sockets library. Never blocks.
    virtual SocketsStartup Startup(quint16 requestedVersion) = 0;
    // Releases it again; 0 on success. Never blocks.
    virtual int Cleanup() = 0;
    // The host name as the system holds it, without terminating NUL;
    // nullopt on failure. Never blocks.
    virtual std::optional<QByteArray> HostName() = 0;
    // The IPv4 addresses of `name`, each 4 bytes in network order, in the
    // resolver's order, except that for a name of this machine the address
    // it is reached at comes first; nullopt when the name does not resolve.
    // Blocks while the resolver works (files, DNS).
    virtual std::optional<QList<QByteArray>> ResolveIPv4(const QByteArray &name) = 0;
};

// Linux: nothing to start or clean up (both succeed, granting version 1.1);
// gethostname and getaddrinfo. The answer for a name of this machine is
// reordered so that its first address is the one the machine is reached at
// (see RankOwnAddresses): /etc/hosts commonly maps the host name to
// 127.0.1.1, and bridges such as docker0 may come first in interface order.
class SystemHostResolver final : public HostResolver {
public:
    SocketsStartup Startup(quint16 requestedVersion) override;
    int Cleanup() override;
    std::optional<QByteArray> HostName() override;
    std::optional<QList<QByteArray>> ResolveIPv4(const QByteArray &name) override;
};
