#pragma once

#include <QtGlobal>

// How the device connection notices a peer that vanished without closing
// (cable pulled, power lost): nothing arrives, so without these the link
// would look up for ever.
//
// Idle: keep-alive probes start after kKeepAliveIdleS of silence and repeat
// every kKeepAliveIntervalS. Busy or probing: once sent data (or a probe) has
// gone unacknowledged for kUserTimeoutMs the kernel drops the connection,
// which reaches the program as an ordinary close. Both paths stay well
// inside 30 s; a live device answers probes at once, so the short times cost
// a few bytes a few times a minute and nothing else.
namespace TcpLiveness {

constexpr int kKeepAliveIdleS = 5;
constexpr int kKeepAliveIntervalS = 3;
constexpr int kKeepAliveProbes = 5;
constexpr int kUserTimeoutMs = 20000;

// Turns the above on for a connected TCP socket, and Nagle's delay off (the
// relay already gathers a tick's bytes into one send). False when the
// system refused any of it.
bool Apply(int fd);

// Bytes sent on the socket that the peer has not acknowledged yet,
// including those the kernel still holds; 0 when it cannot be asked.
qint64 Unacknowledged(int fd);

}  // namespace TcpLiveness
