#include <gtest/gtest.h>

#include <cstring>

#include "platform/chromium/Base64.h"
#include "platform/chromium/RequestInterception.h"
#include "platform/chromium/ResponseHeaders.h"

namespace tavrelle::chromium {
namespace {

using Headers = std::vector<std::pair<std::string, std::string>>;

TEST(ResponseHeadersTest, BlockSplitsIntoNamesAndValuesAndOddLinesAreSkipped) {
  EXPECT_EQ(parseHeaderBlock("Content-Type: text/html; charset=utf-8\r\nno colon\n: nameless\n"
                             "B:  spaced  \n\nC:\nX-Time: 12:30:00"),
            (Headers{{"Content-Type", "text/html; charset=utf-8"},
                     {"B", "spaced"},
                     {"C", ""},
                     {"X-Time", "12:30:00"}}));
  EXPECT_TRUE(parseHeaderBlock("").empty());
}

TEST(InterceptionPatternTest, PrefixWildcardsAreEscaped) {
  EXPECT_EQ(interceptionPatternFor("https://tavrelle.localhost/"), "https://tavrelle.localhost/*");
  EXPECT_EQ(interceptionPatternFor("https://a.localhost/?q*\\"),
            "https://a.localhost/\\?q\\*\\\\*");
}

std::string base64Of(std::string_view text) {
  std::string out;
  appendBase64(std::as_bytes(std::span(text.data(), text.size())), out);
  return out;
}

TEST(Base64Test, KnownVectorsWithPadding) {
  EXPECT_EQ(base64Of(""), "");
  EXPECT_EQ(base64Of("f"), "Zg==");
  EXPECT_EQ(base64Of("fo"), "Zm8=");
  EXPECT_EQ(base64Of("foobar"), "Zm9vYmFy");
  EXPECT_EQ(base64Of(std::string("\xff\xfe\x00", 3)), "//4A");
  EXPECT_EQ(base64Length(4), 8u);
}

// A body that hands out at most a few bytes per read and can fail at a given offset.
class TrickleBody final : public webview::ResponseBody {
 public:
  TrickleBody(std::string bytes, uint64_t failAt) : bytes_(std::move(bytes)), failAt_(failAt) {}
  [[nodiscard]] uint64_t size() const override { return bytes_.size(); }
  size_t read(uint64_t offset, std::span<std::byte> out) const override {
    if (offset >= failAt_ || offset >= bytes_.size()) return 0;
    size_t count = std::min<size_t>({out.size(), bytes_.size() - offset, 7});
    std::memcpy(out.data(), bytes_.data() + offset, count);
    return count;
  }

 private:
  std::string bytes_;
  uint64_t failAt_;
};

TEST(Base64Test, BodyReadInPiecesEncodesLikeOneBlockAndEndingEarlyFails) {
  std::string bytes;
  for (int i = 0; i < 5000; ++i) bytes.push_back(static_cast<char>(i * 13));
  std::string out = "prefix";
  ASSERT_TRUE(appendBase64(TrickleBody(bytes, UINT64_MAX), out));
  EXPECT_EQ(out, "prefix" + base64Of(bytes));
  EXPECT_FALSE(appendBase64(TrickleBody(bytes, 50), out));
}

}  // namespace
}  // namespace tavrelle::chromium
