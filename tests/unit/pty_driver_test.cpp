#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>
#include <functional>

#include "platform/LineStateRecord.h"
#include "platform/PtyDriver.h"
#include "support/PtyClient.h"

namespace {

using namespace std::chrono_literals;

constexpr qsizetype kMiB = 1 << 20;

// A byte stream in which every position differs from its neighbours' blocks,
// so loss, duplication and reordering all show.
QByteArray Pattern(qsizetype size, quint32 seed) {
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = seed * 2654435761u + 1;
    for (qsizetype i = 0; i < size; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        bytes[i] = static_cast<char>(state);
    }
    return bytes;
}

QByteArray AllByteValuesAndLineEnds() {
    QByteArray bytes("\r\n\n\r\x11\x13\x03\x04\x7f");
    for (int value = 0; value < 256; ++value) bytes.append(static_cast<char>(value));
    return bytes;
}

// -1 when equal; keeps gtest from printing megabytes on a mismatch.
qsizetype FirstDifference(const QByteArray &a, const QByteArray &b) {
    if (a == b) return -1;
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        if (a[i] != b[i]) return i;
    }
    return a.size() == b.size() ? -1 : common;
}

int OpenDescriptors() {
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd"))
                                .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                                .size());
}

qint64 ProcessCpuNs() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

bool WaitUntil(const std::function<bool()> &done, std::chrono::milliseconds timeout = 3s) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeout.count()) return false;
        RunEventLoopFor(1ms);
    }
    return true;
}

class PtyDriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tempDir_.isValid());
        portDir_ = QFile::encodeName(tempDir_.path());
        ::chmod(portDir_.constData(), 0700);
        qputenv("VASKORLINK_PORT_DIR", portDir_);
        clock_.start();
        QObject::connect(&driver_, &SerialPortDriver::OnOpenClose, [this](bool opened) {
            events_.push_back(opened);
            eventNs_.push_back(clock_.nsecsElapsed());
        });
    }
    void TearDown() override { qunsetenv("VASKORLINK_PORT_DIR"); }

    QByteArray Path(const char *name) const { return portDir_ + '/' + name; }
    bool LastEventIs(bool opened) const { return !events_.empty() && events_.back() == opened; }

    void OpenClient(PtyClient &client) {
        ASSERT_TRUE(client.Open(Path("COM4")));
        ASSERT_TRUE(WaitUntil([&] { return LastEventIs(true); }));
    }
    void CloseClient(PtyClient &client) {
        client.Close();
        ASSERT_TRUE(WaitUntil([&] { return LastEventIs(false); }));
    }

    // What a relay tick does: take everything waiting, one byte per call.
    QByteArray DrainByteByByte() {
        QByteArray bytes;
        while (driver_.BytesAvailable() > 0) {
            quint8 byte = 0;
            qint32 count = 1;
            driver_.ReadBytes(&byte, count);
            EXPECT_EQ(count, 1);
            bytes.append(static_cast<char>(byte));
        }
        return bytes;
    }

    QByteArray ReceiveFromClient(qsizetype size) {
        QByteArray bytes;
        WaitUntil([&] {
            bytes += DrainByteByByte();
            return bytes.size() >= size;
        });
        return bytes;
    }

    void Send(const QByteArray &bytes) {
        qint32 count = static_cast<qint32>(bytes.size());
        driver_.WriteBytes(reinterpret_cast<const quint8 *>(bytes.constData()), count);
        EXPECT_EQ(count, bytes.size());
    }

    QTemporaryDir tempDir_;
    QByteArray portDir_;
    PtyDriver driver_;
    QElapsedTimer clock_;
    std::vector<bool> events_;
    std::vector<qint64> eventNs_;
};

TEST(PtyDriverFactory, GivesADriverWherePseudoTerminalsWork) {
    EXPECT_NE(CreatePtyDriver(), nullptr);
}

