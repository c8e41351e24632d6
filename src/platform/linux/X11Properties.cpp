#include "platform/linux/X11Properties.h"

#include <X11/Xatom.h>

#include <climits>

namespace tavrelle::linux_platform {

namespace {

// Owns the buffer XGetWindowProperty returns.
struct PropertyData {
  Atom actualType = None;
  int actualFormat = 0;
  unsigned long count = 0;
  unsigned char* data = nullptr;

  PropertyData() = default;
  PropertyData(const PropertyData&) = delete;
  PropertyData& operator=(const PropertyData&) = delete;
  ~PropertyData() {
    if (data != nullptr) XFree(data);
  }
};

bool Fetch(Display* display, Window window, Atom property, Atom type, PropertyData& out) {
  unsigned long bytesAfter = 0;
  int status =
      XGetWindowProperty(display, window, property, 0, LONG_MAX / 4, False, type, &out.actualType,
                         &out.actualFormat, &out.count, &bytesAfter, &out.data);
  return status == Success && out.data != nullptr &&
         (type == AnyPropertyType || out.actualType == type);
}

}  // namespace

std::vector<long> ReadLongProperty(Display* display, Window window, Atom property, Atom type) {
  PropertyData prop;
  if (!Fetch(display, window, property, type, prop) || prop.actualFormat != 32) return {};
  const long* items = reinterpret_cast<const long*>(prop.data);
  return std::vector<long>(items, items + prop.count);
}

std::vector<Atom> ReadAtomProperty(Display* display, Window window, Atom property) {
  std::vector<long> values = ReadLongProperty(display, window, property, XA_ATOM);
  return std::vector<Atom>(values.begin(), values.end());
}

Window ReadWindowProperty(Display* display, Window window, Atom property) {
  std::vector<long> values = ReadLongProperty(display, window, property, XA_WINDOW);
  return values.empty() ? None : static_cast<Window>(values.front());
}

std::string ReadStringProperty(Display* display, Window window, Atom property, Atom type) {
  PropertyData prop;
  if (!Fetch(display, window, property, type, prop) || prop.actualFormat != 8) return {};
  return std::string(reinterpret_cast<const char*>(prop.data), prop.count);
}

void WriteLongProperty(Display* display, Window window, Atom property, Atom type,
                       const std::vector<long>& values) {
  XChangeProperty(display, window, property, type, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(values.data()),
                  static_cast<int>(values.size()));
}

void WriteAtomProperty(Display* display, Window window, Atom property,
                       const std::vector<Atom>& atoms) {
  std::vector<long> values(atoms.begin(), atoms.end());
  WriteLongProperty(display, window, property, XA_ATOM, values);
}

void WriteStringProperty(Display* display, Window window, Atom property, Atom type,
                         const std::string& text) {
  XChangeProperty(display, window, property, type, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(text.data()),
                  static_cast<int>(text.size()));
}

}  // namespace tavrelle::linux_platform
