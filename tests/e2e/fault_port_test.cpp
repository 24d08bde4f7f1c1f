// The port's place taken or unsafe, and what the program exposes: it must
// refuse rather than overwrite or follow anything, take over only what a
// killed instance left behind, open nothing others can connect to, and keep
// its port private.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <functional>

#include "support/LinkedProgram.h"
#include "support/ProcessProbe.h"
#include "support/PtyClient.h"

namespace {

using namespace std::chrono_literals;

QByteArray Native(const QString &path) {
    return QFile::encodeName(path);
}

bool WriteFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QByteArray LinkTarget(const QString &path) {
    char target[4096];
    const ssize_t length = ::readlink(Native(path).constData(), target, sizeof target);
    return length > 0 ? QByteArray(target, length) : QByteArray();
}

// Everything about a path that refusing must leave alone.
struct Snapshot {
    bool exists = false;
    struct stat info {};
    QByteArray target;    // a link's
    QByteArray content;   // a regular file's
    QStringList entries;  // a directory's

    static Snapshot Of(const QString &path) {
        Snapshot s;
        s.exists = ::lstat(Native(path).constData(), &s.info) == 0;
        if (!s.exists) return s;
        if (S_ISLNK(s.info.st_mode)) s.target = LinkTarget(path);
        if (S_ISREG(s.info.st_mode)) s.content = ReadFile(path);
        if (S_ISDIR(s.info.st_mode))
            s.entries = QDir(path).entryList(QDir::AllEntries | QDir::System | QDir::Hidden |
                                             QDir::NoDotAndDotDot);
        return s;
    }
    bool operator==(const Snapshot &o) const {
        return exists == o.exists && info.st_ino == o.info.st_ino &&
               info.st_mode == o.info.st_mode && info.st_mtim.tv_sec == o.info.st_mtim.tv_sec &&
               info.st_mtim.tv_nsec == o.info.st_mtim.tv_nsec && info.st_size == o.info.st_size &&
               target == o.target && content == o.content && entries == o.entries;
    }
};

struct Occupant {
    const char *what;
    // Puts something at the port's path, given the port's path and a folder
    // outside the port directory for things it may point at.
    std::function<bool(const QString &port, const QString &outside)> make;
    // Paths that must look afterwards exactly as before.
    std::function<QStringList(const QString &port, const QString &outside)> watched;
};

QStringList PortAndVictim(const QString &port, const QString &outside) {
    return {port, outside + QStringLiteral("/victim"), outside + QStringLiteral("/created")};
}

// The program starts, connects, and is refused the port: it reports the
// failure with the dialog's text and stays up, and nothing it was refused
// has been touched, followed or created.
TEST(PortFaults, ThePortsPathTakenIsRefusedWithoutTouchingWhatIsThere) {
    const Occupant occupants[] = {
        {"regular file",
         [](const QString &port, const QString &) { return WriteFile(port, "precious"); },
         PortAndVictim},
        {"directory",
         [](const QString &port, const QString &) {
             return QDir().mkdir(port) && WriteFile(port + QStringLiteral("/inside"), "x");
         },
         PortAndVictim},
        {"link to a file of the user's",
         [](const QString &port, const QString &outside) {
             return WriteFile(outside + QStringLiteral("/victim"), "precious") &&
                    QFile::link(outside + QStringLiteral("/victim"), port);
         },
         PortAndVictim},
        {"link to a system file",
         [](const QString &port, const QString &) {
             return QFile::link(QStringLiteral("/etc/hostname"), port);
         },
         [](const QString &port, const QString &) {
             return QStringList{port, QStringLiteral("/etc/hostname")};
         }},
        {"dangling link, which a careless open would create",
         [](const QString &port, const QString &outside) {
             return QFile::link(outside + QStringLiteral("/created"), port);
         },
         PortAndVictim},
    };
    for (const Occupant &occupant : occupants) {
        SCOPED_TRACE(occupant.what);
        LinkedProgram link;
        QTemporaryDir outside;
        const QString port = link.program.PortPath(link.comPort);
        ASSERT_TRUE(occupant.make(port, outside.path()));
        QList<Snapshot> before;
        const QStringList watched = occupant.watched(port, outside.path());
        for (const QString &path : watched) before.append(Snapshot::Of(path));
        const Snapshot portDir = Snapshot::Of(link.program.PortDir());

        std::string why;
        ASSERT_TRUE(link.Start(&why, {}, false)) << why;
        EXPECT_TRUE(link.program.WaitStandardErrorContains("Error creating COM4", 10s))
            << link.program.StandardErrorSoFar().toStdString();
        EXPECT_TRUE(link.program.Running());
        for (qsizetype i = 0; i < watched.size(); ++i) {
            EXPECT_TRUE(Snapshot::Of(watched[i]) == before[i]) << watched[i].toStdString();
        }
        EXPECT_TRUE(Snapshot::Of(link.program.PortDir()) == portDir) << "something was added";
    }
}

// Once the path is free again, the program's next attempt creates the port.
TEST(PortFaults, AFreedPathIsTakenAtTheNextAttempt) {
    LinkedProgram link;
    const QString port = link.program.PortPath(link.comPort);
    ASSERT_TRUE(WriteFile(port, "in the way"));
    std::string why;
    ASSERT_TRUE(link.Start(&why, {}, false)) << why;
    ASSERT_TRUE(link.program.WaitStandardErrorContains("Error creating COM4", 10s));
    ASSERT_TRUE(QFile::remove(port));
    ASSERT_TRUE(link.program.WaitPortExists(link.comPort, true, 20s))
        << link.program.StandardErrorSoFar().toStdString();
    // Each attempt connects anew: the device takes the one that got its port.
    ASSERT_TRUE(link.device.Accept(5s));
    PtyClient client;
    ASSERT_TRUE(link.OpenClient(client, &why)) << why;
}

// A program that was killed leaves its link behind, leading to a terminal
// that went with its master, even while a client of the dead program still
// holds it. The next instance takes the name over at once, and its
// port works; the old client's terminal stays dead and gets nothing.
TEST(PortFaults, AKilledProgramsLeftoverLinkIsTakenOverByTheNextInstance) {
    for (const bool clientStays : {false, true}) {
        SCOPED_TRACE(clientStays ? "its client stays" : "no client");
        LinkedProgram link;
        std::string why;
        ASSERT_TRUE(link.Start(&why)) << why;
        PtyClient old;
        if (clientStays) {
            ASSERT_TRUE(link.OpenClient(old, &why)) << why;
        }
        const QByteArray linkPath = QFile::encodeName(link.program.PortPath(link.comPort));
        struct stat killedLink {};
        link.program.Signal(SIGKILL);
        ASSERT_EQ(link.program.WaitExit(10s), -2);
        ASSERT_EQ(::lstat(linkPath.constData(), &killedLink), 0);
        ASSERT_TRUE(S_ISLNK(killedLink.st_mode));

        ASSERT_TRUE(link.program.Start());
        ASSERT_TRUE(link.device.Accept(20s));
        // The old link may lead to a terminal number another program has
        // been given since, so only the new link is opened.
        QElapsedTimer wait;
        wait.start();
        struct stat current {};
        while ((::lstat(linkPath.constData(), &current) != 0 ||
                current.st_ino == killedLink.st_ino) &&
               wait.elapsed() < 10000)
            QThread::msleep(10);
        PtyClient next;
        ASSERT_TRUE(link.OpenClient(next, &why)) << why;
        EXPECT_FALSE(link.program.StandardErrorSoFar().contains("Error creating"));
        if (clientStays) {
            ASSERT_TRUE(link.device.SendAll("for the new client", 5s));
            EXPECT_EQ(next.ReadExactly(18), QByteArray("for the new client"));
            EXPECT_TRUE(old.ReadUntilQuiet(200ms, 500ms).isEmpty());
        }
    }
}

// A port directory others could write to, or a link standing in for it, is
// not used at all.
TEST(PortFaults, AnUnsafePortDirectoryIsRefusedAndLeftEmpty) {
    {
        SCOPED_TRACE("mode 0777");
        LinkedProgram link;
        ASSERT_EQ(::chmod(Native(link.program.PortDir()).constData(), 0777), 0);
        std::string why;
        ASSERT_TRUE(link.Start(&why, {}, false)) << why;
        EXPECT_TRUE(link.program.WaitStandardErrorContains("Error creating COM4", 10s));
        EXPECT_TRUE(link.program.Running());
        EXPECT_TRUE(QDir(link.program.PortDir()).isEmpty());
        struct stat info {};
        ASSERT_EQ(::stat(Native(link.program.PortDir()).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0777u) << "the program changed a directory it did not make";
    }
    {
        SCOPED_TRACE("a link to a private directory");
        LinkedProgram link;
        QTemporaryDir outside;
        const QString linked = outside.path() + QStringLiteral("/ports");
        ASSERT_TRUE(QFile::link(link.program.PortDir(), linked));
        link.program.Environment().insert(QStringLiteral("VASKORLINK_PORT_DIR"), linked);
        std::string why;
        ASSERT_TRUE(link.Start(&why, {}, false)) << why;
        EXPECT_TRUE(link.program.WaitStandardErrorContains("Error creating COM4", 10s));
        EXPECT_TRUE(link.program.Running());
        EXPECT_TRUE(QDir(link.program.PortDir()).isEmpty());
        EXPECT_EQ(LinkTarget(linked), Native(link.program.PortDir()));
    }
}

// Nothing to connect to from outside: no listening TCP socket, no bound UDP
// or raw socket, no listening Unix socket; checked with the link up and a
// client on the port.
TEST(PortSecurity, TheProgramAcceptsNoConnections) {
    LinkedProgram link;
    std::string why;
    ASSERT_TRUE(link.Start(&why)) << why;
    PtyClient client;
    ASSERT_TRUE(link.OpenClient(client, &why)) << why;
    const QList<quint64> sockets = ProcessProbe::SocketInodes(link.program.Pid());
    EXPECT_FALSE(sockets.isEmpty()) << "the connection to the device should show";
    const QList<QByteArray> listening = ProcessProbe::ListeningSockets(link.program.Pid());
    EXPECT_TRUE(listening.isEmpty()) << listening.join('\n').toStdString();
}

// The port directory the program makes is private whatever the umask, and
// the terminal behind the port is the user's alone, before and after a
// client has used it. Both with the directory named by the environment and
// with the default one in the runtime directory.
TEST(PortSecurity, ThePortAndItsDirectoryArePrivate) {
    for (const bool inRuntimeDir : {false, true}) {
        SCOPED_TRACE(inRuntimeDir ? "runtime directory" : "named directory");
        LinkedProgram link;
        QString dir;
        if (inRuntimeDir) {
            link.program.Environment().remove(QStringLiteral("VASKORLINK_PORT_DIR"));
            dir = link.program.Environment().value(QStringLiteral("XDG_RUNTIME_DIR")) +
                  QStringLiteral("/vaskorlink");
        } else {
            dir = link.program.PortDir() + QStringLiteral("/made-by-program");
            link.program.Environment().insert(QStringLiteral("VASKORLINK_PORT_DIR"), dir);
        }
        const mode_t oldMask = ::umask(0);
        std::string why;
        const bool started = link.Start(&why, {}, false);
        ::umask(oldMask);
        ASSERT_TRUE(started) << why;
        const QString port = dir + QStringLiteral("/COM4");
        QElapsedTimer wait;
        wait.start();
        while (!QFileInfo(port).isSymLink() && wait.elapsed() < 10000) QThread::msleep(10);
        ASSERT_TRUE(QFileInfo(port).isSymLink()) << link.program.StandardErrorSoFar().toStdString();

        struct stat info {};
        ASSERT_EQ(::lstat(Native(dir).constData(), &info), 0);
        EXPECT_TRUE(S_ISDIR(info.st_mode));
        EXPECT_EQ(info.st_mode & 07777, 0700u);
        EXPECT_EQ(info.st_uid, ::geteuid());
        for (int visit = 0; visit < 2; ++visit) {
            ASSERT_EQ(::stat(Native(port).constData(), &info), 0);
            EXPECT_TRUE(S_ISCHR(info.st_mode));
            EXPECT_EQ(info.st_mode & 07777, 0600u) << "visit " << visit;
            EXPECT_EQ(info.st_uid, ::geteuid());
            PtyClient client;
            ASSERT_TRUE(client.Open(Native(port)));
            client.SetCooked();
        }
    }
}

}  // namespace