TEST_F(PtyDriverTest, CreatesAPrivateLinkToARawSlave) {
    qputenv("VASKORLINK_PORT_DIR", Path("made"));
    ASSERT_TRUE(driver_.CreatePort(QStringLiteral("COM4")));
    struct stat info {};
    ASSERT_EQ(::lstat(Path("made").constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    ASSERT_EQ(::lstat(Path("made/COM4").constData(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ASSERT_EQ(::stat(Path("made/COM4").constData(), &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 0600u);

    // A name with a slash is the link's path itself.
    ASSERT_TRUE(driver_.CreatePort(QString::fromLocal8Bit(Path("custom"))));
    EXPECT_EQ(::lstat(Path("custom").constData(), &info), 0);
    EXPECT_NE(::lstat(Path("made/COM4").constData(), &info), 0) << "the earlier port is replaced";
}

TEST_F(PtyDriverTest, PassesEveryByteValueUnchangedWhateverModeTheClientSets) {
    ASSERT_TRUE(driver_.CreatePort(QStringLiteral("COM4")));
    const QByteArray values = AllByteValuesAndLineEnds();
    for (const bool cooked : {false, true}) {
        SCOPED_TRACE(cooked ? "cooked" : "raw");
        PtyClient client;
        OpenClient(client);
        if (cooked) {
            ASSERT_TRUE(client.SetCooked());
        }

        Send(values);
        EXPECT_EQ(client.ReadExactly(values.size()), values);
        EXPECT_TRUE(client.ReadUntilQuiet(50ms).isEmpty());
        EXPECT_EQ(driver_.BytesAvailable(), 0) << "echo";

        ASSERT_TRUE(client.WriteAll(values));
        EXPECT_EQ(ReceiveFromClient(values.size()), values);
        RunEventLoopFor(30ms);
        EXPECT_EQ(driver_.BytesAvailable(), 0);
        CloseClient(client);
    }
    // Settings a client leaves behind are undone when it goes, so the next
    // one is not translated even if it writes before its open is noticed.
    PtyClient leaver;
    OpenClient(leaver);
    ASSERT_TRUE(leaver.SetCooked());
    CloseClient(leaver);
    PtyClient next;
    ASSERT_TRUE(next.Open(Path("COM4")));
    ASSERT_TRUE(next.WriteAll("a\nb"));
    EXPECT_EQ(ReceiveFromClient(3), QByteArray("a\nb"));
}

TEST_F(PtyDriverTest, ReportsTwoHundredVisitsPromptlyInOrderAndLeaksNoDescriptor) {
    const int before = OpenDescriptors();
    ASSERT_TRUE(driver_.CreatePort(QStringLiteral("COM4")));
    const int withPort = OpenDescriptors();
    qint64 worstOpen = 0;
    qint64 worstClose = 0;
    for (int i = 0; i < 200; ++i) {
        RunEventLoopFor(std::chrono::milliseconds(i % 3));  // vary the phase against timers
        PtyClient client;
        const qint64 opened = clock_.nsecsElapsed();
        OpenClient(client);
        worstOpen = std::max(worstOpen, eventNs_.back() - opened);
        const qint64 closed = clock_.nsecsElapsed();
        CloseClient(client);
        worstClose = std::max(worstClose, eventNs_.back() - closed);
    }
    std::printf("[ latency  ] worst open %.2f ms, worst close %.2f ms\n", worstOpen / 1e6,
                worstClose / 1e6);
    EXPECT_LT(worstOpen, 100'000'000);  // 20 ms required; margin for sanitizers
    EXPECT_LT(worstClose, 100'000'000);
    std::vector<bool> expected;
    for (int i = 0; i < 200; ++i) expected.insert(expected.end(), {true, false});
    EXPECT_EQ(events_, expected);
    EXPECT_EQ(OpenDescriptors(), withPort);
    driver_.RemovePort();
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST_F(PtyDriverTest, ReportsOneEventAtATimeWhenAHandlerRunsTheEventLoop) {
    ASSERT_TRUE(driver_.CreatePort(QStringLiteral("COM4")));
    PtyClient client;
    int depth = 0;
    int deepest = 0;
    QObject::connect(&driver_, &SerialPortDriver::OnOpenClose, [&](bool opened) {
        deepest = std::max(deepest, ++depth);
        if (opened) {
            client.Close();
            RunEventLoopFor(60ms);
        }
        --depth;
    });
    ASSERT_TRUE(client.Open(Path("COM4")));
    ASSERT_TRUE(WaitUntil([&] { return events_.size() == 2; }));
    EXPECT_EQ(events_, (std::vector<bool>{true, false}));
    EXPECT_EQ(deepest, 1);
}

TEST_F(PtyDriverTest, ReportsCloseOnlyAfterEveryByteTheClientWroteCanBeRead) {
    ASSERT_TRUE(driver_.CreatePort(QStringLiteral("COM4")));
    const QByteArray data = Pattern(10 * 1024, 1);
    // Seen opening first, and opened, written and closed between two looks
    // (as "echo cmd > port" does).
    for (const bool waitForOpen : {true, false}) {
        SCOPED_TRACE(waitForOpen ? "seen open" : "visit between looks");
        events_.clear();
        PtyClient client;
        if (waitForOpen) {
            OpenClient(client);
        } else {
            ASSERT_TRUE(client.Open(Path("COM4")));
        }
        ASSERT_TRUE(client.WriteAll(data));
        client.Close();
        RunEventLoopFor(30ms);
        EXPECT_EQ(events_, std::vector<bool>{true}) << "closed while bytes are waiting";
        QByteArray received;
        ASSERT_TRUE(WaitUntil([&] {
            // A relay takes bytes only while the port is reported open.
            if (LastEventIs(true)) received += DrainByteByByte();
            return LastEventIs(false);
        }));
        EXPECT_EQ(events_, (std::vector<bool>{true, false}));
        EXPECT_EQ(FirstDifference(received, data), -1);
    }
}

TEST_F(PtyDriverTest, ReportsTheCloseEvenIfTheCallerNeverTakesTheBytes) {
    ASSERT_TRUE(driver_.CreatePort(QStringLiteral("COM4")));
    PtyClient client;
    OpenClient(client);
    // Enough to be held back, so the close happens while reading is paused.
    const QByteArray data = Pattern(PtyDriver::kReadQueueBound + kMiB, 7);
    qsizetype sent = 0;
    while (sent < data.size()) {
        sent += client.WriteSome(data.constData() + sent, data.size() - sent);
        if (!client.WaitWritable(300ms)) break;
    }
    ASSERT_LT(sent, data.size());
    const qint64 closed = clock_.nsecsElapsed();
    CloseClient(client);
    EXPECT_GE(eventNs_.back() - closed, (PtyDriver::kAbandonAfterMs - 50) * 1'000'000LL);
    OpenClient(client);
    RunEventLoopFor(30ms);
    EXPECT_EQ(driver_.BytesAvailable(), 0) << "left-overs of the previous client";
}

TEST_F(PtyDriverTest, CountsBytesThatArriveWhileTheCallerDrains) {
    ASSERT_TRUE(driver_.CreatePort(QStringLiteral("COM4")));
    PtyClient client;
    OpenClient(client);
    const QByteArray first = Pattern(1000, 2);
    const QByteArray second = Pattern(1000, 3);
    ASSERT_TRUE(client.WriteAll(first));
    ASSERT_TRUE(WaitUntil([&] { return driver_.BytesAvailable() >= 1000; }));
    ASSERT_EQ(client.WriteSome(second.constData(), second.size()), second.size());
    // No event-loop pass between here and the end of the drain.
    EXPECT_EQ(DrainByteByByte(), first + second);
}

TEST_F(PtyDriverTest, QueuesEverythingForAClientThatDoesNotRead) {
    ASSERT_TRUE(driver_.CreatePort(QStringLiteral("COM4")));
    PtyClient client;
    OpenClient(client);
    QSignalSpy drained(&driver_, &SerialPortDriver::WriteQueueDrained);
    const QByteArray data = Pattern(16 * kMiB, 4);
    qsizetype sent = 0;
    for (; sent < 64 * 1024; ++sent) Send(data.mid(sent, 1));
    for (; sent < data.size(); sent += kMiB) Send(data.mid(sent, kMiB));
    EXPECT_TRUE(driver_.WriteQueueAboveHighWater());
    RunEventLoopFor(100ms);
    EXPECT_TRUE(driver_.WriteQueueAboveHighWater());
    EXPECT_EQ(drained.count(), 0);

    EXPECT_EQ(FirstDifference(client.ReadExactly(data.size(), 60s), data), -1);
    EXPECT_TRUE(WaitUntil([&] { return drained.count() == 1; }));
    EXPECT_FALSE(driver_.WriteQueueAboveHighWater());
    EXPECT_TRUE(client.ReadUntilQuiet(50ms).isEmpty());
}

TEST_F(PtyDriverTest, HoldsBackAClientWhoseBytesAreNotTakenAndLosesNone) {
    ASSERT_TRUE(driver_.CreatePort(QStringLiteral("COM4")));
    PtyClient client;
    OpenClient(client);
    const QByteArray data = Pattern(16 * kMiB, 5);
    qsizetype sent = 0;
    auto writeMore = [&] {
        const qint64 n = client.WriteSome(data.constData() + sent,
                                          std::min<qsizetype>(64 * 1024, data.size() - sent));
        ASSERT_GE(n, 0);
        sent += n;
    };
    while (sent < data.size()) {
        writeMore();
        if (!client.WaitWritable(300ms)) break;
    }
    EXPECT_LT(sent, data.size()) << "the client was never held back";
    EXPECT_GE(driver_.BytesAvailable(), PtyDriver::kReadHighWater);
    EXPECT_LE(driver_.BytesAvailable(), PtyDriver::kReadQueueBound);

    QByteArray received;
    received.reserve(data.size());
    QByteArray chunk(kMiB, Qt::Uninitialized);
    QElapsedTimer clock;
    clock.start();
    // Both ends live on this thread, so no waiting is needed: the kernel
    // moves the bytes during each call.
    while (received.size() < data.size() && clock.elapsed() < 60'000) {
        if (sent < data.size()) writeMore();
        QCoreApplication::processEvents();
        ASSERT_LE(driver_.BytesAvailable(), PtyDriver::kReadQueueBound);
        qint32 count = static_cast<qint32>(chunk.size());
        driver_.ReadBytes(reinterpret_cast<quint8 *>(chunk.data()), count);
        received.append(chunk.constData(), count);
    }
    EXPECT_EQ(FirstDifference(received, data), -1);
}

TEST_F(PtyDriverTest, NextClientNeverReceivesBytesMeantForThePreviousOne) {
    ASSERT_TRUE(driver_.CreatePort(QStringLiteral("COM4")));
    QSignalSpy drained(&driver_, &SerialPortDriver::WriteQueueDrained);
    PtyClient client;
    OpenClient(client);
    Send(Pattern(10 * kMiB, 6));
    RunEventLoopFor(30ms);
    ASSERT_TRUE(driver_.WriteQueueAboveHighWater());
    CloseClient(client);
    EXPECT_EQ(drained.count(), 1) << "a waiting caller must be let go";
    EXPECT_FALSE(driver_.WriteQueueAboveHighWater());
    qint32 count = 1;
    driver_.WriteBytes(reinterpret_cast<const quint8 *>("x"), count);
    EXPECT_EQ(count, 0) << "nobody to write to";

    OpenClient(client);
    EXPECT_TRUE(client.ReadUntilQuiet(100ms).isEmpty());
    Send("fresh");
    EXPECT_EQ(client.ReadExactly(5), QByteArray("fresh"));
}

// A relay that sleeps while nothing waits is woken once per arrival into an
// empty queue; bytes it finds itself while draining are not announced.
TEST_F(PtyDriverTest, AnnouncesTheClientsBytesWhenTheyArriveWhereNoneWaited) {
    ASSERT_TRUE(driver_.CreatePort(QStringLiteral("COM4")));
    QSignalSpy waiting(&driver_, &SerialPortDriver::ClientBytesWaiting);
    PtyClient client;
    OpenClient(client);
    EXPECT_EQ(waiting.count(), 0);
    ASSERT_TRUE(client.WriteAll("abc"));
    ASSERT_TRUE(WaitUntil([&] { return waiting.count() == 1; }));
    ASSERT_TRUE(client.WriteAll("de"));
    RunEventLoopFor(50ms);
    EXPECT_EQ(waiting.count(), 1) << "bytes were already waiting";
    EXPECT_EQ(DrainByteByByte(), QByteArray("abcde"));

    // A caller deciding whether to sleep is not handed bytes that would
    // then wait unannounced: they stay in the kernel until announced.
    ASSERT_TRUE(client.WriteAll("f"));
    EXPECT_TRUE(driver_.NothingToTake());
    ASSERT_TRUE(WaitUntil([&] { return waiting.count() == 2; }));
    EXPECT_FALSE(driver_.NothingToTake());
    EXPECT_EQ(DrainByteByByte(), QByteArray("f"));
    EXPECT_TRUE(driver_.NothingToTake());
    RunEventLoopFor(50ms);
    EXPECT_EQ(waiting.count(), 2);
}

TEST_F(PtyDriverTest, StaysIdleAfterAClientHasComeAndGone) {
    ASSERT_TRUE(driver_.CreatePort(QStringLiteral("COM4")));
    PtyClient client;
    OpenClient(client);
    CloseClient(client);
    const qint64 start = ProcessCpuNs();
    RunEventLoopFor(1000ms);
    const qint64 used = ProcessCpuNs() - start;
    std::printf("[ idle cpu ] %.2f ms in 1 s\n", used / 1e6);
    EXPECT_LT(used, 50'000'000);
}

TEST_F(PtyDriverTest, RemovesItsLinkButNothingPutInItsPlace) {
    ASSERT_TRUE(driver_.CreatePort(QStringLiteral("COM4")));
    EXPECT_TRUE(driver_.RemovePort());
    struct stat info {};
    EXPECT_NE(::lstat(Path("COM4").constData(), &info), 0);

    ASSERT_TRUE(driver_.CreatePort(QStringLiteral("COM4")));
    ASSERT_EQ(::unlink(Path("COM4").constData()), 0);
    QFile replacement(QFile::decodeName(Path("COM4")));
    ASSERT_TRUE(replacement.open(QIODevice::WriteOnly));
    replacement.close();
    driver_.RemovePort();
    EXPECT_TRUE(replacement.exists());
}

TEST_F(PtyDriverTest, ReplacesADanglingPtsLinkLeftByAnEarlierRun) {
    ASSERT_EQ(::symlink("/dev/pts/987654", Path("COM4").constData()), 0);
    ASSERT_TRUE(driver_.CreatePort(QStringLiteral("COM4")));
    char target[256] = {};
    ASSERT_GT(::readlink(Path("COM4").constData(), target, sizeof target - 1), 0);
    EXPECT_EQ(QByteArray(target), driver_.SlavePath());
}

// A killed bridge's link keeps its /dev/pts number, which the kernel hands
// to the next terminal opened anywhere. The link is still a leftover when
// the bridge's own record for that terminal is held by no one; without such
// a record the terminal may be anybody's, and the link stays.
TEST_F(PtyDriverTest, ReplacesALinkToAReusedNumberOnlyWhenItsBridgesRecordIsUnheld) {
    const int someonesTerminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(someonesTerminal, 0);
    ASSERT_EQ(::grantpt(someonesTerminal), 0);
    ASSERT_EQ(::unlockpt(someonesTerminal), 0);
    const QByteArray slave(::ptsname(someonesTerminal));
    ASSERT_EQ(::symlink(slave.constData(), Path("COM4").constData()), 0);

    EXPECT_FALSE(driver_.CreatePort(QStringLiteral("COM4")));

    struct stat device {};
    ASSERT_EQ(::stat(slave.constData(), &device), 0);
    char record[4096];
    ASSERT_TRUE(LineStateFileName(portDir_.constData(), device.st_rdev, record, sizeof record));
    ASSERT_TRUE(QFile(QFile::decodeName(record)).open(QIODevice::WriteOnly));
    ASSERT_TRUE(driver_.CreatePort(QStringLiteral("COM4")));
    char target[256] = {};
    ASSERT_GT(::readlink(Path("COM4").constData(), target, sizeof target - 1), 0);
    EXPECT_EQ(QByteArray(target), driver_.SlavePath());
    ::close(someonesTerminal);
}

TEST_F(PtyDriverTest, RefusesToReplaceAnythingElse) {
    PtyDriver other;
    ASSERT_TRUE(other.CreatePort(QString::fromLocal8Bit(Path("other"))));
    ASSERT_TRUE(QFile(QFile::decodeName(Path("file"))).open(QIODevice::WriteOnly));
    const std::vector<std::pair<const char *, std::function<int(const char *)>>> occupants = {
        {"regular file", [&](const char *p) { return ::link(Path("file").constData(), p); }},
        {"directory", [](const char *p) { return ::mkdir(p, 0700); }},
        {"link to a file", [&](const char *p) { return ::symlink(Path("file").constData(), p); }},
        {"dangling link elsewhere", [](const char *p) { return ::symlink("/nonexistent/tty", p); }},
        {"link to a live pty", [&](const char *p) { return ::symlink(other.SlavePath(), p); }},
        {"link to a pty's relative", [](const char *p) { return ::symlink("/dev/pts/../x", p); }},
    };
    for (const auto &[what, make] : occupants) {
        SCOPED_TRACE(what);
        ::unlink(Path("COM4").constData());
        ::rmdir(Path("COM4").constData());
        ASSERT_EQ(make(Path("COM4").constData()), 0);
        struct stat before {};
        ::lstat(Path("COM4").constData(), &before);
        const int descriptors = OpenDescriptors();
        EXPECT_FALSE(driver_.CreatePort(QStringLiteral("COM4")));
        EXPECT_EQ(OpenDescriptors(), descriptors);
        struct stat after {};
        ASSERT_EQ(::lstat(Path("COM4").constData(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
    }
}

TEST_F(PtyDriverTest, RefusesBadNamesAndUnsafePortDirectories) {
    for (const QString &name :
         {QString(), QStringLiteral("."), QStringLiteral(".."), QStringLiteral("CO\nM4"),
          QStringLiteral("CO") + QChar(0) + QStringLiteral("M4")}) {
        EXPECT_FALSE(driver_.CreatePort(name)) << name.toStdString();
    }
    EXPECT_EQ(
        QDir(tempDir_.path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
        QStringList());

    ASSERT_EQ(::mkdir(Path("open").constData(), 0700), 0);
    ASSERT_EQ(::chmod(Path("open").constData(), 0777), 0);
    ASSERT_EQ(::mkdir(Path("real").constData(), 0700), 0);
    ASSERT_EQ(::symlink(Path("real").constData(), Path("linked").constData()), 0);
    for (const char *dir : {"open", "linked"}) {
        qputenv("VASKORLINK_PORT_DIR", Path(dir));
        EXPECT_FALSE(driver_.CreatePort(QStringLiteral("COM4"))) << dir;
    }
    EXPECT_TRUE(QDir(QFile::decodeName(Path("real"))).isEmpty());
}

}  // namespace
