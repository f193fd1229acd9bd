#include "rendering.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QtGlobal>

#include <algorithm>
#include <cmath>

namespace qbtest {

namespace {

constexpr const char *kFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";
// How far, in 8-bit channel steps, a pixel may lie off the blend of the two
// colours and still count (gamma-corrected blending bends the blend a little).
constexpr double kOffBlend = 48;

QString testFamily()
{
    static const QString family = [] {
        const int id = QFontDatabase::addApplicationFont(QString::fromLatin1(kFontFile));
        const QStringList families = id < 0 ? QStringList() : QFontDatabase::applicationFontFamilies(id);
        if (families.isEmpty())
            qFatal("cannot load %s (install fonts-dejavu-core)", kFontFile);
        return families.first();
    }();
    return family;
}

} // namespace

QFont testFont(qreal points)
{
    QFont font(testFamily());
    font.setPointSizeF(points);
    if (QFontInfo(font).family() != testFamily())
        qFatal("the font %s resolves to %s", qPrintable(testFamily()), qPrintable(QFontInfo(font).family()));
    return font;
}

bool isInk(QColor pixel, QColor color, QColor background)
{
    const double d[3] = {double(color.red() - background.red()), double(color.green() - background.green()),
                         double(color.blue() - background.blue())};
    const double p[3] = {double(pixel.red() - background.red()), double(pixel.green() - background.green()),
                         double(pixel.blue() - background.blue())};
    const double length2 = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
    if (length2 == 0)
        return false;
    // How much of the way from the background to the colour the pixel is...
    const double share = (p[0] * d[0] + p[1] * d[1] + p[2] * d[2]) / length2;
    if (share < 0.5)
        return false;
    // ...and how far it lies off that way.
    double off = 0;
    for (int i = 0; i < 3; ++i)
        off += (p[i] - share * d[i]) * (p[i] - share * d[i]);
    return std::sqrt(off) <= kOffBlend;
}

Ink inkOf(const QImage &image, QColor color, QColor background)
{
    Ink ink;
    for (int y = 0; y < image.height(); ++y) {
        int run = 0;
        for (int x = 0; x < image.width(); ++x) {
            if (!isInk(image.pixelColor(x, y), color, background)) {
                run = 0;
                continue;
            }
            ++ink.pixels;
            ink.longestRun = std::max(ink.longestRun, ++run);
            ink.top = std::min(ink.top, y);
            ink.bottom = y;
        }
    }
    return ink;
}

} // namespace qbtest
