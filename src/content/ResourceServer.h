#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "content/BundleArchive.h"
#include "platform/Files.h"
#include "webview/WebViewRuntime.h"

namespace tavrelle {

struct ByteRange {
  uint64_t first = 0;
  uint64_t last = 0;  // inclusive
  friend bool operator==(const ByteRange&, const ByteRange&) = default;
};

// Answers the web view's requests for the application's own origin: from the asset
// bundle first, then from the web root folder, with content types, single byte
// ranges (at most 2 MiB a response) and no caching. Main thread only.
class ResourceServer {
 public:
  // origin: the app origin with its trailing "/"; contentFolder: app folder + web root,
  // ending with "/"; bundle: the host's reader (closed when no bundle is used), which
  // must outlive the server. bundleFile: the mapping that holds the bundle's bytes, when
  // there is one: bodies then share it instead of copying the bytes, and stay valid
  // however long the browser takes to read them.
  ResourceServer(std::string origin, std::string contentFolder, const BundleArchive& bundle,
                 std::shared_ptr<const MappedFile> bundleFile = nullptr);

  // Builds the complete response for one request and puts it on the arguments.
  void handleRequest(webview::WebResourceRequestedEventArgs& args);
  [[nodiscard]] webview::WebResourceResponse respond(const webview::WebResourceRequest& request);

  // The trimmed value of a "Range" header against a resource size; nothing when unsatisfiable.
  [[nodiscard]] static std::optional<ByteRange> parseRange(std::string_view value, uint64_t size);

  // A read-only view of the whole file, cached under the request path until
  // releaseMappedFiles; null when the file cannot be mapped (not cached then).
  std::shared_ptr<const MappedFile> mapFile(const std::string& requestPath,
                                            const std::string& filePath);
  // Drops the cache. Bodies already handed out keep their own reference.
  void releaseMappedFiles();
  [[nodiscard]] size_t mappedFileCount() const { return mappedFiles_.size(); }

 private:
  // `length` bytes from `offset` of the cached view of a folder file; null when the
  // file cannot be mapped or the view does not hold them.
  // `length` bytes from `offset` of a bundle entry's data.
  std::shared_ptr<const webview::ResponseBody> bundleBytes(uint64_t offset, uint64_t length) const;
  std::shared_ptr<const webview::ResponseBody> mappedSlice(const std::string& requestPath,
                                                           const std::string& filePath,
                                                           uint64_t offset, uint64_t length);

  std::string origin_;
  std::string contentFolder_;
  const BundleArchive& bundle_;
  std::shared_ptr<const MappedFile> bundleFile_;
  std::map<std::string, std::shared_ptr<const MappedFile>> mappedFiles_;
};

}  // namespace tavrelle
