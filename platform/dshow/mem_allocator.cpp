// An allocator of samples in plain memory. A sample given out holds a reference on its
// allocator and goes back to the free list at its last release.
#include <condition_variable>
#include <memory>
#include <vector>

#include "dshow/base_filter.h"

namespace {

class MemAllocator;

class MediaSample final : public IMediaSample {
 public:
  MediaSample(MemAllocator* owner, size_t size) : owner_(owner), data_(size) {}

  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!(iid == IID_IUnknown) && !(iid == IID_IMediaSample)) return E_NOINTERFACE;
    *object = static_cast<IMediaSample*>(this);
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return static_cast<ULONG>(++refs_); }
  ULONG Release() override;

  HRESULT GetPointer(BYTE** buffer) override {
    if (!buffer) return E_POINTER;
    *buffer = data_.data();
    return S_OK;
  }
  LONG GetSize() override { return static_cast<LONG>(data_.size()); }
  HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override {
    if (!start || !end) return E_POINTER;
    if (!timed_) return VFW_E_SAMPLE_TIME_NOT_SET;
    *start = start_;
    *end = end_;
    return S_OK;
  }
  HRESULT SetTime(const REFERENCE_TIME* start, const REFERENCE_TIME* end) override {
    timed_ = start != nullptr;
    start_ = start ? *start : 0;
    end_ = end ? *end : start_ + 1;
    return S_OK;
  }
  LONG GetActualDataLength() override { return actual_; }
  HRESULT SetActualDataLength(LONG length) override {
    if (length < 0 || static_cast<size_t>(length) > data_.size()) return E_INVALIDARG;
    actual_ = length;
    return S_OK;
  }

  // Made ready to be given out again.
  void Renew() {
    refs_ = 1;
    timed_ = false;
    actual_ = static_cast<LONG>(data_.size());
  }

 private:
  MemAllocator* owner_;
  std::vector<BYTE> data_;
  std::atomic<LONG> refs_{0};
  bool timed_ = false;
  REFERENCE_TIME start_ = 0, end_ = 0;
  LONG actual_ = 0;
};

class MemAllocator final : public CUnknown, public IMemAllocator {
 public:
  MemAllocator() : CUnknown(nullptr) {}
  DSHOW_DECLARE_IUNKNOWN

  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override {
    if (object && iid == IID_IMemAllocator) return GetInterface(static_cast<IMemAllocator*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
  }

  HRESULT SetProperties(const ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override {
    if (!request || !actual) return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex_);
    if (committed_ || out_ != 0) return VFW_E_WRONG_STATE;
    if (request->cbBuffer < 0 || request->cBuffers < 0) return E_INVALIDARG;
    properties_ = *request;
    properties_.cBuffers = std::max<LONG>(1, request->cBuffers);
    properties_.cbAlign = 1;
    properties_.cbPrefix = 0;
    *actual = properties_;
    return S_OK;
  }

  HRESULT GetProperties(ALLOCATOR_PROPERTIES* properties) override {
    if (!properties) return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex_);
    *properties = properties_;
    return S_OK;
  }

  HRESULT Commit() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (properties_.cbBuffer <= 0) return VFW_E_SIZENOTSET;
    if (committed_) return S_OK;
    if (samples_.empty()) {
      for (LONG i = 0; i < properties_.cBuffers; ++i) {
        samples_.push_back(std::make_unique<MediaSample>(this, static_cast<size_t>(properties_.cbBuffer)));
        free_.push_back(samples_.back().get());
      }
    }
    committed_ = true;
    return S_OK;
  }

  HRESULT Decommit() override {
    std::lock_guard<std::mutex> lock(mutex_);
    committed_ = false;
    changed_.notify_all();
    return S_OK;
  }

  HRESULT GetBuffer(IMediaSample** sample, REFERENCE_TIME*, REFERENCE_TIME*, DWORD) override {
    if (!sample) return E_POINTER;
    *sample = nullptr;
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return !committed_ || !free_.empty(); });
    if (!committed_) return VFW_E_NOT_COMMITTED;
    MediaSample* given = free_.back();
    free_.pop_back();
    ++out_;
    lock.unlock();
    given->Renew();
    NonDelegatingAddRef();
    *sample = given;
    return S_OK;
  }

  HRESULT ReleaseBuffer(IMediaSample* sample) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      free_.push_back(static_cast<MediaSample*>(sample));
      --out_;
      changed_.notify_all();
    }
    NonDelegatingRelease();
    return S_OK;
  }

 protected:
  IUnknown* OwnUnknown() override { return static_cast<IMemAllocator*>(this); }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  ALLOCATOR_PROPERTIES properties_{};
  bool committed_ = false;
  int out_ = 0;
  std::vector<std::unique_ptr<MediaSample>> samples_;
  std::vector<MediaSample*> free_;
};

ULONG MediaSample::Release() {
  const LONG left = --refs_;
  if (left == 0) owner_->ReleaseBuffer(this);
  return static_cast<ULONG>(left);
}

}  // namespace

namespace dshow {

IMemAllocator* CreateMemAllocator() {
  auto* allocator = new MemAllocator;
  allocator->AddRef();
  return allocator;
}

}  // namespace dshow
