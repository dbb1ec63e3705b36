// Kernel objects behind handles: threads, child processes and shared-memory mappings.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "win32/file_system.h"
#include "win32/win32.h"

extern char** environ;

namespace {

// Set once a thread or process has ended; shared by its handles and by whatever watches it.
struct EndSignal {
  std::mutex lock;
  std::condition_variable ended;
  bool done = false;
  DWORD exitCode = 0;

  void Finish(DWORD code) {
    {
      std::lock_guard<std::mutex> guard(lock);
      done = true;
      exitCode = code;
    }
    ended.notify_all();
  }

  // True once ended, false when the time ran out first.
  bool Wait(DWORD ms) {
    std::unique_lock<std::mutex> guard(lock);
    if (ms == INFINITE) {
      ended.wait(guard, [&] { return done; });
      return true;
    }
    return ended.wait_for(guard, std::chrono::milliseconds(ms), [&] { return done; });
  }
};

// Shared memory and its descriptor. A section that made or joined a name through
// CreateFileMappingA is one of the name's holders: it keeps a shared lock on the memory while
// it lives, and the last holder of any process to go removes the name (it alone gets the lock
// to itself). OpenFileMappingA neither holds nor removes.
struct Section {
  int fd = -1;
  std::string name;  // POSIX name, empty for an unnamed mapping
  bool holds = false;

  ~Section() {
    if (fd < 0) return;
    if (holds && flock(fd, LOCK_EX | LOCK_NB) == 0) shm_unlink(name.c_str());
    close(fd);
  }
};

bool SameFile(int a, int b) {
  struct stat x {}, y {};
  return fstat(a, &x) == 0 && fstat(b, &y) == 0 && x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}

// Makes or joins the named memory and holds it. A holder that is leaving removes the name while
// it has the lock to itself, so the name is checked again once the lock is shared: when it no
// longer names the memory locked, that memory was removed meanwhile and the name is tried again.
int HoldSharedName(const std::string& name, uint64_t size, bool* existed) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    bool made = true;
    int fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST) {
      made = false;
      fd = shm_open(name.c_str(), O_RDWR | O_CLOEXEC, 0);
      if (fd < 0 && errno == ENOENT) continue;  // removed between the two opens
    }
    if (fd < 0) return -1;
    if (made && ftruncate(fd, static_cast<off_t>(size)) != 0) {
      const int error = errno;
      shm_unlink(name.c_str());
      close(fd);
      errno = error;
      return -1;
    }
    int locked;
    do {
      locked = flock(fd, LOCK_SH);
    } while (locked != 0 && errno == EINTR);
    const int check = locked == 0 ? shm_open(name.c_str(), O_RDONLY | O_CLOEXEC, 0) : -1;
    const bool current = check >= 0 && SameFile(fd, check);
    if (check >= 0) close(check);
    if (current) {
      *existed = !made;
      return fd;
    }
    close(fd);
    if (locked != 0) return -1;
  }
  errno = EAGAIN;
  return -1;
}

struct KernelObject {
  virtual ~KernelObject() = default;
  std::shared_ptr<EndSignal> signal;  // null for objects that cannot be waited on
  std::shared_ptr<Section> section;   // mappings only
  bool writable = false;              // mappings: views may be written
};

struct View {
  size_t size;
  std::shared_ptr<Section> section;
};

struct Tables {
  std::mutex lock;
  std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> handles;
  std::map<uintptr_t, View> views;
  uintptr_t nextHandle = 0x1000;
  DWORD nextThreadId = 1;
};

Tables& T() {
  static Tables tables;
  return tables;
}

HANDLE AddHandle(std::shared_ptr<KernelObject> object) {
  Tables& t = T();
  std::lock_guard<std::mutex> guard(t.lock);
  const uintptr_t id = t.nextHandle;
  t.nextHandle += 4;  // handles are never reused, so a stale one is always caught
  t.handles.emplace(id, std::move(object));
  return reinterpret_cast<HANDLE>(id);
}

std::shared_ptr<KernelObject> FindHandle(HANDLE handle) {
  Tables& t = T();
  std::lock_guard<std::mutex> guard(t.lock);
  auto it = t.handles.find(reinterpret_cast<uintptr_t>(handle));
  return it == t.handles.end() ? nullptr : it->second;
}

