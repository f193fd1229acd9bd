#include "capture/pcl.h"

#include <algorithm>
#include <cstring>

namespace qb {

namespace {

constexpr unsigned char ESC = 0x1B;
constexpr std::string_view kUel = "\x1b%-12345X";
// Digits of one PCL value; a longer value is not PCL, and the bytes after
// the escape's start are shown again.
constexpr std::size_t kMaxValue = 32;

char upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }

std::string upperOf(std::string_view s)
{
    std::string out(s);
    for (char &c : out)
        c = upper(c);
    return out;
}

bool isValueByte(unsigned char b) { return (b >= '0' && b <= '9') || b == '+' || b == '-' || b == '.'; }

std::uint64_t countOf(const std::string &value)
{
    std::uint64_t v = 0;
    std::size_t i = 0;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) {
        if (value[i] == '-')
            return 0;
        ++i;
    }
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i)
        v = std::min<std::uint64_t>(v * 10 + std::uint64_t(value[i] - '0'), UINT32_MAX);
    return v;
}

} // namespace

PclDecoder::PclDecoder(Document &doc, const DecoderSettings &settings, StatusReply reply)
    : line_(doc, settings.encoding, std::size_t(settings.paperColumns)), reply_(std::move(reply))
{
}

void PclDecoder::reply(std::string_view bytes)
{
    if (reply_)
        reply_(bytes);
}

std::string PclDecoder::pjlValue(std::string_view line, std::string_view key)
{
    const std::string u = upperOf(line);
    const std::string k = upperOf(key);
    std::size_t at = 0;
    while ((at = u.find(k, at)) != std::string::npos) {
        const bool wordStart = at == 0 || u[at - 1] == ' ' || u[at - 1] == '\t';
        std::size_t i = at + k.size();
        at = i;
        if (!wordStart)
            continue;
        while (i < u.size() && (u[i] == ' ' || u[i] == '\t'))
            ++i;
        if (i >= u.size() || u[i] != '=')
            continue;
        ++i;
        while (i < u.size() && (u[i] == ' ' || u[i] == '\t'))
            ++i;
        if (i < line.size() && line[i] == '"') {
            const std::size_t end = line.find('"', i + 1);
            return std::string(line.substr(i + 1, end == std::string_view::npos ? end : end - i - 1));
        }
        std::size_t end = i;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t')
            ++end;
        return std::string(line.substr(i, end - i));
    }
    return {};
}

void PclDecoder::control(unsigned char c)
{
    if (c == '\n') {
        if (afterCr_)
            afterCr_ = false;
        else
            line_.endLine();
        return;
    }
    afterCr_ = false;
    switch (c) {
    case '\r':
        line_.endLine();
        afterCr_ = true;
        break;
    case '\f': line_.endLineIfAny(); break;
    case '\t': line_.tab(); break;
    default: break; // NUL, SI, SO, BS, EOT: nothing shown
    }
}

