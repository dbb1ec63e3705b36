// The component object model as the video code uses it: class and interface identifiers,
// result codes, IUnknown, the reference-counted base of every object of the layer, and
// object creation through a table of classes.
#pragma once
#include <atomic>
#include <cstring>

#include "platform_api.h"
#include "win32/win32_types.h"

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const GUID&;
using REFCLSID = const GUID&;
using REFGUID = const GUID&;

inline bool operator==(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool IsEqualGUID(const GUID& a, const GUID& b) { return a == b; }

// Results beyond the generic ones of win32_types.h.
#define E_ABORT (static_cast<HRESULT>(0x80004004u))
#define CLASS_E_NOAGGREGATION (static_cast<HRESULT>(0x80040110u))
#define REGDB_E_CLASSNOTREG (static_cast<HRESULT>(0x80040154u))
#define VFW_E_NOT_CONNECTED (static_cast<HRESULT>(0x80040209u))
#define VFW_E_ALREADY_CONNECTED (static_cast<HRESULT>(0x80040204u))
#define VFW_E_NOT_COMMITTED (static_cast<HRESULT>(0x80040211u))
#define VFW_E_SIZENOTSET (static_cast<HRESULT>(0x80040212u))
#define VFW_E_NOT_STOPPED (static_cast<HRESULT>(0x80040224u))
#define VFW_E_WRONG_STATE (static_cast<HRESULT>(0x80040227u))
#define VFW_E_TYPE_NOT_ACCEPTED (static_cast<HRESULT>(0x8004022Au))
#define VFW_E_SAMPLE_TIME_NOT_SET (static_cast<HRESULT>(0x80040249u))
#define VFW_E_NOT_FOUND (static_cast<HRESULT>(0x80040216u))
#define VFW_S_STATE_INTERMEDIATE (static_cast<HRESULT>(0x00040237))

// Execution contexts of CoCreateInstance; every class of this layer lives in the process.
constexpr DWORD CLSCTX_INPROC_SERVER = 1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 2;
constexpr DWORD CLSCTX_INPROC = 3;

class IUnknown {
 public:
  virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  virtual ~IUnknown() = default;
};

inline constexpr IID IID_IUnknown = {0x3F6C1A00, 0x6A1E, 0x4E0A, {0x91, 0x2D, 0x50, 0x7A, 0x21, 0x01, 0x01, 0x00}};

// The reference count and identity of every object of the layer. An object starts with no
// reference; the first QueryInterface or AddRef takes one and the last Release deletes it.
// An object made inside another (owner non-null) forwards its IUnknown calls to the owner.
class FOOTLIGHT_PLATFORM_API CUnknown {
 public:
  explicit CUnknown(IUnknown* owner);
  virtual ~CUnknown();
  CUnknown(const CUnknown&) = delete;
  CUnknown& operator=(const CUnknown&) = delete;

  // Answers IID_IUnknown with the object itself; derived classes add their interfaces and
  // hand the rest down.
  virtual HRESULT NonDelegatingQueryInterface(REFIID iid, void** object);
  virtual ULONG NonDelegatingAddRef();
  virtual ULONG NonDelegatingRelease();
  // The owner, or null when the object is its own.
  IUnknown* GetOwner() const { return owner_; }
  LONG RefCount() const { return refs_.load(); }

 protected:
  // The object's own IUnknown, the one every interface of it answers IID_IUnknown with.
  virtual IUnknown* OwnUnknown() = 0;
  // Fills *object with `face` and takes a reference.
  HRESULT GetInterface(IUnknown* face, void** object);

 private:
  IUnknown* owner_;
  std::atomic<LONG> refs_{0};
};

// The IUnknown methods of an interface that a CUnknown object implements: to the owner when
// there is one, else to the object's own counting.
#define DSHOW_DECLARE_IUNKNOWN                                                                   \
  HRESULT QueryInterface(REFIID iid, void** object) override {                                 \
    return GetOwner() ? GetOwner()->QueryInterface(iid, object) : NonDelegatingQueryInterface(iid, object); \
  }                                                                                              \
  ULONG AddRef() override { return GetOwner() ? GetOwner()->AddRef() : NonDelegatingAddRef(); } \
  ULONG Release() override { return GetOwner() ? GetOwner()->Release() : NonDelegatingRelease(); }

// A class's maker for CoCreateInstance: a new object asked for `iid`.
using ClassMaker = HRESULT (*)(REFIID iid, void** object);

FOOTLIGHT_PLATFORM_API HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid,
                                                void** object);

namespace dshow {

// Adds (or replaces) a class of CoCreateInstance.
FOOTLIGHT_PLATFORM_API void RegisterClassMaker(REFCLSID clsid, ClassMaker maker);
FOOTLIGHT_PLATFORM_API void UnregisterClassMaker(REFCLSID clsid);
// The maker registered for `clsid`, or null; a test that stands a class in puts it back.
FOOTLIGHT_PLATFORM_API ClassMaker FindClassMaker(REFCLSID clsid);
// The next `times` creations of `clsid` (-1: every one) fail with `result`, for tests.
FOOTLIGHT_PLATFORM_API void FailCreation(REFCLSID clsid, HRESULT result, int times = -1);
FOOTLIGHT_PLATFORM_API void ClearCreationFailures();

}  // namespace dshow
