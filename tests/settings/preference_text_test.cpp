#include "settings/preference_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "tests/settings/preference_test_support.h"

namespace lormex {

// Lets failures show entries readably.
std::ostream& operator<<(std::ostream& out, const PreferenceEntry& entry) {
  static const char* const kKinds[] = {"group", "comment", "key", "other"};
  return out << kKinds[static_cast<int>(entry.kind)] << "(\"" << entry.name << "\", \""
             << entry.text << "\")";
}

namespace {

using testing::MakeSettings;
using Kind = PreferenceEntryKind;

PreferenceEntry Group(std::string name) { return {Kind::kGroup, std::move(name), {}}; }
PreferenceEntry Comment(std::string text) { return {Kind::kComment, {}, std::move(text)}; }
PreferenceEntry Key(std::string name, std::string value) {
  return {Kind::kKey, std::move(name), std::move(value)};
}
PreferenceEntry Other(std::string line) { return {Kind::kOther, {}, std::move(line)}; }

struct ParseCase {
  const char* name;
  std::string bytes;
  std::vector<PreferenceEntry> entries;
};

class ParseTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseTest, GivesTheEntriesOfEveryLine) {
  const ParseCase& c = GetParam();
  EXPECT_EQ(ParsePreferenceText(c.bytes).entries, c.entries);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ParseTest,
    ::testing::Values(
        ParseCase{"Empty", "", {}}, ParseCase{"SignatureOnly", "\xEF\xBB\xBF", {}},
        ParseCase{"ShortSignatureIsLatin1", "\xEF\xBB", {Other("\xC3\xAF\xC2\xBB")}},
        ParseCase{"SignatureThenText", "\xEF\xBB\xBF\r\n[Option]\r\n", {Group("Option")}},
        ParseCase{
            "CommentDropsOneBlank",
            "; note\n;note\n;  two\n \t; indented\n;\n",
            {Comment("note"), Comment("note"), Comment(" two"), Comment("indented"), Comment("")}},
        ParseCase{"GroupHeaders",
                  "[Option]\n  [Other] tail ]\n[Open\n[]\n[ spaced ]\n",
                  {Group("Option"), Group("Other"), Group("Open"), Group(""), Group(" spaced ")}},
        ParseCase{"KeySpacing",
                  "Studio=Bright\n  Studio \t=\t  Bright Side \t\nStudio =\n= lone\na = b = c\n",
                  {Key("Studio", "Bright"), Key("Studio", "Bright Side \t"), Key("Studio", ""),
                   Key("", "lone"), Key("a", "b = c")}},
        ParseCase{"LinesWithoutEqualsKeptWhole",
                  "just words\n  indented words \t\n",
                  {Other("just words"), Other("  indented words \t")}},
        ParseCase{"BlankOnlyLinesVanish", " \t \n\t\n[Option]\n   ", {Group("Option")}},
        ParseCase{"AnyRunOfLineBreaksIsOne",
                  "\r\n\r\na=1\r\r\n\n\nb=2\rc=3",
                  {Key("a", "1"), Key("b", "2"), Key("c", "3")}},
        ParseCase{"Latin1WithoutSignature",
                  "Studio=Caf\xE9 M\xFCller\n; \xA9\n",
                  {Key("Studio", "Caf\xC3\xA9 M\xC3\xBCller"), Comment("\xC2\xA9")}},
        ParseCase{"Utf8WithoutSignature",
                  "Studio=\xE5\x85\x89\xE5\xBD\xB1\n",
                  {Key("Studio", "\xE5\x85\x89\xE5\xBD\xB1")}},
        ParseCase{"OverlongUtf8IsLatin1", "k=\xC0\xAF\n", {Key("k", "\xC3\x80\xC2\xAF")}},
        ParseCase{"LoneContinuationByteIsLatin1", "k=\xA9\n", {Key("k", "\xC2\xA9")}},
        ParseCase{
            "EncodedSurrogateIsLatin1", "k=\xED\xA0\x80\n", {Key("k", "\xC3\xAD\xC2\xA0\xC2\x80")}},
        ParseCase{"TruncatedUtf8IsLatin1", "k=\xE5\x85\n", {Key("k", "\xC3\xA5\xC2\x85")}},
        ParseCase{"BytesBehindSignatureKeptAsTheyAre",
                  "\xEF\xBB\xBFk=\xFF\xC0\n",
                  {Key("k", "\xFF\xC0")}},
        ParseCase{
            "NulBytesAreOrdinary", std::string("k=a\0b\n", 6), {Key("k", std::string("a\0b", 3))}}),
    [](const auto& row) { return std::string(row.param.name); });

struct IntegerCase {
  const char* name;
  const char* value;
  std::int32_t expected;
};

class IntegerTest : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(IntegerTest, TakesTheLeadingNumber) {
  EXPECT_EQ(ParsePreferenceInteger(GetParam().value), GetParam().expected);
}

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

INSTANTIATE_TEST_SUITE_P(
    Values, IntegerTest,
    ::testing::Values(IntegerCase{"Plain", "85", 85}, IntegerCase{"TrailingText", "85abc", 85},
                      IntegerCase{"TrailingBlanks", "85  ", 85},
                      IntegerCase{"NotANumber", "high", 0}, IntegerCase{"Empty", "", 0},
                      IntegerCase{"Negative", "-5", -5}, IntegerCase{"Plus", "+7", 7},
                      IntegerCase{"LeadingWhiteSpace", " \t\v12", 12},
                      IntegerCase{"LeadingZeros", "007", 7}, IntegerCase{"SignAlone", "-", 0},
                      IntegerCase{"BlankAfterSign", "- 5", 0}, IntegerCase{"DoubleSign", "--5", 0},
                      IntegerCase{"Exponent", "1e3", 1}, IntegerCase{"Hex", "0x10", 0},
                      IntegerCase{"FullWidthDigit", "\xEF\xBC\x93", 0},
                      IntegerCase{"Largest", "2147483647", kMax},
                      IntegerCase{"JustAboveLargest", "2147483648", kMax},
                      IntegerCase{"Smallest", "-2147483648", kMin},
                      IntegerCase{"JustBelowSmallest", "-2147483649", kMin},
                      IntegerCase{"WrapsToSmallNumberIfNotClamped", "4294967297", kMax},
                      IntegerCase{"Huge", "99999999999999999999999999999999", kMax},
                      IntegerCase{"HugeNegative", "-99999999999999999999999999999", kMin}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(PreferenceNamesTest, IgnoreOnlyTheCaseOfAsciiLetters) {
  EXPECT_TRUE(PreferenceNamesEqual("Option", "OPTION"));
  EXPECT_TRUE(PreferenceNamesEqual("imagequality", "ImageQuality"));
  EXPECT_TRUE(PreferenceNamesEqual("", ""));
  EXPECT_FALSE(PreferenceNamesEqual("Option ", "Option"));
  EXPECT_FALSE(PreferenceNamesEqual("Options", "Option"));
  // "[" and "{" differ from "{" and "[" only by the bit that folds ASCII case.
  EXPECT_FALSE(PreferenceNamesEqual("a[", "a{"));
  EXPECT_FALSE(PreferenceNamesEqual("\xC3\x96ption", "\xC3\xB6ption"));  // Ö and ö
}

struct ReadCase {
  const char* name;
  std::string bytes;
  Settings expected;
};

class ReadSettingsTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadSettingsTest, FindsTheFirstGroupAndKey) {
  EXPECT_EQ(ReadSettingsFrom(ParsePreferenceText(GetParam().bytes)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ReadSettingsTest,
    ::testing::Values(
        ReadCase{"NoGroupGivesDefaults", "Studio = Stray\n[Other]\nStudio = Foreign\n", Settings{}},
        ReadCase{"KeysAboveTheFirstGroupBelongToNone",
                 "Studio = Stray\n[Option]\nImageQuality = 50\n",
                 MakeSettings("", "", 50, 2000, 0)},
        ReadCase{"FirstGroupAndFirstKeyWin",
                 "[option]\nStudio = First\nStudio = Second\n[OPTION]\nImageQuality = 50\n",
                 MakeSettings("", "First", 70, 2000, 0)},
        ReadCase{"SectionEndsAtTheNextGroup",
                 "[Option]\nStudio = Own\n[Other]\nImageQuality = 50\n",
                 MakeSettings("", "Own", 70, 2000, 0)},
        ReadCase{"CommentsAndOtherLinesAreNoKeys",
                 "[Option]\n;Studio = Commented\nImageQuality\nStudio = Real\n",
                 MakeSettings("", "Real", 70, 2000, 0)},
        ReadCase{"EmptyValueIsZeroNotTheDefault", "[Option]\nImageMaxWidth =\nImageQuality = \t\n",
                 MakeSettings("", "", 0, 0, 0)},
        ReadCase{"TextKeepsTrailingBlanks", "[Option]\nOutFolder =  /out/ \nStudio=\tA = B\t\n",
                 MakeSettings("/out/ ", "A = B\t", 70, 2000, 0)},
        ReadCase{"AllFive",
                 "[Option]\r\nOutFolder = /srv/out/\r\nStudio = Bright\r\nImageQuality = "
                 "85\r\nImageMaxWidth = 3000\r\nFinishedOpenFolder = 1\r\n",
                 MakeSettings("/srv/out/", "Bright", 85, 3000, 1)}),
    [](const auto& row) { return std::string(row.param.name); });

// Random files built from the characters that mean something to the reader.
std::string RandomPreferenceBytes(std::mt19937& random) {
  static const std::string kPieces[] = {"[",
                                        "]",
                                        ";",
                                        "=",
                                        " ",
                                        "\t",
                                        "\r",
                                        "\n",
                                        "\r\n",
                                        "Option",
                                        "option",
                                        "Studio",
                                        "OutFolder",
                                        "ImageQuality",
                                        "7",
                                        "-",
                                        "x",
                                        "\xEF\xBB\xBF",
                                        "\xC3\xA9",
                                        "\xE9",
                                        "\xFF",
                                        "\xE5\x85\x89",
                                        std::string(1, '\0')};
  std::uniform_int_distribution<std::size_t> piece(0, std::size(kPieces) - 1);
  std::uniform_int_distribution<int> length(0, 60);
  std::string bytes;
  for (int n = length(random); n > 0; --n) bytes += kPieces[piece(random)];
  return bytes;
}

bool IsOneOfTheFiveKeys(const PreferenceEntry& entry) {
  if (entry.kind != Kind::kKey) return false;
  for (const char* name :
       {"OutFolder", "Studio", "ImageQuality", "ImageMaxWidth", "FinishedOpenFolder"}) {
    if (PreferenceNamesEqual(entry.name, name)) return true;
  }
  return false;
}

// What a file read back after any number of saves must still hold: the same text, and every entry
// in its order except the values of the five keys, which the save is there to change.
TEST(PreferenceRoundTripTest, WrittenFilesReadBackUnchangedAndKeepEveryEntry) {
  std::mt19937 random(20240611);
  const Settings saved = MakeSettings("/srv/out/", "Bright \t", -3, 2147483647, 1);
  for (int round = 0; round < 3000; ++round) {
    const std::string bytes = RandomPreferenceBytes(random);
    SCOPED_TRACE(::testing::PrintToString(bytes));
    const PreferenceFile original = ParsePreferenceText(bytes);

    const std::string written = SerializePreferenceFile(original);
    EXPECT_EQ(ParsePreferenceText(written), original);

    PreferenceFile updated = original;
    WriteSettingsInto(saved, updated);
    const std::string saved_bytes = SerializePreferenceFile(updated);
    EXPECT_EQ(ParsePreferenceText(saved_bytes), updated);
    EXPECT_EQ(ReadSettingsFrom(updated), saved);

    // The original entries are a subsequence of the updated ones; only the five keys may differ,
    // and only in the letter case of the name and in the value.
    std::size_t next = 0;
    for (const PreferenceEntry& entry : original.entries) {
      while (next < updated.entries.size() &&
             !(updated.entries[next] == entry ||
               (IsOneOfTheFiveKeys(entry) && updated.entries[next].kind == Kind::kKey &&
                PreferenceNamesEqual(updated.entries[next].name, entry.name)))) {
        ++next;
      }
      ASSERT_LT(next, updated.entries.size()) << "lost " << entry;
      ++next;
    }
  }
}

TEST(PreferenceTextTest, HandlesHugeLinesAndManyBreaks) {
  const std::string value(4 << 20, 'x');
  const std::string bytes = "[Option]\n" + std::string(1 << 20, '\n') + "Studio = " + value +
                            std::string(1 << 20, '\r') + "\xFF";
  const PreferenceFile file = ParsePreferenceText(bytes);
  ASSERT_EQ(file.entries.size(), 3u);
  EXPECT_EQ(ReadSettingsFrom(file).Studio, value);
  EXPECT_EQ(file.entries[2], Other("\xC3\xBF"));
}

TEST(PreferenceTextTest, ValueWithLineBreakLeavesItsKeyAsItWas) {
  PreferenceFile file = ParsePreferenceText("[Option]\nstudio = Old\n; end\n");
  WriteSettingsInto(MakeSettings("/a\n/", "New\rLine", 70, 2000, 0), file);
  const std::vector<PreferenceEntry> expected = {
      Group("Option"),           Key("studio", "Old"),         Comment("end"),
      Key("ImageQuality", "70"), Key("ImageMaxWidth", "2000"), Key("FinishedOpenFolder", "0"),
  };
  EXPECT_EQ(file.entries, expected);
}

}  // namespace
}  // namespace lormex
