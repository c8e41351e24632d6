#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <optional>
#include <vector>
#include <string>

#include "content/BundleArchive.h"
#include "content/ResourceServer.h"
#include "support/BundleBuilder.h"
#include "support/TempDir.h"

namespace tavrelle {
namespace {

using webview::WebResourceResponse;

constexpr const char* kOrigin = "https://tavrelle.localhost/";
constexpr uint64_t kTwoMiB = 2 * 1024 * 1024;

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t index = 0; index < size; ++index) bytes[index] = static_cast<char>(index % 251);
  return bytes;
}

std::string BodyText(const WebResourceResponse& response) {
  std::string text, block(100000, '\0');
  while (size_t got =
             response.content->read(text.size(), std::as_writable_bytes(std::span(block)))) {
    text.append(block, 0, got);
  }
  return text;
}

// The status line and header block of a response.
std::string Head(const WebResourceResponse& response) {
  return std::to_string(response.statusCode) + " " + response.reasonPhrase + "\n" +
         response.headers;
}

class ResourceServerTest : public ::testing::Test {
 protected:
  ResourceServerTest() : server_(kOrigin, dir_.makeFolder("www") + "/", bundle_) {}

  void useBundle(const test::BundleBuilder& builder) {
    bundleBytes_ = builder.build();
    bundle_.openMemory(test::BytesOf(bundleBytes_), bundleBytes_.size());
  }
  void writeWebFile(const std::string& path, const std::string& content) {
    dir_.writeFile("www/" + path, content);
  }

  WebResourceResponse get(const std::string& path, std::optional<std::string> range = {}) {
    std::vector<std::pair<std::string, std::string>> headers{{"If-None-Match", "\"x\""}};
    if (range) headers.emplace_back("Range", *range);
    return server_.respond({kOrigin + path, "GET", webview::HttpRequestHeaders(headers)});
  }

  test::TempDir dir_;
  std::string bundleBytes_;
  BundleArchive bundle_;
  ResourceServer server_;
};

void ExpectNotFound(const WebResourceResponse& response) {
  EXPECT_EQ(Head(response), "404 Not Found\nCache-Control: no-store");
  ASSERT_TRUE(response.content);
  EXPECT_EQ(BodyText(response), "File not found");
}

TEST_F(ResourceServerTest, StartPageFromTheBundleWithExactHeaders) {
  useBundle(test::BundleBuilder().addFile("other.js", "x").addFile("index.html", "<html></html>"));
  webview::WebResourceRequestedEventArgs args({std::string(kOrigin) + "index.html", "GET", {}},
                                              webview::WebResourceContext::Document);
  server_.handleRequest(args);
  ASSERT_TRUE(args.get_Response());
  const WebResourceResponse& response = *args.get_Response();
  EXPECT_EQ(Head(response),
            "200 OK\nCache-Control: no-store\nContent-Type: text/html; charset=utf-8\n"
            "Accept-Ranges: bytes\nContent-Length: 13");
  EXPECT_EQ(BodyText(response), "<html></html>");
}

TEST_F(ResourceServerTest, BundleWinsOverTheFolder) {
  useBundle(test::BundleBuilder().addFile("data.json", "{\"from\":\"bundle\"}"));
  writeWebFile("data.json", "{}");
  writeWebFile("only-folder.txt", "disk");
  EXPECT_EQ(BodyText(get("data.json")), "{\"from\":\"bundle\"}");
  EXPECT_EQ(BodyText(get("only-folder.txt")), "disk");
}

TEST_F(ResourceServerTest, QueryStringIsPartOfThePath) {
  writeWebFile("main.js", "plain");
  ExpectNotFound(get("main.js?v=2"));
  writeWebFile("main.js?v=2", "versioned");
  const WebResourceResponse response = get("main.js?v=2");
  EXPECT_EQ(BodyText(response), "versioned");
  EXPECT_NE(response.headers.find("Content-Type: application/octet-stream"), std::string::npos);
}

