// A lamp whose colour flips with every request and answer: its colour is
// right at once, the screen follows at a frame's pace and ends on the last
// colour.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QWidget>

#include "app/Lamp.h"
#include "support/PtyClient.h"

namespace {

using namespace std::chrono_literals;

class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

TEST(LampTest, FlipsFasterThanFramesPaintAtAFramesPaceAndEndOnTheLastColour) {
    QWidget window;
    window.resize(40, 40);
    Lamp lamp(Lamp::kDarkRed, &window);
    lamp.move(10, 10);
    window.show();
    RunEventLoopFor(50ms);
    PaintCounter counter;
    lamp.installEventFilter(&counter);

    QElapsedTimer clock;
    clock.start();
    for (int flip = 0; flip < 2000; ++flip) {
        const quint32 colour = flip % 2 == 0 ? Lamp::kLitRed : Lamp::kDarkRed;
        lamp.SetFillColor(colour);
        EXPECT_EQ(lamp.FillColor(), colour);
        QCoreApplication::processEvents();
    }
    const qint64 flipping = clock.elapsed();
    EXPECT_GE(counter.paints, 1);
    EXPECT_LE(counter.paints, flipping / 20 + 3) << "over " << flipping << " ms";

    // The last change of a burst is painted too, once its frame is due.
    RunEventLoopFor(60ms);
    const int settled = counter.paints;
    lamp.SetFillColor(Lamp::kLitRed);
    lamp.SetFillColor(Lamp::kDarkRed);
    RunEventLoopFor(60ms);
    EXPECT_GT(counter.paints, settled);
}

}  // namespace
