#pragma once
// The one place where a text changes language. A text is written once, in
// the language of the code that owns it: the program's own texts in
// Japanese, velmoractl's own messages in English. Each is marked with N_()
// where it is defined (so that xgettext finds it) and passed through Tr()
// where it is shown. The catalogues (po/en.po: Japanese to English,
// po/ja.po: English to Japanese) are compiled with msgfmt and built into
// the program, so that no installed file and no system locale is needed
// to switch: the choice is the program's own (platform/Language.h).
//
// What goes into files or onto the wire never passes through Tr().
//
// Thread contract: any thread; the catalogues are read once, on first use.

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Marks a text for extraction; the text itself is unchanged.
#define N_(text) text

namespace velmora {

// The text in the current language: the catalogue's translation of
// `source`, or `source` itself when the catalogue has none.
const char* Tr(const char* source);
std::string Tr(const std::string& source);

// `pattern` with %1 ... %9 replaced by `args` (an argument missing leaves
// its placeholder out) and %% by a single %. Translated patterns may put
// the arguments in another order than the source.
std::string FormatText(std::string_view pattern, std::initializer_list<std::string_view> args);
// Tr(pattern), then FormatText.
std::string TrFormat(const char* pattern, std::initializer_list<std::string_view> args);

// A compiled message catalogue (GNU .mo, either byte order). Bytes that are
// not one give an empty catalogue. It keeps views into the bytes it was
// given, which must outlive it (the built-in catalogues are static).
class MessageCatalogue {
public:
    explicit MessageCatalogue(std::span<const unsigned char> mo);
    // The translation of `source`; nothing for an untranslated text.
    std::optional<std::string_view> Find(std::string_view source) const;
    std::size_t Size() const { return m_entries.size(); }
    // Every source text, in order.
    std::vector<std::string_view> Sources() const;

private:
    std::vector<std::pair<std::string_view, std::string_view>> m_entries;
};

// The catalogue that translates into `english` ? English : Japanese.
const MessageCatalogue& CatalogueInto(bool english);

} // namespace velmora
