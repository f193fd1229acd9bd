#pragma once
// Answers the status requests in a connection's byte stream as an online
// printer with paper would, while the job itself is received as ever. The
// stream is followed by the decoder of its printer language, chosen from its
// first bytes; a stream that looks like plain text is followed by the receipt
// printer's rules, so a till that prints before it asks is answered too.
// Requests are answered at command boundaries only: bytes inside an image or
// a barcode that happen to look like a request are not.
//
// What is decoded is thrown away as it completes: the responder holds the
// line being built and the decoder's state, bounded by kMaxMemory. A stream
// that goes past it (a line of that many bytes without a line end) is no
// longer followed, and its later requests go unanswered.

#include "capture/decoder.h"
#include "common/document.h"

#include <memory>
#include <string>
#include <string_view>

namespace qb {

class StatusResponder {
public:
    static constexpr std::size_t kMaxMemory = std::size_t(256) << 10;

    // reply gets each answer's bytes, in order, as its request is decoded.
    explicit StatusResponder(StatusReply reply);
    ~StatusResponder();
    StatusResponder(const StatusResponder &) = delete;
    StatusResponder &operator=(const StatusResponder &) = delete;

    void feed(std::string_view bytes);
    // The language followed: EscPos or Pcl; Auto while the first bytes do
    // not tell yet, Text once the stream is no longer followed.
    Language language() const { return language_; }
    // What the decoded text and blocks hold now.
    std::size_t memoryBytes() const { return doc_.memoryBytes() + first_.capacity(); }

private:
    StatusReply reply_;
    std::string first_; // the first bytes, while the language is undecided
    Document doc_;
    std::unique_ptr<LanguageDecoder> decoder_;
    Language language_ = Language::Auto;
};

} // namespace qb
