#include "capture/decoder.h"

#include "capture/escpos.h"
#include "capture/linebuilder.h"
#include "capture/pcl.h"
#include "capture/reportassembler.h"

#include <charconv>
#include <cstdint>
#include <cstring>

namespace qb {

namespace {

struct LanguageName {
    Language language;
    std::string_view key;
    std::string_view label;
};

constexpr std::array<LanguageName, 4> kLanguageNames = {{
    {Language::Text, "text", "Plain Text"},
    {Language::Auto, "auto", "Automatic"},
    {Language::EscPos, "escpos", "ESC/POS"},
    {Language::Pcl, "pcl", "PJL/PCL"},
}};

// The bytes kept for a second pass of the automatic character set; a report
// larger than this stays UTF-8, its invalid bytes shown as U+FFFD.
constexpr std::size_t kMaxKept = std::size_t(256) << 20;

// Plain text: lines end at CR LF, a lone CR or a lone LF; NUL bytes are
// dropped; every other byte is text in the chosen character set.
class PlainTextDecoder final : public LanguageDecoder {
public:
    PlainTextDecoder(Document &doc, const DecoderSettings &s)
        : line_(doc, s.encoding, std::size_t(s.paperColumns))
    {
    }

    void feed(std::string_view bytes) override
    {
        std::size_t i = 0;
        const std::size_t n = bytes.size();
        if (afterCr_ && n > 0) {
            afterCr_ = false;
            if (bytes[0] == '\n')
                i = 1;
        }
        // Text that is valid UTF-8 needs no decoding: once a character begun
        // in the last read is complete, the read up to a character it ends
        // inside goes to the lines as it is when the whole of it is valid.
        TextDecoder &charset = line_.charset();
        if (charset.mode() != TextDecoder::Mode::Table) {
            while (i < n && charset.hasPartial())
                i = cut(bytes, i, i + 1, false);
            const std::size_t end = completeUtf8End(bytes);
            if (end > i && isValidUtf8(bytes.substr(i, end - i)))
                i = cut(bytes, i, end, true);
        }
        cut(bytes, i, n, false);
    }

    void finish() override { line_.finish(); }
    bool encodingFellBack() const override { return line_.charset().autoFailed(); }

private:
    // Cuts bytes i..end into lines; each piece of text decoded, or added as
    // it is (`asUtf8`). Gives where it stopped: end, or one past it when a
    // CR at end - 1 and the LF after it were one line end.
    std::size_t cut(std::string_view bytes, std::size_t i, std::size_t end, bool asUtf8)
    {
        const std::size_t n = bytes.size();
        const char *p = bytes.data();
        while (i < end) {
            const std::size_t j = std::size_t(findLineBreakOrNul(p + i, p + end) - p);
            const std::string_view text = bytes.substr(i, j - i);
            const bool lineEnd = j < end && bytes[j] != '\0';
            if (asUtf8 && lineEnd) {
                line_.endLineWith(text);
            } else {
                if (asUtf8)
                    line_.utf8(text);
                else
                    line_.text(text);
                if (lineEnd)
                    line_.endLine();
            }
            if (j == end)
                return end;
            i = j + 1;
            if (bytes[j] == '\r') {
                if (i == n)
                    afterCr_ = true;
                else if (bytes[i] == '\n')
                    ++i;
            }
        }
        return i;
    }

