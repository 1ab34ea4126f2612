#include "lib/Strworks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

using lib::ByteBuffer;
using lib::StrEncConverter;

// The encoded bytes without the trailing zero, as a string for readable comparisons.
std::string encoded(StrEncConverter& conv, std::string_view text)
{
    ByteBuffer out;
    conv.encode(text, out);
    EXPECT_FALSE(out.empty());
    EXPECT_EQ(out.back(), '\0');
    return std::string(out.begin(), out.end() - 1);
}

const std::string replacement = "\xEF\xBF\xBD";

// --- Converter front -------------------------------------------------------------------

TEST(StrEncConverter, DecodeOfNullEmptyAndEmbeddedZero)
{
    StrEncConverter conv(lib::enc_utf8);
    EXPECT_EQ(conv.decode(nullptr), "");
    EXPECT_EQ(conv.decode(nullptr, 10), "");
    EXPECT_EQ(conv.decode(""), "");
    const char with_zero[] = "ab\0cd";
    EXPECT_EQ(conv.decode(with_zero), "ab");
    EXPECT_EQ(conv.decode(with_zero, sizeof with_zero), "ab");
}

TEST(StrEncConverter, DecodeWithLimitStaysInsideAnUnterminatedBuffer)
{
    // Exactly sized heap block with no zero byte: the sanitizer build catches any overread.
    for (const auto id : {lib::enc_866, lib::enc_1251, lib::enc_utf8}) {
        constexpr std::size_t size = 5;
        const auto bytes = std::make_unique<char[]>(size);
        std::fill_n(bytes.get(), size, 'x');
        StrEncConverter conv(id);
        EXPECT_EQ(conv.decode(bytes.get(), size), "xxxxx") << id;
        EXPECT_EQ(conv.decode(bytes.get(), 2), "xx") << id;
        EXPECT_EQ(conv.decode(bytes.get(), 0), "") << id;
    }
}

TEST(StrEncConverter, EncodeOfEmptyTextLeavesOneZeroByte)
{
    StrEncConverter conv(lib::enc_1251);
    ByteBuffer out{'j', 'u', 'n', 'k'};
    const char* data = conv.encode("", out);
    EXPECT_EQ(out, ByteBuffer{'\0'});
    EXPECT_EQ(data, out.data());
}

TEST(StrEncConverter, ReusedBufferHoldsOnlyTheLatestText)
{
    StrEncConverter conv(lib::enc_utf8);
    ByteBuffer out;
    conv.encode("a longer text", out);
    conv.encode("ab", out);
    EXPECT_EQ(out, (ByteBuffer{'a', 'b', '\0'}));
    EXPECT_EQ(conv.decode("a longer text"), "a longer text");
    EXPECT_EQ(conv.decode("ab"), "ab");
}

TEST(StrEncConverter, WithoutConverterDecodesNothingAndEncodesOnlyTheZero)
{
    for (const auto id : {lib::enc_none, 4, -1, 1000}) {
        StrEncConverter conv(id);
        EXPECT_EQ(conv.converter(), nullptr) << id;
        EXPECT_EQ(conv.decode("abc"), "") << id;
        EXPECT_EQ(conv.decode("abc", 3), "") << id;
        ByteBuffer out;
        conv.encode("abc", out);
        EXPECT_EQ(out, ByteBuffer{'\0'}) << id;
    }
}

TEST(StrEncConverter, SettingTheCurrentEncodingKeepsTheConverterObject)
{
    StrEncConverter conv(lib::enc_1251);
    const lib::StrBufConverter* first = conv.converter();
    ASSERT_NE(first, nullptr);
    conv.set_encoding(lib::enc_1251);
    EXPECT_EQ(conv.converter(), first);

    conv.set_encoding(lib::enc_utf8);
    EXPECT_EQ(conv.encoding(), lib::enc_utf8);
    EXPECT_NE(dynamic_cast<const lib::StrEncConverterUTF8*>(conv.converter()), nullptr);
    conv.set_encoding(lib::enc_none);
    EXPECT_EQ(conv.converter(), nullptr);
}

struct WordCase {
    lib::StrEncoding id;
    std::string bytes;
};

void PrintTo(const WordCase& c, std::ostream* os)
{
    *os << "encoding " << c.id;
}

class CyrillicWord : public testing::TestWithParam<WordCase> {
protected:
    static constexpr const char* word = "Привет";
};

TEST_P(CyrillicWord, EncodesToTheCodePageBytesAndDecodesBack)
{
    StrEncConverter conv(GetParam().id);
    EXPECT_EQ(encoded(conv, word), GetParam().bytes);
    EXPECT_EQ(conv.decode(GetParam().bytes.c_str()), word);
}

