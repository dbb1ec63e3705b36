// Libraries that only some work needs (the media decoders, the font renderer) are opened when
// that work first asks for them, so that a process which never decodes or draws a text never
// maps them. Each user keeps one table of the functions it calls, filled here by name.
#pragma once
#include <dlfcn.h>

#include <string>

namespace platform {

// Opens the library `soname` for the rest of the process: what it made may outlive any one
// user, so it is never closed. Null with the loader's reason in `error` when it cannot be opened.
inline void* OpenLibrary(const char* soname, std::string* error) {
  void* library = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* reason = dlerror();
    *error = std::string("cannot load ") + soname + (reason != nullptr ? std::string(" (") + reason + ")" : "");
  }
  return library;
}

// Points `slot` at the function `name` of `library`; false with the reason in `error` when the
// library has none of that name (a version older than the headers).
template <class Function>
bool FindFunction(void* library, const char* soname, const char* name, Function*& slot, std::string* error) {
  slot = reinterpret_cast<Function*>(dlsym(library, name));
  if (slot == nullptr) *error = std::string("cannot load ") + soname + " (it has no " + name + ")";
  return slot != nullptr;
}

}  // namespace platform
