#pragma once

#include <sys/types.h>

#include "platform/LineStateRecord.h"

// One of the bridge's ports, recognised from a client's descriptor: a pty
// slave whose modem-line record is in the port directory, names that very
// slave, and is locked by a live bridge. Everything on the stack: no
// allocation, no state shared between threads.
class PortRecord {
public:
    PortRecord() = default;
    ~PortRecord();
    PortRecord(const PortRecord &) = delete;
    PortRecord &operator=(const PortRecord &) = delete;

    // True when `fd` is one of our ports; errno may be changed either way.
    bool OpenFor(int fd);
    // The record as it is now; false when the bridge has since gone (the
    // record removed or no longer locked).
    bool Read(LineStateRecord &record) const;
    bool StillLive() const;
    // The slave's line number, for the serial description.
    unsigned PtsIndex() const { return ptsIndex_; }

    // Client fields; each write is whole, so threads and processes never
    // lose one another's changes to a different field.
    bool WriteLines(int dtr, int rts) const;  // -1 leaves a line as it is
    bool WriteSerial(unsigned flags, unsigned customDivisor) const;

private:
    int fd_ = -1;
    dev_t device_ = 0;
    unsigned ptsIndex_ = 0;
};
