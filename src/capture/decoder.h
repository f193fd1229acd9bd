#pragma once
// Decoding a connection's bytes as a printer would: the printer language
// (plain text, ESC/POS, PJL/PCL, or chosen per report from its first bytes)
// and the character set turn the byte stream into a Document. Fed in reads of
// any size, the result is the same however the stream was split.
//
// A status request of the job (a till asking whether the printer is online)
// is answered through the reply callback the moment it is decoded; the
// caller sends those bytes to the peer.

#include "common/charset.h"
#include "common/document.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace qb {

// The user's choice, stored as key `Language`.
enum class Language : std::uint8_t { Text, Auto, EscPos, Pcl };

inline constexpr std::array kLanguages = {Language::Text, Language::Auto, Language::EscPos, Language::Pcl};

// "text", "auto", "escpos", "pcl".
std::string_view languageKey(Language l);
// "Plain Text", "Automatic", "ESC/POS", "PJL/PCL".
std::string_view languageLabel(Language l);
using LanguageChoice = StoredChoice<Language>;
LanguageChoice parseLanguage(std::string_view stored);
std::string formatLanguage(const LanguageChoice &choice);

// Paper width in columns of the normal font (key `PaperColumns`).
inline constexpr int kDefaultPaperColumns = 48;
inline constexpr int kMinPaperColumns = 8;
inline constexpr int kMaxPaperColumns = 255;
// A stored width, clamped; anything that is not a number is the default.
int parsePaperColumns(std::string_view stored);

using StatusReply = std::function<void(std::string_view bytes)>;

struct DecoderSettings {
    Language language = Language::Text;
    Encoding encoding = Encoding::Windows1252;
    int paperColumns = kDefaultPaperColumns;
};

// One printer language's decoder over a document.
class LanguageDecoder {
public:
    virtual ~LanguageDecoder() = default;
    virtual void feed(std::string_view bytes) = 0;
    // The end of the job: whatever is left open is closed.
    virtual void finish() = 0;
    // The automatic character set met a byte that is not UTF-8.
    virtual bool encodingFellBack() const = 0;
};

std::unique_ptr<LanguageDecoder> makeLanguageDecoder(Language language, Document &doc,
                                                     const DecoderSettings &settings, StatusReply reply);

// Which language a report speaks, from its first bytes: Pcl for the
// universal exit or ESC E, a PJL line or PostScript at its start; EscPos for
// any other receipt printer command; Text when the first kDetectWindow bytes
// hold no command. Auto while the bytes seen do not yet tell.
inline constexpr std::size_t kDetectWindow = 4096;
Language detectLanguage(std::string_view firstBytes, bool complete);

// The decoder of one report. Per connection:
//   ReportDecoder d(settings, reply);      // reply: send the bytes to the peer
//   d.setHistory(...);                     // optional: the bytes as received
//   d.feed(bytes) on each read;            // true: the document started over
//   d.finish() at the disconnect, then takeDocument().
// The document holds the complete lines; the line a read ended inside
// appears with the read that completes it, or with finish().
class ReportDecoder {
public:
    explicit ReportDecoder(const DecoderSettings &settings, StatusReply reply = {});
    ~ReportDecoder();
    ReportDecoder(const ReportDecoder &) = delete;
    ReportDecoder &operator=(const ReportDecoder &) = delete;

    // Where the decoder finds every byte fed so far, when the caller keeps
    // them anyway (the report's bytes as received): then the automatic
    // character set needs no copy of its own for a second pass. Set before
    // the first feed().
    void setHistory(std::function<std::string_view()> history) { history_ = std::move(history); }
    // Called just before the document is built anew, so that what was taken
    // from the old one can go first.
    void setStartingOver(std::function<void()> startingOver) { startingOver_ = std::move(startingOver); }

    // Decodes the next bytes of the report. True when the document was built
    // anew from the first byte: the automatic character set found the report
    // is not UTF-8 and decoded it again as Windows-1252 (status requests are
    // not answered twice).
    bool feed(std::string_view bytes);
    // The report ended. True, as for feed(), when the document was built anew.
    bool finish();

    const Document &document() const { return doc_; }
    // The document for a reader that takes its complete lines out as the job
    // goes on and frees their text (DecodedReportBuilder): the decoder never
    // looks at a complete line again.
    Document &documentInProgress() { return doc_; }
    Document takeDocument() { return std::move(doc_); }
    // What the decoder holds: its document and the bytes it keeps.
    std::size_t memoryBytes() const { return doc_.memoryBytes() + kept_.capacity(); }
    // What it may hold after `n` more bytes of an ordinary job: text in any
    // character set, lines, attributes, pictures and markers as their bytes
    // allow, and a second pass of the automatic character set over all the
    // text so far (`textElsewhere`: what the text of lines taken out and
    // freed comes to when decoded again).
    // (Feeds, tabs and copies of stored pictures may add a bounded amount
    // more.)
    std::size_t memoryAfter(std::size_t n, std::size_t textElsewhere = 0) const;
    // The language in use: Text, EscPos or Pcl; Auto while undecided.
    Language language() const { return language_; }
    // The character set in use after the automatic choice (Utf8 or
    // Windows1252); the chosen one otherwise.
    Encoding encoding() const;

private:
    void start(Language language, const DecoderSettings &settings);
    bool rebuildIfFellBack();

    DecoderSettings settings_;
    StatusReply reply_;
    Document doc_;
    std::unique_ptr<LanguageDecoder> decoder_;
    Language language_ = Language::Auto;
    // The bytes so far, while the language is undecided or the automatic
    // character set may still fall back.
    std::string kept_;
    bool keeping_ = false;
    std::function<std::string_view()> history_;
    std::function<void()> startingOver_;
    bool fellBack_ = false;
    bool replying_ = true;
};

} // namespace qb
