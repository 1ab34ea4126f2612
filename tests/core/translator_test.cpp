#include "lib/Multilang.h"
#include "lib/Translator.h"
#include "testkit/Bytes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using lib::ITranslator;
using lib::TranslatedText;

TEST(TextRing, HandleIsReusedAfterTheRingFillsAndCursorWraps) {
    const TranslatedText first = lib::store_text("first");
    std::int32_t previous = first.index;
    for (int i = 1; i < lib::text_ring_size; ++i) {
        const TranslatedText handle = lib::store_text("filler " + std::to_string(i));
        ASSERT_EQ(handle.index, (previous + 1) % lib::text_ring_size) << "store " << i;
        previous = handle.index;
    }
    EXPECT_EQ(lib::text_of(first), "first"); // 1024 texts stored: still intact

    const TranslatedText last = lib::store_text("the 1025th");
    EXPECT_EQ(last.index, first.index);
    EXPECT_EQ(lib::text_of(first), "the 1025th");
}

TEST(TextRing, IndexOutsideTheRingGivesEmptyText) {
    for (std::int32_t index : {-1, lib::text_ring_size, std::numeric_limits<std::int32_t>::min(),
                               std::numeric_limits<std::int32_t>::max()})
        EXPECT_EQ(lib::text_of(TranslatedText{index}), "") << index;
}

TEST(TextRing, ConcurrentStoresGetDistinctSlots) {
    constexpr int per_thread = 400;
    auto store_many = [](char tag, std::vector<TranslatedText>& out) {
        for (int i = 0; i < per_thread; ++i)
            out.push_back(lib::store_text(testkit::numbered(std::string_view(&tag, 1), i)));
    };
    std::vector<TranslatedText> a, b;
    std::thread other(store_many, 'a', std::ref(a));
    store_many('b', b);
    other.join();

    std::set<std::int32_t> slots;
    for (const auto* list : {&a, &b})
        for (const TranslatedText& handle : *list)
            slots.insert(handle.index);
    EXPECT_EQ(slots.size(), 2u * per_thread);
    EXPECT_EQ(lib::text_of(a.back()), testkit::numbered("a", per_thread - 1));
    EXPECT_EQ(lib::text_of(b.back()), testkit::numbered("b", per_thread - 1));
}

struct TranslateCase {
    const char* name;
    bool use_multilang;
    std::string text;
    std::optional<std::string> alternative; // none: the one-argument overload
    std::string expected;
};

TEST(Translators, GiveTextOrAlternative) {
    lib::NULLTranslator null_translator;
    const std::vector<TranslateCase> cases{
        {"multilang keeps blanks", true, "  Имя ", "", "  Имя "},
        {"multilang prefers alternative", true, "  Имя ", "Name", "Name"},
        {"multilang single argument", true, "msg_data_skips", std::nullopt, "msg_data_skips"},
        {"multilang empty text", true, "", "", ""},
        {"null ignores alternative", false, " № Рейса ", "Flight", " № Рейса "},
        {"null single argument", false, " Примечание ", std::nullopt, " Примечание "},
    };
    for (const TranslateCase& c : cases) {
        SCOPED_TRACE(c.name);
        // Through the interface, as callers hold translators.
        ITranslator& translator = c.use_multilang ? static_cast<ITranslator&>(lib::multilang())
                                                  : null_translator;
        const TranslatedText handle = c.alternative ? translator.translate(c.text, *c.alternative)
                                                    : translator.translate(c.text);
        EXPECT_EQ(lib::text_of(handle), c.expected);
    }
}

TEST(MultiLang, StartsWithoutLanguageAndIsOneInstance) {
    lib::MultiLang& ml = lib::multilang();
    EXPECT_EQ(&ml, &lib::multilang());
    EXPECT_EQ(ml.default_language(), "en");
    EXPECT_EQ(ml.current_language(), "");
    EXPECT_EQ(ml.language_file(), "");
    EXPECT_EQ(ml.alt_language_file(), "");
}

TEST(MultiLang, SelectingALanguageLoadsNothing) {
    struct Window {
        std::string title = "Настройки";
    } window;
    lib::MultiLang ml;
    ml.set_language("de", true);
    ml.translate_form(window);

    EXPECT_EQ(ml.current_language(), "de");
    EXPECT_EQ(ml.language_file(), "");
    EXPECT_EQ(window.title, "Настройки");
    EXPECT_EQ(lib::text_of(ml.translate("msg_data_corrupt", "")), "msg_data_corrupt");
}

} // namespace
