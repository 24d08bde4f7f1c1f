#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryFile>
#include <QTest>
#include <string>

namespace {

// The simulator as a child process on a free port of 127.0.0.1.
class DeviceSim {
public:
    explicit DeviceSim(QStringList arguments) {
        process_.start(QStringLiteral(VASKOR_SIM_PATH),
                       arguments << QStringLiteral("--port") << QStringLiteral("0"));
        const QString first = NextLine();
        const QString prefix = QStringLiteral("listening on 127.0.0.1:");
        if (first.startsWith(prefix)) port_ = first.mid(prefix.size()).toUShort();
    }
    ~DeviceSim() {
        process_.kill();
        process_.waitForFinished(5000);
    }
    quint16 Port() const { return port_; }

    // The next line of its output, or an empty text after 10 seconds.
    QString NextLine() {
        const QDeadlineTimer deadline(10000);
        while (!process_.canReadLine() && !deadline.hasExpired())
            process_.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
        return QString::fromLocal8Bit(process_.readLine()).trimmed();
    }

private:
    QProcess process_;
    quint16 port_ = 0;
};

bool Connect(QTcpSocket &socket, quint16 port) {
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    return socket.waitForConnected(10000);
}

QByteArray ReadExactly(QTcpSocket &socket, qint64 size) {
    QByteArray data;
    const QDeadlineTimer deadline(20000);
    while (data.size() < size && !deadline.hasExpired()) {
        if (socket.bytesAvailable() == 0) socket.waitForReadyRead(100);
        data += socket.read(size - data.size());
    }
    return data;
}

constexpr char Pattern(qint64 i) {
    return static_cast<char>((i * 7 + i / 251) & 0xff);
}

TEST(DeviceSim, EchoesEveryByteInOrderAndHoldsTheSenderBackWhenTheClientStopsReading) {
    DeviceSim sim({});
    ASSERT_NE(sim.Port(), 0);
    QTcpSocket client;
    client.setReadBufferSize(64 * 1024);
    client.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 64 * 1024);
    client.setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, 64 * 1024);
    ASSERT_TRUE(Connect(client, sim.Port()));
    EXPECT_TRUE(sim.NextLine().startsWith(QStringLiteral("client 1 connected from 127.0.0.1:")));

    // More than every buffer on the way (kernel and simulator) can hold.
    constexpr qint64 kTotal = 64 << 20;
    qint64 queued = 0;
    const auto feed = [&] {
        while (queued < kTotal && client.bytesToWrite() < (1 << 20)) {
            QByteArray chunk(static_cast<qsizetype>(qMin<qint64>(kTotal - queued, 256 * 1024)),
                             '\0');
            for (qsizetype i = 0; i < chunk.size(); ++i) chunk[i] = Pattern(queued + i);
            queued += client.write(chunk);
        }
    };

    // Without reading: sending must come to a halt well before the end.
    qint64 lastSent = -1;
    for (int idle = 0; idle < 10 && lastSent < kTotal;) {
        feed();
        QTest::qWait(50);
        const qint64 sent = queued - client.bytesToWrite();
        idle = sent == lastSent ? idle + 1 : 0;
        lastSent = sent;
    }
    EXPECT_LT(lastSent, kTotal) << "the simulator buffered without bound";

    qint64 received = 0;
    bool intact = true;
    const QDeadlineTimer deadline(120000);
    while (received < kTotal && intact && !deadline.hasExpired()) {
        feed();
        client.waitForReadyRead(100);
        const QByteArray data = client.readAll();
        for (qsizetype i = 0; i < data.size() && intact; ++i)
            intact = data[i] == Pattern(received + i);
        received += data.size();
    }
    EXPECT_TRUE(intact) << "echo differs near byte " << received;
    EXPECT_EQ(received, kTotal);
}

TEST(DeviceSim, LogsWhatArrivesAsHexAndTextAndReportsClientsComingAndGoing) {
    DeviceSim sim({QStringLiteral("--log")});
    ASSERT_NE(sim.Port(), 0);
    {
        QTcpSocket first;
        ASSERT_TRUE(Connect(first, sim.Port()));
        EXPECT_TRUE(sim.NextLine().startsWith(QStringLiteral("client 1 connected")));
        QTcpSocket second;
        ASSERT_TRUE(Connect(second, sim.Port()));
        EXPECT_TRUE(sim.NextLine().startsWith(QStringLiteral("client 2 connected")));

        second.write("AT\r\nhello, device!\x01");
        ASSERT_TRUE(second.waitForBytesWritten(5000));
        EXPECT_EQ(sim.NextLine().toStdString(),
                  "client 2 00000000  41 54 0d 0a 68 65 6c 6c 6f 2c 20 64 65 76 69 63  |AT..hello, "
                  "devic|");
        EXPECT_EQ(sim.NextLine().toStdString(),
                  "client 2 00000010  65 21 01" + std::string(41, ' ') + "|e!.|");
        second.disconnectFromHost();
        EXPECT_EQ(sim.NextLine().toStdString(), "client 2 disconnected");
        // Logging alone does not answer.
        EXPECT_FALSE(second.waitForReadyRead(200));
    }
    EXPECT_EQ(sim.NextLine().toStdString(), "client 1 disconnected");
}

TEST(DeviceSim, SendsTheFileToEachClientThenEchoes) {
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    QByteArray content(300 * 1024, '\0');
    for (qsizetype i = 0; i < content.size(); ++i) content[i] = Pattern(i);
    file.write(content);
    file.close();

    DeviceSim sim({QStringLiteral("--send"), file.fileName()});
    ASSERT_NE(sim.Port(), 0);
    for (int round = 0; round < 2; ++round) {
        QTcpSocket client;
        ASSERT_TRUE(Connect(client, sim.Port()));
        EXPECT_EQ(ReadExactly(client, content.size()), content);
        client.write("ping");
        EXPECT_EQ(ReadExactly(client, 4), QByteArray("ping"));
    }
}

}  // namespace
