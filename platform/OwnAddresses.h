#pragma once

#include <QByteArray>
#include <QList>
#include <optional>

// The choice of the address this PC is reached at, among the answers of the
// resolver for its own name and the addresses of its interfaces. Kept apart
// from the system calls that gather them, so any machine can be described.

// One network interface as the system lists it. Addresses are IPv4, 4 bytes
// in network order.
struct NetInterface {
    QByteArray name;
    bool up = false;
    bool carrier = false;  // the link is there: a cable, a peer, a radio
    bool loopback = false;
    QList<QByteArray> addresses;
};

bool IsLoopbackAddress(const QByteArray &address);

// `resolved` reordered, and completed with the interfaces' addresses, so that
// the first entry is the one to give out:
//  1. the addresses of the interface holding the default route;
//  2. resolved addresses of other interfaces that are up with a carrier;
//  3. the addresses of those interfaces themselves, in their order;
//  4. resolved addresses of no interface listed (the name may point through
//     a gateway), then those of interfaces down or without carrier;
//  5. loopback addresses, which only ever come first when nothing else exists.
// A name none of whose addresses is this machine's (neither loopback nor on
// any interface) is someone else's: its answer is returned unchanged.
QList<QByteArray> RankOwnAddresses(const QList<QByteArray> &resolved,
                                   const QList<NetInterface> &interfaces,
                                   const QByteArray &defaultRouteInterface);

// The interface of the IPv4 default route with the lowest metric, from the
// text of /proc/net/route; nullopt when there is none.
std::optional<QByteArray> DefaultRouteInterface(const QByteArray &procNetRoute);
