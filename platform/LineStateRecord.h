#pragma once

// The modem-line state of one virtual port, shared between the bridge and
// the preload library (lines/) that serial programs load. One small file per
// port in the port directory, named after the slave's device number, so the
// library finds it from a descriptor alone (fstat) without scanning.
//
// Plain C++ without Qt or allocation: the library includes this too.
//
// Who writes what, so that no field needs a read-modify-write across
// processes:
//   the bridge    magic, version, device once; linkUp and linkChanges
//                 together (one 8-byte write); dtr and rts back to asserted
//                 when a client's last close is seen
//   clients       dtr and rts (one byte each), serialFlags and customDivisor
// The bridge holds an open-file-description write lock on the file for as
// long as the port exists. A file without the lock is a leftover of a bridge
// that was killed: the slave number it names may since belong to somebody
// else's terminal, so it must be ignored.
//
// Native byte order and layout: the file never leaves this machine.

#include <sys/sysmacros.h>
#include <sys/types.h>
#include <cstddef>
#include <cstdint>
#include <cstdio>

struct LineStateRecord {
    static constexpr char kMagic[8] = {'V', 'K', 'L', 'L', 'I', 'N', 'E', 'S'};
    static constexpr std::uint32_t kVersion = 1;

    char magic[8];
    std::uint32_t version;
    std::uint32_t reserved;
    std::uint64_t device;  // st_rdev of the pty slave
    // The bridge's link to the device: CTS, DSR and DCD while nonzero.
    std::uint32_t linkUp;
    // Transitions of linkUp since the port was made (TIOCGICOUNT).
    std::uint32_t linkChanges;
    std::uint8_t dtr;
    std::uint8_t rts;
    std::uint8_t padding[2];
    std::uint32_t serialFlags;
    std::uint32_t customDivisor;
    std::uint32_t spare[5];
};
static_assert(sizeof(LineStateRecord) == 64);
static_assert(offsetof(LineStateRecord, linkChanges) == offsetof(LineStateRecord, linkUp) + 4);
static_assert(offsetof(LineStateRecord, rts) == offsetof(LineStateRecord, dtr) + 1);
static_assert(offsetof(LineStateRecord, customDivisor) ==
              offsetof(LineStateRecord, serialFlags) + 4);

// Writes "<directory>/.lines.<major>.<minor>" into `out`; false when it does
// not fit. No allocation.
inline bool LineStateFileName(const char *directory, dev_t slave, char *out, std::size_t size) {
    const int length =
        std::snprintf(out, size, "%s/.lines.%u.%u", directory, major(slave), minor(slave));
    return length > 0 && static_cast<std::size_t>(length) < size;
}
