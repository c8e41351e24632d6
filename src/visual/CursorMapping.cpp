#include "visual/CursorMapping.h"

#include <array>
#include <utility>

namespace tavrelle {

namespace {

constexpr std::array<std::pair<std::string_view, SystemCursor>, 38> kKeywords{{
    {"auto", SystemCursor::Arrow},
    {"default", SystemCursor::Arrow},
    {"pointer", SystemCursor::Hand},
    {"text", SystemCursor::IBeam},
    {"vertical-text", SystemCursor::IBeam},
    {"crosshair", SystemCursor::Cross},
    {"cell", SystemCursor::Cross},
    {"move", SystemCursor::SizeAll},
    {"all-scroll", SystemCursor::SizeAll},
    {"wait", SystemCursor::Wait},
    {"progress", SystemCursor::AppStarting},
    {"not-allowed", SystemCursor::No},
    {"no-drop", SystemCursor::No},
    {"help", SystemCursor::Help},
    {"context-menu", SystemCursor::Arrow},
    {"alias", SystemCursor::Arrow},
    {"copy", SystemCursor::Arrow},
    {"zoom-in", SystemCursor::Arrow},
    {"zoom-out", SystemCursor::Arrow},
    {"ns-resize", SystemCursor::SizeNS},
    {"n-resize", SystemCursor::SizeNS},
    {"s-resize", SystemCursor::SizeNS},
    {"row-resize", SystemCursor::SizeNS},
    {"ew-resize", SystemCursor::SizeWE},
    {"e-resize", SystemCursor::SizeWE},
    {"w-resize", SystemCursor::SizeWE},
    {"col-resize", SystemCursor::SizeWE},
    {"nwse-resize", SystemCursor::SizeNWSE},
    {"nw-resize", SystemCursor::SizeNWSE},
    {"se-resize", SystemCursor::SizeNWSE},
    {"nesw-resize", SystemCursor::SizeNESW},
    {"ne-resize", SystemCursor::SizeNESW},
    {"sw-resize", SystemCursor::SizeNESW},
    {"grab", SystemCursor::Grab},
    {"-webkit-grab", SystemCursor::Grab},
    {"grabbing", SystemCursor::Grabbing},
    {"-webkit-grabbing", SystemCursor::Grabbing},
    {"none", SystemCursor::Hidden},
}};

std::string_view Trimmed(std::string_view text) {
  const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
  return text;
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view text, std::string_view lowerCase) {
  if (text.size() != lowerCase.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (LowerAscii(text[i]) != lowerCase[i]) return false;
  }
  return true;
}

bool StartsWithImage(std::string_view value) {
  for (std::string_view prefix : {"url(", "image-set(", "-webkit-image-set("}) {
    if (EqualsIgnoringCase(value.substr(0, prefix.size()), prefix)) return true;
  }
  return false;
}

}  // namespace

SystemCursor SystemCursorForCss(std::string_view cssCursor) {
  const std::string_view value = Trimmed(cssCursor);
  if (StartsWithImage(value)) return SystemCursor::Arrow;
  for (const auto& [keyword, cursor] : kKeywords) {
    if (EqualsIgnoringCase(value, keyword)) return cursor;
  }
  return SystemCursor::Arrow;
}

}  // namespace tavrelle
