#include "platform/linux/X11Icon.h"

#include <cstddef>

namespace tavrelle::linux_platform {

std::vector<long> NetWmIconData(const Image& image) {
  if (image.width <= 0 || image.height <= 0) return {};
  size_t pixels = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
  if (image.argb.size() != pixels) return {};
  std::vector<long> data;
  data.reserve(pixels + 2);
  data.push_back(image.width);
  data.push_back(image.height);
  for (uint32_t pixel : image.argb) data.push_back(static_cast<long>(pixel));
  return data;
}

}  // namespace tavrelle::linux_platform
