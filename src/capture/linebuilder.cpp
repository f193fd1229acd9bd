#include "capture/linebuilder.h"

#include <algorithm>
#include <cstdint>

namespace qb {

namespace {
// Lines a job may have beyond one for each byte received.
constexpr std::size_t kFeedAllowance = 256;
// Bytes copies of stored data may add beyond twice the bytes received.
constexpr std::size_t kCopyAllowance = std::size_t(4) << 20;
// Markers kept one by one; past that they are counted on the last one.
constexpr std::size_t kMaxMarkers = 65536;
} // namespace

LineBuilder::LineBuilder(Document &doc, Encoding encoding, std::size_t paperColumns)
    : doc_(doc), decoder_(encoding), paperColumns_(paperColumns)
{
    doc_.setPaperColumns(paperColumns);
}

void LineBuilder::noteStyle()
{
    if (!runs_.empty() && runs_.back().style != style_)
        countColumns();
    const auto offset = std::uint32_t(doc_.textBuffer().size() - doc_.openLineStart());
    if (runs_.empty()) {
        if (doc_.textBuffer().size() == doc_.openLineStart() && !decoder_.hasPartial())
            lineAlign_ = align_;
    } else if (runs_.back().style == style_) {
        return;
    }
    if (!runs_.empty() && runs_.back().offset == offset)
        runs_.back().style = style_;
    else
        runs_.push_back(StyleRun{offset, style_});
}

void LineBuilder::countColumns()
{
    const std::string &t = doc_.textBuffer();
    countedTo_ = std::max(countedTo_, doc_.openLineStart());
    if (countedTo_ >= t.size())
        return;
    std::size_t n = 0;
    for (std::size_t i = countedTo_; i < t.size(); ++i)
        n += (static_cast<unsigned char>(t[i]) & 0xC0) != 0x80;
    const std::uint8_t scale = runs_.empty() ? 1 : runs_.back().style.widthScale;
    columns_ += n * scale;
    countedTo_ = t.size();
}

std::size_t LineBuilder::columns()
{
    countColumns();
    return columns_;
}

void LineBuilder::text(std::string_view bytes)
{
    if (bytes.empty())
        return;
    noteStyle();
    decoder_.decode(doc_.textBuffer(), bytes);
    afterBlock_ = false;
}

void LineBuilder::utf8(std::string_view text)
{
    if (text.empty())
        return;
    noteStyle();
    std::string &t = doc_.textBuffer();
    decoder_.flush(t);
    t += text;
    afterBlock_ = false;
}

void LineBuilder::endLineWith(std::string_view text)
{
    if (!text.empty())
        noteStyle();
    std::string &t = doc_.textBuffer();
    decoder_.flush(t);
    if (t.size() == doc_.openLineStart() && text.empty())
        lineAlign_ = align_;
    doc_.closeLine(runs_, lineAlign_, text);
    runs_.clear();
    columns_ = 0;
    countedTo_ = doc_.openLineStart();
    lineAlign_ = align_;
    afterBlock_ = false;
}

void LineBuilder::blankLines(std::size_t n)
{
    const std::uint64_t limit = position_ + kFeedAllowance;
    const std::size_t have = doc_.lineCount();
    const std::size_t room = have < limit ? std::size_t(limit - have) : 0;
    if (n > room) {
        marker(MarkerKind::FeedsCollapsed);
        n = room;
    }
    for (std::size_t i = 0; i < n; ++i)
        endLine();
}

void LineBuilder::tab(std::size_t every)
{
    if (every == 0)
        return;
    moveToColumn((columns() / every + 1) * every);
}

void LineBuilder::moveToColumn(std::size_t c)
{
    c = std::min(c, std::max(paperColumns_, columns()));
    if (c <= columns_)
        return;
    const std::size_t spaces = (c - columns_ + style_.widthScale - 1) / style_.widthScale;
    utf8(std::string(spaces, ' '));
}

void LineBuilder::setAlign(Align a)
{
    align_ = a;
    if (lineEmpty())
        lineAlign_ = a;
}

void LineBuilder::block(std::variant<RasterImage, Symbol, Marker> &&content)
{
    endLineIfAny();
    doc_.addBlock(std::move(content), align_);
    afterBlock_ = true;
}

void LineBuilder::marker(MarkerKind kind, std::string detail)
{
    auto &blocks = doc_.mutableBlocks();
    if (!blocks.empty()) {
        Block &last = blocks.back();
        Marker *m = std::get_if<Marker>(&last.content);
        const bool same = m && last.beforeLine == doc_.lineCount() && m->kind == kind && m->detail == detail;
        if (m && (same || markers_ >= kMaxMarkers)) {
            if (m->count < UINT32_MAX)
                ++m->count;
            return;
        }
    }
    ++markers_;
    doc_.addBlock(Marker{kind, std::move(detail)}, align_);
}

bool LineBuilder::spend(std::size_t bytes)
{
    const std::uint64_t budget = 2 * position_ + kCopyAllowance;
    if (spent_ > budget || bytes > budget - spent_)
        return false;
    spent_ += bytes;
    return true;
}

void LineBuilder::finish()
{
    endLineIfAny();
}

} // namespace qb
