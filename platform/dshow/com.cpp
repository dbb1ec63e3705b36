// Reference counting and the class table of CoCreateInstance.
#include "dshow/com.h"

#include <mutex>
#include <vector>

CUnknown::CUnknown(IUnknown* owner) : owner_(owner) {}

CUnknown::~CUnknown() = default;

HRESULT CUnknown::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (iid == IID_IUnknown) return GetInterface(OwnUnknown(), object);
  return E_NOINTERFACE;
}

ULONG CUnknown::NonDelegatingAddRef() { return static_cast<ULONG>(++refs_); }

ULONG CUnknown::NonDelegatingRelease() {
  const LONG left = --refs_;
  if (left == 0) {
    // A destructor that queries itself must not come back here.
    refs_ = 1;
    delete this;
  }
  return static_cast<ULONG>(left);
}

HRESULT CUnknown::GetInterface(IUnknown* face, void** object) {
  *object = face;
  face->AddRef();
  return S_OK;
}

namespace {

struct ClassEntry {
  CLSID clsid;
  ClassMaker maker;
};

struct Failure {
  CLSID clsid;
  HRESULT result;
  int times;
};

struct ClassTable {
  std::mutex mutex;
  std::vector<ClassEntry> classes;
  std::vector<Failure> failures;
};

ClassTable& Table() {
  static ClassTable table;
  return table;
}

}  // namespace

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  ClassMaker maker = nullptr;
  {
    ClassTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    for (auto it = table.failures.begin(); it != table.failures.end(); ++it) {
      if (!(it->clsid == clsid)) continue;
      const HRESULT result = it->result;
      if (it->times > 0 && --it->times == 0) table.failures.erase(it);
      return result;
    }
    for (const auto& entry : table.classes)
      if (entry.clsid == clsid) maker = entry.maker;
  }
  if (!maker) return REGDB_E_CLASSNOTREG;
  return maker(iid, object);
}

namespace dshow {

void RegisterClassMaker(REFCLSID clsid, ClassMaker maker) {
  ClassTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  for (auto& entry : table.classes)
    if (entry.clsid == clsid) {
      entry.maker = maker;
      return;
    }
  table.classes.push_back({clsid, maker});
}

ClassMaker FindClassMaker(REFCLSID clsid) {
  ClassTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  for (const auto& entry : table.classes)
    if (entry.clsid == clsid) return entry.maker;
  return nullptr;
}

void UnregisterClassMaker(REFCLSID clsid) {
  ClassTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  std::erase_if(table.classes, [&](const ClassEntry& entry) { return entry.clsid == clsid; });
}

void FailCreation(REFCLSID clsid, HRESULT result, int times) {
  if (times == 0) return;
  ClassTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  table.failures.push_back({clsid, result, times});
}

void ClearCreationFailures() {
  ClassTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  table.failures.clear();
}

}  // namespace dshow
