#include "view/symbols.h"

#include <zint.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace qb {

namespace {

// The longest data handed to the library: the largest symbols hold a few
// thousand bytes; anything longer cannot be one.
constexpr std::size_t kMaxSymbolData = 8192;

int symbology(SymbolKind k)
{
    switch (k) {
    case SymbolKind::UpcA: return BARCODE_UPCA;
    case SymbolKind::UpcE: return BARCODE_UPCE;
    case SymbolKind::Ean13: return BARCODE_EANX;
    case SymbolKind::Ean8: return BARCODE_EANX;
    case SymbolKind::Code39: return BARCODE_CODE39;
    case SymbolKind::Itf: return BARCODE_C25INTER;
    case SymbolKind::Codabar: return BARCODE_CODABAR;
    case SymbolKind::Code93: return BARCODE_CODE93;
    case SymbolKind::Code128: return BARCODE_CODE128;
    case SymbolKind::QrCode: return BARCODE_QRCODE;
    case SymbolKind::Pdf417: return BARCODE_PDF417;
    case SymbolKind::MaxiCode: return BARCODE_MAXICODE;
    case SymbolKind::Aztec: return BARCODE_AZTEC;
    case SymbolKind::DataMatrix: return BARCODE_DATAMATRIX;
    }
    return BARCODE_CODE128;
}

struct ZintDeleter {
    void operator()(zint_symbol *s) const { ZBarcode_Delete(s); }
};

} // namespace

QImage drawSymbol(const Symbol &symbol, int pixelsPerModule, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return QImage();
    };
    // 1D symbols encode what a reader gets (CODE128 without its code-set
    // selectors); 2D symbols the bytes as sent.
    const std::string &data = symbol.isTwoDimensional() ? symbol.data : symbol.readable;
    if (data.empty())
        return fail(QStringLiteral("no data"));
    if (data.size() > kMaxSymbolData)
        return fail(QStringLiteral("data too long"));

    std::unique_ptr<zint_symbol, ZintDeleter> z(ZBarcode_Create());
    if (!z)
        return fail(QStringLiteral("out of memory"));
    const int module = std::clamp(pixelsPerModule > 0 ? pixelsPerModule : symbol.moduleWidth, 1, 8);
    z->symbology = symbology(symbol.kind);
    z->show_hrt = 0;
    z->input_mode = DATA_MODE;
    z->output_options |= BARCODE_QUIET_ZONES;
    z->scale = float(module) / 2.0f; // the bitmap has two pixels a module at scale 1
    if (!symbol.isTwoDimensional())
        z->height = float(std::max(symbol.height, 8)) / float(module);
    if (symbol.kind == SymbolKind::QrCode && symbol.errorLevel >= 1 && symbol.errorLevel <= 4)
        z->option_1 = symbol.errorLevel;
    if (symbol.kind == SymbolKind::Pdf417 && symbol.errorLevel >= 1 && symbol.errorLevel <= 9)
        z->option_1 = symbol.errorLevel - 1;
    if (symbol.kind == SymbolKind::MaxiCode)
        z->option_1 = 4; // standard symbol, no structured carrier message

    const int rc = ZBarcode_Encode_and_Buffer(z.get(), reinterpret_cast<const unsigned char *>(data.data()),
                                              int(data.size()), 0);
    if (rc >= ZINT_ERROR || !z->bitmap || z->bitmap_width <= 0 || z->bitmap_height <= 0)
        return fail(QString::fromUtf8(z->errtxt));
    const QImage view(z->bitmap, z->bitmap_width, z->bitmap_height, z->bitmap_width * 3, QImage::Format_RGB888);
    return view.convertToFormat(QImage::Format_RGB32);
}

QImage rasterToImage(const RasterImage &image)
{
    if (image.width == 0 || image.height == 0 || image.bits.size() < std::size_t(image.rowBytes()) * image.height)
        return {};
    QImage out(int(image.width), int(image.height), QImage::Format_Mono);
    if (out.isNull())
        return {};
    out.setColor(0, qRgb(255, 255, 255));
    out.setColor(1, qRgb(0, 0, 0));
    const std::size_t rowBytes = image.rowBytes();
    for (std::uint32_t y = 0; y < image.height; ++y)
        std::memcpy(out.scanLine(int(y)), image.bits.data() + y * rowBytes, rowBytes);
    return out;
}

} // namespace qb
