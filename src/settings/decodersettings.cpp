#include "settings/decodersettings.h"

#include <string>

namespace qb {

StoredDecoderChoices readDecoderChoices(const ProfileFile &ini)
{
    StoredDecoderChoices c;
    c.language = parseLanguage(ini.readString(kDecoderSection, kLanguageKey, languageKey(Language::Text)));
    c.encoding = parseEncoding(ini.readString(kDecoderSection, kEncodingKey, encodingKey(Encoding::Windows1252)));
    c.paperColumns = parsePaperColumns(
        ini.readString(kDecoderSection, kPaperColumnsKey, std::to_string(kDefaultPaperColumns)));
    return c;
}

DecoderSettings readDecoderSettings(const ProfileFile &ini) { return readDecoderChoices(ini).settings(); }

} // namespace qb
