// The relay: ticks drain the port into the socket, DataArrival fills the
// port, with the lamps, the timer's re-arming and flow control.
#include <gtest/gtest.h>

#include "app/Lamp.h"
#include "support/BridgeFixture.h"

namespace {

class RelayTest : public BridgeFixture {
protected:
    void SetUp() override {
        BridgeFixture::SetUp();
        StartLink();
        driver->OnOpenClose(true);
        log.clear();
    }
    static QByteArray AllByteValues() {
        QByteArray bytes;
        for (int value = 0; value < 256; ++value) bytes.append(static_cast<char>(value));
        return bytes;
    }
};

TEST_F(RelayTest, ATickDrainsEveryWaitingByteIntoOneSend) {
    driver->fromClient = QByteArray(300, 'x');
    window->MasterTimer_Timer();
    EXPECT_EQ(driver->readCalls, 300);
    ASSERT_EQ(sock.sent.size(), 1u);
    EXPECT_EQ(sock.sent[0].size(), 300);
    EXPECT_EQ(window->comLEDred->FillColor(), Lamp::kLitRed);
    EXPECT_EQ(window->tcpLEDred->FillColor(), Lamp::kLitRed);
    EXPECT_TRUE(timer.enabled);
}

TEST_F(RelayTest, BytesArrivingWhileDrainingLeaveInTheSameSend) {
    driver->fromClient = QByteArray("abc");
    bool once = true;
    driver->onRead = [&] {
        if (once) driver->fromClient.append("de");
        once = false;
    };
    window->MasterTimer_Timer();
    ASSERT_EQ(sock.sent.size(), 1u);
    EXPECT_EQ(sock.sent[0], QByteArray("abcde"));
}

TEST_F(RelayTest, ATickThatFindsNothingChangesNothing) {
    const int passes = pump.passes;
    window->MasterTimer_Timer();
    EXPECT_TRUE(sock.sent.empty());
    EXPECT_EQ(window->comLEDred->FillColor(), Lamp::kDarkRed);
    EXPECT_TRUE(timer.enabled);
    EXPECT_EQ(pump.passes, passes + 1);
}

// Idle ticks would change nothing, so the relay sleeps until the driver
// announces bytes, and a tear-down still leaves it off.
TEST_F(RelayTest, TheRelaySleepsWhileNothingWaitsAndWakesForTheClientsBytes) {
    window->MasterTimer_Timer();
    EXPECT_TRUE(timer.enabled);
    EXPECT_TRUE(timer.parked);
    driver->fromClient = QByteArray("ab");
    driver->ClientBytesWaiting();
    EXPECT_FALSE(timer.parked);
    window->MasterTimer_Timer();
    ASSERT_EQ(sock.sent.size(), 1u);
    EXPECT_TRUE(timer.parked);
    window->MasterTimer_Timer();  // the wake-up's own tick finds nothing
    window->CloseVirtualPort();
    EXPECT_FALSE(timer.enabled);
    EXPECT_FALSE(timer.parked);
}

TEST_F(RelayTest, BytesHeldBackForASlowDeviceKeepTheRelayAwake) {
    sock.bytesToWrite = SendHighWater();
    driver->fromClient = QByteArray("wait");
    window->MasterTimer_Timer();
    EXPECT_FALSE(timer.parked);
    EXPECT_TRUE(sock.sent.empty());
}

TEST_F(RelayTest, AClientsOpenWakesTheRelayForBytesAnnouncedBeforeIt) {
    driver->OnOpenClose(false);
    window->MasterTimer_Timer();
    ASSERT_TRUE(timer.parked);
    driver->OnOpenClose(true);
    EXPECT_FALSE(timer.parked);
}

TEST_F(RelayTest, ATearDownDuringTheTicksPumpPassLeavesTheTimerOff) {
    driver->fromClient = QByteArray("data");
    pump.pending.push_back([&] { window->CloseVirtualPort(); });
    window->MasterTimer_Timer();
    EXPECT_FALSE(timer.enabled);
    EXPECT_TRUE(window->LinkStopped);
}

TEST_F(RelayTest, BytesDrainedWhileTheSocketIsDownAreDropped) {
    sock.state = TcpClientControl::sckClosed;
    driver->fromClient = QByteArray("lost");
    window->MasterTimer_Timer();
    EXPECT_TRUE(sock.sent.empty());
    EXPECT_EQ(driver->fromClient.size(), 0);
    EXPECT_EQ(window->tcpLEDred->FillColor(), Lamp::kLitRed);
}

TEST_F(RelayTest, DeviceDataIsWrittenOneByteAtATimeAndDarkensTheRedLamps) {
    window->comLEDred->SetFillColor(Lamp::kLitRed);
    window->tcpLEDred->SetFillColor(Lamp::kLitRed);
    sock.incoming = QByteArray("answer");
    window->Sock_DataArrival(6);
    EXPECT_EQ(driver->toClient, QByteArray("answer"));
    EXPECT_EQ(driver->writeCalls, 6);
    EXPECT_EQ(window->comLEDred->FillColor(), Lamp::kDarkRed);
    EXPECT_EQ(window->tcpLEDred->FillColor(), Lamp::kDarkRed);
}

TEST_F(RelayTest, DeviceDataWithoutAClientIsTakenAndLost) {
    driver->OnOpenClose(false);
    window->comLEDred->SetFillColor(Lamp::kLitRed);
    sock.incoming = QByteArray("nobody");
    window->Sock_DataArrival(6);
    EXPECT_TRUE(sock.incoming.isEmpty());
    EXPECT_TRUE(driver->toClient.isEmpty());
    EXPECT_EQ(window->comLEDred->FillColor(), Lamp::kLitRed);
    // Nor is it delivered to a client that opens later.
    driver->OnOpenClose(true);
    window->Sock_DataArrival(0);
    EXPECT_TRUE(driver->toClient.isEmpty());
}

TEST_F(RelayTest, EveryByteValuePassesUnchangedBothWays) {
    driver->fromClient = AllByteValues();
    window->MasterTimer_Timer();
    ASSERT_EQ(sock.sent.size(), 1u);
    EXPECT_EQ(sock.sent[0], AllByteValues());
    sock.incoming = AllByteValues();
    window->Sock_DataArrival(256);
    EXPECT_EQ(driver->toClient, AllByteValues());
}

TEST_F(RelayTest, ASlowDeviceLeavesTheClientsBytesInTheDriver) {
    sock.bytesToWrite = BridgeFixture::SendHighWater();
    driver->fromClient = QByteArray("wait");
    window->MasterTimer_Timer();
    EXPECT_TRUE(sock.sent.empty());
    EXPECT_EQ(driver->fromClient, QByteArray("wait"));
    EXPECT_TRUE(timer.enabled);
    sock.bytesToWrite = 0;
    window->MasterTimer_Timer();
    ASSERT_EQ(sock.sent.size(), 1u);
    EXPECT_EQ(sock.sent[0], QByteArray("wait"));
}

// A burst leaves over several ticks, each taking at most its bound less
// what the socket still holds: 4 MiB at the default tick, 1 MiB at 1 ms.
TEST_F(RelayTest, ABurstLeavesInTicksBoundedByTheTickLessWhatTheSocketHolds) {
    constexpr qsizetype kMiB = 1024 * 1024;
    for (const int tick : {50, 1}) {
        SCOPED_TRACE(tick);
        sock.sent.clear();
        timer.interval = tick;
        const qsizetype bound = tick == 50 ? 4 * kMiB : kMiB;
        driver->fromClient = QByteArray(bound + kMiB, 'b');
        sock.bytesToWrite = 0;
        window->MasterTimer_Timer();
        ASSERT_EQ(sock.sent.size(), 1u);
        EXPECT_EQ(sock.sent[0].size(), bound);
        sock.bytesToWrite = 256 * 1024;
        qsizetype total = bound;
        for (int more = 0; more < 10 && !driver->fromClient.isEmpty(); ++more) {
            window->MasterTimer_Timer();
            EXPECT_LE(sock.sent.back().size(), bound - sock.bytesToWrite);
            total += sock.sent.back().size();
        }
        EXPECT_EQ(total, bound + kMiB);
        EXPECT_EQ(sock.sent.size(), tick == 50 ? 2u : 3u);
    }
}

// The socket shares the block it was given until it has sent the last
// byte of it: until then that whole block counts against the bound, so a
// device falling behind never has a second block filled for it.
TEST_F(RelayTest, ABlockTheSocketStillHoldsCountsWholeAgainstTheBound) {
    constexpr qsizetype kMiB = 1024 * 1024;
    sock.holdsWhatItSends = true;
    driver->fromClient = QByteArray(5 * kMiB, 'a');
    window->MasterTimer_Timer();
    ASSERT_EQ(sock.sent.size(), 1u);
    EXPECT_EQ(sock.sent[0].size(), 4 * kMiB);

    sock.bytesToWrite = 64 * 1024;
    window->MasterTimer_Timer();
    EXPECT_EQ(sock.sent.size(), 1u) << "the held block fills the bound";
    EXPECT_TRUE(driver->readingHeldBack);
    EXPECT_FALSE(timer.parked) << "only a tick sees the socket let go";

    sock.holding = QByteArray();
    sock.bytesToWrite = 0;
    window->MasterTimer_Timer();
    ASSERT_EQ(sock.sent.size(), 2u);
    EXPECT_EQ(sock.sent[1].size(), kMiB);
    EXPECT_FALSE(driver->readingHeldBack);

    driver->fromClient = QByteArray(4 * kMiB, 'b');
    sock.bytesToWrite = 64 * 1024;
    window->MasterTimer_Timer();
    ASSERT_EQ(sock.sent.size(), 3u);
    EXPECT_EQ(sock.sent[2].size(), 3 * kMiB) << "4 MiB less the whole held block";
}

TEST_F(RelayTest, ASlowClientPausesTheSocketUntilTheDriverDrains) {
    driver->aboveHighWater = true;
    sock.incoming = QByteArray("more");
    window->Sock_DataArrival(4);
    EXPECT_EQ(driver->toClient, QByteArray("more"));
    EXPECT_TRUE(sock.receivePaused);
    emit driver->WriteQueueDrained();
    EXPECT_FALSE(sock.receivePaused);
    // A client that goes away also lets the device's data flow again.
    sock.receivePaused = true;
    driver->OnOpenClose(false);
    EXPECT_FALSE(sock.receivePaused);
}

}  // namespace