TEST_F(ResourceServerTest, PathIsPercentDecodedUnlessTooLong) {
  const std::string raw = std::string(2047, 'a') + "%41";
  useBundle(test::BundleBuilder()
                .addFile("\xE2\x82\xAC.txt", "euro")
                .addFile(raw, "raw")
                .addFile(std::string(2047, 'a') + "A", "decoded"));
  EXPECT_EQ(BodyText(get("%E2%82%AC.txt")), "euro");
  EXPECT_EQ(BodyText(get(raw)), "raw");
}

TEST_F(ResourceServerTest, RangesOfABundleEntry) {
  const std::string content = Pattern(500);
  useBundle(test::BundleBuilder().addFile("pad", "0123").addFile("clip.mp3", content));

  WebResourceResponse response = get("clip.mp3", "bytes=100-199");
  EXPECT_EQ(Head(response),
            "206 Partial Content\nCache-Control: no-store\nContent-Type: audio/mpeg\n"
            "Accept-Ranges: bytes\nContent-Range: bytes 100-199/500\nContent-Length: 100");
  EXPECT_EQ(BodyText(response), content.substr(100, 100));
  EXPECT_EQ(BodyText(get("clip.mp3", " \t bytes= 10-19\r\n")), content.substr(10, 10));
}

TEST_F(ResourceServerTest, UnsatisfiableRangeKeepsThreeHeaderLinesAndNoBody) {
  writeWebFile("clip.ogg", Pattern(500));
  const WebResourceResponse response = get("clip.ogg", "bytes=400-500");
  EXPECT_EQ(Head(response),
            "416 Range Not Satisfiable\nCache-Control: no-store\n"
            "Content-Type: audio/ogg\nAccept-Ranges: bytes");
  EXPECT_FALSE(response.content);
  EXPECT_EQ(server_.mappedFileCount(), 0U);
}

TEST_F(ResourceServerTest, RangedResponsesAreCappedAtTwoMiB) {
  const std::string content = Pattern(3 * 1024 * 1024);
  writeWebFile("video.mp4", content);
  const WebResourceResponse response = get("video.mp4", "bytes=0-");
  EXPECT_EQ(response.statusCode, 206);
  EXPECT_NE(response.headers.find("Content-Range: bytes 0-2097151/3145728\n"
                                  "Content-Length: 2097152"),
            std::string::npos);
  EXPECT_EQ(BodyText(response), content.substr(0, kTwoMiB));
}

TEST_F(ResourceServerTest, FolderRangesMapOncePerPathAndOutliveTheCache) {
  const std::string content = Pattern(500);
  writeWebFile("clip.wav", content);
  const WebResourceResponse whole = get("clip.wav", "bytes=0-");
  EXPECT_EQ(BodyText(whole), content);
  EXPECT_EQ(server_.mappedFileCount(), 0U);  // the whole file is not mapped
  const WebResourceResponse first = get("clip.wav", "bytes=100-199");
  const WebResourceResponse second = get("clip.wav", "bytes=-50");
  EXPECT_EQ(server_.mappedFileCount(), 1U);
  server_.releaseMappedFiles();
  EXPECT_EQ(server_.mappedFileCount(), 0U);
  EXPECT_EQ(BodyText(first), content.substr(100, 100));
  EXPECT_EQ(BodyText(second), content.substr(450));
}

TEST_F(ResourceServerTest, PathsOutsideTheWebRootAndFoldersAreNotFound) {
  dir_.writeFile("secret.txt", "secret");
  writeWebFile("index.html", "<p>");
  writeWebFile("a/b.txt", "b");
  writeWebFile("images/logo.png", "png");
  for (const char* path :
       {"../secret.txt", "a/%2e%2e/%2e%2e/secret.txt", "a%2f..%2f..%2fsecret.txt",
        "..%5csecret.txt", "%2fetc%2fpasswd", "index.html%00.png", "Index.html", "", "images"}) {
    SCOPED_TRACE(path);
    ExpectNotFound(get(path));
  }
  ExpectNotFound(get("images/", "bytes=0-"));
  ExpectNotFound(server_.respond({"https:", "GET", {}}));
  EXPECT_EQ(BodyText(get("a/b.txt")), "b");
}

