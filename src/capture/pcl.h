#pragma once
// Laser printer jobs: the PJL envelope and PCL. What the view shows is the
// job's text: the universal exit and the PJL lines are removed (the job's
// name and user kept on the document), PCL escapes are removed by their
// syntax, binary payloads skipped by their byte counts, transparent print
// data shown as text, raster and HP-GL/2 graphics replaced by a marker, and a
// PostScript job shown as the program text it is. PJL status requests are
// answered as a ready, online printer.

#include "capture/decoder.h"
#include "capture/linebuilder.h"

#include <cstdint>
#include <string>

namespace qb {

class PclDecoder final : public LanguageDecoder {
public:
    static constexpr std::size_t kMaxPjlLine = 4096;

    PclDecoder(Document &doc, const DecoderSettings &settings, StatusReply reply);

    void feed(std::string_view bytes) override;
    void finish() override;
    bool encodingFellBack() const override { return line_.charset().autoFailed(); }

    // The value of KEY=value or KEY="value" in a PJL line (the key matched
    // as a whole word, case-insensitively); empty when absent.
    static std::string pjlValue(std::string_view line, std::string_view key);

private:
    enum class State : std::uint8_t {
        Start, Pjl, PjlLine, Text, PostScript, PsEscape, HpGl, Esc, EscParam, EscValue, Binary, Transparent,
    };

    void text(const unsigned char *p, std::size_t n);
    void control(unsigned char c);
    void terminator(unsigned char t);
    void pjlLine(std::string line);
    void enterData();
    void reply(std::string_view bytes);

    LineBuilder line_;
    StatusReply reply_;
    State state_ = State::Start;
    State escapeFrom_ = State::Text; // where an escape returns to
    State afterPayload_ = State::Text;
    std::string pjl_;
    bool pjlTooLong_ = false;
    std::string language_; // from @PJL ENTER LANGUAGE
    unsigned char group_ = 0, param_ = 0;
    std::string value_;
    std::uint64_t remaining_ = 0;
    std::size_t uelMatched_ = 0;
    bool afterCr_ = false;
    bool inRaster_ = false;
    std::string jobName_, userName_;
};

} // namespace qb
