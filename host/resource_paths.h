// Windows-style resource paths ("resource\ini\Scene\1.ini") resolved to files below a root
// directory of this file system.
#pragma once
#include <string>

namespace host {

// The file `path` names below `root`, or "" when there is none.
//
// '\' and '/' both separate components; empty and "." components are skipped and ".." steps
// back, but never above the root (such a path is refused). A leading separator means the
// root itself; drive letters ("C:") and network paths ("\\server") are refused. Each
// component is matched without regard to ASCII case: an entry of exactly that name wins,
// otherwise the case-insensitive match that sorts first by bytes.
//
// For reading, every component must exist. For writing, missing folders are created (with
// the name as written) and the last component may be missing; a component that exists as
// a file where a folder is needed makes the path fail either way.
std::string ResolveResourcePath(const std::string& root, const char* path, bool forWriting);

}  // namespace host