TEST_F(ResourceServerTest, SymlinksInsideTheWebRootAreFollowed) {
  dir_.writeFile("shared/sprite.png", "sprite");
  dir_.makeSymlink(dir_.pathOf("shared"), "www/assets");
  EXPECT_EQ(BodyText(get("assets/sprite.png")), "sprite");
}

TEST_F(ResourceServerTest, UnreadableFolderFileIsAServerError) {
  writeWebFile("locked.bin", Pattern(500));
  if (!dir_.denyReading("www/locked.bin")) {
    GTEST_SKIP() << "permissions do not apply to this user";
  }
  WebResourceResponse response = get("locked.bin");
  EXPECT_EQ(Head(response),
            "500 Internal Server Error\nCache-Control: no-store\n"
            "Content-Type: application/octet-stream\nAccept-Ranges: bytes\nContent-Length: 500");
  EXPECT_FALSE(response.content);
}

size_t OpenDescriptorCount() {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                           std::filesystem::directory_iterator()));
}

TEST_F(ResourceServerTest, AWholeFileBodyOpensItsFileOnlyWhenRead) {
  writeWebFile("level.bin", Pattern(3000));
  const size_t before = OpenDescriptorCount();
  std::vector<WebResourceResponse> waiting;
  for (int i = 0; i < 50; ++i) waiting.push_back(get("level.bin"));
  EXPECT_EQ(OpenDescriptorCount(), before);
  EXPECT_EQ(BodyText(waiting.back()), Pattern(3000));
  EXPECT_EQ(OpenDescriptorCount(), before + 1);
  // A file removed while its response waits reads as empty.
  std::filesystem::remove(dir_.pathOf("www/level.bin"));
  EXPECT_EQ(BodyText(waiting.front()), "");
}

TEST_F(ResourceServerTest, FolderFilesOfTwoGiBAndMoreUseTheirWholeSize) {
  const uint64_t size = (uint64_t{1} << 31) + 10;
  dir_.writeSparseFile("www/big.bin", size, "0123456789");

  const WebResourceResponse whole = get("big.bin");
  EXPECT_EQ(whole.statusCode, 200);
  EXPECT_NE(whole.headers.find("Content-Length: 2147483658"), std::string::npos);
  ASSERT_EQ(whole.content->size(), size);
  std::string tail(10, '\0');
  EXPECT_EQ(whole.content->read(size - 10, std::as_writable_bytes(std::span(tail))), 10U);
  EXPECT_EQ(tail, "0123456789");
}

TEST(ResourceServerMappedBundle, BodiesShareTheMappingAndOutliveTheHostsReference) {
  test::TempDir dir;
  const std::string content = Pattern(5000);
  const std::string path =
      dir.writeFile("game.zxab", test::BundleBuilder().addFile("music.ogg", content).build());
  std::shared_ptr<const MappedFile> mapping = MappedFile::open(path);
  ASSERT_TRUE(mapping);
  auto bundle = std::make_unique<BundleArchive>();
  bundle->openMemory(mapping->bytes().data(), mapping->bytes().size());
  auto server = std::make_unique<ResourceServer>(kOrigin, dir.path() + "/www/", *bundle, mapping);

  WebResourceResponse whole = server->respond({std::string(kOrigin) + "music.ogg", "GET", {}});
  const std::byte* inMapping = mapping->bytes().data();
  EXPECT_GE(whole.content->contiguousBytes().data(), inMapping);
  EXPECT_LT(whole.content->contiguousBytes().data(), inMapping + mapping->bytes().size());

  // Shutdown order: cache released, bundle closed, mapping dropped; the browser reads later.
  server->releaseMappedFiles();
  server.reset();
  bundle.reset();
  mapping.reset();
  EXPECT_EQ(BodyText(whole), content);
}

}  // namespace
}  // namespace tavrelle
