#pragma once
// Receipt printer jobs (ESC/POS): text in the active code table with its
// print modes, feeds and alignment; raster images, barcodes and 2D symbols as
// blocks; cuts, drawer kicks and beeps as markers; status requests answered
// as an online printer with paper, drawer closed and no error.
//
// Commands are cut by their length rules, so a command not understood is
// skipped with a marker and never swallows the text after it. Payloads are
// bounded: an image larger than kMaxImageBytes, or one whose bytes never
// come, is a marker, not an allocation.

#include "capture/decoder.h"
#include "capture/linebuilder.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qb {

class EscPosDecoder final : public LanguageDecoder {
public:
    static constexpr std::size_t kMaxImageBytes = std::size_t(16) << 20;
    static constexpr std::uint32_t kMaxImageWidth = 8192; // dots

    EscPosDecoder(Document &doc, const DecoderSettings &settings, StatusReply reply);

    void feed(std::string_view bytes) override;
    void finish() override;
    bool encodingFellBack() const override { return line_.charset().autoFailed(); }

    // The iconv name of code table n of ESC t; empty for a table number this
    // program does not know. "windows-1252" names the designed mapping.
    static std::string codeTableName(int n);
    // CODE128 data with its code-set selectors ({A {B {C ...) as a reader
    // of the printed bars gets it.
    static std::string code128Readable(std::string_view data);

private:
    enum class Payload : std::uint8_t { None, Skip, RasterV0, BitImage, Graphics, TwoD, EscZ, UserChars };

    void run(const unsigned char *p, std::size_t n, std::uint64_t at);
    std::size_t command(const unsigned char *p, std::size_t n);
    std::size_t esc(const unsigned char *p, std::size_t n);
    std::size_t gs(const unsigned char *p, std::size_t n);
    std::size_t fs(const unsigned char *p, std::size_t n);
    std::size_t dle(const unsigned char *p, std::size_t n);
    void control(unsigned char c);

    void skipped(const unsigned char *p, std::size_t len);
    void reply(std::string_view bytes);
    void initialize();
    void setCodeTable(int n);
    void setNationalSet(int n);
    void applyTables();
    void feedLines(std::size_t n);
    void setBold();

    void startPayload(Payload kind, std::uint64_t length, bool collect);
    void payloadDone();
    void rasterImage();
    void bitImageBand();
    void graphics();
    void twoD();
    void escZSymbol();
    void barcode(int m, std::string_view data);
    struct TwoDState;
    // A 2D symbol takes its module size and error level from `shape`, or
    // when there is none from what GS ( k set for its kind.
    void printSymbol(SymbolKind kind, std::string data, std::string readable, const TwoDState *shape = nullptr);
    void image(RasterImage img);

    LineBuilder line_;
    StatusReply reply_;
    std::string pending_; // a command's first bytes, when a read ended inside it
    std::uint64_t pendingAt_ = 0; // where in the job they stand
    std::uint64_t fed_ = 0;       // bytes fed so far

    Payload payload_ = Payload::None;
    std::uint64_t remaining_ = 0;
    bool collect_ = false;
    std::vector<std::uint8_t> collected_;
    // The payload's header: image width (bytes or dots) and height, or the
    // bit image mode; for user-defined characters their height and count.
    std::uint32_t width_ = 0, height_ = 0;
    int mode_ = 0;
    std::uint32_t userCharsLeft_ = 0;

    bool emphasized_ = false, doubleStrike_ = false;
    int codeTable_ = -1; // -1: the chosen character set
    int nationalSet_ = 0;
    // Code table n's table, nullptr when there is none here: looked up once
    // for the job (a till switches tables on every receipt).
    std::shared_ptr<const ByteTable> codeTableOf(int n);
    std::vector<std::pair<int, std::shared_ptr<const ByteTable>>> codeTables_;

    int barHeight_ = 162, barWidth_ = 3, readablePosition_ = 0;
    struct TwoDState {
        std::string data;
        int moduleSize = 3;
        int errorLevel = 0;
    };
    std::array<TwoDState, 5> twoD_{};
    // The symbol ESC Z prints (GS Z n: 0 PDF417, 1 DataMatrix, 2 QR Code),
    // and the version, error level and module size of the ESC Z in hand.
    int escZKind_ = 2;
    std::array<std::uint8_t, 3> escZ_{};
    RasterImage storedGraphics_;
    std::size_t bandBlock_ = SIZE_MAX; // the block ESC * bands are added to
};

} // namespace qb
