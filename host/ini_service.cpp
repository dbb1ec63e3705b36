#include "host/ini_service.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <new>

#include "win32/file_system.h"
#include "win32/win32.h"

namespace host {
namespace {

DWORD ErrorFromErrno(int error) {
  switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_FILE_EXISTS;
    default: return ERROR_INVALID_PARAMETER;
  }
}

HANDLE Invalid(DWORD error) {
  SetLastError(error);
  return INVALID_HANDLE_VALUE;
}

// An INI object in a counted host block of one element: the count word sits just before it.
template <class Construct>
IIniFile* PlaceInHostBlock(IniServiceCore& core, Construct construct) {
  if (core.host == nullptr) return nullptr;
  IHostAllocator* allocator = core.host->GetAllocator();
  if (allocator == nullptr) return nullptr;
  void* block = allocator->Alloc(static_cast<uint32_t>(sizeof(IniFile) + 4), nullptr, 0);
  if (block == nullptr) {
    core.Log("[INI] out of host memory for an INI object");
    return nullptr;
  }
  static_cast<uint32_t*>(block)[-1] = 1;
  IniFile* file = nullptr;
  try {
    file = construct(block);
  } catch (...) {
    allocator->Free(block, "", 0);
    return nullptr;
  }
  IIniFile* asInterface = file;
  // The module frees the pointer it was given, so it must be the block itself.
  if (static_cast<void*>(asInterface) != block) {
    file->~IniFile();
    allocator->Free(block, "", 0);
    return nullptr;
  }
  return asInterface;
}

}  // namespace

void IniServiceCore::Log(const std::string& line) {
  if (host != nullptr) host->Log("%s", line.c_str());
  else std::fprintf(stderr, "%s\n", line.c_str());
}

void IniServiceCore::Forget(const std::string& resolvedPath) {
  std::lock_guard<std::mutex> guard(lock);
  cache.erase(resolvedPath);
}

IniService::IniService(std::string root, IHost* host) : core_(std::make_shared<IniServiceCore>()) {
  core_->root = std::move(root);
  core_->host = host;
}

IniService::~IniService() {
  std::lock_guard<std::mutex> guard(filesLock_);
  for (auto& [id, open] : files_) close(open.fd);
  files_.clear();
}

void IniService::SetHost(IHost* host) { core_->host = host; }

size_t IniService::OpenFiles() {
  std::lock_guard<std::mutex> guard(filesLock_);
  return files_.size();
}

HANDLE IniService::OpenFile(const char* path, uint32_t access, uint32_t share, uint32_t disposition) {
  const bool wantRead = (access & kFileAccessRead) != 0;
  const bool wantWrite = (access & kFileAccessWrite) != 0;
  if (!wantRead && !wantWrite) return Invalid(ERROR_ACCESS_DENIED);
  int flags = O_CLOEXEC | (wantRead && wantWrite ? O_RDWR : wantWrite ? O_WRONLY : O_RDONLY);
  bool truncate = false;
  bool creates = false;
  switch (disposition) {
    case 1: flags |= O_CREAT | O_EXCL; creates = true; break;  // create new
    case kFileCreateAlways: flags |= O_CREAT; truncate = true; creates = true; break;
    case kFileOpenExisting: break;
    case 4: flags |= O_CREAT; creates = true; break;  // open always
    case 5: truncate = true; break;                    // truncate existing
    default: return Invalid(ERROR_INVALID_PARAMETER);
  }
  if (truncate && !wantWrite) return Invalid(ERROR_INVALID_PARAMETER);
  const std::string resolved =
      win32::ResolvePath(core_->root, path, creates ? win32::PathMode::Write : win32::PathMode::Read);
  if (resolved.empty()) return Invalid(GetLastError());

  // Not blocking, so that a pipe is refused at once instead of waiting for its other end; the
  // flag changes nothing for the regular files taken.
  const int fd = open(resolved.c_str(), flags | O_NONBLOCK | O_NOCTTY, 0644);
  if (fd < 0) return Invalid(errno == ENXIO ? ERROR_ACCESS_DENIED : ErrorFromErrno(errno));
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return Invalid(ERROR_ACCESS_DENIED);
  }
  Open open{fd, wantRead, wantWrite, share, static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
  uintptr_t id;
  {
    std::lock_guard<std::mutex> guard(filesLock_);
    for (const auto& [other, o] : files_) {
      if (o.device != open.device || o.inode != open.inode) continue;
      const bool clash = (o.read && !(share & 1)) || (o.write && !(share & 2)) || (wantRead && !(o.share & 1)) ||
                         (wantWrite && !(o.share & 2));
      if (clash) {
        close(fd);
        return Invalid(ERROR_SHARING_VIOLATION);
      }
    }
    // Only truncate once the sharing check has let the open through.
    if (truncate && ftruncate(fd, 0) != 0) {
      const int e = errno;
      close(fd);
      return Invalid(ErrorFromErrno(e));
    }
    id = nextFile_;
    nextFile_ += 4;
    files_.emplace(id, open);
  }
  if (wantWrite) core_->Forget(resolved);
  return reinterpret_cast<HANDLE>(id);
}

