#pragma once
// A report as the program keeps it: the bytes of its text form (every line
// followed by CR LF) in one contiguous buffer, and the offset where each line
// starts. Lines hold no CR, LF or NUL. A report is moved from reception
// through the filters to the screen, the audit file and the printer, never
// copied by accident: copying is explicit (clone()).
//
// Offsets are 32-bit: a report keeps at most 64 MiB of received bytes, and its
// text form (each lone line end counted as two bytes) stays below 4 GiB.

#include "common/growbuffer.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

class ReportAssembler;
class Document;

// What a line of a decoded report shows besides its text (see
// Report::decorations()).
struct LineDecoration {
    enum class Kind : std::uint8_t {
        Text,   // styled or aligned text: document line `source`
        Block,  // row `row` of the `rows` text lines a picture stands on: document block `source`
        Marker, // what the printer did without printing: document block `source`
    };
    std::uint32_t line = 0;   // the report line
    std::uint32_t source = 0; // document line (Text) or index into Document::blocks()
    // Text: byte c of the report line is byte c - shift of the document
    // line (the alignment's leading spaces make it positive, a trim of the
    // line's start takes from it).
    std::int32_t shift = 0;
    std::uint16_t row = 0, rows = 1;
    Kind kind = Kind::Text;
    bool operator==(const LineDecoration &) const = default;
};

class Report
{
public:
    Report() = default;
    Report(Report &&) noexcept = default;
    Report &operator=(Report &&) noexcept = default;
    Report(const Report &) = delete;
    Report &operator=(const Report &) = delete;
    Report clone() const;

    std::size_t lineCount() const noexcept { return m_starts.size(); }
    bool empty() const noexcept { return m_starts.empty(); }
    // Line i without its line end; i < lineCount().
    std::string_view line(std::size_t i) const noexcept
    {
        const std::size_t begin = m_starts[i];
        const std::size_t end = (i + 1 < m_starts.size() ? std::size_t(m_starts[i + 1]) : m_text.size()) - 2;
        return textForm().substr(begin, end - begin);
    }
    // Every line followed by CR LF: what Save As and the audit file write.
    std::string_view textForm() const noexcept { return {m_text.data(), m_text.size()}; }

    // Adds a line; the bytes must hold no CR, LF or NUL.
    void appendLine(std::string_view bytes);
    void clear() noexcept;
    void reserve(std::size_t textBytes, std::size_t lines);

    // Keeps, in order, every line for which keep(i, line) gives a part of it
    // (a view into that line: the whole, a prefix, a suffix or a middle) and
    // drops every line for which it gives nothing. i counts the lines as they
    // were before. One pass, in place, no allocation.
    template <class Keep>
    void keepLines(Keep &&keep);
    // Keeps the first `count` lines.
    void truncateLines(std::size_t count) noexcept;

    // Cuts text into lines as the reception does with a whole stream: CR LF,
    // a lone CR and a lone LF end a line; text after the last line end is the
    // last line; reading stops at the first NUL.
    static Report fromText(std::string_view text);
    static Report fromLines(const std::vector<std::string> &lines);
    std::vector<std::string> toLines() const;

    // What reception knew of the stream: every byte that arrived for this
    // report, and how many of them were not kept (its cut; the kept ones are
    // always a whole prefix of the stream).
    std::uint64_t bytesReceived() const noexcept { return m_received; }
    std::uint64_t bytesNotKept() const noexcept { return m_notKept; }
    void setStreamCounts(std::uint64_t received, std::uint64_t notKept) noexcept
    {
        m_received = received;
        m_notKept = notKept;
    }
    bool cut() const noexcept { return m_notKept > 0; }

    // The kept stream bytes exactly as they came (NUL bytes and every line
    // end as sent), when reception was asked to keep them; empty otherwise.
    // Filters leave them as they were.
    std::string_view rawBytes() const noexcept { return {m_raw.data(), m_raw.size()}; }
    // Takes over other's raw bytes (a report made again from this one's
    // text is still the one received).
    void takeRawBytes(Report &other) noexcept { m_raw = std::move(other.m_raw); }
    // Keeps a copy of bytes as the raw bytes.
    void setRawBytes(std::string_view bytes);

