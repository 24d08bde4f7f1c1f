#pragma once

#include <QtGlobal>
#include <algorithm>
#include <cstring>
#include <memory>

// A FIFO of bytes in one contiguous block, so that the front can be handed to
// write() and the back to read() without copying through a temporary.
//
// Taking bytes only advances an offset; the block is compacted lazily, when
// room is needed at the back and at least as many bytes have been taken as
// would have to move, which keeps every operation amortised O(1) per byte.
// Taking a single byte is a bounds check and a copy: cheap enough to call
// once per byte. Never throws except std::bad_alloc.
class ByteQueue {
public:
    qsizetype Size() const { return end_ - begin_; }
    bool Empty() const { return end_ == begin_; }
    qsizetype Capacity() const { return capacity_; }

    // The bytes at the front, Size() of them; valid until the next change.
    const quint8 *Front() const { return storage_.get() + begin_; }

    void Append(const quint8 *data, qsizetype count) {
        if (count <= 0) return;
        std::memcpy(PrepareAppend(count), data, static_cast<size_t>(count));
        end_ += count;
    }

    // Room for `count` bytes at the back; CommitAppend(n) then keeps the
    // first n of them (n <= count).
    quint8 *PrepareAppend(qsizetype count) {
        if (capacity_ - end_ < count) MakeRoom(count);
        return storage_.get() + end_;
    }
    void CommitAppend(qsizetype count) { end_ += count; }

    // The byte at the front, removed; the queue must not be empty.
    quint8 TakeOne() {
        const quint8 byte = storage_[begin_++];
        ++taken_;
        if (begin_ == end_) begin_ = end_ = 0;
        return byte;
    }

    void PushOne(quint8 byte) {
        if (end_ == capacity_) MakeRoom(1);
        storage_[end_++] = byte;
    }

    // Every byte ever taken from the front, however it left.
    quint64 TotalTaken() const { return taken_; }

    // Copies up to `count` bytes from the front into `out` and removes them.
    qsizetype Take(quint8 *out, qsizetype count) {
        const qsizetype n = std::min(count, Size());
        if (n <= 0) return 0;
        if (n == 1) {
            *out = storage_[begin_];
        } else {
            std::memcpy(out, storage_.get() + begin_, static_cast<size_t>(n));
        }
        Consume(n);
        return n;
    }

    // Removes `count` bytes (at most Size()) from the front.
    void Consume(qsizetype count) {
        const qsizetype n = std::min(count, Size());
        begin_ += n;
        taken_ += static_cast<quint64>(n);
        if (begin_ == end_) begin_ = end_ = 0;
    }

    // For a queue kept below a mark: the first block is `bytes` long, so
    // that filling it copies nothing and leaves no smaller blocks behind
    // (its pages are only touched as far as the queue reaches). The queue
    // stays in it while its bytes fit; past that the block doubles as usual.
    void SetBlockSize(qsizetype bytes) { blockSize_ = bytes; }

    // Empties the queue and gives its memory back.
    void Clear() {
        storage_.reset();
        capacity_ = begin_ = end_ = 0;
    }

private:
    void MakeRoom(qsizetype count) {
        const qsizetype size = Size();
        // A queue at its set block moves its bytes down rather than take a
        // second block: its owner keeps it below a mark, so what is taken
        // between two moves is a good part of the block.
        const bool atBlock = blockSize_ > 0 && capacity_ >= blockSize_;
        if (size + count <= capacity_ && (begin_ >= size || atBlock)) {
            std::memmove(storage_.get(), storage_.get() + begin_, static_cast<size_t>(size));
        } else {
            // Doubling keeps growth amortised O(1) per byte.
            const qsizetype needed = size + count;
            const qsizetype doubled = std::max(capacity_ * 2, kMinCapacity);
            const qsizetype capacity = capacity_ < blockSize_ && needed <= blockSize_
                                           ? blockSize_
                                           : std::max(doubled, needed);
            std::unique_ptr<quint8[]> grown(new quint8[static_cast<size_t>(capacity)]);
            if (size > 0) std::memcpy(grown.get(), Front(), static_cast<size_t>(size));
            storage_ = std::move(grown);
            capacity_ = capacity;
        }
        begin_ = 0;
        end_ = size;
    }

    static constexpr qsizetype kMinCapacity = 4096;

    std::unique_ptr<quint8[]> storage_;
    qsizetype capacity_ = 0;
    qsizetype begin_ = 0;
    qsizetype end_ = 0;
    quint64 taken_ = 0;
    qsizetype blockSize_ = 0;
};
