// The host framework's interfaces as the module calls them. Each operation carries the slot
// number the host's table gives it; the host implements these and hands them to DMAInterface.
#pragma once
#include <cstddef>
#include <cstdint>
#include <concepts>
#include <type_traits>

#include "frame/component_handle.h"
#include "d3d8/d3d8types.h"
#include "win32/win32_types.h"

#if defined(__GNUC__)
#define FL_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define FL_PRINTF(fmt, args)
#endif

class IIniService;
class IIniFile;
class CComponentBase;

// The host allocator. A block p carries the requested size in the 32-bit word at p - 8; the
// word at p - 4 belongs to the caller (the module keeps element counts there).
class IHostAllocator {
 public:
  virtual void* Alloc(uint32_t size, const char* tag, int line) = 0;                 // slot 1
  virtual void* Realloc(void* block, uint32_t size, const char* tag, int line) = 0;  // slot 2
  virtual void Free(void* block, const char* tag, int line) = 0;                     // slot 3

 protected:
  ~IHostAllocator() = default;
};

class IObjectRegistry {
 public:
  virtual void Bind(uint32_t id, uint32_t serial) = 0;                        // slot 1
  virtual void Unregister(uint32_t id) = 0;                                   // slot 2
  virtual void Register(void* object) = 0;                                    // slot 3
  virtual ComponentHandle* GetNewHandle(ComponentHandle* scratch) = 0;        // slot 4
  virtual void Log(const char* format, ...) FL_PRINTF(2, 3) = 0;              // slot 5
  virtual void BeginLogEntry() = 0;                                           // slot 6

 protected:
  ~IObjectRegistry() = default;
};

// The parameter stream handed to OnEvent; the first integer is the event code.
class IEventArgs {
 public:
  virtual int ReadInt() = 0;      // slot 3
  virtual float ReadFloat() = 0;  // slot 5

 protected:
  ~IEventArgs() = default;
};

// One argument of a typed message. The letters are those of the signature string:
// 'l' int32, 's' text, 'p' pointer, 'c' three floats, 'f' double, 'i' ComponentHandle.
// Two extra kinds come from the C++ side only: 'S' a writable char pointer (text or out
// buffer) and 'n' a null pointer literal (null text or null pointer).
struct MessageArg {
  char kind;
  union {
    int32_t l;
    const char* s;
    void* p;
    float c[3];
    double f;
    ComponentHandle i;
  };
};

namespace message_detail {
template <class T>
concept Vector3Like = requires(const T& t) {
  { t.x } -> std::convertible_to<float>;
  { t.y } -> std::convertible_to<float>;
  { t.z } -> std::convertible_to<float>;
} && sizeof(T) == 3 * sizeof(float);

template <class T>
MessageArg Make(const T& value) {
  using U = std::remove_cvref_t<T>;
  MessageArg a{};
  if constexpr (std::is_same_v<U, ComponentHandle>) {
    a.kind = 'i';
    a.i = value;
  } else if constexpr (std::is_same_v<U, std::nullptr_t>) {
    a.kind = 'n';
    a.p = nullptr;
  } else if constexpr (std::is_floating_point_v<U>) {
    a.kind = 'f';
    a.f = static_cast<double>(value);
  } else if constexpr (std::is_integral_v<U> || std::is_enum_v<U>) {
    static_assert(sizeof(U) <= 4, "message integers travel as 32-bit 'l' values");
    a.kind = 'l';
    a.l = static_cast<int32_t>(value);
  } else if constexpr (std::is_array_v<U>) {
    using E = std::remove_extent_t<U>;
    if constexpr (std::is_same_v<std::remove_cv_t<E>, char>) {
      a.kind = std::is_const_v<E> ? 's' : 'S';
      a.s = value;
    } else {
      a.kind = 'p';
      a.p = const_cast<void*>(static_cast<const void*>(value));
    }
  } else if constexpr (std::is_pointer_v<U>) {
    using E = std::remove_pointer_t<U>;
    if constexpr (std::is_same_v<E, const char>) {
      a.kind = 's';
      a.s = value;
    } else if constexpr (std::is_same_v<E, char>) {
      a.kind = 'S';
      a.s = value;
    } else {
      a.kind = 'p';
      a.p = const_cast<void*>(static_cast<const void*>(value));
    }
  } else if constexpr (Vector3Like<U>) {
    a.kind = 'c';
    a.c[0] = value.x;
    a.c[1] = value.y;
    a.c[2] = value.z;
  } else {
    static_assert(sizeof(U) == 0, "this type has no message signature letter");
  }
  return a;
}
}  // namespace message_detail

