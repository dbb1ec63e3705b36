// The host's INI and file service, rooted at a resource directory. Paths are Windows-style
// and resolved by win32::ResolvePath (win32/file_system.h).
//
// Files: OpenFile takes the access bits 0x80000000 (read) and 0x40000000 (write), the share
// bits 1 (read) and 2 (write), and the dispositions 1 create-new, 2 create-always,
// 3 open-existing, 4 open-always, 5 truncate-existing; it returns INVALID_HANDLE_VALUE on
// failure with the reason as the last error (win32 GetLastError). Opening a file in a way
// that its other open handles do not share, or that does not share what they do, fails
// with ERROR_SHARING_VIOLATION. Only a regular file opens (ERROR_ACCESS_DENIED for a folder, a
// device or a pipe, which is never waited on). ReadFile and WriteFile move the whole count or fail: a read
// that finds fewer bytes than asked returns FALSE (ERROR_HANDLE_EOF) and gives the count it
// got, so a truncated file is never taken for a whole one. The count pointer may be null.
//
// INI files (see host/ini_file.h) are read by the one read step (win32/file_system.h), up to
// kIniFileMaxBytes; a refusal is a log line. OpenIni parses a file once and keeps it until Flush, or
// until the service itself writes that file (an INI writer, or OpenFile for writing);
// a file changed on disk by anyone else reads fresh only after Flush. The objects handed
// out are counted host blocks of one element, released by the module as such. The host
// (IHost) gives the allocator and the log; without one, OpenIni and CreateIni give null.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "frame/host_interfaces.h"
#include "host/ini_file.h"

namespace host {

// The largest INI file read: the scene, light, helper-point and object files are a few
// kilobytes.
inline constexpr uint64_t kIniFileMaxBytes = 4u << 20;

// What the service and the INI objects it handed out share; lives while any of them does.
struct IniServiceCore {
  std::string root;
  IHost* host = nullptr;
  std::mutex lock;
  std::map<std::string, std::shared_ptr<const IniDocument>> cache;  // by resolved path

  void Log(const std::string& line);
  void Forget(const std::string& resolvedPath);
};

class IniService final : public IIniService {
 public:
  explicit IniService(std::string root, IHost* host = nullptr);
  ~IniService();
  IniService(const IniService&) = delete;
  IniService& operator=(const IniService&) = delete;

  // The host whose allocator makes the INI objects and whose log takes the service's lines.
  void SetHost(IHost* host);
  const std::string& Root() const { return core_->root; }

  HANDLE OpenFile(const char* path, uint32_t access, uint32_t share, uint32_t disposition) override;
  void CloseFile(HANDLE file) override;
  BOOL WriteFile(HANDLE file, const void* buffer, uint32_t size, uint32_t* written) override;
  BOOL ReadFile(HANDLE file, void* buffer, uint32_t size, uint32_t* read) override;
  uint32_t GetFileSize(HANDLE file, uint32_t* high) override;
  IIniFile* OpenIni(const char* path, int flags) override;
  IIniFile* CreateIni(const char* path, int flags) override;
  void Flush() override;

  // The sections and keys of an INI file as lines ("[section]", "key=value"), for showing;
  // false when it does not open.
  bool DescribeIni(const char* path, std::vector<std::string>* lines);
  size_t OpenFiles();

 private:
  struct Open {
    int fd;
    bool read;
    bool write;
    uint32_t share;
    uint64_t device;
    uint64_t inode;
  };

  std::shared_ptr<const IniDocument> Load(const char* path);
  bool Find(HANDLE file, Open* out);

  std::shared_ptr<IniServiceCore> core_;
  std::mutex filesLock_;
  std::map<uintptr_t, Open> files_;
  uintptr_t nextFile_ = 0x100;
};

}  // namespace host
