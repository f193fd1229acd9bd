#pragma once
// A decoded job as a report: the document's lines in UTF-8 as they stand on
// the paper (aligned lines start with the spaces that place them), each
// picture on text lines of its own, each marker on a line of its own, and
// per line what its text alone does not say (Report::decorations()).
//
// A picture (raster image or symbol) stands on `rows` lines: one per 24 dots
// of its height for images and barcodes, eight for 2D symbols. Its first
// row's text is a label ("[image 384 x 120]", "[QR Code]"), the others are
// empty; a symbol's readable data follows on ordinary text lines.

#include "capture/decoder.h"
#include "common/report.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace qb {

// Whether the settings decode at all: any language but plain text, or any
// character set but Windows-1252. Plain text in Windows-1252 keeps the
// byte-for-byte path (no decoder, no raw copy, no decorations).
bool decodes(const DecoderSettings &settings);

// The report of a finished document: its lines and decorations, the document
// itself with the text freed that the report now holds, the bytes as
// received and the stream counts.
Report decodedReport(Document &&document, std::string_view rawBytes, std::uint64_t received,
                     std::uint64_t notKept);
// The same, taking the bytes as received and the stream counts from
// `received` (a report kept with its raw bytes), without copying them.
Report decodedReport(Document &&document, Report &&received);

// A whole job decoded at once (a stored job shown again, tests). Status
// requests in it are never answered.
Report decodeJob(std::string_view bytes, const DecoderSettings &settings);

// The lines a picture of the given height in dots stands on.
std::uint16_t imageRows(std::uint32_t heightDots);
// The text of a picture's first row.
std::string imageLabel(const RasterImage &image);
std::string symbolLabel(const Symbol &symbol);

} // namespace qb
