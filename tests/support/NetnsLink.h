#pragma once

#include <QString>
#include <QtGlobal>

#include "support/ScopedNetns.h"

// Two network namespaces of the test's own, joined by a veth pair: the
// program's side and the device's side, each with one address. The link can
// be taken down on the device's side (a pulled cable, a device without
// power) without touching anything outside the test. Needs root; Create()
// says why not otherwise. Removed again by the destructor.
class NetnsLink {
public:
    NetnsLink();

    // False, with the reason, when namespaces cannot be made here.
    bool Create(QString *why);

    // Moves the calling thread into the device's namespace for good (only
    // this thread; sockets it makes stay there). For a short-lived thread.
    bool EnterDeviceSide() const;
    // Moves the calling process into the program's namespace: for a child
    // between fork and exec. Async-signal-safe.
    void EnterProgramSideInChild() const;

    // Host byte order.
    static constexpr quint32 kProgramAddress = 0x0AC70001;  // 10.199.0.1
    static constexpr quint32 kDeviceAddress = 0x0AC70002;   // 10.199.0.2
    static QString DeviceAddressText() { return QStringLiteral("10.199.0.2"); }

    bool SetDeviceLinkUp(bool up);

private:
    ScopedNetns programNs_;
    ScopedNetns deviceNs_;
    QByteArray programNsPath_;
};
