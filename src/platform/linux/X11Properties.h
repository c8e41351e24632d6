#pragma once

#include <X11/Xlib.h>

#include <string>
#include <vector>

namespace tavrelle::linux_platform {

// Reads and writes window properties. Reads return empty results when the property is
// missing, has another type or the window is gone.

// 32-bit items (CARDINAL, ATOM, WINDOW ...) as Xlib hands them over: one long each.
[[nodiscard]] std::vector<long> ReadLongProperty(Display* display, Window window, Atom property,
                                                 Atom type);
[[nodiscard]] std::vector<Atom> ReadAtomProperty(Display* display, Window window, Atom property);
[[nodiscard]] Window ReadWindowProperty(Display* display, Window window, Atom property);
[[nodiscard]] std::string ReadStringProperty(Display* display, Window window, Atom property,
                                             Atom type);

void WriteLongProperty(Display* display, Window window, Atom property, Atom type,
                       const std::vector<long>& values);
void WriteAtomProperty(Display* display, Window window, Atom property,
                       const std::vector<Atom>& atoms);
void WriteStringProperty(Display* display, Window window, Atom property, Atom type,
                         const std::string& text);

}  // namespace tavrelle::linux_platform
