#pragma once

#include <string>

namespace tavrelle {

// Where the host's messages to the page go. Services that answer or notify the page
// take this rather than the whole channel.
class PagePoster {
 public:
  virtual ~PagePoster() = default;

  // Posts one JSON text at once; dropped while no web view exists.
  virtual void PostJsonToPage(const std::string& json) = 0;
  // Posts one JSON text, or queues it until the page has sent "wrapper-init".
  virtual void PostMessageToPage(const std::string& json) = 0;
};

}  // namespace tavrelle
