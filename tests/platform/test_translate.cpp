// The language rule, the built-in catalogues and the patterns.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/Language.h"
#include "platform/Translate.h"

namespace velmora {
namespace {

// Puts the language back whatever the test did.
class LanguageScope {
public:
    explicit LanguageScope(Language l) : m_before(CurrentLanguage()) { SetLanguage(l); }
    ~LanguageScope() { SetLanguage(m_before); }

private:
    Language m_before;
};

TEST(Language, TheFirstLocaleSetDecidesAndOnlyEnglishIsEnglish)
{
    EXPECT_EQ(LanguageFromLocale(nullptr, nullptr, nullptr), Language::Japanese);
    EXPECT_EQ(LanguageFromLocale(nullptr, nullptr, "C"), Language::Japanese);
    EXPECT_EQ(LanguageFromLocale(nullptr, nullptr, "POSIX"), Language::Japanese);
    EXPECT_EQ(LanguageFromLocale(nullptr, nullptr, "C.UTF-8"), Language::Japanese);
    EXPECT_EQ(LanguageFromLocale(nullptr, nullptr, "en_US.UTF-8"), Language::English);
    EXPECT_EQ(LanguageFromLocale(nullptr, nullptr, "en"), Language::English);
    EXPECT_EQ(LanguageFromLocale(nullptr, nullptr, "en@euro"), Language::English);
    EXPECT_EQ(LanguageFromLocale(nullptr, nullptr, "eng"), Language::Japanese);
    EXPECT_EQ(LanguageFromLocale(nullptr, nullptr, "de_DE.UTF-8"), Language::Japanese);
    // LC_ALL before LC_MESSAGES before LANG; an empty one does not count.
    EXPECT_EQ(LanguageFromLocale("ja_JP.UTF-8", "en_GB.UTF-8", "en_US.UTF-8"), Language::Japanese);
    EXPECT_EQ(LanguageFromLocale("", "en_GB.UTF-8", "ja_JP.UTF-8"), Language::English);
    EXPECT_EQ(LanguageFromLocale(nullptr, "C", "en_US.UTF-8"), Language::Japanese);

    EXPECT_EQ(ParseLanguage("en"), Language::English);
    EXPECT_EQ(ParseLanguage("ja"), Language::Japanese);
    EXPECT_FALSE(ParseLanguage("EN"));
    EXPECT_FALSE(ParseLanguage(""));
    EXPECT_FALSE(ParseLanguage("english"));
}

TEST(Translate, EnglishTranslatesTheProgramsTextsAndJapaneseLeavesThem)
{
    const char* const source = "接続できません。";
    {
        const LanguageScope english(Language::English);
        EXPECT_STREQ(Tr(source), "Cannot connect.");
        EXPECT_EQ(Tr(std::string("接続が解除されました。")), "The connection was released.");
        // Not in the catalogue: the text itself.
        EXPECT_STREQ(Tr("ttyUSB0"), "ttyUSB0");
        EXPECT_EQ(TrFormat(N_("%1は使えません"), {"/dev/ttyUSB0"}), "/dev/ttyUSB0 cannot be used");
    }
    const LanguageScope japanese(Language::Japanese);
    EXPECT_EQ(Tr(source), source);
    EXPECT_EQ(TrFormat(N_("%1は使えません"), {"/dev/ttyUSB0"}), "/dev/ttyUSB0は使えません");
    EXPECT_GT(CatalogueInto(true).Size(), 100u);
}

TEST(Translate, PatternsTakeTheirArgumentsInAnyOrder)
{
    EXPECT_EQ(FormatText("%2 after %1", {"a", "b"}), "b after a");
    EXPECT_EQ(FormatText("100%% of %1", {"x"}), "100% of x");
    // An argument that is missing leaves its place empty; one that holds
    // a placeholder is not read again.
    EXPECT_EQ(FormatText("%1-%3", {"a"}), "a-");
    EXPECT_EQ(FormatText("%1", {"%2"}), "%2");
    EXPECT_EQ(FormatText("50% %", {}), "50% %");
    EXPECT_EQ(FormatText("end %", {}), "end %");
}

// A catalogue built from bytes that are not a whole, sound .mo file is
// empty: no read outside them.
TEST(Translate, ACatalogueOfBadBytesIsEmpty)
{
    auto word = [](std::vector<unsigned char>& v, std::uint32_t x) {
        for (int k = 0; k < 4; ++k)
            v.push_back(static_cast<unsigned char>(x >> (8 * k)));
    };
    // magic, revision, one entry, originals at 28, translations at 36.
    std::vector<unsigned char> mo;
    for (std::uint32_t x : {0x950412DEu, 0u, 1u, 28u, 36u, 0u, 0u})
        word(mo, x);
    word(mo, 1); // "a" at 44
    word(mo, 44);
    word(mo, 1); // "b" at 46
    word(mo, 46);
    for (char c : {'a', '\0', 'b', '\0'})
        mo.push_back(static_cast<unsigned char>(c));
    const MessageCatalogue good(mo);
    ASSERT_EQ(good.Size(), 1u);
    EXPECT_EQ(good.Find("a"), "b");
    EXPECT_FALSE(good.Find("b"));

    for (std::size_t cut = 0; cut < mo.size(); ++cut) {
        const std::vector<unsigned char> shorter(mo.begin(), mo.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_EQ(MessageCatalogue(shorter).Size(), 0u) << cut;
    }
    std::vector<unsigned char> noNul = mo;
    noNul[45] = 'x';
    EXPECT_EQ(MessageCatalogue(noNul).Size(), 0u);
    std::vector<unsigned char> farOff = mo;
    farOff[32] = 0xF0; // the original's offset past the end
    EXPECT_EQ(MessageCatalogue(farOff).Size(), 0u);
    std::vector<unsigned char> huge = mo;
    huge[11] = 0x7F; // a count no file of this size can hold
    EXPECT_EQ(MessageCatalogue(huge).Size(), 0u);
}

} // namespace
} // namespace velmora
