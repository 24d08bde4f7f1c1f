// The About window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include <vector>

#include "platform/UrlOpener.h"
#include "shell/frmAbout.h"

namespace {

class RecordingOpener final : public UrlOpener {
public:
    std::vector<QUrl> opened;
    bool Open(const QUrl &url) override {
        opened.push_back(url);
        return false;  // a failed open must change nothing
    }
};

}  // namespace

TEST(frmAbout, ClientAreaIsTheBannerAndTheTitleCarriesTheVersion) {
    RecordingOpener opener;
    frmAbout about(opener);
    EXPECT_EQ(about.size(), QSize(470, 60));
    EXPECT_EQ(about.minimumSize(), about.maximumSize());
    EXPECT_EQ(about.windowTitle(), QStringLiteral("VaskorLinkPC V1.0.4"));
    EXPECT_EQ(frmAbout::VersionTitle(), QStringLiteral("VaskorLinkPC V1.0.4"));
}

TEST(frmAbout, PointerIsTheHandWithItsFingertipHotSpot) {
    RecordingOpener opener;
    frmAbout about(opener);
    const QCursor cursor = about.cursor();
    EXPECT_EQ(cursor.shape(), Qt::BitmapCursor);
    EXPECT_EQ(cursor.hotSpot(), QPoint(12, 1));
    EXPECT_EQ(cursor.pixmap().size(), QSize(32, 32));
}

TEST(frmAbout, EveryClickOpensTheWebSiteOnceAndTheWindowStays) {
    RecordingOpener opener;
    frmAbout about(opener);
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    QTest::mouseClick(&about, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseClick(&about, Qt::LeftButton, {}, QPoint(400, 50));
    ASSERT_EQ(opener.opened.size(), 2U);
    EXPECT_EQ(opener.opened[0], QUrl(QStringLiteral("https://www.vaskor.example/")));
    EXPECT_EQ(opener.opened[0].host(), QStringLiteral("www.vaskor.example"));
    EXPECT_TRUE(about.isVisible());

    // A double-click is a click and a double-click, as on the original
    // platform: its second press does not open the site again.
    QTest::mouseDClick(about.windowHandle(), Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(opener.opened.size(), 3U);
}

TEST(frmAbout, CentringHalvesTheDifferencesAndDoesNotClamp) {
    EXPECT_EQ(frmAbout::CentredTopLeft(QRect(0, 0, 1920, 1080), QSize(476, 90)), QPoint(722, 495));
    EXPECT_EQ(frmAbout::CentredTopLeft(QRect(0, 0, 1921, 1081), QSize(470, 60)), QPoint(725, 510));
    // Larger than the screen: negative, the remainder dropped towards zero.
    EXPECT_EQ(frmAbout::CentredTopLeft(QRect(0, 0, 400, 50), QSize(471, 61)), QPoint(-35, -5));
    EXPECT_EQ(frmAbout::CentredTopLeft(QRect(100, 20, 1000, 800), QSize(470, 60)),
              QPoint(365, 390));
}

TEST(frmAbout, OpensCentredOnThePrimaryScreen) {
    RecordingOpener opener;
    frmAbout about(opener);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(about.pos(), frmAbout::CentredTopLeft(screen, about.frameGeometry().size()));
}
