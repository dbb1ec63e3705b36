// Where the reference host's processes keep what they share on this machine: the film player's
// pid file goes in the user's private runtime folder, never in a folder anyone may write, and
// the player's shared memory has one name.
#pragma once
#include <cstdint>
#include <string>

namespace host {

// The user's private runtime folder: $XDG_RUNTIME_DIR when it names a folder of this user that
// no one else may enter; otherwise "footlight-<uid>" in /tmp, made with mode 0700 when missing
// and taken only when it is a folder (not a link) of this user that no one else may enter. ""
// with a one-line reason in *error when neither will do.
std::string RuntimeFolder(std::string* error = nullptr);
// The same with the variable's value (null: unset) and the fallback's parent given.
std::string RuntimeFolderIn(const char* xdgRuntimeDir, const std::string& parent, std::string* error);

// The pid file of the film player of host window `window` in the runtime folder
// ("<prefix>footlight-filmplayer-<window>.pid", win32::IpcPrefix); "" without a runtime folder.
std::string FilmPlayerPidFile(int64_t window, std::string* error = nullptr);

// The file of the film player's shared memory "KelvoraVideo" as the platform names it.
std::string FilmMappingFile();
// True when that file is there and no process holds the mapping any more: what a player that
// was killed left behind. A live player's mapping is not.
bool FilmMappingLeftBehind();

}  // namespace host
