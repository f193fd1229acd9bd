#include "common/document.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace qb {

std::size_t utf8Columns(std::string_view text)
{
    std::size_t n = 0;
    for (const char c : text)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

std::string_view symbolKindName(SymbolKind k)
{
    switch (k) {
    case SymbolKind::UpcA: return "UPC-A";
    case SymbolKind::UpcE: return "UPC-E";
    case SymbolKind::Ean13: return "EAN-13";
    case SymbolKind::Ean8: return "EAN-8";
    case SymbolKind::Code39: return "CODE39";
    case SymbolKind::Itf: return "ITF";
    case SymbolKind::Codabar: return "CODABAR";
    case SymbolKind::Code93: return "CODE93";
    case SymbolKind::Code128: return "CODE128";
    case SymbolKind::QrCode: return "QR Code";
    case SymbolKind::Pdf417: return "PDF417";
    case SymbolKind::MaxiCode: return "MaxiCode";
    case SymbolKind::Aztec: return "Aztec";
    case SymbolKind::DataMatrix: return "Data Matrix";
    }
    return "symbol";
}

std::string markerLabel(const Marker &m)
{
    std::string s;
    switch (m.kind) {
    case MarkerKind::Cut: return "- - - - - - - - cut - - - - - - - -";
    case MarkerKind::DrawerKick: s = "[drawer kick]"; break;
    case MarkerKind::Beeper: s = "[beeper]"; break;
    case MarkerKind::SkippedCommand: s = "[command skipped]"; break;
    case MarkerKind::CodeTableMissing: s = "[code table not available]"; break;
    case MarkerKind::ImageSkipped: s = "[image not shown]"; break;
    case MarkerKind::SymbolSkipped: s = "[symbol not shown]"; break;
    case MarkerKind::PclRaster: s = "[raster graphics skipped]"; break;
    case MarkerKind::HpGl2: s = "[HP-GL/2 graphics skipped]"; break;
    case MarkerKind::FeedsCollapsed: s = "[paper feeds shortened]"; break;
    }
    if (!m.detail.empty()) {
        s.pop_back();
        s += ": " + m.detail + "]";
    }
    if (m.count > 1)
        s += " x" + std::to_string(m.count);
    return s;
}

std::vector<StyleRun> Document::lineRuns(std::size_t i) const
{
    return {runs_.begin() + lines_[i].firstRun, runs_.begin() + runsEnd(i)};
}

std::size_t Document::lineColumns(std::size_t i) const
{
    const std::string_view text = lineText(i);
    const std::size_t first = lines_[i].firstRun, end = runsEnd(i);
    if (first == end)
        return utf8Columns(text);
    std::size_t cols = utf8Columns(text.substr(0, runs_[first].offset));
    for (std::size_t r = first; r < end; ++r) {
        const std::size_t from = runs_[r].offset;
        const std::size_t to = r + 1 < end ? runs_[r + 1].offset : text.size();
        cols += utf8Columns(text.substr(from, to - from)) * runs_[r].style.widthScale;
    }
    return cols;
}

std::size_t Document::linePadding(std::size_t i, std::size_t columns) const
{
    // An empty line places nothing: spaces alone would only take room.
    const Align align = aligns_[i];
    if (align == Align::Left || lines_[i].textLength == 0)
        return 0;
    const std::size_t used = lineColumns(i);
    if (used >= columns)
        return 0;
    return align == Align::Centre ? (columns - used) / 2 : columns - used;
}

std::string Document::alignedText(std::size_t i, std::size_t columns) const
{
    std::string out(linePadding(i, columns), ' ');
    out += lineText(i);
    return out;
}

std::vector<std::string> Document::plainLines() const
{
    std::vector<std::string> out;
    out.reserve(lines_.size());
    for (std::size_t i = 0; i < lines_.size(); ++i)
        out.emplace_back(lineText(i));
    return out;
}

namespace {
// What a block takes in its deque: its share of the deque's node (four
// blocks in a node of its own allocation) and of the table of nodes.
constexpr std::size_t kBlockBytes = sizeof(Block) + 16;
// What an empty deque holds already: its first node and its table.
constexpr std::size_t kBlocksBase = 1024;

std::size_t contentBytes(const Block &b)
{
    if (const auto *img = std::get_if<RasterImage>(&b.content))
        return img->bits.capacity();
    if (const auto *sym = std::get_if<Symbol>(&b.content))
        return sym->data.capacity() + sym->readable.capacity();
    return 0;
}
} // namespace

std::size_t Document::memoryBytes() const
{
    // Only the last block may still grow; the others are counted as they
    // were settled, so that this costs the same however many blocks a long
    // report holds.
    return chunkBytes_ + open_.capacity() + chunks_.capacity() * sizeof(chunks_[0]) + lines_.capacity() * sizeof(Line) +
           aligns_.capacity() * sizeof(Align) +
           runs_.capacity() * sizeof(StyleRun) + kBlocksBase + blocks_.size() * kBlockBytes + settledBlockBytes_ +
           (blocks_.empty() ? 0 : contentBytes(blocks_.back()));
}

namespace {
// A short receipt's text takes one small block, a longer one blocks of
// almost 1 MiB from malloc, and a long report, past the first few of those,
// blocks of 2 MiB mapped in huge pages (one page fault for 2 MiB of text):
// a report of a few MiB does not hold a large mapping, one of 64 MiB is
// not slowed down by 16 000 page faults.
constexpr std::size_t kFirstChunk = std::size_t(4) << 10, kSecondChunk = std::size_t(64) << 10,
                      kChunk = std::size_t(960) << 10, kLargeChunk = std::size_t(2) << 20;
constexpr std::size_t kChunksBeforeLarge = 8;

std::size_t chunkSize(std::size_t index)
{
    return index == 0 ? kFirstChunk : index == 1 ? kSecondChunk : index < kChunksBeforeLarge ? kChunk : kLargeChunk;
}

// The capacity a vector of `size` entries in `capacity` comes to after
// `more` entries were added one at a time (each growth doubles it).
std::size_t grownCapacity(std::size_t size, std::size_t capacity, std::size_t more)
{
    return size + more <= capacity ? capacity : std::max(2 * capacity, 2 * (size + more));
}

// The bytes a table comes to after `more` entries.
template <class T>
std::size_t grownTable(const GrowTable<T> &t, std::size_t more)
{
    return GrowTable<T>::bytesAfter(t.size(), t.capacity(), more);
}
} // namespace

std::size_t Document::storageFor(std::size_t text, std::size_t &chunks)
{
    // A line that does not fit a block leaves the rest of it unused: at most
    // as much again as the text.
    std::size_t n = 0, covered = 0;
    while (covered < 2 * text) {
        const std::size_t size = GrowBuffer::capacityFor(chunkSize(chunks));
        n += size;
        covered += size;
        ++chunks;
    }
    return n;
}

std::size_t Document::textStorageFor(std::size_t text)
{
    std::size_t chunks = 0;
    return storageFor(text, chunks);
}

std::size_t Document::memoryAfter(std::size_t text, std::size_t lines, std::size_t runs, std::size_t blocks) const
{
    std::size_t n = memoryBytes();
    // New blocks of text storage.
    if (text > chunkRoom_) {
        std::size_t k = chunks_.size();
        n += storageFor(text, k);
        n += (grownCapacity(chunks_.size(), chunks_.capacity(), k - chunks_.size()) - chunks_.capacity()) * sizeof(chunks_[0]);
    }
    n += grownCapacity(open_.size(), open_.capacity(), text) - open_.capacity();
    n += 2 * text; // images and symbols, grown as they grow
    n += grownTable(lines_, lines) - lines_.capacity() * sizeof(Line);
    n += grownTable(aligns_, lines) - aligns_.capacity() * sizeof(Align);
    n += grownTable(runs_, runs) - runs_.capacity() * sizeof(StyleRun);
    n += blocks * kBlockBytes;
    return n;
}

const char *Document::store(std::string_view text)
{
    if (text.empty())
        return "";
    if (text.size() > chunkRoom_) {
        const std::size_t next = chunkSize(chunks_.size());
        chunks_.emplace_back();
        chunks_.back().reserve(std::max(next, text.size()));
        const std::size_t size = chunks_.back().capacity();
        chunkFirstLine_.push_back(lines_.size()); // store() is called for the line about to be added
        chunkEnd_ = chunks_.back().data();
        chunkRoom_ = size;
        chunkBytes_ += size;
    }
    char *at = chunkEnd_;
    std::memcpy(at, text.data(), text.size());
    chunkEnd_ += text.size();
    chunkRoom_ -= text.size();
    return at;
}

void Document::closeLine(const std::vector<StyleRun> &runs, Align align, std::string_view tail)
{
    if (!open_.empty() && !tail.empty()) {
        open_ += tail;
        tail = {};
    }
    const std::string_view text = open_.empty() ? tail : std::string_view(open_);
    Line l;
    l.textLength = std::uint32_t(text.size());
    l.text = store(text);
    l.firstRun = std::uint32_t(runs_.size());
    // A line all in the plain style keeps no runs.
    if (!(runs.size() == 1 && runs.front().style.isPlain() && runs.front().offset == 0))
        for (const StyleRun &r : runs)
            if (r.offset < l.textLength)
                runs_.push_back(r);
    lines_.push_back(l);
    aligns_.push_back(align);
    open_.clear();
    if (open_.capacity() > (std::size_t(1) << 20))
        std::string().swap(open_); // after a very long line
}

void Document::addLine(std::string_view text, const std::vector<StyleRun> &runs, Align align)
{
    open_.assign(text);
    closeLine(runs, align);
}

void Document::dropCompleted()
{
    std::vector<GrowBuffer>().swap(chunks_);
    std::vector<std::size_t>().swap(chunkFirstLine_);
    releasedChunks_ = 0;
    textReleasedBefore_ = 0;
    chunkRoom_ = 0;
    chunkBytes_ = 0;
    chunkEnd_ = nullptr;
    lines_.clear();
    aligns_.clear();
    runs_.clear();
    Blocks().swap(blocks_);
    settledBlockBytes_ = 0;
}

void Document::releaseText()
{
    for (std::size_t i = 0; i < lines_.size(); ++i)
        lines_[i].text = nullptr;
    std::vector<GrowBuffer>().swap(chunks_);
    std::vector<std::size_t>().swap(chunkFirstLine_);
    releasedChunks_ = 0;
    textReleasedBefore_ = lines_.size();
    chunkRoom_ = 0;
    chunkBytes_ = 0;
    chunkEnd_ = nullptr;
    std::string().swap(open_);
    textReleased_ = true;
}

void Document::releaseTextBefore(std::size_t line)
{
    line = std::min(line, lines_.size());
    for (; textReleasedBefore_ < line; ++textReleasedBefore_)
        lines_[textReleasedBefore_].text = nullptr;
    // A chunk holds lines from its first line up to the next chunk's; the
    // last one is still being filled.
    while (releasedChunks_ + 1 < chunks_.size() && chunkFirstLine_[releasedChunks_ + 1] <= line) {
        chunkBytes_ -= chunks_[releasedChunks_].capacity();
        chunks_[releasedChunks_].clear();
        ++releasedChunks_;
    }
}

void Document::addBlock(std::variant<RasterImage, Symbol, Marker> &&content, Align align)
{
    if (!blocks_.empty())
        settledBlockBytes_ += contentBytes(blocks_.back());
    // Made in place: the content is moved once.
    Block &b = blocks_.emplace_back();
    b.beforeLine = lines_.size();
    b.content = std::move(content);
    b.align = align;
}

} // namespace qb
