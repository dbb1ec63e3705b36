// Filters, pins, pin enumeration and the connection handshake.
#include "dshow/base_filter.h"

#include <cwchar>

namespace {

// The pins of a filter as they were when the enumerator was made; it holds the filter.
class PinEnumerator final : public CUnknown, public IEnumPins {
 public:
  explicit PinEnumerator(CBaseFilter* filter) : CUnknown(nullptr), filter_(filter) {
    static_cast<IBaseFilter*>(filter_)->AddRef();
    std::lock_guard<std::recursive_mutex> lock(filter_->FilterLock());
    for (int i = 0; i < filter_->GetPinCount(); ++i) pins_.push_back(filter_->GetPin(i));
  }
  ~PinEnumerator() override { static_cast<IBaseFilter*>(filter_)->Release(); }
  DSHOW_DECLARE_IUNKNOWN

  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override {
    if (object && iid == IID_IEnumPins) return GetInterface(static_cast<IEnumPins*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
  }

  HRESULT Next(ULONG count, IPin** pins, ULONG* fetched) override {
    if (!pins || (count > 1 && !fetched)) return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex_);
    ULONG given = 0;
    while (given < count && next_ < pins_.size()) {
      pins[given] = pins_[next_++];
      pins[given]->AddRef();
      ++given;
    }
    if (fetched) *fetched = given;
    return given == count ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG count) override {
    std::lock_guard<std::mutex> lock(mutex_);
    next_ = std::min(pins_.size(), next_ + count);
    return next_ < pins_.size() || count == 0 ? S_OK : S_FALSE;
  }
  HRESULT Reset() override {
    std::lock_guard<std::mutex> lock(mutex_);
    next_ = 0;
    return S_OK;
  }

 protected:
  IUnknown* OwnUnknown() override { return static_cast<IEnumPins*>(this); }

 private:
  CBaseFilter* filter_;
  std::vector<IPin*> pins_;
  size_t next_ = 0;
  std::mutex mutex_;
};

void CopyName(WCHAR* target, size_t capacity, const std::wstring& name) {
  const size_t n = std::min(capacity - 1, name.size());
  std::wmemcpy(target, name.data(), n);
  target[n] = L'\0';
}

}  // namespace

// ---------------------------------------------------------------------------------------
// CBaseFilter

CBaseFilter::CBaseFilter(const wchar_t* name, IUnknown* owner, REFCLSID clsid)
    : CUnknown(owner), clsid_(clsid), name_(name ? name : L"") {}

CBaseFilter::~CBaseFilter() {
  if (clock_) clock_->Release();
}

IUnknown* CBaseFilter::OwnUnknown() { return static_cast<IBaseFilter*>(this); }

HRESULT CBaseFilter::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (iid == IID_IBaseFilter) return GetInterface(static_cast<IBaseFilter*>(this), object);
  if (iid == IID_IMediaFilter) return GetInterface(static_cast<IMediaFilter*>(this), object);
  if (iid == IID_IPersist) return GetInterface(static_cast<IPersist*>(this), object);
  if (iid == IID_IAMovieSetup) return GetInterface(static_cast<IAMovieSetup*>(this), object);
  return CUnknown::NonDelegatingQueryInterface(iid, object);
}

HRESULT CBaseFilter::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = clsid_;
  return S_OK;
}

HRESULT CBaseFilter::Stop() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  HRESULT result = S_OK;
  if (state_ != State_Stopped)
    for (int i = 0; i < GetPinCount(); ++i) {
      CBasePin* pin = GetPin(i);
      if (pin->IsConnected()) {
        const HRESULT hr = pin->Inactive();
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
      }
    }
  state_ = State_Stopped;
  return result;
}

HRESULT CBaseFilter::Pause() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (state_ == State_Stopped)
    for (int i = 0; i < GetPinCount(); ++i) {
      CBasePin* pin = GetPin(i);
      if (pin->IsConnected()) {
        const HRESULT hr = pin->Active();
        if (FAILED(hr)) return hr;
      }
    }
  state_ = State_Paused;
  return S_OK;
}

