// Several bridges of one user, one per device, told apart by the instance
// name in the environment: each has its own settings, lock and port, they
// relay side by side, and none can take another's name or port.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <climits>
#include <memory>
#include <thread>
#include <vector>

#include "support/ByteStream.h"
#include "support/LinkedProgram.h"
#include "support/PtyClient.h"

namespace {

using namespace std::chrono_literals;

constexpr quint64 kKiB = 1024;

QByteArray LinkTarget(const QString &path) {
    char target[PATH_MAX];
    const ssize_t length = ::readlink(QFile::encodeName(path).constData(), target, sizeof target);
    return length > 0 ? QByteArray(target, length) : QByteArray();
}

QStringList Entries(const QString &dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System |
                               QDir::Hidden);
}

// The port links in a port directory, without the modem-line records that
// sit beside each port.
QStringList PortLinks(const QString &dir) {
    QStringList links = Entries(dir);
    links.removeIf([](const QString &name) { return name.startsWith(QStringLiteral(".lines.")); });
    return links;
}

// A bridge run as a named instance, sharing the user's directories with
// `first` when given, as bridges of one user do.
std::unique_ptr<LinkedProgram> NamedBridge(const QString &instance, const QString &comPort,
                                           const LinkedProgram *first = nullptr) {
    auto bridge = std::make_unique<LinkedProgram>(5000, comPort);
    if (first != nullptr) bridge->program.ShareDirectoriesWith(first->program);
    bridge->program.SetInstance(instance);
    return bridge;
}

// One short exchange each way, to show a bridge still relays.
void ExpectRelays(LinkedProgram &bridge, PtyClient &client, const QByteArray &tag) {
    ASSERT_TRUE(client.WriteAll("up " + tag));
    EXPECT_EQ(bridge.device.ReadExactly(3 + tag.size(), 5s), "up " + tag);
    ASSERT_TRUE(bridge.device.SendAll("down " + tag, 5s));
    EXPECT_EQ(client.ReadExactly(5 + tag.size()), "down " + tag);
}

TEST(Instances, ThreeNamedBridgesRelayBothWaysAtOnceEachWithItsOwnSettings) {
    const QString names[] = {QStringLiteral("plc1"), QStringLiteral("Scale_2"),
                             QStringLiteral("line-3.b")};
    const QString ports[] = {QStringLiteral("PLC1"), QStringLiteral("SCALE2"),
                             QStringLiteral("LINE3")};
    std::vector<std::unique_ptr<LinkedProgram>> bridges;
    std::vector<std::unique_ptr<PtyClient>> clients;
    for (int i = 0; i < 3; ++i) {
        bridges.push_back(NamedBridge(names[i], ports[i], i > 0 ? bridges[0].get() : nullptr));
        std::string why;
        ASSERT_TRUE(bridges[i]->Start(&why)) << names[i].toStdString() << ": " << why;
        clients.push_back(std::make_unique<PtyClient>());
        ASSERT_TRUE(bridges[i]->OpenClient(*clients[i], &why)) << why;
    }
    EXPECT_EQ(
        PortLinks(bridges[0]->program.PortDir()),
        (QStringList{QStringLiteral("LINE3"), QStringLiteral("PLC1"), QStringLiteral("SCALE2")}));

    // Every bridge carries two streams of its own at the same time as the
    // others; a byte that strays into another bridge breaks its stream.
    const quint64 size = (kSanitizerBuild ? 256 : 2048) * kKiB;
    std::vector<ByteStream> streams;
    for (quint64 seed = 0; seed < 6; ++seed) streams.emplace_back(100 + seed);
    std::vector<StreamChecker> checkers;
    for (const ByteStream &stream : streams) checkers.emplace_back(stream);
    StreamIo::Result results[3][4];
    std::vector<std::thread> threads;
    for (int i = 0; i < 3; ++i) {
        const int client = clients[i]->Fd();
        const int device = bridges[i]->device.ConnectionFd();
        const ByteStream &up = streams[2 * i];
        const ByteStream &down = streams[2 * i + 1];
        StreamChecker &atDevice = checkers[2 * i];
        StreamChecker &atClient = checkers[2 * i + 1];
        StreamIo::Result *r = results[i];
        threads.emplace_back([=] { r[0] = StreamIo::Write(client, up, 0, size, 120s); });
        threads.emplace_back([=] { r[1] = StreamIo::Write(device, down, 0, size, 120s); });
        threads.emplace_back(
            [=, &atDevice] { r[2] = StreamIo::Read(device, atDevice, size, 120s); });
        threads.emplace_back(
            [=, &atClient] { r[3] = StreamIo::Read(client, atClient, size, 120s); });
    }
    for (std::thread &thread : threads) thread.join();
    const char *what[] = {"client write", "device write", "device read", "client read"};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 4; ++j) {
            EXPECT_TRUE(results[i][j].completed)
                << names[i].toStdString() << " " << what[j] << ": " << results[i][j].bytes
                << " bytes, errno " << results[i][j].error << ", first wrong byte at "
                << results[i][j].mismatchAt;
        }
    }

    // Each stops on its own and saves into its own folder.
    for (auto &client : clients) client->Close();
    RunEventLoopFor(150ms);
    for (int i = 0; i < 3; ++i) {
        bridges[i]->program.Signal(SIGTERM);
        EXPECT_EQ(bridges[i]->program.WaitExit(10s), 0) << names[i].toStdString();
        EXPECT_TRUE(bridges[i]->program.ReadIni().contains(
            "   COMport      = " + ports[i].toLatin1() + "\r\n"))
            << bridges[i]->program.IniPath().toStdString();
        EXPECT_TRUE(bridges[i]->program.IniPath().endsWith(
            QStringLiteral("/VaskorLinkPC/") + names[i] + QStringLiteral("/VaskorLinkPC.ini")));
    }
    // The folder beside the program belongs to no instance.
    EXPECT_EQ(Entries(bridges[0]->program.Folder()), QStringList{QStringLiteral("VaskorLinkPC")});
}

