#include <gtest/gtest.h>

#include <optional>

#include "content/RangeHeader.h"
#include "content/ResourceServer.h"

namespace tavrelle {
namespace {

std::optional<ByteRange> Parse(std::string_view value, uint64_t size = 500) {
  return ResourceServer::parseRange(value, size);
}

TEST(ParseRange, TheThreeForms) {
  EXPECT_EQ(Parse("bytes=100-199"), (ByteRange{100, 199}));
  EXPECT_EQ(Parse("bytes=0-"), (ByteRange{0, 499}));
  EXPECT_EQ(Parse("bytes=-100"), (ByteRange{400, 499}));
  // The first byte alone is a range, not a failure.
  EXPECT_EQ(Parse("bytes=0-0"), (ByteRange{0, 0}));
}

TEST(ParseRange, OnlyTheFirstRangeOfAListCounts) {
  EXPECT_EQ(Parse("bytes=0-99,200-299"), (ByteRange{0, 99}));
}

TEST(ParseRange, UnsatisfiableValues) {
  for (const char* value : {"bytes=400-500", "bytes=500-", "bytes=-501", "bytes=5-3", "Bytes=0-1",
                            "bytes=-0", "bytes=x-5", "bytes=5", "bytes=5-x", "bytes=--5"}) {
    EXPECT_EQ(Parse(value), std::nullopt) << value;
  }
  // Every range of an empty resource.
  EXPECT_EQ(Parse("bytes=-1", 0), std::nullopt);
}

TEST(ParseRange, NumbersAreReadLikeStrtol) {
  EXPECT_EQ(Parse("bytes= 5-\t9"), (ByteRange{5, 9}));
  EXPECT_EQ(Parse("bytes=5x-9y"), (ByteRange{5, 9}));
  // The suffix count stops at its first non-digit.
  EXPECT_EQ(Parse("bytes=-5-"), (ByteRange{495, 499}));
  // A negative number widens to a huge unsigned value and fails the bounds.
  EXPECT_EQ(Parse("bytes=1--1"), std::nullopt);
}

TEST(ParseRange, PositionsBeyond2GiBServeLargeFilesAndFailSmallOnes) {
  const uint64_t huge = uint64_t{1} << 40;
  EXPECT_EQ(Parse("bytes=2147483648-", huge), (ByteRange{2147483648, huge - 1}));
  // On a file below 2 GiB such numbers fail the bounds, as 32-bit numbers did.
  EXPECT_EQ(Parse("bytes=2147483648-"), std::nullopt);
  EXPECT_EQ(Parse("bytes=-2147483648"), std::nullopt);
  // Beyond 64 signed bits: no number at all, not a wrapped one.
  EXPECT_EQ(Parse("bytes=18446744073709551617-", huge), std::nullopt);
}

TEST(TrimRangeValue, RemovesTheSixWhiteSpaceBytesAtBothEnds) {
  EXPECT_EQ(TrimRangeValue(" \t\n\v\f\rbytes=1-2\r\n\f\v\t "), "bytes=1-2");
  EXPECT_EQ(TrimRangeValue("bytes= 1 - 2"), "bytes= 1 - 2");
  EXPECT_EQ(TrimRangeValue(std::string_view("\0bytes=1-2", 10)).size(), 10U);
}

}  // namespace
}  // namespace tavrelle