HRESULT CBaseFilter::Run(REFERENCE_TIME start) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  start_ = start;
  if (state_ == State_Stopped) {
    const HRESULT hr = Pause();
    if (FAILED(hr)) return hr;
  }
  state_ = State_Running;
  return S_OK;
}

HRESULT CBaseFilter::GetState(DWORD, FILTER_STATE* state) {
  if (!state) return E_POINTER;
  *state = CurrentState();
  return S_OK;
}

FILTER_STATE CBaseFilter::CurrentState() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  return state_;
}

HRESULT CBaseFilter::SetSyncSource(IReferenceClock* clock) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (clock) clock->AddRef();
  if (clock_) clock_->Release();
  clock_ = clock;
  return S_OK;
}

HRESULT CBaseFilter::GetSyncSource(IReferenceClock** clock) {
  if (!clock) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  *clock = clock_;
  if (clock_) clock_->AddRef();
  return S_OK;
}

HRESULT CBaseFilter::EnumPins(IEnumPins** pins) {
  if (!pins) return E_POINTER;
  auto* enumerator = new PinEnumerator(this);
  *pins = enumerator;
  enumerator->AddRef();
  return S_OK;
}

HRESULT CBaseFilter::FindPin(LPCWSTR id, IPin** pin) {
  if (!id || !pin) return E_POINTER;
  *pin = nullptr;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  for (int i = 0; i < GetPinCount(); ++i) {
    CBasePin* candidate = GetPin(i);
    if (std::wcscmp(candidate->Name().c_str(), id) == 0) {
      *pin = candidate;
      candidate->AddRef();
      return S_OK;
    }
  }
  return VFW_E_NOT_FOUND;
}

HRESULT CBaseFilter::QueryFilterInfo(FILTER_INFO* info) {
  if (!info) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  CopyName(info->achName, MAX_FILTER_NAME, name_);
  info->pGraph = graph_;
  if (graph_) graph_->AddRef();
  return S_OK;
}

HRESULT CBaseFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  graph_ = graph;
  sink_ = nullptr;
  if (graph) {
    void* sink = nullptr;
    if (SUCCEEDED(graph->QueryInterface(IID_IMediaEventSink, &sink))) {
      // The graph outlives its membership; a counted reference would keep it from ever going.
      sink_ = static_cast<IMediaEventSink*>(sink);
      sink_->Release();
    }
    if (name) name_ = name;
  }
  return S_OK;
}

HRESULT CBaseFilter::Register() { return E_NOTIMPL; }
HRESULT CBaseFilter::Unregister() { return E_NOTIMPL; }

bool CBaseFilter::NotifyEvent(LONG code, LONG_PTR param1, LONG_PTR param2) {
  IMediaEventSink* sink = nullptr;
  {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    sink = sink_;
  }
  return sink && SUCCEEDED(sink->Notify(code, param1, param2));
}

// ---------------------------------------------------------------------------------------
// CBasePin

CBasePin::CBasePin(const wchar_t* name, CBaseFilter* filter, PIN_DIRECTION direction)
    : CUnknown(nullptr), filter_(filter), lock_(filter->FilterLock()), direction_(direction), name_(name ? name : L"") {}

CBasePin::~CBasePin() {
  if (connected_) connected_->Release();
}

IUnknown* CBasePin::OwnUnknown() { return static_cast<IPin*>(this); }

HRESULT CBasePin::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (iid == IID_IPin) return GetInterface(static_cast<IPin*>(this), object);
  return CUnknown::NonDelegatingQueryInterface(iid, object);
}

ULONG CBasePin::NonDelegatingAddRef() { return static_cast<IBaseFilter*>(filter_)->AddRef(); }
ULONG CBasePin::NonDelegatingRelease() { return static_cast<IBaseFilter*>(filter_)->Release(); }

bool CBasePin::IsConnected() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  return connected_ != nullptr;
}

HRESULT CBasePin::Connect(IPin* receiver, const AM_MEDIA_TYPE* type) {
  if (!receiver) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (connected_) return VFW_E_ALREADY_CONNECTED;
  if (filter_->CurrentState() != State_Stopped) return VFW_E_NOT_STOPPED;
  if (type) return AttemptConnection(receiver, CMediaType(*type));
  HRESULT result = E_FAIL;
  CMediaType offered;
  for (int i = 0; GetMediaType(i, &offered) == S_OK; ++i) {
    result = AttemptConnection(receiver, offered);
    if (SUCCEEDED(result)) return result;
  }
  return result;
}

