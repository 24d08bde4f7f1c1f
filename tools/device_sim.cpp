// vaskor-device-sim: a stand-in for the network device, for trying
// VaskorLinkPC without hardware. A TCP server that echoes, logs, or sends a
// file to every client.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <cstdio>
#include <memory>

namespace {

// Per client, bytes waiting to be sent are held to about this much: above it
// the client is no longer read (and the file no longer fed), so a client that
// does not read makes its own sender wait instead of growing memory.
constexpr qint64 kHighWater = 1 << 20;
constexpr qint64 kReadBufferSize = 64 * 1024;
constexpr qint64 kChunk = 64 * 1024;

void PrintLine(const QString &line) {
    const QByteArray bytes = line.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

QString HexDumpLine(int client, qint64 offset, const QByteArray &bytes) {
    QString hex;
    QString ascii;
    for (int i = 0; i < 16; ++i) {
        if (i < bytes.size()) {
            const auto byte = static_cast<unsigned char>(bytes[i]);
            hex += QStringLiteral("%1 ").arg(static_cast<uint>(byte), 2, 16, QLatin1Char('0'));
            ascii += byte >= 0x20 && byte < 0x7f ? QLatin1Char(static_cast<char>(byte))
                                                 : QLatin1Char('.');
        } else {
            hex += QStringLiteral("   ");
        }
    }
    return QStringLiteral("client %1 %2  %3 |%4|")
        .arg(client)
        .arg(offset, 8, 16, QLatin1Char('0'))
        .arg(hex, ascii);
}

struct Options {
    bool echo = true;
    bool log = false;
    QString sendFile;
};

class Client : public QObject {
public:
    Client(QTcpSocket *socket, int number, const Options &options, QObject *parent)
        : QObject(parent), socket_(socket), number_(number), options_(options) {
        socket_->setParent(this);
        socket_->setReadBufferSize(kReadBufferSize);
        PrintLine(QStringLiteral("client %1 connected from %2:%3")
                      .arg(number_)
                      .arg(socket_->peerAddress().toString())
                      .arg(socket_->peerPort()));
        if (!options_.sendFile.isEmpty()) {
            file_ = std::make_unique<QFile>(options_.sendFile);
            if (!file_->open(QIODevice::ReadOnly)) {
                PrintLine(QStringLiteral("client %1: cannot read %2")
                              .arg(number_)
                              .arg(options_.sendFile));
                file_.reset();
            }
        }
        connect(socket_, &QTcpSocket::readyRead, this, &Client::Pump);
        connect(socket_, &QTcpSocket::bytesWritten, this, &Client::Pump);
        connect(socket_, &QTcpSocket::disconnected, this, &Client::Finish);
        Pump();
    }

private:
    bool Congested() const { return socket_->bytesToWrite() >= kHighWater; }

    // Called whenever data arrives or leaves: feeds the file first, then
    // takes what the client sent, each only while the send queue has room.
    // Bytes Qt holds back while congested stay in its bounded read buffer,
    // and TCP holds the client back beyond that.
    void Pump() {
        while (file_ && !Congested()) {
            const QByteArray chunk = file_->read(kChunk);
            if (chunk.isEmpty()) {
                file_.reset();
                break;
            }
            socket_->write(chunk);
        }
        while (socket_->bytesAvailable() > 0 && !(options_.echo && Congested())) {
            const QByteArray data = socket_->read(kChunk);
            if (options_.log) {
                for (qsizetype at = 0; at < data.size(); at += 16)
                    PrintLine(HexDumpLine(number_, received_ + at, data.mid(at, 16)));
            }
            received_ += data.size();
            if (options_.echo) socket_->write(data);
        }
    }

    void Finish() {
        PrintLine(QStringLiteral("client %1 disconnected").arg(number_));
        deleteLater();
    }

    QTcpSocket *socket_;
    int number_;
    const Options &options_;
    std::unique_ptr<QFile> file_;
    qint64 received_ = 0;
};

}  // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vaskor-device-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulates the network device for VaskorLinkPC: a TCP server that echoes what it\n"
        "receives (the default), logs it as hex and ASCII, and can send a file to each\n"
        "client when it connects. Prints one line per client connecting or leaving."));
    parser.addHelpOption();
    const QCommandLineOption address(QStringLiteral("address"),
                                     QStringLiteral("Address to listen on (default 127.0.0.1)."),
                                     QStringLiteral("A"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("TCP port (default 5555; 0 picks a free one)."),
                                  QStringLiteral("P"), QStringLiteral("5555"));
    const QCommandLineOption echo(
        QStringLiteral("echo"),
        QStringLiteral("Send back what is received (the default unless --log)."));
    const QCommandLineOption log(QStringLiteral("log"),
                                 QStringLiteral("Print what is received as hex and ASCII lines."));
    const QCommandLineOption send(
        QStringLiteral("send"),
        QStringLiteral("Send FILE to each client on connect, then go on echoing (or logging)."),
        QStringLiteral("FILE"));
    parser.addOptions({address, port, echo, log, send});
    parser.process(app);

    Options options;
    options.log = parser.isSet(log);
    options.echo = parser.isSet(echo) || !options.log;
    options.sendFile = parser.value(send);

    bool portOk = false;
    const uint portNumber = parser.value(port).toUInt(&portOk);
    const QHostAddress host(parser.value(address));
    if (!portOk || portNumber > 65535 || host.isNull()) {
        std::fputs("vaskor-device-sim: bad --address or --port\n", stderr);
        return 2;
    }

    if (!options.sendFile.isEmpty() && !QFile(options.sendFile).open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "vaskor-device-sim: cannot read %s\n", qPrintable(options.sendFile));
        return 2;
    }

    QTcpServer server;
    if (!server.listen(host, static_cast<quint16>(portNumber))) {
        std::fprintf(stderr, "vaskor-device-sim: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    PrintLine(QStringLiteral("listening on %1:%2").arg(host.toString()).arg(server.serverPort()));

    int clients = 0;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            new Client(socket, ++clients, options, &server);
        }
    });
    return QCoreApplication::exec();
}
