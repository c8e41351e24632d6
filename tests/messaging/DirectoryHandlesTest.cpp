#include "messaging/DirectoryHandles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include <nlohmann/json.hpp>

#include "platform/Files.h"
#include "support/FakeWebViewRuntime.h"
#include "support/TempDir.h"

namespace tavrelle {
namespace {

using Json = nlohmann::json;
using namespace std::string_literals;
constexpr const char* kOrigin = "https://tavrelle.localhost/";
constexpr const char* kBodies = "https://tavrelle.localhost/__tavrelle/file/";

std::span<const std::byte> Bytes(std::string_view text) {
  return std::as_bytes(std::span(text.data(), text.size()));
}

webview::WebResourceRequestedEventArgs Fetch(const std::string& uri) {
  return webview::WebResourceRequestedEventArgs({uri, "GET", {}},
                                                webview::WebResourceContext::Fetch);
}

class DirectoryHandlesTest : public ::testing::Test {
 protected:
  DirectoryHandlesTest() : webView(std::make_shared<test::CallLog>()) {
    for (const char* folder : {"game/www", "data/Tavrelle Demo", "Documents", "Pictures"})
      home.makeFolder(folder);
    DirectoryHandles::Setup setup;
    setup.folders.appFolder = home.pathOf("game/");
    setup.folders.webRoot = "www/";
    setup.folders.userDataFolder = home.pathOf("data/Tavrelle Demo");
    // Screenshots are not there; other folders are unknown.
    setup.folders.knownFolderPath = [this](KnownFolder folder) {
      using enum KnownFolder;
      const std::map<KnownFolder, std::string> known = {
          {Documents, "Documents"}, {Pictures, "Pictures"}, {Screenshots, "Pictures/Screenshots"}};
      if (folder == Profile) return home.path();
      return known.contains(folder) ? home.pathOf(known.at(folder)) : std::string();
    };
    setup.contentOrigin = kOrigin;
    setup.bodyAddressPrefix = kBodies;
    handles = std::make_unique<DirectoryHandles>(std::move(setup), table);
  }

  // The grant of a slot in the latest "directory-handles".
  std::string grantOf(size_t slot) const {
    const auto& handle = webView.postedHandles.back().at(slot);
    return handle ? handle->grant : std::string();
  }

  Json call(Json request, bool top = true,
            const std::string& source = "https://tavrelle.localhost/index.html") {
    webview::FileSystemCallReceivedEventArgs args(source, top, request.dump());
    handles->handleCall(args, webView);
    replyFile = args.get_ReplyFile();
    return Json::parse(args.get_Reply());
  }
  Json documents(Json request) {
    request["grant"] = grantOf(6);
    if (!request.contains("path")) request["path"] = Json::array();
    return call(std::move(request));
  }

