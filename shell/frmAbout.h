#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QUrl>

class UrlOpener;

// The About window: the banner as its face (the client area is exactly the
// banner's 470 x 60), the version in the title, a pointing-hand cursor, and
// the maker's web site opened by each click. Made fresh for every showing:
// the constructor sizes, centres and titles it.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(UrlOpener &opener, QWidget *owner = nullptr);

    // "VaskorLinkPC V" major.minor.revision, e.g. "VaskorLinkPC V1.0.4".
    static QString VersionTitle();
    static QUrl WebAddress();
    // Top-left corner that centres a window of the given outer size on the
    // screen: each difference halved, the remainder dropped (towards zero).
    // A window larger than the screen gets a negative offset; nothing clamps it.
    static QPoint CentredTopLeft(const QRect &screen, const QSize &window);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void moveEvent(QMoveEvent *event) override;

private:
    void Centre();

    QSize centredFor_;
    QElapsedTimer settling_;
    UrlOpener &opener_;
    QPixmap banner_;
};
