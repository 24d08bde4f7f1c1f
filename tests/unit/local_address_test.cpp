#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QRegularExpression>
#include <vector>

#include "host/modTCPutil.h"
#include "platform/HostResolver.h"
#include "platform/MessageBoxes.h"
#include "support/FakeHostResolver.h"

#include "support/BridgeFakes.h"

namespace {

// Records the message boxes shown.
using RecordingBoxes = FakeMessageBoxes;

QByteArray Address(unsigned char a, unsigned char b, unsigned char c, unsigned char d) {
    const char bytes[] = {static_cast<char>(a), static_cast<char>(b), static_cast<char>(c),
                          static_cast<char>(d)};
    return QByteArray(bytes, 4);
}

TEST(GetLocalIP, AnswersTheFirstAddressOnlyInDottedDecimal) {
    FakeHostResolver resolver;
    RecordingBoxes boxes;
    resolver.hostName = QByteArray("  pc  \0junk", 11);
    resolver.addresses = QList<QByteArray>{Address(10, 0, 0, 5), Address(192, 168, 1, 20)};
    EXPECT_EQ(GetLocalIP(resolver, boxes), QStringLiteral("10.0.0.5"));
    EXPECT_EQ(resolver.calls,
              (QStringList{QStringLiteral("Startup"), QStringLiteral("HostName"),
                           QStringLiteral("Resolve pc"), QStringLiteral("Cleanup")}));
    EXPECT_TRUE(boxes.shown.empty());

    resolver.addresses = QList<QByteArray>{Address(255, 0, 100, 9)};
    EXPECT_EQ(GetLocalIP(resolver, boxes), QStringLiteral("255.0.100.9"));
}

TEST(GetLocalIP, FailuresGiveEmptyTextAndStillCleanUpOnce) {
    const struct {
        const char *name;
        std::optional<QByteArray> hostName;
        std::optional<QList<QByteArray>> addresses;
    } cases[] = {
        {"no host name", std::nullopt, QList<QByteArray>{Address(10, 0, 0, 5)}},
        {"name does not resolve", QByteArray("pc"), std::nullopt},
        {"empty answer", QByteArray("pc"), QList<QByteArray>{}},
    };
    for (const auto &c : cases) {
        FakeHostResolver resolver;
        RecordingBoxes boxes;
        resolver.hostName = c.hostName;
        resolver.addresses = c.addresses;
        EXPECT_EQ(GetLocalIP(resolver, boxes), QString()) << c.name;
        EXPECT_EQ(resolver.calls.count(QStringLiteral("Cleanup")), 1) << c.name;
        EXPECT_EQ(resolver.calls.last(), QStringLiteral("Cleanup")) << c.name;
    }
}

TEST(GetLocalIP, FailingCleanupIsShownAndTheAddressStillReturned) {
    FakeHostResolver resolver;
    RecordingBoxes boxes;
    resolver.addresses = QList<QByteArray>{Address(10, 0, 0, 5)};
    resolver.cleanupResult = 10093;
    EXPECT_EQ(GetLocalIP(resolver, boxes), QStringLiteral("10.0.0.5"));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Socket error occurred in Cleanup."));
    EXPECT_EQ(boxes.shown[0].title, QCoreApplication::applicationName());
    EXPECT_EQ(boxes.shown[0].icon, MessageIcon::None);
}

TEST(StartWinsock, RefusesFailedStartNoSocketsOrOldVersionWithoutCleanup) {
    const struct {
        SocketsStartup startup;
        bool ready;
    } cases[] = {
        {{0, 0x0101, 1}, true},        {{0, 0x0202, 100}, true},  {{0, 0x0002, 100}, true},
        {{10091, 0x0101, 100}, false}, {{0, 0x0101, 0}, false},   {{0, 0x0101, -1}, false},
        {{0, 0x0001, 100}, false},     {{0, 0x0100, 100}, false},
    };
    for (const auto &c : cases) {
        FakeHostResolver resolver;
        resolver.startup = c.startup;
        EXPECT_EQ(StartWinsock(resolver), c.ready) << std::hex << c.startup.version;
        EXPECT_EQ(resolver.calls, QStringList{QStringLiteral("Startup")});
    }
}

TEST(GetLocalIP, UnusableSocketsLibraryGivesEmptyTextWithoutCleanup) {
    FakeHostResolver resolver;
    RecordingBoxes boxes;
    resolver.startup.error = 10091;
    resolver.addresses = QList<QByteArray>{Address(10, 0, 0, 5)};
    EXPECT_EQ(GetLocalIP(resolver, boxes), QString());
    EXPECT_EQ(resolver.calls, QStringList{QStringLiteral("Startup")});
}

// Only the local resolver files are consulted for "localhost".
TEST(SystemHostResolver, ResolvesLocalhostToIPv4Addresses) {
    SystemHostResolver resolver;
    EXPECT_TRUE(StartWinsock(resolver));
    EXPECT_EQ(resolver.Cleanup(), 0);
    const std::optional<QByteArray> name = resolver.HostName();
    ASSERT_TRUE(name);
    EXPECT_FALSE(name->isEmpty());
    const auto addresses = resolver.ResolveIPv4("localhost");
    ASSERT_TRUE(addresses);
    ASSERT_FALSE(addresses->isEmpty());
    for (const QByteArray &address : *addresses) EXPECT_EQ(address.size(), 4);
    EXPECT_EQ(resolver.ResolveIPv4(QByteArray()), std::nullopt);
}

}  // namespace
