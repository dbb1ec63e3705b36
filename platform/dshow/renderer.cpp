// Scheduling of samples against the clock, end of stream and flushing for renderers.
#include "dshow/renderer.h"

#include "dshow/streaming.h"

// ---------------------------------------------------------------------------------------
// CRendererInputPin

CRendererInputPin::CRendererInputPin(CBaseRenderer* renderer, const wchar_t* name)
    : CBaseInputPin(name, renderer), renderer_(renderer) {}

HRESULT CRendererInputPin::CheckMediaType(const CMediaType* type) { return renderer_->CheckMediaType(type); }

HRESULT CRendererInputPin::SetMediaType(const CMediaType* type) {
  const HRESULT hr = renderer_->SetMediaType(type);
  if (FAILED(hr)) return hr;
  return CBaseInputPin::SetMediaType(type);
}

HRESULT CRendererInputPin::BreakConnect() {
  renderer_->BreakConnect();
  return CBaseInputPin::BreakConnect();
}

HRESULT CRendererInputPin::Receive(IMediaSample* sample) {
  const HRESULT hr = CBaseInputPin::Receive(sample);
  if (hr != S_OK) return hr;
  return renderer_->Receive(sample);
}

HRESULT CRendererInputPin::EndOfStream() {
  if (filter_->CurrentState() == State_Stopped) return VFW_E_WRONG_STATE;
  return renderer_->EndOfStream();
}

HRESULT CRendererInputPin::BeginFlush() {
  CBaseInputPin::BeginFlush();
  return renderer_->BeginFlush();
}

HRESULT CRendererInputPin::EndFlush() {
  renderer_->EndFlush();
  return CBaseInputPin::EndFlush();
}

// ---------------------------------------------------------------------------------------
// CBaseRenderer

CBaseRenderer::CBaseRenderer(REFCLSID clsid, const wchar_t* name, IUnknown* owner, HRESULT* result)
    : CBaseFilter(name, owner, clsid), pin_(new CRendererInputPin(this, L"In")) {
  if (result) *result = S_OK;
}

CBaseRenderer::~CBaseRenderer() { delete pin_; }

int CBaseRenderer::GetPinCount() { return 1; }

CBasePin* CBaseRenderer::GetPin(int index) { return index == 0 ? pin_ : nullptr; }

HRESULT CBaseRenderer::SetMediaType(const CMediaType*) { return S_OK; }
HRESULT CBaseRenderer::BreakConnect() { return S_OK; }

void CBaseRenderer::Publish() {
  std::lock_guard<std::mutex> lock(dshow::ScheduleMutex());
  scheduled_ = state_;
  scheduledStart_ = start_;
  scheduledClock_ = clock_;
  if (state_ == State_Stopped) haveEnd_ = false;
  dshow::WakeStreaming();
}

HRESULT CBaseRenderer::Stop() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  const HRESULT hr = CBaseFilter::Stop();
  Publish();
  return hr;
}

HRESULT CBaseRenderer::Pause() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  const HRESULT hr = CBaseFilter::Pause();
  Publish();
  return hr;
}

HRESULT CBaseRenderer::Run(REFERENCE_TIME start) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  const HRESULT hr = CBaseFilter::Run(start);
  Publish();
  return hr;
}

HRESULT CBaseRenderer::SetSyncSource(IReferenceClock* clock) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  const HRESULT hr = CBaseFilter::SetSyncSource(clock);
  Publish();
  return hr;
}

bool CBaseRenderer::WaitUntilDue(std::unique_lock<std::mutex>& lock, bool timed, REFERENCE_TIME due) {
  for (;;) {
    if (scheduled_ == State_Stopped || flushing_) {
      dshow::MarkStreamThread(dshow::StreamWait::Busy);
      return false;
    }
    if (scheduled_ == State_Paused) {
      dshow::MarkStreamThread(dshow::StreamWait::Held);
      dshow::WaitStreaming(lock);
      continue;
    }
    IReferenceClock* clock = scheduledClock_;
    REFERENCE_TIME now = 0;
    if (!timed || !clock || FAILED(clock->GetTime(&now))) break;
    const REFERENCE_TIME at = scheduledStart_ + due;
    if (now >= at) break;
    dshow::MarkStreamThread(dshow::StreamWait::Clock, clock, at);
    dshow::WaitStreaming(lock, clock, at);
  }
  dshow::MarkStreamThread(dshow::StreamWait::Busy);
  return true;
}

HRESULT CBaseRenderer::Receive(IMediaSample* sample) {
  REFERENCE_TIME start = 0, end = 0;
  const bool timed = SUCCEEDED(sample->GetTime(&start, &end));
  {
    std::unique_lock<std::mutex> lock(dshow::ScheduleMutex());
    if (!WaitUntilDue(lock, timed, start)) return flushing_ ? S_FALSE : VFW_E_WRONG_STATE;
    if (timed) {
      haveEnd_ = true;
      lastEnd_ = std::max(start, end);
    }
  }
  // Rendering holds no lock: one streaming thread feeds the pin, so renders never overlap.
  const HRESULT hr = DoRenderSample(sample);
  std::lock_guard<std::mutex> lock(dshow::ScheduleMutex());
  if (SUCCEEDED(hr))
    ++rendered_;
  else
    ++failures_;
  return S_OK;
}

HRESULT CBaseRenderer::EndOfStream() {
  {
    std::unique_lock<std::mutex> lock(dshow::ScheduleMutex());
    if (!WaitUntilDue(lock, haveEnd_, lastEnd_)) return S_OK;
  }
  NotifyEvent(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
  return S_OK;
}

HRESULT CBaseRenderer::BeginFlush() {
  std::lock_guard<std::mutex> lock(dshow::ScheduleMutex());
  flushing_ = true;
  haveEnd_ = false;
  dshow::WakeStreaming();
  return S_OK;
}

HRESULT CBaseRenderer::EndFlush() {
  std::lock_guard<std::mutex> lock(dshow::ScheduleMutex());
  flushing_ = false;
  return S_OK;
}

LONG CBaseRenderer::SamplesRendered() {
  std::lock_guard<std::mutex> lock(dshow::ScheduleMutex());
  return rendered_;
}

LONG CBaseRenderer::RenderFailures() {
  std::lock_guard<std::mutex> lock(dshow::ScheduleMutex());
  return failures_;
}

// ---------------------------------------------------------------------------------------
// CBaseVideoRenderer

CBaseVideoRenderer::CBaseVideoRenderer(REFCLSID clsid, const wchar_t* name, IUnknown* owner, HRESULT* result)
    : CBaseRenderer(clsid, name, owner, result) {}

CBaseVideoRenderer::~CBaseVideoRenderer() = default;

HRESULT CBaseVideoRenderer::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (object && iid == IID_IQualProp) return GetInterface(static_cast<IQualProp*>(this), object);
  if (object && iid == IID_IQualityControl) return GetInterface(static_cast<IQualityControl*>(this), object);
  return CBaseRenderer::NonDelegatingQueryInterface(iid, object);
}

HRESULT CBaseVideoRenderer::get_FramesDroppedInRenderer(int*) { return E_NOTIMPL; }
HRESULT CBaseVideoRenderer::get_FramesDrawn(int*) { return E_NOTIMPL; }
HRESULT CBaseVideoRenderer::Notify(IBaseFilter*, LONG_PTR) { return E_NOTIMPL; }
HRESULT CBaseVideoRenderer::SetSink(IQualityControl*) { return E_NOTIMPL; }
