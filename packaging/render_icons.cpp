// Renders the program's icon for the desktop's hicolor theme from its own 32 x 32 film-strip
// picture: the grey of the window background becomes transparent, and every size is drawn
// with whole pixels only (32 doubled for 64, 128 and 256; halved for 16; the 16 tripled for
// 48), so each stays crisp. Usage: render_icons XPM OUTDIR NAME
#include <QDir>
#include <QImage>
#include <cstdio>

namespace {
QImage pixelScaled(const QImage& src, int size) {
    return src.scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: render_icons XPM OUTDIR NAME\n");
        return 2;
    }
    QImage design = QImage(QString::fromLocal8Bit(argv[1])).convertToFormat(QImage::Format_ARGB32);
    if (design.size() != QSize(32, 32)) {
        std::fprintf(stderr, "render_icons: %s is not a 32 x 32 picture\n", argv[1]);
        return 1;
    }
    const QRgb background = design.pixel(0, 0);
    for (int y = 0; y < design.height(); ++y)
        for (int x = 0; x < design.width(); ++x)
            if (design.pixel(x, y) == background) design.setPixel(x, y, qRgba(0, 0, 0, 0));
    const QImage small = pixelScaled(design, 16);
    for (int size : {16, 32, 48, 64, 128, 256}) {
        QImage icon = size == 48 ? pixelScaled(small, 48) : size == 16 ? small : pixelScaled(design, size);
        QString dir = QString("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[2])).arg(size);
        QString file = QString("%1/%2.png").arg(dir, QString::fromLocal8Bit(argv[3]));
        if (!QDir().mkpath(dir) || !icon.save(file, "PNG")) {
            std::fprintf(stderr, "render_icons: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