    LineBuilder line_;
    bool afterCr_ = false;
};

bool startsWith(std::string_view s, std::string_view prefix, bool complete, bool &undecided)
{
    const std::size_t n = std::min(s.size(), prefix.size());
    if (s.substr(0, n) != prefix.substr(0, n))
        return false;
    if (n < prefix.size()) {
        undecided = undecided || !complete;
        return false;
    }
    return true;
}

} // namespace

std::string_view languageKey(Language l)
{
    for (const auto &n : kLanguageNames)
        if (n.language == l)
            return n.key;
    return kLanguageNames[0].key;
}

std::string_view languageLabel(Language l)
{
    for (const auto &n : kLanguageNames)
        if (n.language == l)
            return n.label;
    return kLanguageNames[0].label;
}

LanguageChoice parseLanguage(std::string_view stored)
{
    LanguageChoice c;
    for (const auto &n : kLanguageNames)
        if (n.key == stored) {
            c.value = n.language;
            return c;
        }
    c.value = Language::Text;
    c.unknown = std::string(stored);
    return c;
}

std::string formatLanguage(const LanguageChoice &choice)
{
    if (!choice.unknown.empty())
        return choice.unknown;
    return std::string(languageKey(choice.value));
}

int parsePaperColumns(std::string_view stored)
{
    int v = 0;
    const auto r = std::from_chars(stored.data(), stored.data() + stored.size(), v);
    if (r.ec != std::errc{} || r.ptr != stored.data() + stored.size())
        return kDefaultPaperColumns;
    return std::clamp(v, kMinPaperColumns, kMaxPaperColumns);
}

Language detectLanguage(std::string_view first, bool complete)
{
    bool undecided = false;
    if (startsWith(first, "@PJL", complete, undecided) || startsWith(first, "%!", complete, undecided))
        return Language::Pcl;
    if (undecided)
        return Language::Auto;
    const std::size_t n = std::min(first.size(), kDetectWindow);
    for (std::size_t i = 0; i < n; ++i) {
        const auto b = static_cast<unsigned char>(first[i]);
        if (b == 0x1D || b == 0x1C)
            return Language::EscPos;
        if (b == 0x10) {
            if (i + 1 >= first.size())
                return complete ? Language::Text : Language::Auto;
            const auto c = static_cast<unsigned char>(first[i + 1]);
            if (c == 0x04 || c == 0x05 || c == 0x14)
                return Language::EscPos;
            continue;
        }
        if (b != 0x1B)
            continue;
        const std::string_view rest = first.substr(i);
        if (startsWith(rest, "\x1b%-12345X", complete, undecided))
            return Language::Pcl;
        if (undecided)
            return Language::Auto;
        if (rest.size() < 2)
            return complete ? Language::EscPos : Language::Auto;
        if (rest[1] == 'E') {
            // ESC E n is a receipt printer's bold; PCL's reset has no value.
            if (rest.size() < 3)
                return complete ? Language::Pcl : Language::Auto;
            const auto v = static_cast<unsigned char>(rest[2]);
            return (v <= 1 || v == '0' || v == '1') ? Language::EscPos : Language::Pcl;
        }
        return Language::EscPos;
    }
    if (first.size() >= kDetectWindow || complete)
        return Language::Text;
    return Language::Auto;
}

std::unique_ptr<LanguageDecoder> makeLanguageDecoder(Language language, Document &doc,
                                                     const DecoderSettings &settings, StatusReply reply)
{
    switch (language) {
    case Language::EscPos: return std::make_unique<EscPosDecoder>(doc, settings, std::move(reply));
    case Language::Pcl: return std::make_unique<PclDecoder>(doc, settings, std::move(reply));
    case Language::Text:
    case Language::Auto: break;
    }
    return std::make_unique<PlainTextDecoder>(doc, settings);
}

ReportDecoder::ReportDecoder(const DecoderSettings &settings, StatusReply reply)
    : settings_(settings), reply_(std::move(reply))
{
    settings_.paperColumns = std::clamp(settings_.paperColumns, kMinPaperColumns, kMaxPaperColumns);
    keeping_ = settings_.language == Language::Auto || settings_.encoding == Encoding::Auto;
    if (settings_.language != Language::Auto)
        start(settings_.language, settings_);
}

ReportDecoder::~ReportDecoder() = default;

Encoding ReportDecoder::encoding() const
{
    if (settings_.encoding != Encoding::Auto)
        return settings_.encoding;
    return fellBack_ ? Encoding::Windows1252 : Encoding::Utf8;
}

void ReportDecoder::start(Language language, const DecoderSettings &settings)
{
    language_ = language;
    StatusReply reply;
    if (reply_)
        reply = [this](std::string_view bytes) {
            if (replying_)
                reply_(bytes);
        };
    decoder_ = makeLanguageDecoder(language, doc_, settings, std::move(reply));
}

bool ReportDecoder::rebuildIfFellBack()
{
    if (!keeping_ || fellBack_ || !decoder_->encodingFellBack())
        return false;
    // Not UTF-8 after all: the whole report again, as Windows-1252. The
    // requests in it were answered on the first pass, not again.
    fellBack_ = true;
    if (startingOver_)
        startingOver_();
    doc_.clear();
    DecoderSettings again = settings_;
    again.encoding = Encoding::Windows1252;
    start(language_, again);
    replying_ = false;
    decoder_->feed(history_ ? history_() : std::string_view(kept_));
    replying_ = true;
    keeping_ = false;
    std::string().swap(kept_);
    return true;
}

std::size_t ReportDecoder::memoryAfter(std::size_t n, std::size_t textElsewhere) const
{
    // A byte of text becomes at most three of UTF-8, and an aligned or
    // tabbed line gains a few spaces; each line end, style change and
    // block takes at least a byte or two of the job.
    constexpr std::size_t kTextPerByte = 4;
    std::size_t total = doc_.memoryAfter(kTextPerByte * n + 64, n + 1, n / 2 + 1, n / 2 + 1);
    // The first bytes while the language is not known, or every byte when
    // nothing else keeps them for a second pass.
    if (!decoder_ || (keeping_ && !history_))
        total += std::max(kept_.capacity(), 2 * (kept_.size() + n)) - kept_.capacity();
    total += kept_.capacity();
    // A second pass as Windows-1252 decodes the same commands: the same
    // lines and blocks, with up to three times the text, all of it held
    // again.
    if (keeping_ && !fellBack_)
        total += Document::textStorageFor(3 * (doc_.textStorageBytes() + kTextPerByte * n) + textElsewhere);
    return total;
}

bool ReportDecoder::feed(std::string_view bytes)
{
    if (!decoder_) {
        kept_ += bytes;
        const Language l = detectLanguage(kept_, false);
        if (l == Language::Auto)
            return false;
        start(l, settings_);
        decoder_->feed(kept_);
        if (history_)
            std::string().swap(kept_);
    } else {
        if (keeping_ && !history_) {
            if (kept_.size() + bytes.size() > kMaxKept) {
                keeping_ = false;
                std::string().swap(kept_);
            } else {
                kept_ += bytes;
            }
        }
        decoder_->feed(bytes);
    }
    if (settings_.encoding != Encoding::Auto) {
        keeping_ = false;
        std::string().swap(kept_);
    }
    return rebuildIfFellBack();
}

bool ReportDecoder::finish()
{
    bool rebuilt = false;
    if (!decoder_) {
        start(detectLanguage(kept_, true), settings_);
        decoder_->feed(kept_);
        rebuilt = rebuildIfFellBack();
    }
    // A UTF-8 sequence left open at the end is not UTF-8 either.
    decoder_->finish();
    if (keeping_ && !fellBack_ && decoder_->encodingFellBack()) {
        rebuilt = rebuildIfFellBack();
        decoder_->finish();
    }
    keeping_ = false;
    std::string().swap(kept_);
    return rebuilt;
}

} // namespace qb
