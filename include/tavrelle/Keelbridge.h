// The contract between the Tavrelle host and an extension-manager library.
//
// The host loads the shared library "Keelbridge.so" from the extension folder: the
// game's folder (beside the host executable) for a loose game, and
// "<app data folder>/zxext/" for a single-file game, whose packed extension files the
// host unpacks there at every start. The library exports the four functions below
// with C linkage; the host looks them up by name and calls "Init" only when all four
// exist. The others are called at their moments whenever they exist.
//
// Every call, in both directions, happens on the host's main thread. A library that
// works on threads of its own brings its calls to IWrapperApp back to that thread.
//
// IWrapperApp is laid out by the Itanium C++ ABI (g++ and clang++ on Linux): three
// virtual operations in this slot order and no virtual destructor. The library never
// deletes it; the pointer given to Init stays valid until Release returns.

#ifndef TAVRELLE_KEELBRIDGE_H
#define TAVRELLE_KEELBRIDGE_H

// The host owns the object behind the pointer and never hands it over, so a virtual
// destructor is deliberately absent; compilers that warn about that are told so.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif

class IWrapperApp {
 public:
  // Posts one JSON text (zero-terminated UTF-8) to the page. The text is copied.
  // Before the page has started ("wrapper-init") it waits in a queue and reaches the
  // page, in order, right after "wrapper-init-response".
  virtual void PostMessageToPage(const char* json) = 0;
  // The path of a well-known folder, by placeholder name such as "<documents>"; ""
  // when the host has none for that name (yet). Owned by the host; valid while that
  // folder entry is unchanged.
  virtual const char* GetFolderPath(const char* name) = 0;
  // The complete "package.json" text as read at start. Owned by the host; valid until
  // Release returns.
  virtual const char* GetPackageJson() = 0;
};

#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

extern "C" {

// Called once, right after loading. appFolder and extensionFolder end with "/";
// webRoot is "www/"; appDataFolder has no trailing "/". Returns the ids of the
// components the library registered: an array of zero-terminated UTF-8 texts ended by
// a null pointer (or null for none). The host copies them before Init's caller
// returns and keeps no pointer into them.
const char* const* Init(const char* appFolder, const char* webRoot, const char* appDataFolder,
                        const char* extensionFolder, IWrapperApp* app);

// Called once at shutdown, before the library is unloaded.
void Release();

// Called once, right after the main window exists, with its X11 window id.
void OnMainWindowCreated(unsigned long x11Window);

// Called for each page message whose "type" is "extension-message", with the whole
// text the page posted (zero-terminated UTF-8), unchanged.
void OnExtensionMessage(const char* json);

}  // extern "C"

#endif  // TAVRELLE_KEELBRIDGE_H
