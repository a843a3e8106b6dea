// Icon loading from the Qt resource file that carries res/nomail.ico and res/newmail.ico.
#include "platform/qt/IconResources.h"

#include <QImageReader>
#include <cstdlib>

#include "res/resource.h"

// The icons are built into the program from a static library, whose resource registration
// the linker would drop unless something refers to it.
static void LoadIconFiles() {
    static const bool loaded = [] {
        Q_INIT_RESOURCE(kelvor);
        return true;
    }();
    (void)loaded;
}

namespace {

QString IconPath(int iconResource) {
    LoadIconFiles();
    switch (iconResource) {
    case IDI_NOMAIL: return QStringLiteral(":/icons/nomail.ico");
    case IDI_NEWMAIL: return QStringLiteral(":/icons/newmail.ico");
    default: return QString();
    }
}

}  // namespace

QIcon IconResource(int iconResource) {
    QString path = IconPath(iconResource);
    if (path.isEmpty()) return QIcon();
    QIcon icon;
    QImageReader reader(path);
    for (int index = 0; index < reader.imageCount(); ++index) {
        if (!reader.jumpToImage(index)) break;
        QImage image = reader.read();
        if (!image.isNull()) icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

QPixmap IconImage(int iconResource, int size) {
    QString path = IconPath(iconResource);
    if (path.isEmpty()) return QPixmap();
    QImageReader reader(path);
    QImage nearest;
    for (int index = 0; index < reader.imageCount(); ++index) {
        if (!reader.jumpToImage(index)) break;
        QImage image = reader.read();
        if (image.isNull()) continue;
        if (image.width() == size && image.height() == size) return QPixmap::fromImage(image);
        if (nearest.isNull() || std::abs(image.width() - size) < std::abs(nearest.width() - size))
            nearest = image;
    }
    if (nearest.isNull()) return QPixmap();
    return QPixmap::fromImage(nearest.scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation));
}