class IHost {
 public:
  virtual IHostAllocator* GetAllocator() = 0;                                     // slot 5
  virtual HWND GetWindowHandle() = 0;                                             // slot 8
  virtual void Log(const char* format, ...) FL_PRINTF(2, 3) = 0;                  // slot 14
  virtual bool FindObject(ComponentHandle* out, const char* name, int flags) = 0;  // slot 19
  virtual void* GetService(const char* name) = 0;                                 // slot 21
  // slot 25. True when an object was made (its handle is in *out); false leaves *out all zero.
  virtual bool CreateObject(ComponentHandle* out, const char* className) = 0;
  virtual void DestroyObject(ComponentHandle handle) = 0;                         // slot 26
  virtual void* GetObject(const ComponentHandle* handle) = 0;                     // slot 27
  virtual uint32_t GetObjectCookie(const ComponentHandle* handle) = 0;            // slot 39
  // slot 40: the signature names one letter per value, the message id first ("l").
  virtual int SendMessageV(ComponentHandle target, const char* signature, int32_t id,
                           const MessageArg* args, int count) = 0;
  virtual void Subscribe(const char* channel, ComponentHandle handle, int order) = 0;  // slot 46

  // The typed front end of slot 40: each argument becomes its signature letter.
  template <class... Args>
  int SendMessage(ComponentHandle target, const char* signature, int32_t id, const Args&... args) {
    const MessageArg list[sizeof...(Args) + 1] = {message_detail::Make(args)..., MessageArg{}};
    return SendMessageV(target, signature, id, list, static_cast<int>(sizeof...(Args)));
  }

  // The host carries its INI and file service right after its own interface pointer.
  IIniService* m_pIniService = nullptr;

 protected:
  ~IHost() = default;
};

// Access and disposition values the module passes to OpenFile.
constexpr uint32_t kFileAccessRead = 0x80000000u;
constexpr uint32_t kFileAccessWrite = 0x40000000u;
constexpr uint32_t kFileShareRead = 1;
constexpr uint32_t kFileCreateAlways = 2;
constexpr uint32_t kFileOpenExisting = 3;

class IIniService {
 public:
  virtual HANDLE OpenFile(const char* path, uint32_t access, uint32_t share, uint32_t disposition) = 0;  // slot 1
  virtual void CloseFile(HANDLE file) = 0;                                                // slot 2
  virtual BOOL WriteFile(HANDLE file, const void* buffer, uint32_t size, uint32_t* written) = 0;  // slot 5
  virtual BOOL ReadFile(HANDLE file, void* buffer, uint32_t size, uint32_t* read) = 0;    // slot 6
  virtual uint32_t GetFileSize(HANDLE file, uint32_t* high) = 0;                          // slot 14
  virtual IIniFile* OpenIni(const char* path, int flags) = 0;                             // slot 22
  virtual IIniFile* CreateIni(const char* path, int flags) = 0;                           // slot 25
  virtual void Flush() = 0;                                                               // slot 29

 protected:
  ~IIniService() = default;
};

// An INI file handed out by the service: a counted host block of one element. The module
// releases it by running the destructor on the element, then freeing the block.
class IIniFile {
 public:
  virtual ~IIniFile() = default;                                                               // slot 0
  virtual void AddString(const char* section, const char* key, const char* text) = 0;         // slot 1
  virtual void WriteString(const char* section, const char* key, const char* text) = 0;       // slot 2
  virtual void WriteInt(const char* section, const char* key, int value) = 0;                 // slot 3
  virtual void WriteFloat(const char* section, const char* key, double value) = 0;            // slot 4
  virtual bool GetString(const char* section, const char* key, char* buffer, int size,
                         const char* defaultText) = 0;                                         // slot 5
  virtual bool GetNextString(const char* section, const char* key, char* buffer, int size) = 0;  // slot 7
  virtual int GetInt(const char* section, const char* key, int defaultValue) = 0;             // slot 8
  virtual float GetFloat(const char* section, const char* key, float defaultValue) = 0;       // slot 14
  virtual bool GetBool(const char* section, const char* key, bool defaultValue) = 0;          // slot 20
  virtual bool GetFirstSection(char* buffer, int size) = 0;                                   // slot 21
  virtual bool GetNextSection(char* buffer, int size) = 0;                                    // slot 22
  // The reference host's own slot: writes a writer's text to its file now; true only when the
  // bytes reached the disk. The module calls it before releasing a writer, so a full or
  // read-only target is reported as a failure.
  virtual bool Commit() = 0;  // slot 23
};
