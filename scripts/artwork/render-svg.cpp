// Draws an SVG into a bitmap of the exact pixel size the windows show it at.
// Usage: render-svg <in.svg> <out.png> <width> <height> [rgb|argb]

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    QTextStream err(stderr);
    if (args.size() < 5) {
        err << "usage: render-svg <in.svg> <out.png> <width> <height> [rgb|argb]\n";
        return 2;
    }
    QSvgRenderer renderer(args.at(1));
    if (!renderer.isValid()) {
        err << "render-svg: cannot read " << args.at(1) << '\n';
        return 1;
    }
    const QSize size(args.at(3).toInt(), args.at(4).toInt());
    // The bitmaps are opaque 24-bit pictures; only the window icon keeps an alpha channel.
    const bool opaque = args.size() < 6 || args.at(5) == QStringLiteral("rgb");
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(QPointF(0, 0), size));
    }
    if (opaque)
        image = image.convertToFormat(QImage::Format_RGB888);
    if (!image.save(args.at(2), "PNG")) {
        err << "render-svg: cannot write " << args.at(2) << '\n';
        return 1;
    }
    return 0;
}
