// The skin's outline table, and how it sits on the skin picture.
#include <gtest/gtest.h>

#include <QImage>
#include <QRegion>
#include <QRegularExpression>

#include <map>
#include <set>
#include <vector>

#include "shell/AppIcon.h"
#include "shell/SkinOutline.h"
#include "shell/modShapeForm.h"

namespace {

struct Span {
    int left;
    int right;  // inclusive
};

std::vector<QPoint> StoredPoints() {
    std::vector<QPoint> points;
    for (const QString &text : SkinOutlinePoints()) {
        const QStringList pieces = text.split(QLatin1Char(','));
        points.emplace_back(pieces.at(0).toInt(), pieces.at(1).toInt());
    }
    return points;
}

std::map<int, Span> RegionRows(const QRegion &region) {
    std::map<int, Span> rows;
    for (const QRect &rect : region) {
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            auto [it, fresh] = rows.try_emplace(y, Span{rect.left(), rect.right()});
            if (!fresh) {
                it->second.left = std::min(it->second.left, rect.left());
                it->second.right = std::max(it->second.right, rect.right());
            }
        }
    }
    return rows;
}

QRegion SkinRegion() {
    return QRegion(OutlineVertices(SkinOutlinePoints()), Qt::OddEvenFill);
}

constexpr QRgb kBackground = qRgb(201, 202, 204);

QImage Skin() {
    InitShellResources();
    return QImage(SkinResourcePath());
}

// Non-background pixels per row; a row with two separate runs fails the test.
std::map<int, Span> PictureRows(const QImage &image) {
    std::map<int, Span> rows;
    for (int y = 0; y < image.height(); ++y) {
        int left = -1, right = -1;
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) == kBackground) continue;
            EXPECT_TRUE(right < 0 || right == x - 1) << "row " << y << " has a gap at " << x;
            if (left < 0) left = x;
            right = x;
        }
        if (left >= 0) rows[y] = {left, right};
    }
    return rows;
}

// The number of times a sequence turns from growing to shrinking or back,
// flat stretches not counted.
int Turns(const std::vector<int> &values) {
    int turns = 0, direction = 0;
    for (size_t i = 1; i < values.size(); ++i) {
        const int step = values[i] - values[i - 1];
        if (step == 0) continue;
        const int d = step > 0 ? 1 : -1;
        if (direction != 0 && d != direction) ++turns;
        direction = d;
    }
    return turns;
}

}  // namespace

TEST(SkinOutline, Has617PointTextsFromNineOneThirtyToEightOneThirtyOne) {
    const QStringList &points = SkinOutlinePoints();
    ASSERT_EQ(points.size(), 617);
    const QRegularExpression form(QStringLiteral("^\\d+,\\d+$"));
    for (const QString &p : points) EXPECT_TRUE(form.match(p).hasMatch()) << p.toStdString();
    EXPECT_EQ(points.first(), QStringLiteral("9,130"));
    EXPECT_EQ(points.last(), QStringLiteral("8,131"));
}

TEST(SkinOutline, StepsAtMostOnePixelAndRepeatsExactlyTheTenListedEntries) {
    const std::vector<QPoint> p = StoredPoints();
    const std::set<int> repeats{195, 208, 482, 490, 497, 503, 507, 511, 516, 521};
    for (int i = 0; i < static_cast<int>(p.size()); ++i) {
        const QPoint before = p[(i + p.size() - 1) % p.size()];  // entry 0 checks the closing step
        EXPECT_LE(std::abs(p[i].x() - before.x()), 1) << "entry " << i;
        EXPECT_LE(std::abs(p[i].y() - before.y()), 1) << "entry " << i;
        EXPECT_EQ(p[i] == before, repeats.count(i) == 1) << "entry " << i;
    }
    EXPECT_EQ(OutlineVertices(SkinOutlinePoints()).size(), 607);
}

TEST(SkinOutline, SpansTheStoredBoundsClockwise) {
    const std::vector<QPoint> p = StoredPoints();
    int minX = 1000, maxX = -1, minY = 1000, maxY = -1;
    long long twiceArea = 0;
    for (size_t i = 0; i < p.size(); ++i) {
        minX = std::min(minX, p[i].x());
        maxX = std::max(maxX, p[i].x());
        minY = std::min(minY, p[i].y());
        maxY = std::max(maxY, p[i].y());
        const QPoint &a = p[(i + p.size() - 1) % p.size()];
        twiceArea +=
            static_cast<long long>(a.x()) * p[i].y() - static_cast<long long>(p[i].x()) * a.y();
    }
    EXPECT_EQ(minX, 8);
    EXPECT_EQ(maxX, 121);
    EXPECT_EQ(minY, 4);
    EXPECT_EQ(maxY, 224);
    EXPECT_GT(twiceArea, 0) << "with y pointing down a positive area is clockwise on screen";
}