TEST(Instances, ASecondStartOfANameIsRefusedAndLeavesTheFirstUntouched) {
    auto first = NamedBridge(QStringLiteral("plc1"), QStringLiteral("PLC1"));
    std::string why;
    ASSERT_TRUE(first->Start(&why)) << why;
    PtyClient client;
    ASSERT_TRUE(first->OpenClient(client, &why)) << why;
    const QByteArray target = LinkTarget(first->program.PortPath(QStringLiteral("PLC1")));
    const QByteArray ini = first->program.ReadIni();

    ProgramRunner second;
    second.ShareDirectoriesWith(first->program);
    second.SetInstance(QStringLiteral("plc1"));
    ASSERT_TRUE(second.Start());
    EXPECT_EQ(second.WaitExit(10s), 0);
    EXPECT_TRUE(second.StandardErrorSoFar().contains(
        "VaskorLinkPC@plc1: VaskorLinkPC is already running! Left-Click on System Tray Icon to "
        "View"))
        << second.StandardErrorSoFar().toStdString();

    EXPECT_TRUE(first->program.Running());
    EXPECT_EQ(LinkTarget(first->program.PortPath(QStringLiteral("PLC1"))), target);
    EXPECT_EQ(first->program.ReadIni(), ini);
    ExpectRelays(*first, client, "after the refusal");
}

TEST(Instances, ABridgeWhosePortIsAnotherInstancesIsRefusedAndCreatesNothing) {
    auto first = NamedBridge(QStringLiteral("plc1"), QStringLiteral("SHARED"));
    std::string why;
    ASSERT_TRUE(first->Start(&why)) << why;
    PtyClient client;
    ASSERT_TRUE(first->OpenClient(client, &why)) << why;
    const QString port = first->program.PortPath(QStringLiteral("SHARED"));
    const QByteArray target = LinkTarget(port);

    auto second = NamedBridge(QStringLiteral("plc2"), QStringLiteral("SHARED"), first.get());
    ASSERT_TRUE(second->Start(&why, {}, false)) << why;
    // Its status line names it, so several bridges' logs can be told apart.
    EXPECT_TRUE(second->program.WaitStandardErrorContains(
        "VaskorLinkPC@plc2: Error creating SHARED; trying again in", 10s))
        << second->program.StandardErrorSoFar().toStdString();
    EXPECT_TRUE(second->program.Running());
    EXPECT_EQ(PortLinks(first->program.PortDir()), QStringList{QStringLiteral("SHARED")});
    EXPECT_EQ(LinkTarget(port), target);
    ExpectRelays(*first, client, "beside a refused bridge");

    // Once the first has gone, its retries find the name free.
    client.Close();
    RunEventLoopFor(150ms);
    first->program.Signal(SIGTERM);
    ASSERT_EQ(first->program.WaitExit(10s), 0);
    ASSERT_TRUE(second->device.Accept(20s)) << second->program.StandardErrorSoFar().toStdString();
    ASSERT_TRUE(second->program.WaitPortExists(QStringLiteral("SHARED"), true, 10s));
    PtyClient secondClient;
    ASSERT_TRUE(second->OpenClient(secondClient, &why)) << why;
    ExpectRelays(*second, secondClient, "taken over");
}

TEST(Instances, InvalidNamesAreRefusedBeforeAnythingIsCreated) {
    const QString names[] = {QString(),
                             QStringLiteral(".."),
                             QStringLiteral("a/b"),
                             QStringLiteral(".hidden"),
                             QStringLiteral("plc 1"),
                             QStringLiteral("plc1\nVaskorLinkPC: forged"),
                             QString(65, QLatin1Char('x'))};
    for (const QString &name : names) {
        SCOPED_TRACE(name.toStdString());
        ProgramRunner program;
        program.SetInstance(name);
        const QString runtime = program.Environment().value(QStringLiteral("XDG_RUNTIME_DIR"));
        ASSERT_TRUE(program.Start());
        EXPECT_EQ(program.WaitExit(10s), 2);
        const QByteArray log = program.StandardErrorSoFar();
        EXPECT_TRUE(log.startsWith("VaskorLinkPC: Invalid instance name \"")) << log.toStdString();
        EXPECT_EQ(log.count('\n'), 1) << log.toStdString();
        EXPECT_TRUE(Entries(runtime).isEmpty())
            << Entries(runtime).join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(Entries(program.PortDir()).isEmpty());
        EXPECT_EQ(Entries(program.Folder()), QStringList{QStringLiteral("VaskorLinkPC")});
    }
}

}  // namespace
