#include "dshow/errors.h"

#include <algorithm>
#include <cstring>

#include "dshow/media_file_source.h"
#include "dshow/media_libraries.h"

namespace {

struct Reason {
  HRESULT code;
  const char* text;
};

const Reason kReasons[] = {
    {HRESULT_FROM_WIN32(2), "no such file"},
    {HRESULT_FROM_WIN32(3), "no such folder"},
    {E_ACCESSDENIED, "the path leads out of the resource root"},
    {VFW_E_INVALID_FILE_FORMAT, "not a file the media sources can read"},
    {HRESULT_MODULE_NOT_FOUND, "the media libraries cannot be loaded"},
    {VFW_E_NOT_FOUND, "no pin or filter of that name"},
    {VFW_E_TYPE_NOT_ACCEPTED, "the media type was not accepted"},
    {VFW_E_NOT_CONNECTED, "the pin is not connected"},
    {VFW_E_ALREADY_CONNECTED, "the pin is already connected"},
    {VFW_E_NOT_STOPPED, "the graph is not stopped"},
    {VFW_E_WRONG_STATE, "not possible in the graph's present state"},
    {REGDB_E_CLASSNOTREG, "no class of that identifier"},
    {E_FAIL, "unspecified failure"},
    {E_OUTOFMEMORY, "out of memory"},
    {E_INVALIDARG, "an argument is not valid"},
    {E_POINTER, "a pointer the call needs is null"},
    {E_NOINTERFACE, "the interface is not offered"},
    {E_NOTIMPL, "not implemented"},
    {E_ABORT, "aborted"},
};

}  // namespace

DWORD AMGetErrorTextA(HRESULT hr, char* buffer, DWORD length) {
  if (buffer == nullptr || length == 0) return 0;
  const char* text = nullptr;
  // Which library is missing is the one thing a person can act on.
  if (hr == HRESULT_MODULE_NOT_FOUND && !dshow::MediaLibrariesError().empty())
    text = dshow::MediaLibrariesError().c_str();
  for (const Reason& reason : kReasons)
    if (text == nullptr && reason.code == hr) text = reason.text;
  if (text == nullptr) return 0;
  const size_t n = std::min<size_t>(std::strlen(text), length - 1);
  std::memcpy(buffer, text, n);
  buffer[n] = '\0';
  return static_cast<DWORD>(n);
}
