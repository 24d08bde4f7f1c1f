#pragma once

#include <QStringList>

#include "platform/HostResolver.h"

// A scripted sockets library and resolver. Records every call in `calls`
// ("Startup", "Cleanup", "HostName", "Resolve <name>").
class FakeHostResolver final : public HostResolver {
public:
    SocketsStartup startup{0, 0x0101, 100};
    int cleanupResult = 0;
    std::optional<QByteArray> hostName = QByteArray("pc");
    std::optional<QList<QByteArray>> addresses;  // nullopt: the name does not resolve
    QStringList calls;

    SocketsStartup Startup(quint16) override {
        calls << QStringLiteral("Startup");
        return startup;
    }
    int Cleanup() override {
        calls << QStringLiteral("Cleanup");
        return cleanupResult;
    }
    std::optional<QByteArray> HostName() override {
        calls << QStringLiteral("HostName");
        return hostName;
    }
    std::optional<QList<QByteArray>> ResolveIPv4(const QByteArray &name) override {
        calls << QStringLiteral("Resolve ") + QString::fromLatin1(name);
        return addresses;
    }
};
