#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <atomic>
#include <chrono>

// Long, checkable byte streams for end-to-end tests, without holding them in
// memory: byte i of a stream is a pure function of (seed, i), so a writer can
// produce any stretch of it and a reader can check what arrives as it comes.
// Streams of different seeds differ at almost every position, so bytes that
// belong to another stream, are lost, duplicated or reordered show at once.
class ByteStream {
public:
    explicit ByteStream(quint64 seed) : seed_(seed) {}

    quint64 Seed() const { return seed_; }
    quint8 At(quint64 position) const;
    // `count` bytes starting at `position`.
    void Fill(quint64 position, quint8 *out, qsizetype count) const;
    QByteArray Slice(quint64 position, qsizetype count) const;

private:
    quint64 seed_;
};

// Checks that incoming chunks continue one stream from position 0 on.
class StreamChecker {
public:
    explicit StreamChecker(const ByteStream &stream) : stream_(stream) {}

    // False at the first byte that differs; later calls then fail too.
    bool Feed(const char *data, qsizetype count);
    quint64 Received() const { return received_; }
    // Position of the first wrong byte, or -1.
    qint64 FirstMismatch() const { return mismatch_; }

private:
    ByteStream stream_;
    quint64 received_ = 0;
    qint64 mismatch_ = -1;
};

// Time-limited transfers over a descriptor (a pty client or a TCP
// connection), which they switch to non-blocking; for use on a worker
// thread: no Qt event loop is involved.
namespace StreamIo {
using Millis = std::chrono::milliseconds;

struct Result {
    quint64 bytes = 0;       // written, or read and checked
    qint64 mismatchAt = -1;  // first wrong byte read, stream position
    bool completed = false;  // the whole count went through in time
    int error = 0;           // errno of a failed call, 0 if none
};

// Writes stream bytes [from, from + count) to `fd`. `progress`, if given, is
// updated after every write. Stops early when `stop` is set.
Result Write(int fd, const ByteStream &stream, quint64 from, quint64 count, Millis timeout,
             std::atomic<quint64> *progress = nullptr, const std::atomic<bool> *stop = nullptr);
// Reads `count` bytes from `fd`, checking them against `checker`.
Result Read(int fd, StreamChecker &checker, quint64 count, Millis timeout,
            std::atomic<quint64> *progress = nullptr);
// Reads whatever arrives until nothing has come for `quiet`.
QByteArray ReadUntilQuiet(int fd, Millis quiet, Millis timeout);
// Reads until what was read ends with `tail`, or the time-out; returns
// everything read.
QByteArray ReadUntilEndsWith(int fd, const QByteArray &tail, Millis timeout);
}  // namespace StreamIo

// True when the code under test was built with AddressSanitizer: it then
// runs several times slower and keeps freed memory in quarantine, so loop
// counts are cut and memory bounds are not meaningful.
constexpr bool kSanitizerBuild =
#if defined(__SANITIZE_ADDRESS__)
    true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    true;
#else
    false;
#endif
#else
    false;
#endif
