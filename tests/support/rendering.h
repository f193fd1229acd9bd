#pragma once
// Fonts and ink for the tests that look at painted pixels. The font is loaded
// from its file (DejaVu Sans Mono, from fonts-dejavu-core, which the test
// command installs), so every machine draws with the same face whatever
// other fonts it has; and ink is judged with a tolerance, since the edges of
// anti-aliased glyphs blend with the background and a thin face may never
// reach the exact colour at all.

#include <QColor>
#include <QFont>
#include <QImage>

#include <climits>

namespace qbtest {

// The monospaced face of the rendering tests at the given size. Stops the
// test program when the font file is missing or does not load.
QFont testFont(qreal points = 10);

struct Ink {
    int pixels = 0;      // pixels painted in the colour
    int longestRun = 0;  // longest horizontal run of them
    int top = INT_MAX, bottom = -1;
};
// The pixels of image painted in color over background: those that lie at
// least half-way from background to color and close to the blend of the two
// (so ink of another colour, or the background itself, never counts).
Ink inkOf(const QImage &image, QColor color, QColor background);
// True when a pixel is such a blend, at least half color.
bool isInk(QColor pixel, QColor color, QColor background);

} // namespace qbtest
