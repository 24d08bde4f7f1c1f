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
    // resolver's order; nullopt when the name does not resolve. Blocks while
    // the resolver works (files, DNS).
    virtual std::optional<QList<QByteArray>> ResolveIPv4(const QByteArray &name) = 0;
};

// Linux: nothing to start or clean up (both succeed, granting version 1.1);
// gethostname and getaddrinfo. A host name that resolves only to loopback
// addresses, as /etc/hosts commonly has it, is answered instead with the
// addresses of the interfaces that are up and not loopback, which is what a
// Windows host reports for its own name.
class SystemHostResolver final : public HostResolver {
public:
    SocketsStartup Startup(quint16 requestedVersion) override;
    int Cleanup() override;
    std::optional<QByteArray> HostName() override;
    std::optional<QList<QByteArray>> ResolveIPv4(const QByteArray &name) override;
};

// `resolved` unless all of its addresses are loopback (127.0.0.0/8) and
// `interfaceAddresses` is not empty; then `interfaceAddresses`.
QList<QByteArray> PreferInterfaceAddresses(const QList<QByteArray> &resolved,
                                           const QList<QByteArray> &interfaceAddresses);
