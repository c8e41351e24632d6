#include "content/MimeTable.h"

#include <algorithm>
#include <array>
#include <utility>

namespace tavrelle {
namespace {

using MimePair = std::pair<std::string_view, std::string_view>;

// Sorted by extension, byte-wise, for the binary search below.
constexpr std::array<MimePair, 50> kTypesByExtension{{
    {".apng", "image/apng"},
    {".avif", "image/avif"},
    {".bmp", "image/bmp"},
    {".css", "text/css; charset=utf-8"},
    {".csv", "text/csv; charset=utf-8"},
    {".eot", "application/vnd.ms-fontobject"},
    {".flac", "audio/flac"},
    {".gif", "image/gif"},
    {".htm", "text/html; charset=utf-8"},
    {".html", "text/html; charset=utf-8"},
    {".ico", "image/x-icon"},
    {".ini", "text/plain; charset=utf-8"},
    {".jpeg", "image/jpeg"},
    {".jpg", "image/jpeg"},
    {".js", "application/javascript; charset=utf-8"},
    {".json", "application/json; charset=utf-8"},
    {".jxl", "image/jxl"},
    {".kar", "audio/midi"},
    {".m4a", "audio/mp4"},
    {".md", "text/markdown; charset=utf-8"},
    {".mid", "audio/midi"},
    {".midi", "audio/midi"},
    {".mp3", "audio/mpeg"},
    {".mp4", "video/mp4"},
    {".mpeg", "video/mpeg"},
    {".mpg", "video/mpeg"},
    {".ogg", "audio/ogg"},
    {".ogv", "video/ogg"},
    {".opus", "audio/ogg; codecs=opus"},
    {".otf", "application/font-sfnt"},
    {".pdf", "application/pdf"},
    {".png", "image/png"},
    {".scml", "text/xml"},
    {".scon", "application/json"},
    {".svg", "image/svg+xml"},
    {".tif", "image/tiff"},
    {".tiff", "image/tiff"},
    {".ts", "application/typescript; charset=utf-8"},
    {".tsv", "text/tab-separated-values; charset=utf-8"},
    {".ttf", "application/font-sfnt"},
    {".txt", "text/plain; charset=utf-8"},
    {".wasm", "application/wasm"},
    {".wast", "application/wast"},
    {".wav", "audio/wav"},
    {".webm", "video/webm"},
    {".webp", "image/webp"},
    {".woff", "application/font-woff"},
    {".woff2", "font/woff2"},
    {".xml", "text/xml; charset=utf-8"},
    {".zip", "application/zip"},
}};

constexpr bool ByExtension(const MimePair& a, const MimePair& b) { return a.first < b.first; }

static_assert(std::is_sorted(kTypesByExtension.begin(), kTypesByExtension.end(), ByExtension));
static_assert(std::adjacent_find(kTypesByExtension.begin(), kTypesByExtension.end(),
                                 [](const MimePair& a, const MimePair& b) {
                                   return a.first == b.first;
                                 }) == kTypesByExtension.end());

constexpr std::string_view kDefaultType = "application/octet-stream";

std::string AsciiLowerCase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return lower;
}

}  // namespace

std::string MimeTable::lookup(std::string_view path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string_view::npos) {
    return std::string(kDefaultType);
  }
  const std::string extension = AsciiLowerCase(path.substr(dot));
  const MimePair key{extension, {}};
  const auto* found =
      std::lower_bound(kTypesByExtension.begin(), kTypesByExtension.end(), key, ByExtension);
  if (found == kTypesByExtension.end() || found->first != extension) {
    return std::string(kDefaultType);
  }
  return std::string(found->second);
}

}  // namespace tavrelle
