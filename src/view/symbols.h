#pragma once
// Barcodes and 2D symbols of a decoded job drawn as a printer would print
// them, black on white with their quiet zones.

#include "common/document.h"

#include <QImage>
#include <QString>

namespace qb {

// The symbol as an image, `pixelsPerModule` pixels a module (0: the symbol's
// own module width, at most 8). A 1D symbol is as tall as its bar height in
// dots. A null image when the symbol cannot be drawn (data the symbology does
// not allow, a wrong check digit); then *error, when given, says why and the
// caller shows the symbol's readable data as text instead.
QImage drawSymbol(const Symbol &symbol, int pixelsPerModule = 0, QString *error = nullptr);

// A 1-bit raster image of the document as a QImage (black dots on white).
QImage rasterToImage(const RasterImage &image);

} // namespace qb
