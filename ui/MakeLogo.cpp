// Draws the logo picture of the main panel's logo band at build time: three
// overlapping colour discs and a gloss highlight, 200 x 50 pixels, on a
// transparent ground so that it suits every frame colour. No text: the build
// needs no fonts.
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s out.png\n", argv[0]);
        return 2;
    }
    QImage image(200, 50, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setCompositionMode(QPainter::CompositionMode_Screen);
        const QColor discs[3] = {QColor(220, 40, 40, 210), QColor(40, 180, 60, 210),
                                 QColor(40, 80, 220, 210)};
        const QPointF centres[3] = {{86, 20}, {114, 20}, {100, 32}};
        for (int i = 0; i < 3; ++i) {
            p.setBrush(discs[i]);
            p.drawEllipse(centres[i], 16, 16);
        }
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        QPainterPath gloss;
        gloss.moveTo(40, 44);
        gloss.quadTo(100, 30, 160, 44);
        p.setPen(QPen(QColor(150, 150, 150), 2.5, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawPath(gloss);
    }
    return image.save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
