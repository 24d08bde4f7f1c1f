#include "support/ByteStream.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <QtEndian>
#include <cerrno>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

quint64 Mix(quint64 x) {
    // splitmix64's finaliser: every input bit reaches every output bit.
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(std::min<qint64>(left.count(), 100));
}

// Waits up to 100 ms at a time, so a caller can look at its deadline and
// stop flag between waits.
void MakeNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0 && (flags & O_NONBLOCK) == 0) ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

bool WaitFor(int fd, short events, Clock::time_point deadline) {
    pollfd p{fd, events, 0};
    const int rc = ::poll(&p, 1, RemainingMs(deadline));
    return rc > 0;
}

}  // namespace

quint8 ByteStream::At(quint64 position) const {
    return static_cast<quint8>(Mix(seed_ * 0x100000001B3ull + (position >> 3)) >>
                               (8 * (position & 7)));
}

void ByteStream::Fill(quint64 position, quint8 *out, qsizetype count) const {
    qsizetype i = 0;
    // Head up to a block boundary, whole 8-byte blocks, then the tail.
    while (i < count && ((position + static_cast<quint64>(i)) & 7) != 0) {
        out[i] = At(position + static_cast<quint64>(i));
        ++i;
    }
    while (count - i >= 8) {
        // Byte k of a block is bits 8k..8k+7 of its word, as in At().
        const quint64 word = qToLittleEndian(
            Mix(seed_ * 0x100000001B3ull + ((position + static_cast<quint64>(i)) >> 3)));
        std::memcpy(out + i, &word, sizeof word);
        i += 8;
    }
    for (; i < count; ++i) out[i] = At(position + static_cast<quint64>(i));
}

QByteArray ByteStream::Slice(quint64 position, qsizetype count) const {
    QByteArray bytes(count, Qt::Uninitialized);
    Fill(position, reinterpret_cast<quint8 *>(bytes.data()), count);
    return bytes;
}

bool StreamChecker::Feed(const char *data, qsizetype count) {
    if (mismatch_ >= 0) return false;
    quint8 expected[65536];
    qsizetype done = 0;
    while (done < count) {
        const qsizetype n = std::min<qsizetype>(count - done, sizeof expected);
        stream_.Fill(received_, expected, n);
        if (std::memcmp(expected, data + done, static_cast<size_t>(n)) != 0) {
            for (qsizetype i = 0; i < n; ++i) {
                if (expected[i] != static_cast<quint8>(data[done + i])) {
                    mismatch_ = static_cast<qint64>(received_) + i;
                    break;
                }
            }
            received_ += static_cast<quint64>(n);
            return false;
        }
        received_ += static_cast<quint64>(n);
        done += n;
    }
    return true;
}

namespace StreamIo {

Result Write(int fd, const ByteStream &stream, quint64 from, quint64 count, Millis timeout,
             std::atomic<quint64> *progress, const std::atomic<bool> *stop) {
    MakeNonBlocking(fd);
    const auto deadline = Clock::now() + timeout;
    Result result;
    quint8 buffer[65536];
    qsizetype filled = 0;
    qsizetype offset = 0;
    while (result.bytes < count) {
        if (stop != nullptr && stop->load()) return result;
        if (offset == filled) {
            filled = static_cast<qsizetype>(std::min<quint64>(sizeof buffer, count - result.bytes));
            stream.Fill(from + result.bytes, buffer, filled);
            offset = 0;
        }
        const ssize_t n = ::write(fd, buffer + offset, static_cast<size_t>(filled - offset));
        if (n > 0) {
            offset += n;
            result.bytes += static_cast<quint64>(n);
            if (progress != nullptr) progress->store(result.bytes);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            result.error = errno;
            return result;
        }
        if (Clock::now() >= deadline) return result;
        WaitFor(fd, POLLOUT, deadline);
    }
    result.completed = true;
    return result;
}

Result Read(int fd, StreamChecker &checker, quint64 count, Millis timeout,
            std::atomic<quint64> *progress) {
    MakeNonBlocking(fd);
    const auto deadline = Clock::now() + timeout;
    Result result;
    char buffer[65536];
    while (result.bytes < count) {
        const size_t want =
            static_cast<size_t>(std::min<quint64>(sizeof buffer, count - result.bytes));
        const ssize_t n = ::read(fd, buffer, want);
        if (n > 0) {
            result.bytes += static_cast<quint64>(n);
            if (progress != nullptr) progress->store(result.bytes);
            if (!checker.Feed(buffer, n)) {
                result.mismatchAt = checker.FirstMismatch();
                return result;
            }
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            result.error = n == 0 ? -1 : errno;
            return result;
        }
        if (Clock::now() >= deadline) return result;
        WaitFor(fd, POLLIN, deadline);
    }
    result.completed = true;
    return result;
}

QByteArray ReadUntilQuiet(int fd, Millis quiet, Millis timeout) {
    MakeNonBlocking(fd);
    const auto deadline = Clock::now() + timeout;
    auto quietUntil = Clock::now() + quiet;
    QByteArray bytes;
    char buffer[65536];
    while (Clock::now() < deadline && Clock::now() < quietUntil) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, n);
            quietUntil = Clock::now() + quiet;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) break;
        WaitFor(fd, POLLIN, std::min(deadline, quietUntil));
    }
    return bytes;
}

QByteArray ReadUntilEndsWith(int fd, const QByteArray &tail, Millis timeout) {
    MakeNonBlocking(fd);
    const auto deadline = Clock::now() + timeout;
    QByteArray bytes;
    char buffer[65536];
    while (!bytes.endsWith(tail) && Clock::now() < deadline) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) break;
        WaitFor(fd, POLLIN, deadline);
    }
    return bytes;
}

}  // namespace StreamIo