INSTANTIATE_TEST_SUITE_P(StrEncConverter, CyrillicWord,
                         testing::Values(WordCase{lib::enc_1251, "\xCF\xF0\xE8\xE2\xE5\xF2"},
                                         WordCase{lib::enc_866, "\x8F\xE0\xA8\xA2\xA5\xE2"},
                                         WordCase{lib::enc_utf8, "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"}));

TEST(StrEncConverter, CharacterOutsideTheBasicPlaneSurvivesUtf8AndIsOneQuestionMarkIn1251)
{
    const std::string grinning = "\xF0\x9F\x98\x80"; // U+1F600
    StrEncConverter utf8(lib::enc_utf8);
    const std::string bytes = encoded(utf8, grinning);
    EXPECT_EQ(bytes.size(), 4u);
    EXPECT_EQ(utf8.decode(bytes.c_str()), grinning);

    StrEncConverter cp1251(lib::enc_1251);
    EXPECT_EQ(encoded(cp1251, "a" + grinning + "b"), "a?b");
}

// --- Code pages ------------------------------------------------------------------------

class CodePage : public testing::TestWithParam<lib::StrEncoding> {};

TEST_P(CodePage, EveryByteDecodesAndEncodesBackToItself)
{
    StrEncConverter conv(GetParam());
    for (int value = 1; value <= 0xFF; ++value) {
        const char byte[] = {static_cast<char>(value), '\0'};
        const std::string text = conv.decode(byte);
        if (GetParam() == lib::enc_1251 && value == 0x98) {
            // The one unassigned byte of 1251.
            EXPECT_EQ(text, replacement);
            EXPECT_EQ(encoded(conv, text), "?");
            continue;
        }
        EXPECT_TRUE(lib::is_valid_utf8(text)) << std::hex << value;
        EXPECT_EQ(encoded(conv, text), std::string(byte)) << std::hex << value;
    }
}

INSTANTIATE_TEST_SUITE_P(Cyrillic, CodePage, testing::Values(lib::enc_866, lib::enc_1251));

TEST(CodePage, KnownBytesDecodeToTheirCharacters)
{
    struct Case {
        lib::StrEncoding id;
        char byte;
        const char* text;
    };
    const std::vector<Case> cases = {
        {lib::enc_1251, '\x80', "Ђ"}, {lib::enc_1251, '\x88', "€"}, {lib::enc_1251, '\xA5', "Ґ"},
        {lib::enc_1251, '\xA8', "Ё"}, {lib::enc_1251, '\xB8', "ё"}, {lib::enc_1251, '\xB9', "№"},
        {lib::enc_1251, '\xC0', "А"}, {lib::enc_1251, '\xFF', "я"},
        {lib::enc_866, '\x80', "А"},  {lib::enc_866, '\xAF', "п"},  {lib::enc_866, '\xB0', "░"},
        {lib::enc_866, '\xE0', "р"},  {lib::enc_866, '\xF0', "Ё"},  {lib::enc_866, '\xF1', "ё"},
        {lib::enc_866, '\xFC', "№"},  {lib::enc_866, '\xFF', "\xC2\xA0"},
    };
    for (const Case& c : cases) {
        StrEncConverter conv(c.id);
        const char bytes[] = {c.byte, '\0'};
        EXPECT_EQ(conv.decode(bytes), c.text) << c.id << " " << std::hex << (c.byte & 0xFF);
    }
}

TEST(CodePage, CharactersMissingFromThePageBecomeQuestionMarks)
{
    struct Case {
        lib::StrEncoding id;
        std::string text;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {lib::enc_1251, "Ω", "?"},                 // Greek: not in the page
        {lib::enc_1251, "中文", "??"},
        {lib::enc_1251, replacement, "?"},         // never the unassigned 0x98
        {lib::enc_1251, "a\xFF" "b", "a?b"},       // ill-formed program text
        {lib::enc_1251, "a\xE2\x82" "b", "a?b"},   // truncated sequence: one piece
        {lib::enc_866, "€", "?"},
        {lib::enc_866, "Ґ", "?"},
        {lib::enc_866, "x\xC0\xAFy", "x??y"},      // overlong: two pieces
    };
    for (const Case& c : cases) {
        StrEncConverter conv(c.id);
        EXPECT_EQ(encoded(conv, c.text), c.bytes) << c.id << " " << c.text;
    }
}

// --- UTF-8 -----------------------------------------------------------------------------

struct Utf8Case {
    const char* name;
    std::string input;
    std::string decoded;
};

void PrintTo(const Utf8Case& c, std::ostream* os)
{
    *os << c.name;
}

