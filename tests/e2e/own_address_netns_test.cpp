// The address the PC gives out, on interfaces the test makes in a network
// namespace of its own: a veth whose peer is down (no carrier), a dummy, and
// a veth with a live peer that may hold the default route.
#include <gtest/gtest.h>

#include <QHostAddress>
#include <QThread>

#include "platform/HostResolver.h"
#include "support/ScopedNetns.h"

namespace {

// "a b c" as the arguments a, b and c.
QStringList Words(const char *text) {
    return QString::fromLatin1(text).split(QLatin1Char(' '));
}

class OwnAddressNetns : public ::testing::Test {
protected:
    void SetUp() override {
        QString why;
        if (!pc.Create(&why) || !peer.Create(&why)) GTEST_SKIP() << why.toStdString();
        // In interface order: the unplugged veth, the dummy, the routed veth.
        const QString p = peer.Name();
        ASSERT_NO_FATAL_FAILURE(Steps({Words("link add vdown type veth peer name pdown netns") << p,
               Words("addr add 10.77.3.1/24 dev vdown"), Words("link set vdown up")}));
        ASSERT_NO_FATAL_FAILURE(AddAlwaysUpLink(QStringLiteral("dm0")));
        ASSERT_NO_FATAL_FAILURE(Steps({Words("addr add 10.77.1.1/24 dev dm0"), Words("link set dm0 up"),
               Words("link add vroute type veth peer name proute netns") << p,
               Words("addr add 10.77.2.1/24 dev vroute"), Words("link set vroute up")}));
        ASSERT_TRUE(peer.Ip(Words("link set proute up"), &why)) << why.toStdString();
    }

    void Steps(const QList<QStringList> &steps) {
        QString why;
        for (const QStringList &step : steps) ASSERT_TRUE(pc.Ip(step, &why)) << why.toStdString();
    }

    // A dummy where the kernel has them; else a veth whose peer stays up.
    void AddAlwaysUpLink(const QString &name) {
        if (pc.Ip(Words("link add") << name << QStringLiteral("type") << QStringLiteral("dummy")))
            return;
        const QString peerName = QStringLiteral("p") + name;
        QString why;
        ASSERT_TRUE(pc.Ip(Words("link add") << name << Words("type veth peer name") << peerName
                              << QStringLiteral("netns") << peer.Name(),
                          &why))
            << why.toStdString();
        ASSERT_TRUE(peer.Ip(Words("link set") << peerName << QStringLiteral("up"), &why))
            << why.toStdString();
    }

    // The first address "localhost" gives inside the namespace, where the
    // answer (127.0.0.1) is this machine's and so is ranked.
    QString FirstOwnAddress() const {
        const auto answer = pc.RunInside([] {
            SystemHostResolver resolver;
            const auto addresses = resolver.ResolveIPv4("localhost");
            if (!addresses || addresses->isEmpty()) return QByteArray("none");
            QByteArray text;
            for (const QByteArray &address : *addresses) {
                quint32 value = 0;
                for (const char byte : address) value = value << 8 | static_cast<quint8>(byte);
                text += QHostAddress(value).toString().toLatin1() + ' ';
            }
            return text.trimmed();
        });
        return answer ? QString::fromLatin1(*answer) : QStringLiteral("child failed");
    }

    // The kernel reports a veth's carrier a moment after its peer changes
    // (link watch): the answer is read until it is `expected` or time is up.
    std::string AnswerSettled(const char *expected) const {
        QString answer;
        for (int attempt = 0; attempt < 50; ++attempt) {
            answer = FirstOwnAddress();
            if (answer == QLatin1String(expected)) break;
            QThread::msleep(100);
        }
        return answer.toStdString();
    }

    ScopedNetns pc{QStringLiteral("ownaddr")};
    ScopedNetns peer{QStringLiteral("ownaddr-peer")};
};

TEST_F(OwnAddressNetns, DefaultRouteFirstThenUsableInterfacesNeverTheUnpluggedOrLoopback) {
    QString why;
    // No default route: the first interface with a carrier, not the veth
    // that comes before it without one.
    EXPECT_EQ(AnswerSettled("10.77.1.1 10.77.2.1 127.0.0.1"), "10.77.1.1 10.77.2.1 127.0.0.1");

    ASSERT_TRUE(pc.Ip(Words("route add default via 10.77.2.2 dev vroute"), &why))
        << why.toStdString();
    EXPECT_EQ(AnswerSettled("10.77.2.1 10.77.1.1 127.0.0.1"), "10.77.2.1 10.77.1.1 127.0.0.1");

    // The peer's end goes down: the route's interface loses its carrier.
    ASSERT_TRUE(peer.Ip(Words("link set proute down"), &why)) << why.toStdString();
    EXPECT_EQ(AnswerSettled("10.77.1.1 127.0.0.1"), "10.77.1.1 127.0.0.1");
}

}  // namespace
