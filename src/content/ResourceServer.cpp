#include "content/ResourceServer.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "content/MimeTable.h"
#include "content/PercentDecoding.h"
#include "content/RangeHeader.h"
#include "content/ResponseBodies.h"
#include "content/WebRootPath.h"

namespace tavrelle {
namespace {

using webview::ResponseBody;
using webview::WebResourceResponse;
using BodyPointer = std::shared_ptr<const ResponseBody>;
using HeaderLines = std::vector<std::string>;

constexpr uint64_t kLargestRangedBody = 0x200000;
constexpr size_t kDecodeBufferUtf16Units = 2048;
constexpr std::string_view kNotFoundBody = "File not found";
constexpr std::string_view kCacheControlLine = "Cache-Control: no-store";

// Where the bytes of one request come from: a bundle entry, else a folder file.
struct Resource {
  BundleFileInfo entry;
  std::string filePath;
  uint64_t size = 0;

  [[nodiscard]] bool inBundle() const { return entry.found; }
};

std::string JoinLines(const HeaderLines& lines) {
  std::string block;
  for (const std::string& line : lines) {
    if (!block.empty()) {
      block += '\n';
    }
    block += line;
  }
  return block;
}

WebResourceResponse MakeResponse(int statusCode, std::string reasonPhrase,
                                 const HeaderLines& headers, BodyPointer body) {
  WebResourceResponse response;
  response.content = std::move(body);
  response.statusCode = statusCode;
  response.reasonPhrase = std::move(reasonPhrase);
  response.headers = JoinLines(headers);
  return response;
}

WebResourceResponse NotFoundResponse() {
  return MakeResponse(404, "Not Found", {std::string(kCacheControlLine)},
                      std::make_shared<MemoryBody>(std::as_bytes(std::span(kNotFoundBody))));
}

// The request URI after the origin (not compared: the filter guarantees it), decoded.
// A decoded path too long for the decode buffer is used undecoded.
std::string RequestPathOf(std::string_view uri, size_t originLength) {
  const std::string_view raw = uri.substr(std::min(originLength, uri.size()));
  std::optional<std::string> decoded = PercentDecodeUtf8(raw, kDecodeBufferUtf16Units);
  return decoded ? std::move(*decoded) : std::string(raw);
}

std::optional<Resource> Locate(const BundleArchive& bundle, const std::string& contentFolder,
                               const std::string& requestPath) {
  const BundleFileInfo entry = bundle.lookup(requestPath);
  if (entry.found) {
    return Resource{entry, {}, entry.size};
  }
  // Only the folder needs the guard: bundle names are matched exactly and open no file.
  const std::optional<std::string> filePath = WebRootFilePath(contentFolder, requestPath);
  // A folder (the bare origin, "images/") or a device has no content to serve: 404.
  if (!filePath || !IsRegularFile(*filePath)) {
    return std::nullopt;
  }
  // 64-bit sizes: folder files of 2 GiB and more are served whole and by range.
  const std::optional<uint64_t> size = FileSize(*filePath);
  if (!size) {
    return std::nullopt;
  }
  return Resource{{}, *filePath, *size};
}

// Null when the file cannot be opened; the caller answers 500 rather than a success
// without a body. The body opens the file again when it is read: a response waiting
// for the browser holds no open file.
BodyPointer WholeFileBody(const Resource& resource) {
  if (!FileReader::open(resource.filePath)) {
    return nullptr;
  }
  return std::make_shared<FileBody>(resource.filePath, resource.size);
}

ByteRange CapToLargestRangedBody(ByteRange range) {
  if (range.last - range.first + 1 > kLargestRangedBody) {
    range.last = range.first + kLargestRangedBody - 1;
  }
  return range;
}

}  // namespace

ResourceServer::ResourceServer(std::string origin, std::string contentFolder,
                               const BundleArchive& bundle,
                               std::shared_ptr<const MappedFile> bundleFile)
    : origin_(std::move(origin)),
      contentFolder_(std::move(contentFolder)),
      bundle_(bundle),
      bundleFile_(std::move(bundleFile)) {}

BodyPointer ResourceServer::bundleBytes(uint64_t offset, uint64_t length) const {
  const std::byte* first = bundle_.dataPointer(offset);
  if (bundleFile_) {
    const std::span<const std::byte> mapped = bundleFile_->bytes();
    if (first >= mapped.data() && first + length <= mapped.data() + mapped.size()) {
      return std::make_shared<MappedBody>(bundleFile_, static_cast<uint64_t>(first - mapped.data()),
                                          length);
    }
  }
  return std::make_shared<MemoryBody>(std::span(first, static_cast<size_t>(length)));
}

void ResourceServer::handleRequest(webview::WebResourceRequestedEventArgs& args) {
  args.put_Response(respond(args.get_Request()));
}

// The method and every header but "Range" are deliberately not examined.
WebResourceResponse ResourceServer::respond(const webview::WebResourceRequest& request) {
  const std::string requestPath = RequestPathOf(request.uri, origin_.size());
  const std::optional<Resource> resource = Locate(bundle_, contentFolder_, requestPath);
  if (!resource) {
    return NotFoundResponse();
  }

  HeaderLines headers{std::string(kCacheControlLine),
                      "Content-Type: " + MimeTable::lookup(requestPath), "Accept-Ranges: bytes"};

  if (!request.headers.Contains("Range")) {
    headers.push_back("Content-Length: " + std::to_string(resource->size));
    BodyPointer body = resource->inBundle() ? bundleBytes(resource->entry.offset, resource->size)
                                            : WholeFileBody(*resource);
    if (!body) {
      return MakeResponse(500, "Internal Server Error", headers, nullptr);
    }
    return MakeResponse(200, "OK", headers, std::move(body));
  }

  const std::optional<ByteRange> requested =
      parseRange(TrimRangeValue(request.headers.GetHeader("Range")), resource->size);
  if (!requested) {
    return MakeResponse(416, "Range Not Satisfiable", headers, nullptr);
  }
  const ByteRange range = CapToLargestRangedBody(*requested);
  const uint64_t length = range.last - range.first + 1;
  headers.push_back("Content-Range: bytes " + std::to_string(range.first) + "-" +
                    std::to_string(range.last) + "/" + std::to_string(resource->size));
  headers.push_back("Content-Length: " + std::to_string(length));

  BodyPointer body;
  if (resource->inBundle()) {
    body = bundleBytes(resource->entry.offset + range.first, length);
  } else if (length == resource->size) {
    body = WholeFileBody(*resource);
  } else {
    body = mappedSlice(requestPath, resource->filePath, range.first, length);
  }
  if (!body) {
    return MakeResponse(500, "Internal Server Error", headers, nullptr);
  }
  return MakeResponse(206, "Partial Content", headers, std::move(body));
}

std::shared_ptr<const webview::ResponseBody> ResourceServer::mappedSlice(
    const std::string& requestPath, const std::string& filePath, uint64_t offset, uint64_t length) {
  std::shared_ptr<const MappedFile> file = mapFile(requestPath, filePath);
  if (!file) {
    return nullptr;
  }
  // The view is cached from the first range; a file that has grown since has bytes
  // the view does not hold.
  const uint64_t mappedSize = file->bytes().size();
  if (offset > mappedSize || length > mappedSize - offset) {
    return nullptr;
  }
  return std::make_shared<MappedBody>(std::move(file), offset, length);
}

std::shared_ptr<const MappedFile> ResourceServer::mapFile(const std::string& requestPath,
                                                          const std::string& filePath) {
  if (const auto cached = mappedFiles_.find(requestPath); cached != mappedFiles_.end()) {
    return cached->second;
  }
  std::shared_ptr<const MappedFile> file = MappedFile::open(filePath);
  if (file) {
    mappedFiles_.emplace(requestPath, file);
  }
  return file;
}

void ResourceServer::releaseMappedFiles() { mappedFiles_.clear(); }

}  // namespace tavrelle
