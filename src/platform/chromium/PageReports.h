#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace tavrelle::chromium {

// What the page script reports through the host's binding. Each report is one string:
// the kind's code followed by its data. page-api.js holds the same table ("Report").
enum class PageReport {
  Message,           // data: the message's number in its document, ":", the text posted
  NonStringMessage,  // the page posted something other than a string; data: number, ":"
  NewWindow,         // data: the absolute address a link, form or window.open wants
  AcceleratorKey,    // data: "d"/"u", "s"/"n" (Alt or not), then the key code
  Title,             // data: the document's title
  Fullscreen,        // data: "1" when an element is fullscreen, else "0"
  Close,             // window.close(); no data
  FileSystemCall,    // data: a call of the page's folder handles, as JSON
  SocketToken,       // data: the token the top document opens the message socket with
};

struct PageReportCode {
  std::string_view name;  // the member name in the script's table
  char code;
  PageReport kind;
};

inline constexpr std::array kPageReportCodes{
    PageReportCode{"message", 'm', PageReport::Message},
    PageReportCode{"nonStringMessage", 'x', PageReport::NonStringMessage},
    PageReportCode{"newWindow", 'n', PageReport::NewWindow},
    PageReportCode{"acceleratorKey", 'k', PageReport::AcceleratorKey},
    PageReportCode{"title", 't', PageReport::Title},
    PageReportCode{"fullscreen", 'f', PageReport::Fullscreen},
    PageReportCode{"close", 'c', PageReport::Close},
    PageReportCode{"fileSystemCall", 'd', PageReport::FileSystemCall},
    PageReportCode{"socketToken", 's', PageReport::SocketToken},
};

// The kind of a report by its first character; nothing for an unknown code.
[[nodiscard]] constexpr std::optional<PageReport> PageReportOf(char code) {
  for (const PageReportCode& entry : kPageReportCodes) {
    if (entry.code == code) return entry.kind;
  }
  return std::nullopt;
}

}  // namespace tavrelle::chromium
