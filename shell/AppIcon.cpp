#include "shell/AppIcon.h"

#include <QImage>
#include <QImageReader>
#include <QPixmap>

// Q_INIT_RESOURCE must stand outside any namespace.
static void RegisterShellResources() {
    Q_INIT_RESOURCE(resources);
}

void InitShellResources() {
    static const bool registered = (RegisterShellResources(), true);
    Q_UNUSED(registered);
}

QIcon AppIcon() {
    InitShellResources();
    QIcon icon;
    QImageReader reader(QStringLiteral(":/VaskorLinkPC.ico"));
    for (int i = 0; i < reader.imageCount(); ++i) {
        if (!reader.jumpToImage(i)) break;
        const QImage image = reader.read();
        if (!image.isNull()) icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

QString SkinResourcePath() {
    return QStringLiteral(":/skin.bmp");
}
QString BannerResourcePath() {
    return QStringLiteral(":/banner.png");
}
QString HandCursorResourcePath() {
    return QStringLiteral(":/hand.png");
}
