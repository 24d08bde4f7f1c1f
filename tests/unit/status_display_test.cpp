// The painted status text, judged on the window's persistent image against
// the bare skin.
#include <gtest/gtest.h>

#include <iostream>

#include <QFontInfo>
#include <QRegion>

#include "support/BridgeFixture.h"

namespace {

// Where each line may paint: its black and its white pass together. Right
// and bottom edges are exclusive.
QRect Edges(int left, int top, int right, int bottom) {
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}
const QRect kComArea = Edges(35, 110, 93, 135);
const QRect kAddressArea = Edges(15, 150, 116, 175);
const QRect kPortArea = Edges(15, 165, 116, 190);
// The address line's own part, above the port line's rectangle.
const QRect kAddressOnlyArea = Edges(15, 150, 116, 165);

struct Changes {
    QRegion where;
    QRect bounds;
    int count = 0;
    int white = 0;
    int black = 0;
};

Changes Compare(const QImage &bare, const QImage &drawn, const QRect &within) {
    Changes changes;
    for (int y = within.top(); y <= within.bottom(); ++y) {
        for (int x = within.left(); x <= within.right(); ++x) {
            const QRgb pixel = drawn.pixel(x, y);
            if (pixel == bare.pixel(x, y)) continue;
            ++changes.count;
            changes.bounds |= QRect(x, y, 1, 1);
            changes.where += QRect(x, y, 1, 1);
            if (qGray(pixel) >= 250) ++changes.white;
            if (qGray(pixel) <= 5) ++changes.black;
        }
    }
    return changes;
}

class StatusDisplayTest : public BridgeFixture {
protected:
    void SetUp() override {
        BridgeFixture::SetUp();
        MakeWindow();
        bare = window->Image();
        window->COMport = QStringLiteral("COM4");
        window->LocalIP = QStringLiteral("192.168.100.200");
        window->TCPport = 5555;
    }
    QImage Draw() {
        window->DrawStatus();
        return window->Image();
    }
    Changes ChangesIn(const QImage &drawn, const QRect &within) const {
        return Compare(bare, drawn, within);
    }

    QImage bare;
};

TEST_F(StatusDisplayTest, ArialIsAvailableOrAMetricCompatibleStandIn) {
    const QString family = QFontInfo(QFont(QStringLiteral("Arial"))).family();
    std::cout << "[ INFO     ] \"Arial\" resolves to \"" << family.toStdString() << "\"\n";
    EXPECT_TRUE(family == QLatin1String("Arial") || family == QLatin1String("Liberation Sans"))
        << family.toStdString();
}

TEST_F(StatusDisplayTest, EachLineIsDrawnInsideItsRectangleAndNowhereElse) {
    ASSERT_EQ(bare.size(), QSize(131, 231));
    const QImage drawn = Draw();
    ASSERT_EQ(drawn.size(), bare.size());

    const Changes all = ChangesIn(drawn, drawn.rect());
    const QRegion allowed = QRegion(kComArea) + kAddressArea + kPortArea;
    EXPECT_TRUE((all.where - allowed).isEmpty())
        << "painted outside the text rectangles at " << (all.where - allowed).boundingRect().x()
        << "," << (all.where - allowed).boundingRect().y();

    for (const QRect &area : {kComArea, kAddressOnlyArea, kPortArea}) {
        const Changes line = ChangesIn(drawn, area);
        EXPECT_GT(line.count, 10) << area.x() << "," << area.y();
        // White text with a black edge: both show.
        EXPECT_GT(line.white, 0) << area.x() << "," << area.y();
        EXPECT_GT(line.black, 0) << area.x() << "," << area.y();
    }

    // Centred in its rectangle, both ways: the COM text between its lamps.
    const QRect com = ChangesIn(drawn, kComArea).bounds;
    EXPECT_NEAR(com.center().x(), kComArea.center().x(), 3);
    EXPECT_NEAR(com.center().y(), kComArea.center().y(), 3);
    const QRect port = ChangesIn(drawn, Edges(15, 177, 116, 190)).bounds;
    EXPECT_NEAR(port.center().x(), kPortArea.center().x(), 3);
}

TEST_F(StatusDisplayTest, TextWiderThanItsRectangleIsCutAtBothSides) {
    window->COMport = QStringLiteral("WWWWWWW");
    window->LocalIP = QStringLiteral("MMMMMMMMMMMMMMMMMMMM");
    const QImage drawn = Draw();
    const Changes all = ChangesIn(drawn, drawn.rect());
    const QRegion allowed = QRegion(kComArea) + kAddressArea + kPortArea;
    EXPECT_TRUE((all.where - allowed).isEmpty());
    // Centred, so both ends are cut off and the text reaches both edges.
    const QRect com = ChangesIn(drawn, kComArea).bounds;
    EXPECT_EQ(com.left(), kComArea.left());
    EXPECT_EQ(com.right(), kComArea.right());
}

TEST_F(StatusDisplayTest, EveryCallStartsFromTheBareSkin) {
    const QImage first = Draw();
    EXPECT_EQ(Draw(), first);
    window->COMport = QStringLiteral("COM12");
    window->LocalIP = QStringLiteral("10.0.0.1");
    window->TCPport = 80;
    Draw();
    window->COMport = QStringLiteral("COM4");
    window->LocalIP = QStringLiteral("192.168.100.200");
    window->TCPport = 5555;
    EXPECT_EQ(Draw(), first) << "traces of the earlier text are left";
}

TEST_F(StatusDisplayTest, OnlyTheFirstSevenCharactersOfThePortNameAreShown) {
    window->COMport = QStringLiteral("ttyVSK0");
    const QImage seven = Draw();
    window->COMport = QStringLiteral("ttyVSK012345");
    EXPECT_EQ(Draw(), seven);
    window->COMport = QStringLiteral("ttyVSK");
    EXPECT_NE(Draw(), seven);
}

TEST_F(StatusDisplayTest, EmptyAddressLeavesItsLineBareAndTheOthersDrawn) {
    window->LocalIP.clear();
    const QImage drawn = Draw();
    EXPECT_EQ(ChangesIn(drawn, kAddressOnlyArea).count, 0);
    EXPECT_GT(ChangesIn(drawn, kComArea).count, 10);
    EXPECT_GT(ChangesIn(drawn, kPortArea).count, 10);
}

TEST_F(StatusDisplayTest, PortNumberChangesOnlyThePortLine) {
    const QImage with5555 = Draw();
    window->TCPport = 0;
    const QImage with0 = Draw();
    const Changes difference = Compare(with5555, with0, with0.rect());
    EXPECT_GT(difference.count, 0);
    EXPECT_TRUE((difference.where - kPortArea).isEmpty());
}

TEST_F(StatusDisplayTest, TheShownWindowPaintsThePersistentImage) {
    Load();
    window->LocalIP = QStringLiteral("192.168.100.200");
    Draw();
    const QImage onScreen = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage image = window->Image();
    // The lamps are widgets above the image; the text lines lie between them.
    for (const QRect &area : {kComArea, kAddressOnlyArea}) {
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = 40; x <= 90; ++x)
                ASSERT_EQ(onScreen.pixel(x, y), image.pixel(x, y)) << x << "," << y;
    }
}

}  // namespace