HRESULT CBasePin::AttemptConnection(IPin* receiver, const CMediaType& type) {
  HRESULT hr = CheckMediaType(&type);
  if (FAILED(hr)) return hr;
  hr = receiver->ReceiveConnection(this, &type);
  if (FAILED(hr)) return hr;
  hr = SetMediaType(&type);
  if (SUCCEEDED(hr)) {
    connected_ = receiver;
    connected_->AddRef();
    hr = CompleteConnect(receiver);
    if (SUCCEEDED(hr)) return S_OK;
    connected_->Release();
    connected_ = nullptr;
  }
  receiver->Disconnect();
  BreakConnect();
  return hr;
}

HRESULT CBasePin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) {
  if (!connector || !type) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (connected_) return VFW_E_ALREADY_CONNECTED;
  if (filter_->CurrentState() != State_Stopped) return VFW_E_NOT_STOPPED;
  const CMediaType offered(*type);
  HRESULT hr = CheckMediaType(&offered);
  if (SUCCEEDED(hr)) hr = SetMediaType(&offered);
  if (SUCCEEDED(hr)) {
    connected_ = connector;
    connected_->AddRef();
    hr = CompleteConnect(connector);
    if (SUCCEEDED(hr)) return S_OK;
    connected_->Release();
    connected_ = nullptr;
  }
  BreakConnect();
  return hr;
}

HRESULT CBasePin::Disconnect() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (!connected_) return S_FALSE;
  if (filter_->CurrentState() != State_Stopped) return VFW_E_NOT_STOPPED;
  BreakConnect();
  connected_->Release();
  connected_ = nullptr;
  return S_OK;
}

HRESULT CBasePin::ConnectedTo(IPin** pin) {
  if (!pin) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  *pin = connected_;
  if (!connected_) return VFW_E_NOT_CONNECTED;
  connected_->AddRef();
  return S_OK;
}

HRESULT CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (!connected_) {
    *type = AM_MEDIA_TYPE{};
    return VFW_E_NOT_CONNECTED;
  }
  return CopyMediaType(type, &type_) ? S_OK : E_OUTOFMEMORY;
}

HRESULT CBasePin::QueryPinInfo(PIN_INFO* info) {
  if (!info) return E_POINTER;
  info->pFilter = filter_;
  static_cast<IBaseFilter*>(filter_)->AddRef();
  info->dir = direction_;
  CopyName(info->achName, MAX_PIN_NAME, name_);
  return S_OK;
}

HRESULT CBasePin::QueryDirection(PIN_DIRECTION* direction) {
  if (!direction) return E_POINTER;
  *direction = direction_;
  return S_OK;
}

HRESULT CBasePin::QueryAccept(const AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  const CMediaType offered(*type);
  const HRESULT hr = CheckMediaType(&offered);
  return FAILED(hr) ? S_FALSE : hr;
}

HRESULT CBasePin::EndOfStream() { return S_OK; }

HRESULT CBasePin::BeginFlush() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  flushing_ = true;
  return S_OK;
}

HRESULT CBasePin::EndFlush() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  flushing_ = false;
  return S_OK;
}

HRESULT CBasePin::SetMediaType(const CMediaType* type) {
  type_ = *type;
  return S_OK;
}

HRESULT CBasePin::GetMediaType(int, CMediaType*) { return S_FALSE; }
HRESULT CBasePin::CompleteConnect(IPin*) { return S_OK; }
HRESULT CBasePin::BreakConnect() { return S_OK; }
HRESULT CBasePin::Active() { return S_OK; }
HRESULT CBasePin::Inactive() { return S_OK; }

// ---------------------------------------------------------------------------------------
// CBaseInputPin

CBaseInputPin::CBaseInputPin(const wchar_t* name, CBaseFilter* filter) : CBasePin(name, filter, PINDIR_INPUT) {}

