#include "lines/ModemRequests.h"

#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <cerrno>
#include <cstring>

#include "lines/PortRecord.h"

namespace {

// How often a TIOCMIWAIT looks at the record: changes are seen within this,
// well inside the 100 ms a client may expect.
constexpr int kWaitLookMs = 10;
constexpr int kLinkLines = TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
// What a 16550A on a PC's first port describes itself as.
constexpr int kPort16550A = 4;
constexpr int kBaudBase = 115200;
constexpr int kFifoSize = 16;
constexpr int kCloseDelay = 50;     // 1/100 s
constexpr int kClosingWait = 3000;  // 1/100 s

int Fail(int error) {
    errno = error;
    return -1;
}

int ModemBits(const LineStateRecord &record) {
    return (record.dtr ? TIOCM_DTR : 0) | (record.rts ? TIOCM_RTS : 0) |
           (record.linkUp ? kLinkLines : 0);
}

int GetModemBits(const PortRecord &port, int *bits) {
    LineStateRecord record{};
    if (!port.Read(record)) return Fail(EIO);
    *bits = ModemBits(record);
    return 0;
}

// TIOCMSET sets both output lines; TIOCMBIS and TIOCMBIC only those named.
int SetModemBits(const PortRecord &port, unsigned long request, int bits) {
    const bool dtr = (bits & TIOCM_DTR) != 0;
    const bool rts = (bits & TIOCM_RTS) != 0;
    bool ok = true;
    if (request == TIOCMSET) {
        ok = port.WriteLines(dtr, rts);
    } else {
        const int value = request == TIOCMBIS ? 1 : 0;
        ok = port.WriteLines(dtr ? value : -1, rts ? value : -1);
    }
    return ok ? 0 : Fail(EIO);
}

// Waits for a change of a line in `mask`. Only the link's lines ever change
// on their own, so a mask without them waits for a signal, as a real port's
// would for a ring that never comes.
int WaitForChange(const PortRecord &port, int mask) {
    LineStateRecord start{};
    if (!port.Read(start)) return Fail(EIO);
    for (;;) {
        if (poll(nullptr, 0, kWaitLookMs) < 0 && errno == EINTR) return Fail(EINTR);
        LineStateRecord now{};
        if (!port.Read(now)) return Fail(EIO);
        if ((mask & kLinkLines) != 0 && now.linkChanges != start.linkChanges) return 0;
    }
}

int CountChanges(const PortRecord &port, serial_icounter_struct *counts) {
    LineStateRecord record{};
    if (!port.Read(record)) return Fail(EIO);
    memset(counts, 0, sizeof *counts);
    counts->cts = counts->dsr = counts->dcd = static_cast<int>(record.linkChanges);
    return 0;
}

int DescribeSerial(const PortRecord &port, serial_struct *info) {
    LineStateRecord record{};
    if (!port.Read(record)) return Fail(EIO);
    memset(info, 0, sizeof *info);
    info->type = kPort16550A;
    info->line = static_cast<int>(port.PtsIndex());
    info->flags = static_cast<int>(record.serialFlags);
    info->xmit_fifo_size = kFifoSize;
    info->custom_divisor = static_cast<int>(record.customDivisor);
    info->baud_base = kBaudBase;
    info->close_delay = kCloseDelay;
    info->closing_wait = kClosingWait;
    info->io_type = SERIAL_IO_PORT;
    return 0;
}

// Kept so that a program reading back what it set (low latency, a divisor
// for a non-standard speed) finds it; the pty's speed is unaffected.
int SetSerial(const PortRecord &port, const serial_struct *info) {
    return port.WriteSerial(static_cast<unsigned>(info->flags),
                            static_cast<unsigned>(info->custom_divisor))
               ? 0
               : Fail(EIO);
}

// Every request answered here passes a pointer, except the wait.
bool TakesPointer(unsigned long request) {
    return IsModemRequest(request) && request != TIOCMIWAIT;
}

}  // namespace

bool IsModemRequest(unsigned long request) {
    switch (request) {
        case TIOCMGET:
        case TIOCMSET:
        case TIOCMBIS:
        case TIOCMBIC:
        case TIOCMIWAIT:
        case TIOCGICOUNT:
        case TIOCGSERIAL:
        case TIOCSSERIAL:
        case TIOCSERGETLSR:
            return true;
        // Breaks (TIOCSBRK, TIOCCBRK, TCSBRK) are not here: a pty accepts
        // them and sends nothing, which is all raw TCP could do with one.
        default:
            return false;
    }
}

int AnswerModemRequest(const PortRecord &port, unsigned long request, void *arg) {
    if (TakesPointer(request) && arg == nullptr) return Fail(EFAULT);
    switch (request) {
        case TIOCMGET:
            return GetModemBits(port, static_cast<int *>(arg));
        case TIOCMSET:
        case TIOCMBIS:
        case TIOCMBIC:
            return SetModemBits(port, request, *static_cast<const int *>(arg));
        case TIOCMIWAIT:
            return WaitForChange(port, static_cast<int>(reinterpret_cast<unsigned long>(arg)));
        case TIOCGICOUNT:
            return CountChanges(port, static_cast<serial_icounter_struct *>(arg));
        case TIOCGSERIAL:
            return DescribeSerial(port, static_cast<serial_struct *>(arg));
        case TIOCSSERIAL:
            return SetSerial(port, static_cast<const serial_struct *>(arg));
        case TIOCSERGETLSR:
            // Nothing is ever left in a transmitter that does not exist.
            *static_cast<int *>(arg) = TIOCSER_TEMT;
            return 0;
        default:
            return Fail(ENOTTY);
    }
}
