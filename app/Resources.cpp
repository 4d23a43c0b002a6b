#include "Resources.h"

#include <QFile>
#include <QGuiApplication>
#include <QImageReader>

// The resources live in the static vellox library, whose linker keeps only the object files
// that something refers to; this reference keeps the compiled vellox.qrc in every program.
static void InitVelloxResources()
{
    Q_INIT_RESOURCE(vellox);
}

namespace {

// Draws the SVG picture at path, scaled from its own size by scale (with pixelSize instead when
// that is valid); a null image when the picture is missing or cannot be read.
QImage ReadPicture(const QString& path, qreal scale, QSize pixelSize = {})
{
    static const bool initialised = (InitVelloxResources(), true);
    Q_UNUSED(initialised);
    if (!QFile::exists(path))
        return {};
    // The aliases carry no file suffix, so the format is named rather than guessed.
    QImageReader reader(path, "svg");
    const QSize size = reader.size();
    if (!size.isValid()) {
        static bool warned = false;
        if (!warned && !QImageReader::supportedImageFormats().contains("svg"))
            qWarning("Vellox: Qt reads no SVG here (install libqt6svg6), so pictures are missing");
        warned = true;
        return {};
    }
    if (!pixelSize.isValid())
        pixelSize = (QSizeF(size) * (scale > 0 ? scale : 1.0)).toSize();
    reader.setScaledSize(pixelSize);
    return reader.read();
}

} // namespace

QPixmap LoadBitmapResource(int id)
{
    auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    return LoadBitmapResource(id, application ? application->devicePixelRatio() : 1.0);
}

QPixmap LoadBitmapResource(int id, qreal devicePixelRatio)
{
    QImage image = ReadPicture(QStringLiteral(":/bitmaps/%1").arg(id), devicePixelRatio);
    if (image.isNull())
        return {};
    image.setDevicePixelRatio(devicePixelRatio > 0 ? devicePixelRatio : 1.0);
    return QPixmap::fromImage(image);
}

QIcon LoadIconResource(int id)
{
    const QString path = QStringLiteral(":/icons/%1").arg(id);
    QIcon icon;
    // The sizes that window managers, task bars and the hicolor theme ask for; each is drawn
    // for its own size rather than scaled from another.
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QImage image = ReadPicture(path, 1, QSize(size, size));
        if (image.isNull())
            return {};
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}