TEST(SkinOutline, TellingRowsLieWhereTheyShould) {
    struct Run {
        int first, last;
        QPoint start;
        QPoint step;
    };
    // Runs of entries along a straight line; a repeat in the middle of a run
    // holds its place for one entry.
    const std::vector<Run> runs{
        {45, 69, {18, 85}, {0, -1}},    {100, 110, {13, 35}, {0, -1}},
        {132, 141, {25, 6}, {1, 0}},    {142, 153, {35, 5}, {1, 0}},
        {154, 193, {47, 4}, {1, 0}},    {194, 206, {87, 5}, {1, 0}},
        {207, 213, {99, 6}, {1, 0}},    {230, 243, {113, 23}, {0, 1}},
        {268, 290, {109, 61}, {0, 1}},  {338, 357, {121, 131}, {0, 1}},
        {441, 446, {90, 222}, {-1, 0}}, {447, 452, {84, 223}, {-1, 0}},
        {453, 480, {78, 224}, {-1, 0}}, {481, 488, {50, 223}, {-1, 0}},
        {489, 495, {43, 222}, {-1, 0}}, {596, 616, {8, 151}, {0, -1}},
    };
    const std::set<int> repeats{195, 208, 482, 490};
    const std::vector<QPoint> p = StoredPoints();
    for (const Run &run : runs) {
        QPoint expected = run.start;
        for (int i = run.first; i <= run.last; ++i) {
            if (i > run.first && repeats.count(i) == 0) expected += run.step;
            EXPECT_EQ(p[i], expected) << "entry " << i;
        }
    }
}

TEST(SkinOutline, IsOneNotchFreeSpanPerRowAndNearlySymmetric) {
    const QRegion region = SkinRegion();
    const std::map<int, Span> rows = RegionRows(region);
    ASSERT_EQ(rows.begin()->first, 5);
    ASSERT_EQ(rows.rbegin()->first, 224);
    std::vector<int> lefts, rights;
    for (const auto &[y, span] : rows) {
        EXPECT_EQ(region.intersected(QRect(0, y, 200, 1)).rectCount(), 1) << "row " << y;
        EXPECT_LE(std::abs(span.left + span.right - 130), 6) << "row " << y;
        lefts.push_back(span.left);
        rights.push_back(span.right);
    }
    // Down each side: out to the upper lobe, in to the waist, out to the lower
    // lobe, in to the bottom. A notch would add turns.
    EXPECT_EQ(Turns(lefts), 3);
    EXPECT_EQ(Turns(rights), 3);
    // Widths of the lobes and the waist, in stored values.
    auto widest = [&](int from, int to) {
        int l = 1000, r = -1;
        for (int y = from; y <= to; ++y) {
            l = std::min(l, rows.at(y + 1).left - 1);
            r = std::max(r, rows.at(y + 1).right);
        }
        return std::pair(l, r);
    };
    EXPECT_EQ(widest(10, 50), std::pair(13, 113));
    EXPECT_EQ(widest(120, 160), std::pair(8, 121));
    int waistLeft = -1, waistRight = 1000;
    for (int y = 40; y <= 100; ++y) {
        waistLeft = std::max(waistLeft, rows.at(y + 1).left - 1);
        waistRight = std::min(waistRight, rows.at(y + 1).right);
    }
    EXPECT_EQ(waistLeft, 18);
    EXPECT_EQ(waistRight, 109);
}

TEST(SkinPicture, Is131By231EightBitOnTheBackgroundColour) {
    const QImage skin = Skin();
    ASSERT_FALSE(skin.isNull()) << "resource missing: call InitShellResources()";
    EXPECT_EQ(skin.size(), QSize(131, 231));
    EXPECT_EQ(skin.depth(), 8);
    EXPECT_EQ(skin.format(), QImage::Format_Indexed8);
    EXPECT_EQ(skin.colorCount(), 256);
    EXPECT_EQ(skin.pixel(0, 0), kBackground);
    EXPECT_EQ(skin.pixel(130, 230), kBackground);
    EXPECT_EQ(skin, QImage(QStringLiteral(VASKOR_SOURCE_DIR "/resources/skin.bmp")));
}

TEST(SkinPicture, OutlineFollowsTheBodyExceptAtTheDomeAndTheBottomCurve) {
    const std::map<int, Span> picture = PictureRows(Skin());
    const std::map<int, Span> outline = RegionRows(SkinRegion());
    ASSERT_FALSE(picture.empty());
    EXPECT_EQ(picture.begin()->first, 4);
    EXPECT_EQ(outline.count(4), 0U);
    EXPECT_EQ(picture.rbegin()->first, 224);

    for (int y : {5, 6}) {  // the outline cuts the dome narrower
        const int l = outline.at(y).left - picture.at(y).left;
        const int r = picture.at(y).right - outline.at(y).right;
        EXPECT_TRUE(l >= 0 && l <= 5) << "row " << y << " left " << l;
        EXPECT_TRUE(r >= 0 && r <= 5) << "row " << y << " right " << r;
    }
    int off = 0;
    for (int y = 7; y <= 215; ++y) {
        if (std::abs(outline.at(y).left - picture.at(y).left) > 3 ||
            std::abs(outline.at(y).right - picture.at(y).right) > 3)
            ++off;
    }
    EXPECT_LE(off, 2) << "rows where the outline strays more than 3 pixels from the body";
    int widest = 0;
    for (int y = 216; y <= 224; ++y) {  // the outline's bottom is flatter than the body's
        const int l = picture.at(y).left - outline.at(y).left;
        const int r = outline.at(y).right - picture.at(y).right;
        EXPECT_TRUE(l >= 0 && l <= 13) << "row " << y << " left " << l;
        EXPECT_TRUE(r >= 0 && r <= 13) << "row " << y << " right " << r;
        widest = std::max({widest, l, r});
    }
    EXPECT_GT(widest, 3);
}

TEST(SkinPicture, StatusTextAreasAreDarkForWhiteText) {
    const QImage skin = Skin();
    for (const QRect &area :
         {QRect(QPoint(35, 110), QPoint(93, 135)), QRect(QPoint(15, 150), QPoint(116, 190))}) {
        long long sum = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) sum += qGray(skin.pixel(x, y));
        EXPECT_LT(sum / (area.width() * area.height()), 60) << "area at y " << area.top();
    }
}
