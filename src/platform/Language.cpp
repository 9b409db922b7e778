#include "platform/Language.h"

#include <atomic>
#include <cstdlib>

namespace velmora {

namespace {

std::atomic<Language> g_language{Language::Japanese};

} // namespace

std::optional<Language> ParseLanguage(std::string_view value)
{
    if (value == "ja")
        return Language::Japanese;
    if (value == "en")
        return Language::English;
    return std::nullopt;
}

Language LanguageFromLocale(const char* lcAll, const char* lcMessages, const char* lang)
{
    for (const char* value : {lcAll, lcMessages, lang}) {
        if (value == nullptr || *value == '\0')
            continue;
        const std::string_view locale(value);
        const bool english = locale.starts_with("en") &&
            (locale.size() == 2 || locale[2] == '_' || locale[2] == '.' || locale[2] == '@');
        return english ? Language::English : Language::Japanese;
    }
    return Language::Japanese;
}

Language LanguageFromEnvironment()
{
    return LanguageFromLocale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
}

void SetLanguage(Language language)
{
    g_language.store(language, std::memory_order_relaxed);
}

Language CurrentLanguage()
{
    return g_language.load(std::memory_order_relaxed);
}

} // namespace velmora
