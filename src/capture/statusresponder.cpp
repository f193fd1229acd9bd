#include "capture/statusresponder.h"

#include <algorithm>

namespace qb {

namespace {
// Complete lines and blocks are freed once they hold this much.
constexpr std::size_t kDropAt = std::size_t(64) << 10;
} // namespace

StatusResponder::StatusResponder(StatusReply reply)
    : reply_(std::move(reply))
{
}

StatusResponder::~StatusResponder() = default;

void StatusResponder::feed(std::string_view bytes)
{
    if (language_ == Language::Text || bytes.empty())
        return;
    if (!decoder_) {
        // Detection looks at no more than its window of first bytes.
        const std::size_t room = kDetectWindow - std::min(kDetectWindow, first_.size());
        const std::size_t taken = std::min(room, bytes.size());
        first_.append(bytes.substr(0, taken));
        bytes.remove_prefix(taken);
        const Language detected = detectLanguage(first_, false);
        if (detected == Language::Auto)
            return;
        language_ = detected == Language::Pcl ? Language::Pcl : Language::EscPos;
        // The characters are never shown: the cheapest set will do.
        DecoderSettings settings;
        settings.language = language_;
        settings.encoding = Encoding::Windows1252;
        decoder_ = makeLanguageDecoder(language_, doc_, settings, reply_);
        decoder_->feed(first_);
        std::string().swap(first_);
    }
    if (!bytes.empty())
        decoder_->feed(bytes);
    if (doc_.memoryBytes() > kDropAt) {
        doc_.dropCompleted();
        if (doc_.memoryBytes() > kMaxMemory) {
            decoder_.reset();
            doc_.clear();
            language_ = Language::Text;
        }
    }
}

} // namespace qb
