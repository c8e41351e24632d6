#include <gtest/gtest.h>

#include "content/MimeTable.h"

namespace tavrelle {
namespace {

constexpr const char* kDefault = "application/octet-stream";

TEST(MimeTable, ExtensionIsLowerCasedBeforeTheLookup) {
  EXPECT_EQ(MimeTable::lookup("index.HTML"), "text/html; charset=utf-8");
  EXPECT_EQ(MimeTable::lookup("scripts/main.js"), "application/javascript; charset=utf-8");
  EXPECT_EQ(MimeTable::lookup("a.OPUS"), "audio/ogg; codecs=opus");
}

TEST(MimeTable, ExtensionRunsFromTheLastDotOfTheWholePath) {
  EXPECT_EQ(MimeTable::lookup("archive.tar.gz"), kDefault);
  EXPECT_EQ(MimeTable::lookup("images.png/LICENSE"), kDefault);
  EXPECT_EQ(MimeTable::lookup("page?x=a.json"), "application/json; charset=utf-8");
}

TEST(MimeTable, MissingOrUnknownExtensionsGiveTheDefault) {
  EXPECT_EQ(MimeTable::lookup(""), kDefault);
  EXPECT_EQ(MimeTable::lookup("trailing."), kDefault);
  EXPECT_EQ(MimeTable::lookup("x.j"), kDefault);    // a prefix of ".js"
  EXPECT_EQ(MimeTable::lookup("x.jsx"), kDefault);  // ".js" is a prefix of it
  // Only A to Z are lower-cased: the Kelvin sign (U+212A) does not become a "k".
  EXPECT_EQ(MimeTable::lookup("song.\u212AAR"), kDefault);
  EXPECT_EQ(MimeTable::lookup("song.KAR"), "audio/midi");
}

}  // namespace
}  // namespace tavrelle
