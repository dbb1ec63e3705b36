// The file system as the module sees it: Windows-style paths ("resource\ini\Scene\1.ini")
// resolved to files of this system below a root directory. Every file the platform and the
// host open for the module is found through ResolvePath, so that case, separators and the
// bounds of the resource tree are handled in one place.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform_api.h"

namespace win32 {

enum class PathMode { Read, Write };

// The file `path` names below `root` ("" : the current directory), or "" when there is none,
// with the reason in GetLastError.
//
// '\' and '/' both separate components; empty and "." components are skipped and ".." steps
// back. A leading separator means the root itself. Drive letters ("C:"), network paths
// ("\\server") and ".." above the root are refused with ERROR_ACCESS_DENIED, before anything
// is looked at or made. Each component is matched without regard to ASCII case: an entry of
// exactly that name wins, otherwise the case-insensitive match that sorts first by bytes.
//
// Read: every component must exist (ERROR_FILE_NOT_FOUND for the last, ERROR_PATH_NOT_FOUND
// for a folder). Write: missing folders are made (with the names as written) and the last
// component may be missing. A component that exists as a file where a folder is needed, or a
// folder that cannot be made, fails with ERROR_PATH_NOT_FOUND; so does a null or empty path.
FOOTLIGHT_PLATFORM_API std::string ResolvePath(const std::string& root, const char* path, PathMode mode);

// The components ResolvePath walks for `path`, with '\' and '/', empty and "." components and
// ".." dealt with as above; false (and none) for a path it refuses before looking at anything.
// Paths of equal components (each compared without regard to ASCII case) find the same file.
FOOTLIGHT_PLATFORM_API bool PathComponents(const char* path, std::vector<std::string>* parts);

// The process's resource root, which D3DX and the host's services resolve paths under. The
// host sets it (footlight's --resource) before it hands the module its services; "" puts it
// back to the current directory, which is also where it starts. Any thread may call these.
FOOTLIGHT_PLATFORM_API void SetResourceRoot(const std::string& root);
FOOTLIGHT_PLATFORM_API std::string GetResourceRoot();

enum class FileRead { Read, NotOpened, NotAFile, TooLarge, Failed };

// The one way the platform, the host and the command line read a whole file of this system:
// only a regular file (a folder, a device or a pipe is NotAFile, and opening one never waits),
// and only one of at most `limit` bytes, checked before any byte is read (TooLarge). NotOpened
// is a file that is not there or does not open, Failed one that fails while read. On anything
// but Read, `reason` (when given) says why in a few words ("is a folder", "holds
// 9000000 bytes, more than the 8396802 it may", the system's error text) and `out` is empty.
FOOTLIGHT_PLATFORM_API FileRead ReadRegularFile(const std::string& path, uint64_t limit, std::vector<uint8_t>* out,
                                                std::string* reason = nullptr);
// The same rules without the read, for a file handed on to a reader of its own (a media
// library) or only looked at: Read when ReadRegularFile would read it, else its refusal.
FOOTLIGHT_PLATFORM_API FileRead CheckRegularFile(const std::string& path, uint64_t limit,
                                                 std::string* reason = nullptr);

}  // namespace win32
