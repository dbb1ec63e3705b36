// Streaming threads of push sources.
#include "dshow/push_source.h"

#include "dshow/streaming.h"

CPushSourcePin::CPushSourcePin(const wchar_t* name, CPushSource* source) : CBaseOutputPin(name, source) {}

CPushSourcePin::~CPushSourcePin() { StopStreaming(); }

HRESULT CPushSourcePin::Active() {
  const HRESULT hr = CBaseOutputPin::Active();
  std::lock_guard<std::mutex> guard(threadLock_);
  if (FAILED(hr) || thread_.joinable()) return hr;
  {
    std::lock_guard<std::mutex> lock(dshow::ScheduleMutex());
    stop_ = false;
  }
  token_ = dshow::BeginStreamThread();
  thread_ = std::thread([this] { Stream(); });
  return S_OK;
}

HRESULT CPushSourcePin::Inactive() {
  StopStreaming();
  return CBaseOutputPin::Inactive();
}

void CPushSourcePin::StopStreaming() {
  std::lock_guard<std::mutex> guard(threadLock_);
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(dshow::ScheduleMutex());
    stop_ = true;
    dshow::WakeStreaming();
  }
  // Frees a thread waiting for a buffer.
  if (allocator_) allocator_->Decommit();
  thread_.join();
  dshow::EndStreamThread(token_);
  token_ = nullptr;
}

void CPushSourcePin::Stream() {
  dshow::AttachStreamThread(token_);
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(dshow::ScheduleMutex());
      if (stop_) break;
    }
    IMediaSample* sample = nullptr;
    if (FAILED(GetDeliveryBuffer(&sample))) break;
    HRESULT hr = FillBuffer(sample);
    if (hr == S_FALSE) {
      sample->Release();
      DeliverEndOfStream();
      break;
    }
    if (FAILED(hr)) {
      sample->Release();
      filter_->NotifyEvent(EC_ERRORABORT, hr, 0);
      break;
    }
    hr = Deliver(sample);
    sample->Release();
    // Downstream stopped, flushes or refuses: nothing more goes out until the next start.
    if (hr != S_OK) break;
  }
  std::unique_lock<std::mutex> lock(dshow::ScheduleMutex());
  dshow::MarkStreamThread(dshow::StreamWait::Ended);
  while (!stop_) dshow::WaitStreaming(lock);
}

CPushSource::CPushSource(const wchar_t* name, IUnknown* owner, REFCLSID clsid) : CBaseFilter(name, owner, clsid) {}

CPushSource::~CPushSource() {
  for (CPushSourcePin* pin : pins_) delete pin;
}

HRESULT CPushSource::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (object && iid == IID_ISourcePosition) return GetInterface(static_cast<ISourcePosition*>(this), object);
  return CBaseFilter::NonDelegatingQueryInterface(iid, object);
}

HRESULT CPushSource::Stop() {
  for (CPushSourcePin* pin : pins_) pin->StopStreaming();
  return CBaseFilter::Stop();
}

int CPushSource::GetPinCount() { return static_cast<int>(pins_.size()); }

CBasePin* CPushSource::GetPin(int index) {
  return index >= 0 && index < static_cast<int>(pins_.size()) ? pins_[static_cast<size_t>(index)] : nullptr;
}

void CPushSource::AddPin(CPushSourcePin* pin) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  pins_.push_back(pin);
}

HRESULT CPushSource::GetDuration(REFERENCE_TIME* duration) {
  if (!duration) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  *duration = 0;
  for (CPushSourcePin* pin : pins_) *duration = std::max(*duration, pin->Duration());
  return S_OK;
}

HRESULT CPushSource::SetPosition(REFERENCE_TIME position) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
  for (CPushSourcePin* pin : pins_) {
    const HRESULT hr = pin->SetPosition(position);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}
