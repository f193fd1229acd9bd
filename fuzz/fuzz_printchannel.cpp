// The print layout on a surface of any size and font, with any bytes: it
// ends, draws nothing left of or above the page, and no text that runs past
// the right edge except a single character at the left edge (a page narrower
// than one character).

#include "app/printchannel.h"
#include "fuzzsupport.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>

namespace {

class FakeSurface : public qb::PrintSurface
{
public:
    int width = 1, height = 1, average = 0, lineHeight = 0;
    std::array<int, 256> charWidth{};
    std::size_t draws = 0, pages = 0, drawnChars = 0;

    int pageWidth() const override { return width; }
    int pageHeight() const override { return height; }
    int averageCharWidth() const override { return average; }
    int charHeight() const override { return lineHeight; }
    int textWidth(std::string_view bytes) const override
    {
        int w = 0;
        for (unsigned char c : bytes)
            w += charWidth[c];
        return w;
    }
    int textHeight(std::string_view bytes) const override { return bytes.empty() ? 0 : lineHeight; }
    void drawText(int x, int y, std::string_view bytes) override
    {
        FUZZ_CHECK(x >= 0 && y >= 0);
        FUZZ_CHECK(!bytes.empty());
        FUZZ_CHECK(y == 0 || y < height);
        FUZZ_CHECK(x + textWidth(bytes) <= width || (bytes.size() == 1 && x == 0));
        for (unsigned char c : bytes)
            FUZZ_CHECK(c != 9 && c != 10 && c != 12 && c != 13);
        ++draws;
        drawnChars += bytes.size();
    }
    void newPage() override { ++pages; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider fdp(data, size);
    FakeSurface surface;
    surface.width = fdp.ConsumeIntegralInRange<int>(1, 2000);
    surface.height = fdp.ConsumeIntegralInRange<int>(1, 2000);
    surface.average = fdp.ConsumeIntegralInRange<int>(0, 50);
    surface.lineHeight = fdp.ConsumeIntegralInRange<int>(0, 100);
    // Every character as wide as the average, a few others of their own.
    surface.charWidth.fill(surface.average);
    for (int n = fdp.ConsumeIntegralInRange<int>(0, 8); n > 0; --n) {
        const auto c = fdp.ConsumeIntegral<std::uint8_t>();
        surface.charWidth[c] = fdp.ConsumeIntegralInRange<int>(0, 50);
    }

    // The rest is written in pieces, some as lines, some as they are.
    std::size_t written = 0, lines = 0;
    {
        qb::PrintChannel channel(surface);
        while (fdp.remaining_bytes() > 0) {
            const bool asLine = fdp.ConsumeBool();
            const std::string piece = fdp.ConsumeRandomLengthString(600);
            written += piece.size();
            if (asLine) {
                channel.writeLine(piece);
                ++lines;
            } else {
                channel.write(piece);
            }
        }
        channel.close();
    }
    // Every character but the controls is drawn once; pages come only from
    // form feeds and lines that fill a page.
    FUZZ_CHECK(surface.drawnChars <= written);
    FUZZ_CHECK(surface.pages <= written + 2 * lines + 1);
    return 0;
}