  test::TempDir home;
  test::FakeWebView webView;
  DirectoryHandles::FolderTable table;
  std::unique_ptr<DirectoryHandles> handles;
  std::string replyFile;  // of the last call
};

TEST_F(DirectoryHandlesTest, SlotsInOrderMissingFoldersNullAndOutOfTheTable) {
  handles->send(webView);
  ASSERT_EQ(webView.posted, std::vector<std::string>{R"({"type":"directory-handles"})"});
  std::vector<std::string> names;  // "-" for a slot without a handle
  for (const auto& slot : webView.postedHandles.back()) names.push_back(slot ? slot->name : "-");
  const std::string profile = std::filesystem::path(home.path()).filename();
  EXPECT_EQ(names,
            (std::vector<std::string>{"game", "www", "Tavrelle Demo", "-", "-", "-", "Documents",
                                      "-", "Pictures", profile, "-", "-", "-"}));
  EXPECT_EQ(table, (DirectoryHandles::FolderTable{
                       {"<app>", home.pathOf("game/")},
                       {"<web-resource>", home.pathOf("game/www/")},
                       {"<current-app-data>", home.pathOf("data/Tavrelle Demo")},
                       {"<documents>", home.pathOf("Documents")},
                       {"<pictures>", home.pathOf("Pictures")},
                       {"<profile>", home.path()},
                   }));
}

TEST_F(DirectoryHandlesTest, EveryHandshakeGivesFreshGrantsAndRetiresTheOldOnes) {
  handles->send(webView);
  const std::string first = grantOf(6);
  home.makeFolder("Pictures/Screenshots");
  handles->send(webView);
  EXPECT_NE(grantOf(6), first);
  EXPECT_TRUE(webView.postedHandles.back()[11].has_value());
  EXPECT_EQ(table.at("<screenshots>"), home.pathOf("Pictures/Screenshots"));
  EXPECT_EQ(call({{"op", "list"}, {"grant", first}, {"path", Json::array()}})["error"],
            "NotFoundError");
  EXPECT_EQ(documents({{"op", "list"}})["ok"], true);
}

TEST_F(DirectoryHandlesTest, NamesAndPathsOfMoreThanOneComponentAreRefused) {
  home.writeFile("secret", "x");
  handles->send(webView);
  for (const std::string& name : {""s, "."s, ".."s, "a/b"s, "..\\x"s, "/etc"s, "a\0b"s}) {
    EXPECT_EQ(documents({{"op", "get-file"}, {"name", name}})["error"], "TypeError") << name;
  }
  EXPECT_EQ(documents({{"op", "read"}, {"path", {"..", "secret"}}})["error"], "TypeError");
  EXPECT_EQ(documents({{"op", "read"}, {"path", {"sub/../../secret"}}})["error"], "TypeError");
  EXPECT_EQ(documents({{"op", "list"}, {"path", {1}}})["error"], "TypeError");
}

TEST_F(DirectoryHandlesTest, OnlyTheAppsTopDocumentIsAnswered) {
  handles->send(webView);
  Json request = {{"op", "list"}, {"grant", grantOf(6)}, {"path", Json::array()}};
  EXPECT_EQ(call(request, false)["error"], "NotAllowedError");
  EXPECT_EQ(call(request, true, "https://elsewhere.example/")["error"], "NotAllowedError");
  EXPECT_EQ(call(request)["ok"], true);
}

// The page's File is the file itself: the runtime is given its real path (past links
// that stay inside) and nothing is offered to fetch.
TEST_F(DirectoryHandlesTest, AReadHandsThePageTheFileByItsRealPath) {
  home.writeFile("Documents/level.json", R"({"level":3})");
  home.makeSymlink("level.json", "Documents/alias.json");
  home.writeFile("Documents/notes", "plain");
  handles->send(webView);
  Json read = documents({{"op", "read"}, {"id", 7}, {"path", {"alias.json"}}});
  ASSERT_EQ(read["ok"], true) << read;
  EXPECT_EQ(read["id"], 7);
  EXPECT_EQ(read["size"], 11);
  EXPECT_EQ(read["type"], "application/json");
  EXPECT_GT(read["lastModified"].get<int64_t>(), 1'600'000'000'000);
  EXPECT_FALSE(read.contains("url"));
  EXPECT_EQ(replyFile, std::filesystem::canonical(home.pathOf("Documents/level.json")).string());
  EXPECT_EQ(documents({{"op", "read"}, {"path", {"notes"}}})["type"], "");
  // A failed read hands over nothing.
  EXPECT_EQ(documents({{"op", "read"}, {"path", {"gone.json"}}})["error"], "NotFoundError");
  EXPECT_TRUE(replyFile.empty());
}

// A file whose real path is no UTF-8 cannot be named to the browser: its body is
// offered under the body address instead, once.
TEST_F(DirectoryHandlesTest, AFileWithoutAUtf8PathIsOfferedUnderTheBodyAddress) {
  home.makeFolder("Documents/old\xe9");
  home.writeFile("Documents/old\xe9/level.json", R"({"level":3})");
  home.makeSymlink("old\xe9/level.json", "Documents/level.json");
  handles->send(webView);
  Json read = documents({{"op", "read"}, {"path", {"level.json"}}});
  ASSERT_EQ(read["ok"], true);
  EXPECT_EQ(read["size"], 11);
  EXPECT_EQ(read["type"], "application/json");
  const std::string url = read["url"];
  ASSERT_TRUE(url.starts_with(kBodies));
  auto request = Fetch(url);
  ASSERT_TRUE(handles->answerBodyRequest(request));
  ASSERT_TRUE(request.get_Response());
  const auto& body = request.get_Response()->content;
  ASSERT_TRUE(body);
  std::string text(body->size(), '\0');
  body->read(0, std::as_writable_bytes(std::span(text.data(), text.size())));
  EXPECT_EQ(text, R"({"level":3})");
  auto again = Fetch(url);
  ASSERT_TRUE(handles->answerBodyRequest(again));
  EXPECT_EQ(again.get_Response()->statusCode, 404);
  auto game = Fetch(std::string(kOrigin) + "index.html");
  EXPECT_FALSE(handles->answerBodyRequest(game));
}

TEST_F(DirectoryHandlesTest, AWriteArrivesThroughUploadsAndShowsOnClose) {
  home.writeFile("Documents/save.json", "old");
  handles->send(webView);
  Json opened =
      documents({{"op", "open-writable"}, {"path", {"save.json"}}, {"keepExistingData", true}});
  ASSERT_EQ(opened["ok"], true);
  EXPECT_EQ(opened["size"], 3);
  const std::string writer = opened["writer"];
  Json offered = call({{"op", "write"}, {"writer", writer}, {"position", 3}, {"size", 4}});
  ASSERT_EQ(offered["ok"], true);
  ASSERT_EQ(webView.uploads.size(), 1u);
  auto& sink = *webView.uploads.back();
  EXPECT_EQ(sink.size(), 4u);
  EXPECT_FALSE(sink.write(2, Bytes("xyz")));  // past the announced length
  EXPECT_TRUE(sink.write(0, Bytes("+ne")));
  EXPECT_TRUE(sink.write(3, Bytes("w")));
  EXPECT_EQ(*ReadWholeFile(home.pathOf("Documents/save.json")), "old");
  EXPECT_EQ(call({{"op", "close"}, {"writer", writer}})["ok"], true);
  EXPECT_EQ(*ReadWholeFile(home.pathOf("Documents/save.json")), "old+new");
  EXPECT_EQ(call({{"op", "close"}, {"writer", writer}})["error"], "TypeError");
}

// Making, listing, removing and aborting are proven with the real browser too.
TEST_F(DirectoryHandlesTest, AnAbandonedWriteLeavesTheOldFile) {
  home.writeFile("Documents/save.json", "old");
  handles->send(webView);
  Json opened = documents({{"op", "open-writable"}, {"path", {"save.json"}}});
  EXPECT_EQ(call({{"op", "truncate"}, {"writer", opened["writer"]}, {"size", 0}})["ok"], true);
  handles->send(webView);  // the page went away and came back
  webView.uploads.clear();
  EXPECT_EQ(*ReadWholeFile(home.pathOf("Documents/save.json")), "old");
  // No unfinished version stays behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home.pathOf("Documents")), {}), 1);
}

}  // namespace
}  // namespace tavrelle
