#pragma once
// The checks every decoder's fuzz target makes: the first byte chooses the
// character set and how the job is cut into reads; the rest is the job.
// The document is the same in one read and in many, status replies too; it
// holds no more than the job's bytes account for; every image has exactly
// the dots its size needs. As a report its lines hold no line break or NUL,
// and each decoration names a line, a document line or block that exists.

#include "capture/decodedreport.h"
#include "capture/decoder.h"
#include "decoding.h"
#include "fuzzsupport.h"

#include <cstdint>

namespace qbfuzz {

inline void checkDocument(const qb::Document &doc, std::size_t inputSize)
{
    // Text up to three bytes a byte, tab stops and moves a few dozen spaces,
    // a line record a byte, copies of stored symbols twice the bytes, and a
    // fixed allowance for markers and feeds.
    FUZZ_CHECK(doc.memoryBytes() <= 96 * inputSize + (std::size_t(48) << 20));
    FUZZ_CHECK(doc.lineCount() <= inputSize + 512);
    for (const qb::Block &b : doc.blocks()) {
        FUZZ_CHECK(b.beforeLine <= doc.lineCount());
        if (const auto *img = std::get_if<qb::RasterImage>(&b.content)) {
            FUZZ_CHECK(img->width > 0 && img->height > 0);
            FUZZ_CHECK(img->bits.size() == std::size_t(img->rowBytes()) * img->height);
            // A bit image band of fewer than eight columns still fills whole bytes.
            FUZZ_CHECK(img->bits.size() <= 8 * inputSize);
        }
        if (const auto *sym = std::get_if<qb::Symbol>(&b.content))
            FUZZ_CHECK(b.beforeLine + sym->readableLines <= doc.lineCount());
    }
    for (std::size_t i = 0; i < doc.lineCount(); ++i) {
        const std::string_view t = doc.lineText(i);
        FUZZ_CHECK(doc.lineRuns(i).size() <= t.size() + 1);
        FUZZ_CHECK(qb::isValidUtf8(t));
    }
}

inline void checkReport(qb::Document &&doc, std::string_view job)
{
    const std::size_t docLines = doc.lineCount(), blocks = doc.blocks().size();
    const qb::Report r = qb::decodedReport(std::move(doc), job, job.size(), 0);
    FUZZ_CHECK(r.isDecoded() && r.rawBytes() == job);
    for (std::size_t i = 0; i < r.lineCount(); ++i)
        FUZZ_CHECK(r.line(i).find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos);
    const qb::Document &kept = *r.document();
    std::size_t previous = 0;
    for (std::size_t k = 0; k < r.decorations().size(); ++k) {
        const qb::LineDecoration &d = r.decorations()[k];
        FUZZ_CHECK(d.line < r.lineCount() && (k == 0 || d.line > previous));
        previous = d.line;
        FUZZ_CHECK(d.row < d.rows);
        if (d.kind == qb::LineDecoration::Kind::Text) {
            FUZZ_CHECK(d.source < docLines && d.shift >= 0);
            FUZZ_CHECK(r.line(d.line).size() == std::size_t(d.shift) + kept.lineLength(d.source));
        } else {
            FUZZ_CHECK(d.source < blocks);
        }
    }
}

inline int fuzzDecoder(qb::Language language, const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const unsigned char control = data[0];
    const std::string_view job(reinterpret_cast<const char *>(data + 1), size - 1);
    qb::DecoderSettings s;
    s.language = language;
    s.encoding = qb::kEncodings[control % qb::kEncodings.size()];
    s.paperColumns = (control & 0x80) ? 32 : 48;

    const qbtest::Decoded whole = qbtest::decode(job, s);
    checkDocument(whole.doc, job.size());

    // The same job in reads of sizes from a small generator.
    qbtest::Decoded split;
    {
        qb::ReportDecoder d(s, [&split](std::string_view r) { split.replies += r; });
        std::size_t i = 0;
        // Half the time the decoder reads a second pass from the caller's bytes.
        if (control & 0x40)
            d.setHistory([&] { return job.substr(0, i); });
        std::uint32_t state = 0x9E3779B9u ^ control ^ std::uint32_t(size);
        while (i < job.size()) {
            state = state * 1664525u + 1013904223u;
            const std::string_view piece = job.substr(i, (state >> 24) % 17); // empty reads too
            i += piece.size();
            d.feed(piece);
        }
        d.finish();
        split.doc = d.takeDocument();
    }
    FUZZ_CHECK(qbtest::picture(split.doc) == qbtest::picture(whole.doc));
    FUZZ_CHECK(split.replies == whole.replies);
    FUZZ_CHECK(split.doc.jobName() == whole.doc.jobName());
    FUZZ_CHECK(split.doc.userName() == whole.doc.userName());
    checkReport(std::move(split.doc), job);
    return 0;
}

} // namespace qbfuzz
