#pragma once
// The language the program speaks to its operator. Japanese is the
// program's own and the default; English is the other. The files and the
// unit's lines are the same in both: only what is shown changes.
//
// Thread contract: SetLanguage once at start-up, before other threads run;
// CurrentLanguage from any thread afterwards.

#include <optional>
#include <string_view>

namespace velmora {

enum class Language { Japanese, English };

// The value of --lang: "ja" or "en"; nothing for anything else.
std::optional<Language> ParseLanguage(std::string_view value);

// The environment's choice: the first of LC_ALL, LC_MESSAGES and LANG that
// is set and not empty decides; English when its language is "en" (en,
// en_GB.UTF-8, en@...), Japanese otherwise, the C locale included.
Language LanguageFromLocale(const char* lcAll, const char* lcMessages, const char* lang);
Language LanguageFromEnvironment();

void SetLanguage(Language language);
Language CurrentLanguage();

} // namespace velmora
