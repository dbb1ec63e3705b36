// A whole file's bytes for the host's readers and the command line: one step, so that every
// reader refuses folders, devices, pipes and files above its format's size before it reads.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "frame/host_interfaces.h"

namespace host {

// False with one line in *error when the file at `path` (a path of this system) is not a
// regular file of at most `limit` bytes or cannot be read: "cannot open <what> file <path>:
// <reason>" when it is not there or does not open, "cannot read <what> file <path>: <reason>"
// when it is no regular file, holds too much or fails while read.
bool ReadFileBytes(const std::string& path, const char* what, uint64_t limit, std::vector<uint8_t>* out,
                   std::string* error);

// The same for a file the module names (a resource path), read through the host's file service,
// which opens only regular files and never waits: "cannot open <what> file <path>" when it does
// not open, "cannot read <what> file <path>: <reason>" when it holds more than `limit` bytes
// (checked before a byte is read) or fails while read.
bool ReadServiceFile(IIniService& files, const char* path, const char* what, uint64_t limit,
                     std::vector<uint8_t>* out, std::string* error);

}  // namespace host