DWORD ErrorFromErrno(int error) {
  switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM: return ERROR_ACCESS_DENIED;
    case ENOEXEC: return ERROR_BAD_FORMAT;
    case ENOMEM:
    case EAGAIN: return ERROR_NOT_ENOUGH_MEMORY;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    default: return ERROR_INVALID_PARAMETER;
  }
}

struct ThreadStart {
  LPTHREAD_START_ROUTINE start;
  LPVOID parameter;
  std::shared_ptr<EndSignal> signal;
};

void* ThreadEntry(void* raw) {
  std::unique_ptr<ThreadStart> s(static_cast<ThreadStart*>(raw));
  // Marks the thread ended however it leaves, a cancellation included.
  struct Finisher {
    std::shared_ptr<EndSignal> signal;
    DWORD code = 0;
    ~Finisher() { signal->Finish(code); }
  } finisher{s->signal};
  finisher.code = s->start(s->parameter);
  return nullptr;
}

std::string WindowsPath(const char* path) {
  std::string p(path);
  for (char& c : p)
    if (c == '\\') c = '/';
  return p;
}

std::string Absolute(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char cwd[PATH_MAX];
  if (getcwd(cwd, sizeof(cwd)) == nullptr) return path;
  return std::string(cwd) + "/" + path;
}

