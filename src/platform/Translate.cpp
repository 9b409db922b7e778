#include "platform/Translate.h"

#include <algorithm>
#include <cstdint>

#include "platform/Language.h"

namespace velmora {

// Generated from po/*.po at build time.
extern const unsigned char kCatalogueEnglish[];
extern const std::size_t kCatalogueEnglishSize;
extern const unsigned char kCatalogueJapanese[];
extern const std::size_t kCatalogueJapaneseSize;

namespace {

constexpr std::uint32_t kMoMagic = 0x950412DEu;

struct MoReader {
    std::span<const unsigned char> bytes;
    bool swapped = false;

    std::optional<std::uint32_t> Word(std::size_t at) const
    {
        if (at > bytes.size() || bytes.size() - at < 4)
            return std::nullopt;
        std::uint32_t v = 0;
        for (int k = 0; k < 4; ++k) {
            const std::uint32_t b = bytes[at + static_cast<std::size_t>(k)];
            v |= swapped ? b << (8 * (3 - k)) : b << (8 * k);
        }
        return v;
    }

    // The string of table entry `index`: its length and offset, and a NUL
    // right after it, all inside the bytes.
    std::optional<std::string_view> String(std::uint32_t table, std::uint32_t index) const
    {
        const std::size_t at = static_cast<std::size_t>(table) + 8u * index;
        const auto length = Word(at);
        const auto offset = Word(at + 4);
        if (!length || !offset || *offset > bytes.size() || bytes.size() - *offset <= *length)
            return std::nullopt;
        if (bytes[static_cast<std::size_t>(*offset) + *length] != 0)
            return std::nullopt;
        return std::string_view(reinterpret_cast<const char*>(bytes.data()) + *offset, *length);
    }
};

} // namespace

MessageCatalogue::MessageCatalogue(std::span<const unsigned char> mo)
{
    MoReader r{mo};
    const auto magic = r.Word(0);
    if (!magic)
        return;
    if (*magic != kMoMagic) {
        r.swapped = true;
        if (r.Word(0) != kMoMagic)
            return;
    }
    const auto count = r.Word(8), originals = r.Word(12), translations = r.Word(16);
    if (!count || !originals || !translations || *count > mo.size() / 16)
        return;
    m_entries.reserve(*count);
    for (std::uint32_t i = 0; i < *count; ++i) {
        const auto source = r.String(*originals, i);
        const auto target = r.String(*translations, i);
        if (!source || !target) {
            m_entries.clear();
            return;
        }
        // The header (empty source) and untranslated entries change nothing.
        if (!source->empty() && !target->empty())
            m_entries.emplace_back(*source, *target);
    }
    std::sort(m_entries.begin(), m_entries.end());
}

std::optional<std::string_view> MessageCatalogue::Find(std::string_view source) const
{
    const auto it = std::lower_bound(m_entries.begin(), m_entries.end(), source,
                                     [](const auto& entry, std::string_view s) { return entry.first < s; });
    if (it == m_entries.end() || it->first != source)
        return std::nullopt;
    return it->second;
}

std::vector<std::string_view> MessageCatalogue::Sources() const
{
    std::vector<std::string_view> out;
    out.reserve(m_entries.size());
    for (const auto& [source, target] : m_entries)
        out.push_back(source);
    return out;
}

const MessageCatalogue& CatalogueInto(bool english)
{
    static const MessageCatalogue en(std::span(kCatalogueEnglish, kCatalogueEnglishSize));
    static const MessageCatalogue ja(std::span(kCatalogueJapanese, kCatalogueJapaneseSize));
    return english ? en : ja;
}

const char* Tr(const char* source)
{
    if (source == nullptr)
        return source;
    const auto found = CatalogueInto(CurrentLanguage() == Language::English).Find(source);
    // Every translation in a catalogue is followed by its NUL.
    return found ? found->data() : source;
}

std::string Tr(const std::string& source)
{
    const auto found = CatalogueInto(CurrentLanguage() == Language::English).Find(source);
    return found ? std::string(*found) : source;
}

std::string FormatText(std::string_view pattern, std::initializer_list<std::string_view> args)
{
    std::string out;
    out.reserve(pattern.size());
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c != '%' || i + 1 == pattern.size()) {
            out += c;
            continue;
        }
        const char next = pattern[i + 1];
        if (next == '%') {
            out += '%';
            ++i;
        } else if (next >= '1' && next <= '9') {
            const std::size_t k = static_cast<std::size_t>(next - '1');
            if (k < args.size())
                out += *(args.begin() + k);
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

std::string TrFormat(const char* pattern, std::initializer_list<std::string_view> args)
{
    return FormatText(Tr(pattern), args);
}

} // namespace velmora