class Utf8Sanitising : public testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Sanitising, DecodeAndEncodeReplaceEachIllFormedPiece)
{
    const Utf8Case& c = GetParam();
    StrEncConverter conv(lib::enc_utf8);
    EXPECT_EQ(conv.decode(c.input.c_str()), c.decoded);
    EXPECT_EQ(encoded(conv, c.input), c.decoded);
    EXPECT_EQ(lib::is_valid_utf8(c.input), c.input == c.decoded);
}

const std::string r = replacement; // short, for the table below

INSTANTIATE_TEST_SUITE_P(
    Utf8, Utf8Sanitising,
    testing::Values(Utf8Case{"Ascii", "plain", "plain"},
                    Utf8Case{"TwoByte", "\xC3\xA9", "\xC3\xA9"},
                    Utf8Case{"LargestBmp", "\xEF\xBF\xBF", "\xEF\xBF\xBF"},
                    Utf8Case{"LargestScalar", "\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},
                    Utf8Case{"StrayContinuation", "a\x80" "b", "a" + r + "b"},
                    Utf8Case{"ByteFF", "\xFF", r},
                    Utf8Case{"OverlongTwoByte", "\xC0\xAF", r + r},
                    Utf8Case{"OverlongThreeByte", "\xE0\x80\xAF", r + r + r},
                    Utf8Case{"OverlongFourByte", "\xF0\x80\x80\xAF", r + r + r + r},
                    Utf8Case{"Surrogate", "\xED\xA0\x80", r + r + r},
                    Utf8Case{"AboveMaximum", "\xF4\x90\x80\x80", r + r + r + r},
                    Utf8Case{"LeadF5", "\xF5\x80", r + r},
                    Utf8Case{"TruncatedAtEnd", "\xE2\x82", r},
                    Utf8Case{"TruncatedFourByte", "x\xF0\x9F\x98", "x" + r},
                    Utf8Case{"TruncatedBeforeAscii", "\xE2\x82" "A", r + "A"},
                    Utf8Case{"TruncatedBeforeLead", "\xE2\xD0\x96", r + "\xD0\x96"}),
    [](const testing::TestParamInfo<Utf8Case>& info) { return std::string(info.param.name); });

// --- Tokenizer and text helpers --------------------------------------------------------

TEST(Trim, DropsControlCharactersAndBlanksAtBothEndsOnly)
{
    EXPECT_EQ(lib::trim(" \t\r\n a \t b\x01 "), "a \t b");
    EXPECT_EQ(lib::trim("\xC2\xA0x\xC2\xA0"), "\xC2\xA0x\xC2\xA0"); // non-ASCII is not blank
    EXPECT_EQ(lib::trim(" \t "), "");
}

TEST(SplitString, ProducesTheExpectedPieces)
{
    struct Case {
        std::string text;
        char separator;
        std::vector<std::string> pieces;
    };
    const std::vector<Case> cases = {
        {"  a  \"b c\"  d ", ' ', {"a", "b c", "d"}},
        {"\"x", ' ', {"x"}},
        {"\"", ' ', {""}},
        {"\"ab\"cd", ' ', {"ab", "cd"}},
        {"a\tb c", ' ', {"a\tb", "c"}},
        {"Feb 15 2020", ' ', {"Feb", "15", "2020"}},
        {"", ' ', {}},
        {" \t ", ' ', {}},
        {"a,,b,", ',', {"a", "", "b"}},
        {" a , b", ',', {" a ", " b"}},
        {",", ',', {""}},
        {"a,b\r\nc\nd", ',', {"a", "b", "c", "d"}},   // the text's own line breaks split too
        {"a\r\nb", '\r', {"a", "", "b"}},             // a separator CR never pairs with LF
        {"", ',', {}},
        {"  ", ',', {}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> list = {"stale"};
        lib::split_string(c.text, list, c.separator);
        EXPECT_EQ(list, c.pieces) << "text [" << c.text << "] separator [" << c.separator << "]";
    }
}

TEST(StringContainer, CursorReadsTokensInTurnThenGivesEmpty)
{
    lib::StringContainer tokens;
    tokens.set_text("  one two  ", ' ');
    ASSERT_EQ(tokens.count(), 2);
    EXPECT_EQ(tokens.get(-1), "one");
    EXPECT_EQ(tokens.get(-1), "two");
    EXPECT_EQ(tokens.get(-1), "");
    EXPECT_EQ(tokens.get(1), "two");
    EXPECT_EQ(tokens.get(2), "");
    EXPECT_EQ(tokens.get(-2), "");

    tokens.set_text("x;y", ';');
    EXPECT_EQ(tokens.get(-1), "x"); // a new text starts the cursor over
}

TEST(ThirdWord, TakesTheThirdBlankSeparatedWord)
{
    EXPECT_EQ(lib::third_word("Feb 15 2020"), "2020");
    EXPECT_EQ(lib::third_word("  Feb  15   2020 12:00"), "2020");
    EXPECT_EQ(lib::third_word("Feb 15"), "");
}

TEST(Unquote, RemovesOneEnclosingQuoteAtEachEnd)
{
    struct Case {
        std::string text;
        std::string result;
    };
    const std::vector<Case> cases = {
        {"'ab'", "ab"},     {"  'ab' ", "ab"}, {"'ab", "'ab"},    {"ab'", "ab'"},
        {"   ", ""},        {"''", ""},        {"'", ""},         {"'''", "'"},
        {"\"ab\"", "\"ab\""},                  {"''ab''", "'ab'"},
    };
    for (const Case& c : cases) EXPECT_EQ(lib::unquote(c.text, '\''), c.result) << "[" << c.text << "]";
}

TEST(StrCharCvt, HoldsAWritableZeroTerminatedCopy)
{
    const std::string text = "prog \"a b\"";
    lib::StrCharCvt copy(text);
    EXPECT_EQ(copy.size(), text.size());
    EXPECT_STREQ(copy.data(), text.c_str());
    copy.data()[0] = 'P';
    EXPECT_EQ(text[0], 'p');
}

// --- Letter case and masks -------------------------------------------------------------

TEST(ToLower, LowersAsciiLatin1AndCyrillicOnly)
{
    struct Case {
        std::string text;
        std::string lower;
    };
    const std::vector<Case> cases = {
        {"ABC xyz 09", "abc xyz 09"},
        {"ÀÉÖ×ÞßÿŸ", "àéö×þßÿŸ"},          // × is not a letter; outside Latin-1 stays
        {"ПРИВЕТ, Мир", "привет, мир"},
        {"ЁЂЅЏ", "ёђѕџ"},                   // U+0400..U+040F
        {"ЄІЇҐ", "єіїґ"},                   // Ukrainian
        {"ѢѲҀ", "ѣѳҁ"},                     // U+0460..U+0481 pairs
        {"҂Ҋ", "҂ҋ"},                       // U+0482 is a sign; U+048A starts pairs again
        {"ӀӁӍӐӸ", "ӏӂӎӑӹ"},                  // palochka and the odd-upper block
        {"ёяӂ", "ёяӂ"},                     // lower stays lower
        {"A\xFF" "B\xE2\x82", "a\xFF" "b\xE2\x82"}, // ill-formed bytes pass through
        {"Ω😀", "Ω😀"},
    };
    for (const Case& c : cases) EXPECT_EQ(lib::to_lower(c.text), c.lower) << c.text;
}

TEST(EqualsIgnoreCase, ComparesCyrillicWithoutRegardToCase)
{
    EXPECT_TRUE(lib::equals_ignore_case("Ёлка", "ёЛКА"));
    EXPECT_TRUE(lib::equals_ignore_case("Їжак Ґанок", "їЖАК ґАНОК"));
    EXPECT_TRUE(lib::equals_ignore_case("", ""));
    EXPECT_FALSE(lib::equals_ignore_case("Ёлка", "Елка"));
    EXPECT_FALSE(lib::equals_ignore_case("abc", "abd"));
    EXPECT_FALSE(lib::equals_ignore_case("abc", "abcd"));
}

TEST(MaskMatches, MatchesNamesWithoutRegardToCase)
{
    struct Case {
        std::string mask;
        std::string name;
        bool matches;
    };
    const std::vector<Case> cases = {
        {"*.zreg", "X.ZREG", true},
        {"*.ZREG", "file.zreg", true},
        {"*.zreg", "file.zreg.bak", false},
        {"*.zreg", "zreg", false},
        {"*.*", "a.b", true},
        {"*.*", "noext", true},
        {"*", "anything.at.all", true},
        {"abc.*", "abc", true},
        {"abc.*", "abcd", false},
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"a?c", "aбc", true},               // '?' is one character, not one byte
        {"??", "б", false},
        {"Отчёт*.TXT", "ОТЧЁТ_1.txt", true},
        {"отчет*", "отчёт", false},
        {"a*b", "ab", true},
        {"a*b", "axxbyb", true},
        {"a*b", "axxbyc", false},
        {"*a*a*a*a*b", "aaaaab", true},
        {"*a*a*a*a*b", std::string(200, 'a'), false},
        {"", "", true},
        {"", "a", false},
        {"*x", "", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(lib::mask_matches(c.mask, c.name), c.matches) << c.mask << " vs " << c.name;
}

} // namespace
