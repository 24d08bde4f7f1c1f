#include "shell/frmAbout.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include "Version.h"
#include "platform/UrlOpener.h"
#include "shell/AppIcon.h"

namespace {

constexpr QSize kBannerSize(470, 60);
constexpr QPoint kHandHotSpot(12, 1);

}  // namespace

frmAbout::frmAbout(UrlOpener &opener, QWidget *owner) : QDialog(owner), opener_(opener) {
    InitShellResources();
    banner_ = QPixmap(BannerResourcePath());
    // The client area is the banner's size whatever the frame; Qt sizes the
    // client, so the frame keeps its own size.
    setFixedSize(kBannerSize);
    setWindowTitle(VersionTitle());
    setCursor(QCursor(QPixmap(HandCursorResourcePath()), kHandHotSpot.x(), kHandHotSpot.y()));
    Centre();
}

void frmAbout::Centre() {
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    const QSize outer = frameGeometry().size();
    if (outer == centredFor_) return;
    centredFor_ = outer;
    // A window's position is its frame's, so the frame is what is centred.
    move(CentredTopLeft(screen->geometry(), outer));
}

// Before the window is shown it has no frame: the window manager adds one
// after mapping it, and Qt learns its size a moment later, as a move of the
// client. Until then the window is centred again whenever its outer size
// turns out different; after that it is the user's to move.
void frmAbout::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    settling_.start();
    Centre();
}

void frmAbout::moveEvent(QMoveEvent *event) {
    QDialog::moveEvent(event);
    constexpr qint64 kFrameSettleMs = 2000;
    if (settling_.isValid() && settling_.elapsed() < kFrameSettleMs) Centre();
}

QString frmAbout::VersionTitle() {
    return QStringLiteral("VaskorLinkPC V%1.%2.%3")
        .arg(Version::Major)
        .arg(Version::Minor)
        .arg(Version::Revision);
}

QUrl frmAbout::WebAddress() {
    return QUrl(QStringLiteral("https://www.vaskor.example/"));
}

QPoint frmAbout::CentredTopLeft(const QRect &screen, const QSize &window) {
    return {screen.left() + (screen.width() - window.width()) / 2,
            screen.top() + (screen.height() - window.height()) / 2};
}

void frmAbout::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, banner_);
}

void frmAbout::mousePressEvent(QMouseEvent *event) {
    // The result is not looked at: a failed open leaves the window as it is.
    opener_.Open(WebAddress());
    event->accept();
}

// The second press of a double-click arrives only as this event. A
// double-click is one click and a double-click, not two clicks, so it opens
// the site once; Qt's default would pass it on as another press.
void frmAbout::mouseDoubleClickEvent(QMouseEvent *event) {
    event->accept();
}