bool IniService::Find(HANDLE file, Open* out) {
  std::lock_guard<std::mutex> guard(filesLock_);
  auto it = files_.find(reinterpret_cast<uintptr_t>(file));
  if (it == files_.end()) return false;
  *out = it->second;
  return true;
}

void IniService::CloseFile(HANDLE file) {
  std::lock_guard<std::mutex> guard(filesLock_);
  auto it = files_.find(reinterpret_cast<uintptr_t>(file));
  if (it == files_.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return;
  }
  close(it->second.fd);
  files_.erase(it);
}

BOOL IniService::ReadFile(HANDLE file, void* buffer, uint32_t size, uint32_t* read) {
  if (read != nullptr) *read = 0;
  Open open{};
  if (!Find(file, &open) || !open.read) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (buffer == nullptr && size > 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  uint32_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(open.fd, static_cast<char*>(buffer) + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      SetLastError(ErrorFromErrno(errno));
      break;
    }
    if (n == 0) {
      SetLastError(ERROR_HANDLE_EOF);
      break;
    }
    done += static_cast<uint32_t>(n);
  }
  if (read != nullptr) *read = done;
  return done == size ? TRUE : FALSE;
}

BOOL IniService::WriteFile(HANDLE file, const void* buffer, uint32_t size, uint32_t* written) {
  if (written != nullptr) *written = 0;
  Open open{};
  if (!Find(file, &open) || !open.write) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (buffer == nullptr && size > 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  uint32_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(open.fd, static_cast<const char*>(buffer) + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      SetLastError(n < 0 ? ErrorFromErrno(errno) : ERROR_ACCESS_DENIED);
      break;
    }
    done += static_cast<uint32_t>(n);
  }
  if (written != nullptr) *written = done;
  return done == size ? TRUE : FALSE;
}

uint32_t IniService::GetFileSize(HANDLE file, uint32_t* high) {
  Open open{};
  struct stat st {};
  if (!Find(file, &open) || fstat(open.fd, &st) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    if (high != nullptr) *high = 0;
    return 0xFFFFFFFFu;
  }
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  if (high != nullptr) *high = static_cast<uint32_t>(size >> 32);
  return static_cast<uint32_t>(size & 0xFFFFFFFFu);
}

std::shared_ptr<const IniDocument> IniService::Load(const char* path) {
  const std::string resolved = win32::ResolvePath(core_->root, path, win32::PathMode::Read);
  if (resolved.empty()) return nullptr;
  {
    std::lock_guard<std::mutex> guard(core_->lock);
    auto it = core_->cache.find(resolved);
    if (it != core_->cache.end()) return it->second;
  }
  std::vector<uint8_t> bytes;
  std::string reason;
  const win32::FileRead status = win32::ReadRegularFile(resolved, kIniFileMaxBytes, &bytes, &reason);
  if (status != win32::FileRead::Read) {
    // One that does not open is the module's to report, as a missing one is.
    if (status != win32::FileRead::NotOpened) core_->Log("[INI] cannot read " + std::string(path) + ": " + reason);
    return nullptr;
  }
  auto doc = std::make_shared<const IniDocument>(IniDocument::Parse(std::string(bytes.begin(), bytes.end())));
  std::lock_guard<std::mutex> guard(core_->lock);
  core_->cache[resolved] = doc;
  return doc;
}

IIniFile* IniService::OpenIni(const char* path, int) {
  if (core_->host == nullptr) return nullptr;
  std::shared_ptr<const IniDocument> doc = Load(path);
  if (doc == nullptr) return nullptr;
  return PlaceInHostBlock(*core_, [&](void* block) { return new (block) IniFile(core_, path, doc); });
}

IIniFile* IniService::CreateIni(const char* path, int) {
  if (core_->host == nullptr) return nullptr;
  const std::string resolved = win32::ResolvePath(core_->root, path, win32::PathMode::Write);
  if (resolved.empty()) return nullptr;
  struct stat st {};
  if (stat(resolved.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode) || access(resolved.c_str(), W_OK) != 0) return nullptr;
  } else {
    const size_t slash = resolved.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string(".") : resolved.substr(0, slash);
    if (access(dir.c_str(), W_OK) != 0) return nullptr;
  }
  return PlaceInHostBlock(*core_, [&](void* block) { return new (block) IniFile(core_, path, resolved); });
}

void IniService::Flush() {
  std::lock_guard<std::mutex> guard(core_->lock);
  core_->cache.clear();
}

bool IniService::DescribeIni(const char* path, std::vector<std::string>* lines) {
  std::shared_ptr<const IniDocument> doc = Load(path);
  if (doc == nullptr) return false;
  for (size_t s = 0; s < doc->sections.size(); ++s) {
    if (s > 0) lines->push_back("[" + doc->sections[s].name + "]");
    for (const IniEntry& e : doc->sections[s].entries) lines->push_back(e.key + "=" + e.value);
  }
  return true;
}

}  // namespace host