// A bare program name (no folder) is looked up beside the running program only: a file of that
// name in the current folder, which anyone may have put there, is never run. "" when there is none.
std::string ApplicationPath(const char* applicationName) {
  const std::string name = WindowsPath(applicationName);
  if (name.find('/') != std::string::npos) return Absolute(name);
  char self[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return std::string();
  const std::string path(self, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/') + 1) + name;
}

std::atomic<win32::ProcessStartHook> g_processStartHook{nullptr};

std::string PosixMappingName(const char* name) {
  std::string n = win32::IpcPrefix() + name;
  for (const char* prefix : {"Local\\", "Global\\"})
    if (n.rfind(prefix, 0) == 0) n.erase(0, std::strlen(prefix));
  for (char& c : n)
    if (c == '/' || c == '\\') c = '_';
  return "/" + n;
}

}  // namespace

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T stackSize, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                    DWORD creationFlags, LPDWORD threadId) {
  if (start == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if ((creationFlags & CREATE_SUSPENDED) != 0) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  auto object = std::make_shared<KernelObject>();
  object->signal = std::make_shared<EndSignal>();
  auto* s = new ThreadStart{start, parameter, object->signal};

  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);  // nothing to join later
  if (stackSize > 0) pthread_attr_setstacksize(&attr, std::max<size_t>(stackSize, PTHREAD_STACK_MIN));
  pthread_t thread;
  const int rc = pthread_create(&thread, &attr, &ThreadEntry, s);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    delete s;
    SetLastError(ErrorFromErrno(rc));
    return nullptr;
  }
  DWORD id;
  {
    Tables& t = T();
    std::lock_guard<std::mutex> guard(t.lock);
    id = t.nextThreadId++;
  }
  if (threadId != nullptr) *threadId = id;
  return AddHandle(std::move(object));
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
  std::shared_ptr<KernelObject> o = FindHandle(object);
  if (o == nullptr || o->signal == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return o->signal->Wait(milliseconds) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL CloseHandle(HANDLE object) {
  std::shared_ptr<KernelObject> released;  // destroyed outside the lock
  Tables& t = T();
  {
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.handles.find(reinterpret_cast<uintptr_t>(object));
    if (it == t.handles.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    released = std::move(it->second);
    t.handles.erase(it);
  }
  return TRUE;
}

namespace win32 {

std::string IpcPrefix() {
  const char* prefix = std::getenv("FOOTLIGHT_IPC_PREFIX");
  return prefix != nullptr ? prefix : "";
}

void SetProcessStartHook(ProcessStartHook hook) { g_processStartHook.store(hook); }

std::vector<std::string> SplitCommandLine(const char* commandLine) {
  std::vector<std::string> args;
  if (commandLine == nullptr) return args;
  const char* p = commandLine;
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (blank(*p)) ++p;
  if (*p == '\0') return args;

  std::string program;
  if (*p == '"') {
    ++p;
    while (*p != '\0' && *p != '"') program += *p++;
    if (*p == '"') ++p;
  } else {
    while (*p != '\0' && !blank(*p)) program += *p++;
  }
  args.push_back(program);

  for (;;) {
    while (blank(*p)) ++p;
    if (*p == '\0') break;
    std::string arg;
    bool quoted = false;
    while (*p != '\0' && (quoted || !blank(*p))) {
      if (*p == '\\') {
        size_t n = 0;
        while (p[n] == '\\') ++n;
        if (p[n] == '"') {
          arg.append(n / 2, '\\');
          if (n % 2 == 1) {
            arg += '"';
            p += n + 1;
          } else {
            p += n;  // the quote opens or closes a run, below
          }
        } else {
          arg.append(n, '\\');
          p += n;
        }
        continue;
      }
      if (*p == '"') {
        if (quoted && p[1] == '"') {
          arg += '"';
          p += 2;
        } else {
          quoted = !quoted;
          ++p;
        }
        continue;
      }
      arg += *p++;
    }
    args.push_back(std::move(arg));
  }
  return args;
}

}  // namespace win32

BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL,
                    DWORD creationFlags, LPVOID environment, LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                    LPPROCESS_INFORMATION processInformation) {
  if (startupInfo == nullptr || processInformation == nullptr ||
      (applicationName == nullptr && commandLine == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if ((creationFlags & CREATE_SUSPENDED) != 0) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  const bool useStdHandles = (startupInfo->dwFlags & STARTF_USESTDHANDLES) != 0;
  if (useStdHandles &&
      (startupInfo->hStdInput != nullptr || startupInfo->hStdOutput != nullptr || startupInfo->hStdError != nullptr)) {
    // Our handles are not streams a child could take over.
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }

  if (win32::ProcessStartHook hook = g_processStartHook.load()) {
    *processInformation = PROCESS_INFORMATION{};
    return hook(applicationName, commandLine, creationFlags, startupInfo);
  }

  std::vector<std::string> args = win32::SplitCommandLine(commandLine);
  std::string program;
  bool search = false;
  if (applicationName != nullptr) {
    program = ApplicationPath(applicationName);
    if (program.empty()) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return FALSE;
    }
    if (args.empty()) args.push_back(applicationName);
  } else {
    if (args.empty() || args[0].empty()) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    program = WindowsPath(args[0].c_str());
    if (program.find('/') == std::string::npos) search = true;
    else program = Absolute(program);
  }

  std::vector<std::string> envStrings;
  if (environment != nullptr)
    for (const char* e = static_cast<const char*>(environment); *e != '\0'; e += std::strlen(e) + 1)
      envStrings.emplace_back(e);
  std::vector<char*> argv, envp;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& e : envStrings) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (useStdHandles) {
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  }
  // The module's current directory is its resource root: a child started without a folder of
  // its own starts there, so that the resource paths it is handed name the same files.
  const std::string directory = currentDirectory != nullptr ? WindowsPath(currentDirectory) : win32::GetResourceRoot();
  if (directory != ".") posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  pid_t pid = 0;
  char** env = environment != nullptr ? envp.data() : environ;
  const int rc = search ? posix_spawnp(&pid, program.c_str(), &actions, &attr, argv.data(), env)
                        : posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), env);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    SetLastError(ErrorFromErrno(rc));
    return FALSE;
  }

  // A watcher reaps the child when it ends, whether or not anyone waits for it.
  auto signal = std::make_shared<EndSignal>();
  try {
    std::thread([pid, signal] {
      int status = 0;
      pid_t r;
      do {
        r = waitpid(pid, &status, 0);
      } while (r < 0 && errno == EINTR);
      DWORD code = 0;
      if (r == pid) code = WIFEXITED(status) ? static_cast<DWORD>(WEXITSTATUS(status)) : 128u + WTERMSIG(status);
      signal->Finish(code);
    }).detach();
  } catch (const std::system_error&) {
    // No thread for the watcher: wait here rather than leave a zombie behind.
    int status = 0;
    waitpid(pid, &status, 0);
    signal->Finish(0);
  }

  auto process = std::make_shared<KernelObject>();
  process->signal = signal;
  auto thread = std::make_shared<KernelObject>();
  thread->signal = signal;  // the first thread ends with the process
  processInformation->hProcess = AddHandle(std::move(process));
  processInformation->hThread = AddHandle(std::move(thread));
  processInformation->dwProcessId = static_cast<DWORD>(pid);
  processInformation->dwThreadId = static_cast<DWORD>(pid);
  return TRUE;
}

HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES, DWORD protect, DWORD maximumSizeHigh,
                          DWORD maximumSizeLow, LPCSTR name) {
  if (file != INVALID_HANDLE_VALUE) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  const DWORD page = protect & 0xFFu;
  const uint64_t size = (static_cast<uint64_t>(maximumSizeHigh) << 32) | maximumSizeLow;
  if ((page != PAGE_READONLY && page != PAGE_READWRITE) || size == 0 || size > static_cast<uint64_t>(INT64_MAX)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto section = std::make_shared<Section>();
  bool existed = false;
  if (name == nullptr) {
    section->fd = memfd_create("win32-mapping", MFD_CLOEXEC);
    if (section->fd >= 0 && ftruncate(section->fd, static_cast<off_t>(size)) != 0) {
      SetLastError(ErrorFromErrno(errno));
      return nullptr;
    }
  } else {
    section->name = PosixMappingName(name);
    section->fd = HoldSharedName(section->name, size, &existed);
    section->holds = section->fd >= 0;
  }
  if (section->fd < 0) {
    SetLastError(ErrorFromErrno(errno));
    return nullptr;
  }
  auto object = std::make_shared<KernelObject>();
  object->section = std::move(section);
  object->writable = page == PAGE_READWRITE;
  HANDLE h = AddHandle(std::move(object));
  SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return h;
}

HANDLE OpenFileMappingA(DWORD desiredAccess, BOOL, LPCSTR name) {
  if (name == nullptr || (desiredAccess & (FILE_MAP_READ | FILE_MAP_WRITE)) == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const bool write = (desiredAccess & FILE_MAP_WRITE) != 0;
  auto section = std::make_shared<Section>();
  section->name = PosixMappingName(name);
  section->fd = shm_open(section->name.c_str(), (write ? O_RDWR : O_RDONLY) | O_CLOEXEC, 0);
  if (section->fd < 0) {
    SetLastError(ErrorFromErrno(errno));
    return nullptr;
  }
  auto object = std::make_shared<KernelObject>();
  object->section = std::move(section);
  object->writable = write;
  return AddHandle(std::move(object));
}

LPVOID MapViewOfFile(HANDLE mapping, DWORD desiredAccess, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes) {
  std::shared_ptr<KernelObject> o = FindHandle(mapping);
  if (o == nullptr || o->section == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  const bool write = (desiredAccess & FILE_MAP_WRITE) != 0;
  if ((desiredAccess & (FILE_MAP_READ | FILE_MAP_WRITE)) == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (write && !o->writable) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  const uint64_t offset = (static_cast<uint64_t>(offsetHigh) << 32) | offsetLow;
  if (offset % 65536 != 0) {
    SetLastError(ERROR_MAPPED_ALIGNMENT);
    return nullptr;
  }
  struct stat st {};
  if (fstat(o->section->fd, &st) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return nullptr;
  }
  const uint64_t total = static_cast<uint64_t>(st.st_size);
  if (offset >= total || (bytes != 0 && bytes > total - offset)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  const size_t length = bytes != 0 ? bytes : static_cast<size_t>(total - offset);
  void* address = mmap(nullptr, length, write ? (PROT_READ | PROT_WRITE) : PROT_READ, MAP_SHARED, o->section->fd,
                       static_cast<off_t>(offset));
  if (address == MAP_FAILED) {
    SetLastError(ErrorFromErrno(errno));
    return nullptr;
  }
  Tables& t = T();
  std::lock_guard<std::mutex> guard(t.lock);
  t.views.emplace(reinterpret_cast<uintptr_t>(address), View{length, o->section});
  return address;
}

BOOL UnmapViewOfFile(LPCVOID baseAddress) {
  std::shared_ptr<Section> released;  // the section may go with its last view
  Tables& t = T();
  {
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.views.find(reinterpret_cast<uintptr_t>(baseAddress));
    if (it == t.views.end()) {
      SetLastError(ERROR_INVALID_ADDRESS);
      return FALSE;
    }
    munmap(const_cast<void*>(baseAddress), it->second.size);
    released = std::move(it->second.section);
    t.views.erase(it);
  }
  return TRUE;
}