    // A decoded report: received in a printer language or a character set of
    // its own, its lines are the decoded text in UTF-8 (as on paper: aligned
    // lines start with the spaces that place them; a picture stands on text
    // lines of its own), rawBytes() holds the bytes as received, and
    // document() what the text alone does not say. Each line that needs
    // more than its text has one decoration, in line order; the filters keep
    // them with their lines. Plain reports (the bytes shown one for one as
    // Windows-1252) have none of it.
    bool isDecoded() const noexcept { return m_decoded; }
    const std::shared_ptr<const Document> &document() const noexcept { return m_document; }
    std::span<const LineDecoration> decorations() const noexcept { return m_decorations.view(); }
    // Line i's decoration, or null.
    const LineDecoration *decoration(std::size_t i) const noexcept;
    // Makes the report a decoded one; decorations sorted by line, one per line at most.
    void setDecoded(std::shared_ptr<const Document> document, const std::vector<LineDecoration> &decorations);
    // The same with the decorations added so far: a report built line by
    // line decorates each line as it is added, after it.
    void setDecoded(std::shared_ptr<const Document> document);
    void addDecoration(const LineDecoration &d) { m_decorations.push_back(d); }

    // The memory the report holds as allocated: its byte block and its line
    // table, spare room included, and what its decoding holds.
    std::size_t memoryHeld() const noexcept;
    // Room for `textBytes` more bytes of text (line ends included) and
    // `lines` more lines, grown with a headroom of at most 8 MiB (a report
    // built in many steps grows in few of them, with little spare room).
    void reserveMore(std::size_t textBytes, std::size_t lines);
    // What memoryHeld() comes to after reserveMore(textBytes, lines) and
    // `decorations` more decorations.
    std::size_t memoryAfterAppending(std::size_t textBytes, std::size_t lines, std::size_t decorations = 0) const;
    // Gives back the spare room of both (after a filter dropped lines).
    void shrinkToFit();

private:
    friend class ReportAssembler;

    using Bytes = GrowBuffer;
    using Starts = GrowTable<std::uint32_t>;

    Bytes m_text;
    Starts m_starts;
    Bytes m_raw;
    std::uint64_t m_received = 0;
    std::uint64_t m_notKept = 0;
    bool m_decoded = false;
    std::shared_ptr<const Document> m_document;
    GrowTable<LineDecoration> m_decorations;
};

template <class Keep>
void Report::keepLines(Keep &&keep)
{
    // A kept line is never longer than it was and dropped lines leave room,
    // so every line moves towards the front or stays: the write position
    // never passes the line being read.
    // Decorations go with their lines, in the same walk.
    std::size_t write = 0;
    std::size_t kept = 0;
    std::size_t nextDecoration = 0, keptDecorations = 0;
    const std::size_t count = m_starts.size();
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view whole = line(i);
        const std::optional<std::string_view> part = keep(i, whole);
        const bool decorated = nextDecoration < m_decorations.size() && m_decorations[nextDecoration].line == i;
        if (decorated) {
            LineDecoration d = m_decorations[nextDecoration++];
            if (part) {
                d.line = std::uint32_t(kept);
                d.shift -= std::int32_t(part->data() - whole.data());
                m_decorations[keptDecorations++] = d;
            }
        }
        if (!part)
            continue;
        if (!part->empty())
            std::memmove(m_text.data() + write, part->data(), part->size());
        m_starts[kept++] = std::uint32_t(write);
        write += part->size();
        m_text.data()[write++] = '\r';
        m_text.data()[write++] = '\n';
    }
    m_starts.resize(kept);
    m_text.resize(write);
    m_decorations.resize(keptDecorations);
}

} // namespace qb
