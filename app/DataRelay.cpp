// The byte relay: the timer tick drains the port into the socket; the
// socket's DataArrival writes the device's bytes into the port.
#include "app/Lamp.h"
#include "app/frmVaskorLinkPC.h"
#include "config/IniFile.h"
#include "platform/MessagePump.h"
#include "platform/SerialPortDriver.h"
#include "platform/TcpClientControl.h"
#include "platform/Timer.h"

void frmVaskorLinkPC::MasterTimer_Timer() {
    // While the device is not taking what was sent, the client's bytes stay
    // in the driver, whose bounded queue then holds the client back, instead
    // of piling up in the socket without limit.
    const qint64 unsent = s_.sock.BytesToWrite();
    // The socket keeps the last tick's block until it has sent its last
    // byte. Until then the whole block counts against this tick's bound, so
    // that a device falling behind never has two blocks held for it.
    const qint64 held = COMdata.isDetached() ? unsent : qMax<qint64>(unsent, COMdata.size());
    const qint64 bound = DrainBoundForTick(s_.masterTimer.Interval()) - held;
    const bool deviceKeepsUp = unsent < kSendHighWater && bound > 0;
    // Holding back is not giving up: a client that has closed keeps its
    // unsent bytes in the driver until the device has taken the ones before.
    if (PortOpened) vCOMM_->SetReadingHeldBack(!deviceKeepsUp);
    if (PortOpened && deviceKeepsUp) {
        if (vCOMM_->BytesAvailable() > 0) {
            comLEDred->SetFillColor(Lamp::kLitRed);
            tcpLEDred->SetFillColor(Lamp::kLitRed);
            s_.masterTimer.SetEnabled(false);
            // The bytes go straight into COMdata's storage, grown as more
            // arrive: an append per byte would cost more than the driver call.
            // The last tick's bytes may still wait in the socket's queue,
            // which shares their storage: dropping it spares copying them.
            if (!COMdata.isDetached()) COMdata.clear();
            GrowCOMdataTo(qMin<qsizetype>(vCOMM_->BytesAvailable(), bound), bound);
            qsizetype used = 0;
            char *out = COMdata.data();
            do {
                if (used == COMdata.size()) {
                    GrowCOMdataTo(qMin<qsizetype>(used + vCOMM_->BytesAvailable(), bound), bound);
                    out = COMdata.data();
                }
                quint8 byte = 0;
                qint32 count = 1;
                vCOMM_->ReadBytes(&byte, count);
                out[used++] = static_cast<char>(byte);
                // One tick's buffer is bounded; the rest waits for the next.
            } while (used < bound && vCOMM_->BytesAvailable() > 0);
            COMdata.truncate(used);
            if (s_.sock.State() == TcpClientControl::sckConnected) s_.sock.SendData(COMdata);
        }
    }
    s_.pump.DoEvents();
    if (LinkStopped)
        s_.masterTimer.SetEnabled(false);
    else if (!s_.masterTimer.Enabled())
        s_.masterTimer.SetEnabled(true);
    // The next tick would find nothing to do, so none runs until the driver
    // announces bytes: an idle link costs no wake-ups. Bytes held back for a
    // slow device keep the ticks going, since only a tick sees it catch up.
    if (s_.masterTimer.Enabled() && NothingWaitsForTheRelay()) s_.masterTimer.Park();
}

void frmVaskorLinkPC::GrowCOMdataTo(qsizetype size, qsizetype bound) {
    // Doubling, as QByteArray grows, but never past the tick's bound: room
    // beyond it would never be written, yet would tie up the heap.
    if (size > COMdata.capacity())
        COMdata.reserve(qMin(bound, qMax(size, 2 * COMdata.capacity())));
    COMdata.resize(size);
}

qint64 frmVaskorLinkPC::DrainBoundForTick(qint32 tickMs) {
    return qMax<qint64>(kSendHighWater, qint64{kMaxDrainPerTick} * tickMs / kDefaultRelayTick);
}

bool frmVaskorLinkPC::NothingWaitsForTheRelay() {
    return !PortOpened || vCOMM_->NothingToTake();
}

void frmVaskorLinkPC::Sock_DataArrival(qint32 bytesTotal) {
    s_.sock.GetData(TCPdata, TcpClientControl::vbString, bytesTotal);
    if (PortOpened) {
        const qsizetype count = TCPdata.size();
        const char *bytes = TCPdata.constData();
        for (qsizetype i = 0; i < count; ++i) {
            quint8 byte = static_cast<quint8>(bytes[i]);
            qint32 one = 1;
            vCOMM_->WriteBytes(&byte, one);
        }
        tcpLEDred->SetFillColor(Lamp::kDarkRed);
        comLEDred->SetFillColor(Lamp::kDarkRed);
        // A client that does not read holds the device back through TCP,
        // rather than the driver's queue growing without limit.
        if (vCOMM_->WriteQueueAboveHighWater()) s_.sock.SetReceivePaused(true);
    }
    s_.pump.DoEvents();
}
