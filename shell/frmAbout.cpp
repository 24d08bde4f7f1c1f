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
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(CentredTopLeft(screen->geometry(), frameGeometry().size()));
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
