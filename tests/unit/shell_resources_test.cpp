// The pictures compiled into the program, as its windows load them.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QtEndian>

#include "shell/AppIcon.h"

namespace {

QByteArray Resource(const QString &path) {
    InitShellResources();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

}  // namespace

TEST(AppIcon, HoldsThe16And32And48PixelImages) {
    const QIcon icon = AppIcon();
    ASSERT_FALSE(icon.isNull());
    const QList<QSize> sizes = icon.availableSizes();
    EXPECT_EQ(sizes.size(), 3);
    for (int n : {16, 32, 48}) EXPECT_TRUE(sizes.contains(QSize(n, n))) << n;
    EXPECT_FALSE(icon.pixmap(16, 16).toImage().pixelColor(8, 8).alpha() == 0);
}

TEST(AppIcon, IconFileHas24BitSmallAnd32BitLargerImages) {
    const QByteArray ico = Resource(QStringLiteral(":/VaskorLinkPC.ico"));
    ASSERT_GE(ico.size(), 6 + 3 * 16);
    EXPECT_EQ(qFromLittleEndian<quint16>(ico.constData() + 2), 1);  // an icon, not a cursor
    ASSERT_EQ(qFromLittleEndian<quint16>(ico.constData() + 4), 3);
    const int expected[3][2] = {{16, 24}, {32, 32}, {48, 32}};
    for (int i = 0; i < 3; ++i) {
        const char *entry = ico.constData() + 6 + 16 * i;
        EXPECT_EQ(static_cast<unsigned char>(entry[0]), expected[i][0]);
        EXPECT_EQ(static_cast<unsigned char>(entry[1]), expected[i][0]);
        EXPECT_EQ(qFromLittleEndian<quint16>(entry + 6), expected[i][1]);
    }
}

TEST(ShellPictures, BannerAndHandHaveTheirSizes) {
    InitShellResources();
    const QImage banner(BannerResourcePath());
    EXPECT_EQ(banner.size(), QSize(470, 60));
    EXPECT_FALSE(banner.hasAlphaChannel());
    const QByteArray png = Resource(BannerResourcePath());
    ASSERT_GT(png.size(), 26);
    EXPECT_EQ(png.at(24), 8);  // bits per sample
    EXPECT_EQ(png.at(25), 2);  // RGB: 24 bits per pixel

    const QImage hand(HandCursorResourcePath());
    EXPECT_EQ(hand.size(), QSize(32, 32));
    // The fingertip is the hot spot: opaque at (12, 1), nothing above but its edge.
    EXPECT_EQ(hand.pixelColor(12, 1), QColor(Qt::white));
    EXPECT_EQ(hand.pixelColor(12, 0), QColor(Qt::black));
    EXPECT_EQ(hand.pixelColor(0, 0).alpha(), 0);
    EXPECT_EQ(QImage(SkinResourcePath()).size(), QSize(131, 231));
}
