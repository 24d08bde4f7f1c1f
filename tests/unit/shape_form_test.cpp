// Cutting a window to a point list, and the list's errors.
#include <gtest/gtest.h>

#include <QRegion>
#include <QWidget>

#include <vector>

#include "platform/MessageBoxes.h"
#include "shell/SkinOutline.h"
#include "shell/VbError.h"
#include "shell/modShapeForm.h"

#include "support/BridgeFakes.h"

namespace {

// Records the message boxes shown.
using RecordingBoxes = FakeMessageBoxes;

class RefusingSetter final : public WindowRegionSetter {
public:
    bool SetRegion(QWidget *, const QRegion &) override { return false; }
};

const QString kTitle = QStringLiteral("VaskorLinkPC");

QStringList List(std::initializer_list<const char *> texts) {
    QStringList list;
    for (const char *t : texts) list << QString::fromLatin1(t);
    return list;
}

int ErrorNumber(const QStringList &points) {
    try {
        OutlineVertices(points);
    } catch (const VbError &error) {
        return error.number;
    }
    return 0;
}

class ShapeWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        form.setWindowFlag(Qt::FramelessWindowHint);
        form.resize(131, 231);
    }
    QWidget form;
    RecordingBoxes boxes;
};

}  // namespace

TEST(OutlineVertices, AddsOnePixelAndSkipsEntriesEqualToTheOneBefore) {
    const QPolygon v =
        OutlineVertices(List({"0,0", "0,0", "5,0", "5,7", "5,7", "5,7", "0,7", "0,0"}));
    EXPECT_EQ(v, QPolygon({QPoint(1, 1), QPoint(6, 1), QPoint(6, 8), QPoint(1, 8), QPoint(1, 1)}));
    EXPECT_EQ(OutlineVertices(List({"-3,+4", "2,3,9"})), QPolygon({QPoint(-2, 5), QPoint(3, 4)}));
}

TEST(OutlineVertices, ReportsUnreadableListsWithTheirErrorNumbers) {
    EXPECT_EQ(ErrorNumber(List({"1,1", "12"})), 9);     // no comma
    EXPECT_EQ(ErrorNumber(List({"1,1", "a,2"})), 13);   // not a number
    EXPECT_EQ(ErrorNumber(List({"1,"})), 13);           // empty piece
    EXPECT_EQ(ErrorNumber(List({"1.5,2"})), 13);        // not an integer
    EXPECT_EQ(ErrorNumber(List({"2147483647,0"})), 6);  // x + 1 leaves 32 bits
    EXPECT_EQ(ErrorNumber(List({"0,-2147483649"})), 6);
    EXPECT_EQ(ErrorNumber(List({"2147483646,-2147483648"})), 0);
    EXPECT_EQ(ErrorNumber(QStringList(32768, QStringLiteral("1,1"))), 0);
    EXPECT_EQ(ErrorNumber(QStringList(32769, QStringLiteral("1,1"))), 6);
}

TEST(OutlineVertices, SkinOutlineRepeatsDoNotChangeItsShape) {
    QPolygon raw;
    for (const QString &p : SkinOutlinePoints()) {
        const QStringList xy = p.split(QLatin1Char(','));
        raw << QPoint(xy[0].toInt() + 1, xy[1].toInt() + 1);
    }
    const QPolygon vertices = OutlineVertices(SkinOutlinePoints());
    EXPECT_EQ(raw.size(), 617);
    EXPECT_EQ(vertices.size(), 607);
    EXPECT_EQ(QRegion(vertices, Qt::OddEvenFill), QRegion(raw, Qt::OddEvenFill));
}

TEST_F(ShapeWindowTest, SkinShapeCutsTheFormToTheOutline) {
    ApplySkinShape(&form, boxes, kTitle);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(form.mask(), QRegion(OutlineVertices(SkinOutlinePoints()), Qt::OddEvenFill));
    // Window pixels: one right of and below the stored bounds, right and
    // bottom edges outside.
    EXPECT_EQ(form.mask().boundingRect(), QRect(QPoint(9, 5), QPoint(121, 224)));
    EXPECT_TRUE(form.mask().contains(QPoint(65, 120)));
    EXPECT_FALSE(form.mask().contains(QPoint(2, 2)));
}

TEST_F(ShapeWindowTest, PointZeroZeroIsWindowPixelOneOne) {
    ShapeWindow(&form, List({"0,0", "3,0", "3,3", "0,3"}), boxes, kTitle);
    EXPECT_EQ(form.mask(), QRegion(1, 1, 3, 3));
}

TEST_F(ShapeWindowTest, UnreadableEntryShowsTheErrorAndLeavesTheShape) {
    ShapeWindow(&form, List({"0,0", "10,0", "10,10", "0,10"}), boxes, kTitle);
    const QRegion before = form.mask();
    ShapeWindow(&form, List({"0,0", "10 0", "10,10"}), boxes, kTitle);
    ASSERT_EQ(boxes.shown.size(), 1U);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Error: 9\r\nSubscript out of range"));
    EXPECT_EQ(boxes.shown[0].title, kTitle);
    EXPECT_EQ(boxes.shown[0].icon, MessageIcon::None);
    EXPECT_EQ(form.mask(), before);

    ShapeWindow(&form, List({"0,0", "x,1"}), boxes, kTitle);
    ASSERT_EQ(boxes.shown.size(), 2U);
    EXPECT_EQ(boxes.shown[1].text, QStringLiteral("Error: 13\r\nType mismatch"));
    EXPECT_EQ(form.mask(), before);
}

TEST_F(ShapeWindowTest, FailuresToMakeOrSetTheRegionAreShown) {
    ShapeWindow(&form, List({"0,0", "9,0", "20,0"}), boxes, kTitle);  // encloses nothing
    ShapeWindow(&form, QStringList(), boxes, kTitle);
    RefusingSetter refusing;
    ShapeWindow(&form, List({"0,0", "3,0", "3,3"}), boxes, kTitle, refusing);
    ASSERT_EQ(boxes.shown.size(), 3U);
    EXPECT_EQ(boxes.shown[0].text, QStringLiteral("Failed to create polygon region"));
    EXPECT_EQ(boxes.shown[1].text, QStringLiteral("Failed to create polygon region"));
    EXPECT_EQ(boxes.shown[2].text, QStringLiteral("Failed to set window region"));
    EXPECT_EQ(boxes.shown[2].icon, MessageIcon::None);
    EXPECT_TRUE(form.mask().isEmpty());
}

TEST_F(ShapeWindowTest, NoFormOrAChildWidgetIsLeftAloneSilently) {
    ShapeWindow(nullptr, SkinOutlinePoints(), boxes, kTitle);
    QWidget child(&form);
    ShapeWindow(&child, List({"bad"}), boxes, kTitle);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(child.mask().isEmpty());
    DragWindow(nullptr);
    DragWindow(&form);  // no mouse button down, offscreen: nothing to move
}
