#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <deque>
#include <vector>

#include "platform/ByteQueue.h"

namespace {

// Random mixes of appends (copied and in place) and takes of every size,
// checked against a plain deque: covers growth, lazy compaction and the
// single-byte path.
TEST(ByteQueue, BehavesAsAFifoThroughGrowthAndCompaction) {
    QRandomGenerator random(7);
    ByteQueue queue;
    std::deque<quint8> model;
    quint8 next = 0;
    std::vector<quint8> buffer(70000);
    for (int step = 0; step < 20000; ++step) {
        const int size = random.bounded(step % 100 == 0 ? 65536 : 300);
        switch (random.bounded(4)) {
            case 0:
                for (int i = 0; i < size; ++i) buffer[i] = next++;
                queue.Append(buffer.data(), size);
                model.insert(model.end(), buffer.begin(), buffer.begin() + size);
                break;
            case 1: {
                quint8 *room = queue.PrepareAppend(size + 10);
                for (int i = 0; i < size; ++i) room[i] = next++;
                queue.CommitAppend(size);
                model.insert(model.end(), room, room + size);
                break;
            }
            default: {
                const int want = random.bounded(2) == 0 ? 1 : size;
                const qsizetype got = queue.Take(buffer.data(), want);
                ASSERT_EQ(got, std::min<qsizetype>(want, static_cast<qsizetype>(model.size())));
                for (qsizetype i = 0; i < got; ++i) {
                    ASSERT_EQ(buffer[i], model.front());
                    model.pop_front();
                }
            }
        }
        ASSERT_EQ(queue.Size(), static_cast<qsizetype>(model.size()));
        if (!model.empty()) {
            ASSERT_EQ(*queue.Front(), model.front());
        }
    }
}

TEST(ByteQueue, ClearGivesMemoryBackAndAStreamDoesNotGrowIt) {
    ByteQueue queue;
    std::vector<quint8> chunk(4000, 1);
    for (int i = 0; i < 10000; ++i) {
        queue.Append(chunk.data(), 4000);
        queue.Consume(3999);
    }
    EXPECT_LE(queue.Capacity(), 64 * 1024) << "taken bytes must be reused, not kept";
    queue.Clear();
    EXPECT_EQ(queue.Capacity(), 0);
    EXPECT_TRUE(queue.Empty());
}

// The inline one-byte path the relay uses, in a queue given its block: the
// same FIFO, every byte counted once however it left, and no other block
// while the queue stays well within it.
TEST(ByteQueue, OneByteCallsKeepOrderCountTakenBytesAndStayInTheirBlock) {
    QRandomGenerator random(11);
    ByteQueue queue;
    queue.SetBlockSize(10000);
    std::deque<quint8> model;
    quint64 taken = 0;
    quint8 next = 0;
    std::vector<quint8> buffer(4096);
    for (int step = 0; step < 200000; ++step) {
        const bool grow = model.size() < 9000 && random.bounded(3) != 0;
        if (grow) {
            queue.PushOne(next);
            model.push_back(next++);
        } else if (!model.empty()) {
            if (random.bounded(50) == 0) {
                const qsizetype n = queue.Take(buffer.data(), random.bounded(4096));
                for (qsizetype i = 0; i < n; ++i) {
                    ASSERT_EQ(buffer[i], model.front());
                    model.pop_front();
                }
                taken += static_cast<quint64>(n);
            } else {
                ASSERT_EQ(queue.TakeOne(), model.front());
                model.pop_front();
                ++taken;
            }
        }
        ASSERT_EQ(queue.Size(), static_cast<qsizetype>(model.size()));
        ASSERT_EQ(queue.TotalTaken(), taken);
        ASSERT_LE(queue.Capacity(), 10000);
    }
}

// A reader that fills the back in chunks while the front is taken in bites
// smaller than what is queued: the queue moves its bytes down inside its
// block instead of taking one twice the size, whose pages the back would
// then walk through.
TEST(ByteQueue, ABoundedQueueStaysInItsBlockWhileItsBytesFit) {
    constexpr qsizetype kBlock = 4096 + 512;
    ByteQueue queue;
    queue.SetBlockSize(kBlock);
    std::deque<quint8> model;
    quint8 next = 0;
    std::vector<quint8> buffer(kBlock);
    for (int round = 0; round < 1000; ++round) {
        while (model.size() < 4096) {
            quint8 *room = queue.PrepareAppend(512);
            for (int i = 0; i < 300; ++i) {
                room[i] = next;
                model.push_back(next++);
            }
            queue.CommitAppend(300);
        }
        const qsizetype n = queue.Take(buffer.data(), 1 + round % 700);
        for (qsizetype i = 0; i < n; ++i) {
            ASSERT_EQ(buffer[i], model.front());
            model.pop_front();
        }
        ASSERT_EQ(queue.Capacity(), kBlock);
    }
}

}  // namespace
