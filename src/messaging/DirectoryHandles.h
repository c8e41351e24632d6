#pragma once

// The page's handles to the named folders. On every "wrapper-init" the host opens the
// folders afresh, records them in the folder table and posts "directory-handles" with
// one handle per folder. The page's handles then call the host for every operation;
// each call names its folder by a grant of the current page and a path of plain names
// beneath it, and every operation stays inside that folder. File bodies never travel
// in messages: a read hands the page the file itself (or, where the file has no path
// the runtime can take, serves it as a response under the app origin), a write arrives
// as an upload to the runtime.

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "messaging/NamedFolders.h"
#include "platform/ConfinedFolder.h"
#include "webview/WebViewRuntime.h"

namespace tavrelle {

class DirectoryHandles {
 public:
  // Folder name to path, as extensions query it.
  using FolderTable = std::map<std::string, std::string>;

  struct Setup {
    NamedFolderSources folders;
    // Pages whose address begins with it may use the handles.
    std::string contentOrigin;
    // Where file bodies are served, ending with "/": a path under the app origin.
    std::string bodyAddressPrefix;
  };

  DirectoryHandles(Setup setup, FolderTable& folderTable);
  ~DirectoryHandles();
  DirectoryHandles(const DirectoryHandles&) = delete;
  DirectoryHandles& operator=(const DirectoryHandles&) = delete;

  // The first step of every handshake: fresh handles for the page, the folder table
  // updated. Handles of earlier pages stop working; their unfinished writes are dropped.
  void send(webview::WebView& webView);
  // One call of the page's handles; its reply is put on the arguments.
  void handleCall(webview::FileSystemCallReceivedEventArgs& args, webview::WebView& webView);
  // Answers a request for a file body offered by a read; false when the address is not
  // under the body prefix.
  bool answerBodyRequest(webview::WebResourceRequestedEventArgs& args);

 private:
  struct Writer;
  using Json = nlohmann::json;

  void dispatch(const std::string& op, const Json& call, Json& reply,
                webview::FileSystemCallReceivedEventArgs& args, webview::WebView& webView);
  [[nodiscard]] const ConfinedFolder& folderOf(const Json& call) const;
  [[nodiscard]] Writer& writerOf(const Json& call);
  void getEntry(const Json& call, EntryKind kind);
  void remove(const Json& call);
  void list(const Json& call, Json& reply);
  void read(const Json& call, Json& reply, webview::FileSystemCallReceivedEventArgs& args);
  void openWritable(const Json& call, Json& reply);
  void write(const Json& call, Json& reply, webview::WebView& webView);
  void truncate(const Json& call);
  void close(const Json& call);
  void abort(const Json& call);
  [[nodiscard]] std::string offerBody(OpenedFile opened);

  Setup setup_;
  FolderTable& folderTable_;
  std::map<std::string, std::unique_ptr<ConfinedFolder>> grants_;
  std::map<std::string, std::unique_ptr<Writer>> writers_;
  std::map<std::string, std::shared_ptr<const webview::ResponseBody>> bodies_;
  std::deque<std::string> bodyOrder_;  // oldest first, to bound the offers nobody took
};

}  // namespace tavrelle
