#include <gtest/gtest.h>

#include <set>
#include <string>

#include "packing/album_walk.h"
#include "packing/entry_name.h"

namespace lormex {
namespace {

struct ExtensionCase {
  const char* label;
  std::string path;
  std::string extension;
  bool reencoded;
};

class ExtensionTest : public ::testing::TestWithParam<ExtensionCase> {};

TEST_P(ExtensionTest, FollowsTheExtensionRule) {
  const ExtensionCase& c = GetParam();
  EXPECT_EQ(PathExtension(c.path), c.extension);
  EXPECT_EQ(IsReencodedPicture(c.path), c.reencoded);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ExtensionTest,
    ::testing::Values(ExtensionCase{"LowerJpg", "/album/IMG_0001.jpg", "jpg", true},
                      ExtensionCase{"LowerJpeg", "/album/IMG_0001.jpeg", "jpeg", true},
                      ExtensionCase{"UpperJpgKeptAsIs", "/album/IMG_0001.JPG", "JPG", false},
                      ExtensionCase{"MixedCaseKeptAsIs", "/album/photo.Jpeg", "Jpeg", false},
                      ExtensionCase{"WholeNameIsDotJpg", "/album/.jpg", "", false},
                      ExtensionCase{"RelativeDotJpg", ".jpg", "", false},
                      ExtensionCase{"LastDotCounts", "/album/notes.jpg.txt", "txt", false},
                      ExtensionCase{"JpgAfterOtherExtension", "/album/x.txt.jpg", "jpg", true},
                      ExtensionCase{"BlankBeforeDot", "/album/my photo.jpg", "jpg", true},
                      ExtensionCase{"BlankAfterDot", "/album/photo.jp g", "", false},
                      ExtensionCase{"TrailingBlank", "/album/photo.jpg ", "", false},
                      ExtensionCase{"TrailingDot", "/album/photo.", "", false},
                      ExtensionCase{"DotOnlyInFolderName", "/album/Wedding 2016.05/IMG", "", false},
                      ExtensionCase{"DoubleDot", "/album/..jpg", "jpg", true},
                      ExtensionCase{"ChineseName", "/相册/婚礼.jpg", "jpg", true},
                      ExtensionCase{"BackslashIsAnOrdinaryCharacter", "/album/a\\b.jpg", "jpg",
                                    true},
                      ExtensionCase{"BackslashInsideExtension", "/album/a.jpg\\b", "jpg\\b", false},
                      ExtensionCase{"Empty", "", "", false}),
    [](const auto& test) { return std::string(test.param.label); });

struct NameCase {
  const char* label;
  std::string relative;
  std::string entry;
};

class EntryNameTest : public ::testing::TestWithParam<NameCase> {};

// Undoes the escaping of one component as the header comment describes it.
std::string Unescape(const std::string& component) {
  bool escaped = false;
  for (std::size_t i = 0; i + 2 < component.size(); ++i) {
    if (component[i] == '%' && std::isxdigit(static_cast<unsigned char>(component[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(component[i + 2]))) {
      escaped = true;
    }
  }
  if (!escaped) return component;
  std::string out;
  for (std::size_t i = 0; i < component.size(); ++i) {
    if (component[i] == '%' && i + 2 < component.size()) {
      out.push_back(static_cast<char>(std::stoi(component.substr(i + 1, 2), nullptr, 16)));
      i += 2;
    } else {
      out.push_back(component[i]);
    }
  }
  return out;
}

std::string UnescapeName(const std::string& name) {
  std::string out;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t slash = name.find('/', start);
    if (slash == std::string::npos) slash = name.size();
    if (!out.empty() || start > 0) out.push_back('/');
    out += Unescape(name.substr(start, slash - start));
    start = slash + 1;
  }
  return out;
}

bool IsValidUtf8(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    const std::size_t length = c < 0x80         ? 1
                               : (c >> 5) == 6  ? 2
                               : (c >> 4) == 14 ? 3
                               : (c >> 3) == 30 ? 4
                                                : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

TEST_P(EntryNameTest, GivesTheSafeLosslessName) {
  const NameCase& c = GetParam();
  const std::string entry = EntryName(c.relative);
  EXPECT_EQ(entry, c.entry);

  // Whatever the input, the result extracts inside the target folder on Windows and Linux.
  EXPECT_TRUE(IsValidUtf8(entry));
  EXPECT_NE(entry.front(), '/');
  EXPECT_EQ(entry.find_first_of("\\:<>\"|?*\x7f"), std::string::npos);
  for (char ch : entry) EXPECT_GE(static_cast<unsigned char>(ch), 0x20);
  std::size_t start = 0;
  while (start <= entry.size()) {
    std::size_t slash = entry.find('/', start);
    if (slash == std::string::npos) slash = entry.size();
    const std::string component = entry.substr(start, slash - start);
    EXPECT_FALSE(component.empty());
    EXPECT_NE(component.find_first_not_of(". "), std::string::npos) << component;
    start = slash + 1;
  }
}

TEST_P(EntryNameTest, CanBeTurnedBackIntoTheRelativePath) {
  const NameCase& c = GetParam();
  std::string canonical;  // the relative path without empty components
  for (std::size_t start = 0; start <= c.relative.size();) {
    std::size_t slash = c.relative.find('/', start);
    if (slash == std::string::npos) slash = c.relative.size();
    if (slash > start) {
      if (!canonical.empty()) canonical.push_back('/');
      canonical += c.relative.substr(start, slash - start);
    }
    start = slash + 1;
  }
  EXPECT_EQ(UnescapeName(EntryName(c.relative)), canonical);
}

const NameCase kNames[] = {
    {"FileInAlbumFolder", "IMG_0001.jpg", "IMG_0001.jpg"},
    {"Nested", "Ceremony/Family/IMG_0101.jpg", "Ceremony/Family/IMG_0101.jpg"},
    {"Chinese", "婚礼/照片 01.jpg", "婚礼/照片 01.jpg"},
    {"FourByteCharacter", "\xF0\x9F\x98\x80.jpg", "\xF0\x9F\x98\x80.jpg"},
    {"HiddenFile", ".thumbnails/a.png", ".thumbnails/a.png"},
    {"GbkFileName", "\xBB\xE9\xC0\xF1.jpg", "%BB%E9%C0%F1.jpg"},  // 婚礼 in GBK
    // C6 AC happens to be valid UTF-8 (U+01AC) and is kept; the name stays lossless.
    {"GbkPartlyValidUtf8", "\xD5\xD5\xC6\xAC.jpg", "%D5%D5\xC6\xAC.jpg"},
    {"GbkFolderOnlyThatComponent", "\xD5\xD5/照片.jpg", "%D5%D5/照片.jpg"},
    {"GbkWithPercent", "100%\xD5\xD5.jpg", "100%25%D5%D5.jpg"},
    {"Backslash", "a\\b.jpg", "a%5Cb.jpg"},
    {"DriveColon", "C:evil.jpg", "C%3Aevil.jpg"},
    {"WindowsForbidden", "a<b>c\"d|e?f*g", "a%3Cb%3Ec%22d%7Ce%3Ff%2Ag"},
    {"ControlCharacters", "tab\there\x01\x7F", "tab%09here%01%7F"},
    {"Newline", "line\nbreak.txt", "line%0Abreak.txt"},
    {"ParentComponent", "../x.jpg", "%2E%2E/x.jpg"},
    {"ParentInside", "a/../b", "a/%2E%2E/b"},
    {"CurrentComponent", "./x", "%2E/x"},
    {"ThreeDots", ".../x", "%2E%2E%2E/x"},
    {"DotsAndBlank", ".. /x", "%2E%2E%20/x"},
    {"BlankOnly", " /x", "%20/x"},
    {"DotsInsideNameKept", "..a/b..", "..a/b.."},
    {"LeadingSlash", "/abs/x", "abs/x"},
    {"DoubleSlash", "a//b", "a/b"},
    {"PlainPercentKept", "100%.jpg", "100%.jpg"},
    {"PercentWithoutHexKept", "50%OFF.jpg", "50%OFF.jpg"},
    {"EscapeLookalikeEscaped", "photo%20one.jpg", "photo%2520one.jpg"},
    {"LookalikeOfBackslash", "a%5C", "a%255C"},
    {"RealBackslash", "a\\", "a%5C"},
    {"Overlong", "\xC0\xAF", "%C0%AF"},
    {"Surrogate", "\xED\xA0\x80", "%ED%A0%80"},
    {"AboveUnicode", "\xF4\x90\x80\x80", "%F4%90%80%80"},
    {"TruncatedSequence", "\xE4\xB8", "%E4%B8"},
    {"LoneContinuation", "a\x80z", "a%80z"},
};

INSTANTIATE_TEST_SUITE_P(Names, EntryNameTest, ::testing::ValuesIn(kNames),
                         [](const auto& test) { return std::string(test.param.label); });

TEST(EntryNameTest, DifferentPathsNeverShareAName) {
  std::set<std::string> names;
  for (const NameCase& c : kNames) names.insert(EntryName(c.relative));
  EXPECT_EQ(names.size(), std::size(kNames));
}

}  // namespace
}  // namespace lormex