// Text bytes of the job (no escapes among them).
void PclDecoder::text(const unsigned char *p, std::size_t n)
{
    std::size_t i = 0;
    while (i < n) {
        if (p[i] < 0x20 || p[i] == 0x7F) {
            control(p[i]);
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        while (j < n && p[j] >= 0x20 && p[j] != 0x7F)
            ++j;
        afterCr_ = false;
        line_.text(std::string_view(reinterpret_cast<const char *>(p + i), j - i));
        i = j;
    }
}

void PclDecoder::enterData()
{
    const std::string lang = upperOf(language_);
    state_ = lang == "POSTSCRIPT" ? State::PostScript : State::Text;
}

void PclDecoder::pjlLine(std::string line)
{
    if (upperOf(line.substr(0, 4)) != "@PJL") {
        // Not PJL: the job's data began without ENTER LANGUAGE.
        enterData();
        text(reinterpret_cast<const unsigned char *>(line.data()), line.size());
        control('\n');
        return;
    }
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.pop_back();
    const std::string u = upperOf(line);
    std::size_t i = 4;
    while (i < u.size() && (u[i] == ' ' || u[i] == '\t'))
        ++i;
    const std::string_view rest = std::string_view(u).substr(i);
    auto startsWith = [&](std::string_view w) {
        return rest.rfind(w, 0) == 0 && (rest.size() == w.size() || rest[w.size()] == ' ' || rest[w.size()] == '\t');
    };
    bool jobChanged = false;
    if (startsWith("JOB")) {
        if (jobName_.empty()) {
            jobName_ = utf8OrWindows1252(pjlValue(line, "NAME"));
            jobChanged = true;
        }
    } else if (startsWith("SET")) {
        if (const std::string user = pjlValue(line, "USERNAME"); !user.empty()) {
            userName_ = utf8OrWindows1252(user);
            jobChanged = true;
        }
        if (const std::string name = pjlValue(line, "JOBNAME"); !name.empty() && jobName_.empty()) {
            jobName_ = utf8OrWindows1252(name);
            jobChanged = true;
        }
    } else if (startsWith("INFO")) {
        std::size_t j = 4;
        while (j < rest.size() && (rest[j] == ' ' || rest[j] == '\t'))
            ++j;
        const std::string_view what = rest.substr(j);
        if (what.rfind("STATUS", 0) == 0)
            reply(line + "\r\nCODE=10001\r\nDISPLAY=\"READY\"\r\nONLINE=TRUE\r\n\f");
        else if (what.rfind("ID", 0) == 0)
            reply(line + "\r\n\"QUILLBOX\"\r\n\f");
    } else if (startsWith("ECHO")) {
        reply(line + "\r\n\f");
    } else if (startsWith("ENTER")) {
        language_ = pjlValue(line, "LANGUAGE");
        enterData();
        return;
    }
    if (jobChanged)
        line_.document().setJob(jobName_, userName_);
    state_ = State::Pjl;
}

void PclDecoder::terminator(unsigned char t)
{
    const bool last = t <= 0x5E;
    const char letter = last ? char(t) : char(t - 0x20);
    const State back = escapeFrom_ == State::HpGl ? State::HpGl : State::Text;
    const State after = last ? back : State::EscValue;
    const std::string value = std::move(value_);
    value_.clear();

    if (group_ == '%' && param_ == 0) {
        if (letter == 'X' && value == "-12345") {
            state_ = State::Pjl;
            afterCr_ = false;
            return;
        }
        if (letter == 'B') {
            line_.marker(MarkerKind::HpGl2);
            state_ = State::HpGl;
            escapeFrom_ = State::HpGl;
            return;
        }
        if (letter == 'A') {
            state_ = State::Text;
            escapeFrom_ = State::Text;
            return;
        }
    }
    if (escapeFrom_ == State::HpGl) {
        state_ = after;
        return;
    }
    if (letter == 'W') {
        if (group_ == '*' && param_ == 'b' && !inRaster_) {
            line_.marker(MarkerKind::PclRaster);
            inRaster_ = true;
        }
        remaining_ = countOf(value);
        afterPayload_ = after;
        state_ = remaining_ ? State::Binary : after;
        return;
    }
    if (letter == 'X' && group_ == '&' && param_ == 'p') {
        remaining_ = countOf(value);
        afterPayload_ = after;
        state_ = remaining_ ? State::Transparent : after;
        return;
    }
    if (group_ == '*' && param_ == 'r') {
        if (letter == 'A' && !inRaster_) {
            line_.marker(MarkerKind::PclRaster);
            inRaster_ = true;
        } else if (letter == 'B' || letter == 'C') {
            inRaster_ = false;
        }
    }
    state_ = after;
}

void PclDecoder::feed(std::string_view bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        switch (state_) {
        case State::Start:
            // A job may begin with PJL or PostScript without the exit before it.
            if (b == '@')
                state_ = State::PjlLine;
            else if (b == '%')
                state_ = State::PostScript;
            else
                state_ = State::Text;
            continue;
        case State::Pjl:
            if (b == '\r' || b == '\n' || b == ' ' || b == '\t' || b == '\f' || b == 0) {
                ++i;
                continue;
            }
            if (b == '@') {
                state_ = State::PjlLine;
            } else if (b == ESC) {
                escapeFrom_ = State::Text;
                state_ = State::Esc;
                ++i;
            } else {
                if (language_.empty() && b == '%')
                    language_ = "POSTSCRIPT";
                enterData();
            }
            continue;
        case State::PjlLine: {
            std::size_t j = i;
            while (j < n && p[j] != '\n')
                ++j;
            if (!pjlTooLong_) {
                const std::size_t room = kMaxPjlLine - pjl_.size();
                pjl_.append(reinterpret_cast<const char *>(p + i), std::min(room, j - i));
                pjlTooLong_ = pjl_.size() >= kMaxPjlLine;
            }
            i = j;
            if (j == n)
                continue;
            ++i;
            std::string line = std::move(pjl_);
            pjl_.clear();
            pjlTooLong_ = false;
            pjlLine(std::move(line));
            continue;
        }
        case State::Text: {
            std::size_t j = i;
            while (j < n && p[j] != ESC)
                ++j;
            text(p + i, j - i);
            i = j;
            if (i < n) {
                escapeFrom_ = State::Text;
                state_ = State::Esc;
                ++i;
            }
            continue;
        }
        case State::PostScript: {
            std::size_t j = i;
            while (j < n && p[j] != ESC)
                ++j;
            text(p + i, j - i);
            i = j;
            if (i < n) {
                state_ = State::PsEscape;
                uelMatched_ = 1;
                ++i;
            }
            continue;
        }
        case State::PsEscape:
            if (b == static_cast<unsigned char>(kUel[uelMatched_])) {
                ++i;
                if (++uelMatched_ == kUel.size()) {
                    state_ = State::Pjl;
                    language_.clear();
                }
                continue;
            }
            // Not the exit: what matched is program text (the ESC is dropped).
            text(reinterpret_cast<const unsigned char *>(kUel.data()) + 1, uelMatched_ - 1);
            state_ = State::PostScript;
            continue;
        case State::HpGl: {
            const void *hit = std::memchr(p + i, ESC, n - i);
            if (!hit) {
                i = n;
                continue;
            }
            i = std::size_t(static_cast<const unsigned char *>(hit) - p) + 1;
            escapeFrom_ = State::HpGl;
            state_ = State::Esc;
            continue;
        }
        case State::Esc:
            if (b >= 0x21 && b <= 0x2F) {
                group_ = b;
                param_ = 0;
                value_.clear();
                state_ = State::EscParam;
                ++i;
            } else {
                // A two-byte escape (ESC E reset, ESC 9, ...) shows nothing; any
                // other byte after ESC is itself again.
                state_ = escapeFrom_ == State::HpGl ? State::HpGl : State::Text;
                if (b >= 0x30 && b <= 0x7E)
                    ++i;
            }
            continue;
        case State::EscParam:
            state_ = State::EscValue;
            if (b >= 0x60 && b <= 0x7E)
                param_ = b, ++i;
            continue;
        case State::EscValue:
            if (isValueByte(b) && value_.size() < kMaxValue) {
                value_.push_back(char(b));
                ++i;
            } else if (b >= 0x40 && b <= 0x7E) {
                ++i;
                terminator(b);
            } else {
                value_.clear();
                state_ = escapeFrom_ == State::HpGl ? State::HpGl : State::Text;
            }
            continue;
        case State::Binary: {
            const std::size_t take = std::size_t(std::min<std::uint64_t>(remaining_, n - i));
            remaining_ -= take;
            i += take;
            if (remaining_ == 0)
                state_ = afterPayload_;
            continue;
        }
        case State::Transparent: {
            const std::size_t take = std::size_t(std::min<std::uint64_t>(remaining_, n - i));
            text(p + i, take);
            remaining_ -= take;
            i += take;
            if (remaining_ == 0)
                state_ = afterPayload_;
            continue;
        }
        }
    }
}

void PclDecoder::finish()
{
    if (state_ == State::PjlLine && !pjl_.empty()) {
        std::string line = std::move(pjl_);
        pjl_.clear();
        pjlLine(std::move(line));
    }
    if (state_ == State::PsEscape)
        text(reinterpret_cast<const unsigned char *>(kUel.data()) + 1, uelMatched_ - 1);
    state_ = State::Text;
    line_.finish();
}

} // namespace qb
