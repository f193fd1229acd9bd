#pragma once
// How received jobs are decoded, as stored in section "Defaults": the
// printer language (`Language`), the character set (`Encoding`) and the
// paper width in columns (`PaperColumns`). Read without a window, by the
// main window and by the headless mode alike.

#include "capture/decoder.h"
#include "settings/profilefile.h"

namespace qb {

inline constexpr std::string_view kDecoderSection = "Defaults";
inline constexpr std::string_view kLanguageKey = "Language";
inline constexpr std::string_view kEncodingKey = "Encoding";
inline constexpr std::string_view kPaperColumnsKey = "PaperColumns";

// The stored choices as read: a value this program does not know counts as
// the default and is kept, so that writing it back leaves it unchanged.
struct StoredDecoderChoices {
    LanguageChoice language;
    EncodingChoice encoding;
    int paperColumns = kDefaultPaperColumns;

    DecoderSettings settings() const { return {language.value, encoding.value, paperColumns}; }
};

StoredDecoderChoices readDecoderChoices(const ProfileFile &ini);
DecoderSettings readDecoderSettings(const ProfileFile &ini);

} // namespace qb
