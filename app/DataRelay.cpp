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
    const bool deviceKeepsUp = unsent < kSendHighWater;
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
            // What the socket still holds counts against the tick's bound,
            // so that the two together stay within it.
            const qsizetype bound = DrainBoundForTick(s_.masterTimer.Interval()) - unsent;
            COMdata.resize(qMin<qsizetype>(vCOMM_->BytesAvailable(), bound));
            qsizetype used = 0;
            char *out = COMdata.data();
            do {
                if (used == COMdata.size()) {
                    COMdata.resize(qMin<qsizetype>(used + vCOMM_->BytesAvailable(), bound));
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
