#include "packing/jpeg_markers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace lormex {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes IccPiece(int sequence, int count, const std::string& data) {
  Bytes out = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
  out.push_back(std::uint8_t(sequence));
  out.push_back(std::uint8_t(count));
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

std::string Assembled(const JpegMarkers& markers) {
  Bytes profile;
  EXPECT_TRUE(markers.AssembleIccProfile(&profile));
  return std::string(profile.begin(), profile.end());
}

struct IccCase {
  const char* name;
  std::vector<Bytes> pieces;
  std::string expected;  // empty: no profile
};

class IccAssemblyTest : public ::testing::TestWithParam<IccCase> {};

TEST_P(IccAssemblyTest, JoinsOnlyACompleteSetOfPieces) {
  JpegMarkers markers;
  for (const Bytes& piece : GetParam().pieces) ASSERT_TRUE(markers.AddApp2(piece));
  EXPECT_EQ(Assembled(markers), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IccAssemblyTest,
    ::testing::Values(IccCase{"OnePiece", {IccPiece(1, 1, "whole")}, "whole"},
                      IccCase{"InOrder",
                              {IccPiece(1, 3, "ab"), IccPiece(2, 3, "cd"), IccPiece(3, 3, "ef")},
                              "abcdef"},
                      IccCase{"OutOfOrder",
                              {IccPiece(3, 3, "ef"), IccPiece(1, 3, "ab"), IccPiece(2, 3, "cd")},
                              "abcdef"},
                      IccCase{"OtherApp2Ignored",
                              {Bytes{'M', 'P', 'F', 0, 1, 2}, IccPiece(1, 1, "whole")},
                              "whole"},
                      IccCase{"MissingPiece", {IccPiece(1, 3, "ab"), IccPiece(3, 3, "ef")}, ""},
                      IccCase{"RepeatedPiece",
                              {IccPiece(1, 2, "ab"), IccPiece(1, 2, "ab"), IccPiece(2, 2, "c")},
                              ""},
                      IccCase{"CountsDisagree", {IccPiece(1, 2, "ab"), IccPiece(2, 3, "cd")}, ""},
                      IccCase{"SequenceZero", {IccPiece(0, 1, "ab")}, ""},
                      IccCase{"SequenceBeyondCount", {IccPiece(2, 1, "ab")}, ""},
                      IccCase{"HeaderCutShort",
                              {Bytes{'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, 1}},
                              ""}),
    [](const ::testing::TestParamInfo<IccCase>& row) { return row.param.name; });

TEST(JpegMarkersTest, KeepsTheFirstExifBlockOnly) {
  JpegMarkers markers;
  ASSERT_TRUE(markers.AddApp1(Bytes{'h', 't', 't', 'p', ':', '/', '/'}));  // XMP, not Exif
  ASSERT_TRUE(markers.AddApp1(Bytes{'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 1}));
  ASSERT_TRUE(markers.AddApp1(Bytes{'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 2}));
  EXPECT_EQ(Bytes(markers.exif().begin(), markers.exif().end()), (Bytes{'M', 'M', 1}));
  markers.Clear();
  EXPECT_TRUE(markers.exif().empty());
  ASSERT_TRUE(markers.AddApp1(Bytes{'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 2}));
  EXPECT_EQ(markers.exif().size(), 3u);
}

TEST(JpegMarkersTest, ClearForgetsAnUnfinishedProfile) {
  JpegMarkers markers;
  ASSERT_TRUE(markers.AddApp2(IccPiece(1, 2, "ab")));
  markers.Clear();
  ASSERT_TRUE(markers.AddApp2(IccPiece(2, 2, "cd")));
  EXPECT_EQ(Assembled(markers), "");
  ASSERT_TRUE(markers.AddApp2(IccPiece(1, 2, "ab")));
  EXPECT_EQ(Assembled(markers), "abcd");
}

TEST(JpegMarkersTest, RecognisesRgbProfilesByTheirColourSpace) {
  Bytes profile(128, 0);
  EXPECT_FALSE(IsRgbIccProfile(profile));
  std::copy_n("RGB ", 4, profile.begin() + 16);
  EXPECT_TRUE(IsRgbIccProfile(profile));
  EXPECT_FALSE(IsRgbIccProfile(Bytes(profile.begin(), profile.begin() + 127)));
  std::copy_n("GRAY", 4, profile.begin() + 16);
  EXPECT_FALSE(IsRgbIccProfile(profile));
}

}  // namespace
}  // namespace lormex
