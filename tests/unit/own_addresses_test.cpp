#include <gtest/gtest.h>

#include "platform/OwnAddresses.h"

namespace {

QByteArray A(unsigned char a, unsigned char b, unsigned char c, unsigned char d) {
    const char bytes[] = {static_cast<char>(a), static_cast<char>(b), static_cast<char>(c),
                          static_cast<char>(d)};
    return QByteArray(bytes, 4);
}

NetInterface Up(const char *name, QList<QByteArray> addresses) {
    return {name, true, true, false, std::move(addresses)};
}

const QByteArray kLo = A(127, 0, 0, 1);
const QByteArray kHostsEntry = A(127, 0, 1, 1);
const NetInterface kLoopback{"lo", true, true, true, {kLo}};

// docker0 and virbr0 come before the real card in interface order and are up.
TEST(RankOwnAddresses, TheDefaultRoutesInterfaceWinsOverBridgesAndTheHostsEntry) {
    const QList<NetInterface> interfaces{kLoopback, Up("docker0", {A(172, 17, 0, 1)}),
                                         Up("virbr0", {A(192, 168, 122, 1)}),
                                         Up("enp3s0", {A(192, 168, 1, 20)})};
    const auto ranked = RankOwnAddresses({kHostsEntry}, interfaces, "enp3s0");
    ASSERT_FALSE(ranked.isEmpty());
    EXPECT_EQ(ranked.first(), A(192, 168, 1, 20));
    EXPECT_EQ(ranked.last(), kHostsEntry);
    EXPECT_EQ(ranked.size(), 4);
}

TEST(RankOwnAddresses, InterfacesDownOrWithoutCarrierAreSkippedAndLoopbackComesLast) {
    NetInterface unplugged = Up("eth0", {A(10, 0, 0, 5)});
    unplugged.carrier = false;
    NetInterface down = Up("eth1", {A(10, 0, 1, 5)});
    down.up = false;
    const QList<NetInterface> interfaces{kLoopback, unplugged, down, Up("wlan0", {A(10, 0, 2, 5)})};
    // The resolver names the unplugged card first: a stale hosts entry.
    const auto ranked =
        RankOwnAddresses({A(10, 0, 0, 5), kHostsEntry, kLo}, interfaces, QByteArray());
    EXPECT_EQ(ranked, (QList<QByteArray>{A(10, 0, 2, 5), A(10, 0, 0, 5), kHostsEntry, kLo}));

    // The default route on an unplugged card does not make it usable.
    EXPECT_EQ(RankOwnAddresses({kLo}, interfaces, "eth0").first(), A(10, 0, 2, 5));
    // Only loopback exists: loopback is the answer.
    EXPECT_EQ(RankOwnAddresses({kHostsEntry}, {kLoopback}, QByteArray()),
              QList<QByteArray>{kHostsEntry});
    EXPECT_EQ(RankOwnAddresses({kHostsEntry}, {}, QByteArray()), QList<QByteArray>{kHostsEntry});
}

TEST(RankOwnAddresses, ResolvedAddressesOfUsableInterfacesKeepTheResolversOrder) {
    const QList<NetInterface> interfaces{Up("eth0", {A(10, 0, 0, 5)}), Up("eth1", {A(10, 0, 1, 5)})};
    EXPECT_EQ(RankOwnAddresses({A(10, 0, 1, 5), A(10, 0, 0, 5)}, interfaces, QByteArray()),
              (QList<QByteArray>{A(10, 0, 1, 5), A(10, 0, 0, 5)}));
    // An address behind a gateway (no interface holds it) is kept, after ours.
    EXPECT_EQ(RankOwnAddresses({A(203, 0, 113, 9), A(10, 0, 1, 5)}, interfaces, "eth0"),
              (QList<QByteArray>{A(10, 0, 0, 5), A(10, 0, 1, 5), A(203, 0, 113, 9)}));
}

TEST(RankOwnAddresses, AnotherMachinesNameIsAnsweredUnchanged) {
    const QList<NetInterface> interfaces{kLoopback, Up("eth0", {A(10, 0, 0, 5)})};
    const QList<QByteArray> device{A(10, 0, 0, 9), A(10, 0, 0, 8)};
    EXPECT_EQ(RankOwnAddresses(device, interfaces, "eth0"), device);
}

TEST(DefaultRouteInterface, PicksTheDefaultRouteWithTheLowestMetric) {
    const QByteArray table =
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
        "wlan0\t00000000\t0102A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
        "docker0\t000011AC\t00000000\t0001\t0\t0\t0\t0000FFFF\t0\t0\t0\n"
        "eth0\t00000000\t0100000A\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
        "eth1\t00000000\t0101000A\t0002\t0\t0\t1\t00000000\t0\t0\t0\n";
    EXPECT_EQ(DefaultRouteInterface(table), QByteArray("eth0"));
    EXPECT_EQ(DefaultRouteInterface(table.left(table.indexOf("wlan0"))), std::nullopt);
    EXPECT_EQ(DefaultRouteInterface(QByteArray()), std::nullopt);
}

}  // namespace