CBaseInputPin::~CBaseInputPin() {
  if (allocator_) allocator_->Release();
}

HRESULT CBaseInputPin::NonDelegatingQueryInterface(REFIID iid, void** object) {
  if (object && iid == IID_IMemInputPin) return GetInterface(static_cast<IMemInputPin*>(this), object);
  return CBasePin::NonDelegatingQueryInterface(iid, object);
}

HRESULT CBaseInputPin::GetAllocator(IMemAllocator** allocator) {
  if (!allocator) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (!allocator_) allocator_ = dshow::CreateMemAllocator();
  *allocator = allocator_;
  allocator_->AddRef();
  return S_OK;
}

HRESULT CBaseInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL) {
  if (!allocator) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  allocator->AddRef();
  if (allocator_) allocator_->Release();
  allocator_ = allocator;
  return S_OK;
}

HRESULT CBaseInputPin::Receive(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (filter_->CurrentState() == State_Stopped) return VFW_E_WRONG_STATE;
  if (flushing_) return S_FALSE;
  return S_OK;
}

HRESULT CBaseInputPin::BeginFlush() { return CBasePin::BeginFlush(); }
HRESULT CBaseInputPin::EndFlush() { return CBasePin::EndFlush(); }

HRESULT CBaseInputPin::BreakConnect() {
  if (allocator_) {
    allocator_->Release();
    allocator_ = nullptr;
  }
  return S_OK;
}

// ---------------------------------------------------------------------------------------
// CBaseOutputPin

CBaseOutputPin::CBaseOutputPin(const wchar_t* name, CBaseFilter* filter) : CBasePin(name, filter, PINDIR_OUTPUT) {}

CBaseOutputPin::~CBaseOutputPin() { CBaseOutputPin::BreakConnect(); }

HRESULT CBaseOutputPin::CompleteConnect(IPin* receiver) {
  void* face = nullptr;
  HRESULT hr = receiver->QueryInterface(IID_IMemInputPin, &face);
  if (FAILED(hr)) return hr;
  input_ = static_cast<IMemInputPin*>(face);
  hr = input_->GetAllocator(&allocator_);
  if (SUCCEEDED(hr)) {
    ALLOCATOR_PROPERTIES request{};
    hr = DecideBufferSize(allocator_, &request);
  }
  if (SUCCEEDED(hr)) hr = input_->NotifyAllocator(allocator_, FALSE);
  if (FAILED(hr)) BreakConnect();
  return hr;
}

HRESULT CBaseOutputPin::BreakConnect() {
  if (allocator_) {
    allocator_->Decommit();
    allocator_->Release();
    allocator_ = nullptr;
  }
  if (input_) {
    input_->Release();
    input_ = nullptr;
  }
  return S_OK;
}

HRESULT CBaseOutputPin::Active() { return allocator_ ? allocator_->Commit() : VFW_E_NOT_CONNECTED; }

HRESULT CBaseOutputPin::Inactive() { return allocator_ ? allocator_->Decommit() : S_OK; }

HRESULT CBaseOutputPin::GetDeliveryBuffer(IMediaSample** sample) {
  IMemAllocator* allocator = nullptr;
  {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    allocator = allocator_;
    if (!allocator) return VFW_E_NOT_CONNECTED;
    allocator->AddRef();
  }
  // Waiting for a buffer must not hold the filter lock that Stop needs to decommit.
  const HRESULT hr = allocator->GetBuffer(sample, nullptr, nullptr, 0);
  allocator->Release();
  return hr;
}

HRESULT CBaseOutputPin::Deliver(IMediaSample* sample) {
  IMemInputPin* input = nullptr;
  {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    input = input_;
    if (!input) return VFW_E_NOT_CONNECTED;
    input->AddRef();
  }
  const HRESULT hr = input->Receive(sample);
  input->Release();
  return hr;
}

HRESULT CBaseOutputPin::DeliverEndOfStream() {
  IPin* peer = nullptr;
  if (FAILED(ConnectedTo(&peer))) return VFW_E_NOT_CONNECTED;
  const HRESULT hr = peer->EndOfStream();
  peer->Release();
  return hr;
}
