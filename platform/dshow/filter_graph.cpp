// The filter graph manager: filters and their connections, the graph's state and clock,
// the media position in seconds, the event queue and the volume of the audio renderer.
#include "dshow/filter_graph.h"

#include <cmath>
#include <condition_variable>
#include <cwchar>
#include <cwctype>
#include <deque>
#include <set>
#include <string>
#include <vector>

#include "dshow/streaming.h"

namespace {

struct FileSource {
  std::wstring extension;  // lower case
  CLSID clsid;
};

struct FileSources {
  std::mutex mutex;
  std::vector<FileSource> sources;
};

FileSources& Sources() {
  static FileSources sources;
  return sources;
}

std::wstring Lower(std::wstring text) {
  for (auto& c : text) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return text;
}

bool SourceForFile(LPCWSTR file, CLSID* clsid) {
  std::wstring name = Lower(file);
  const size_t dot = name.rfind(L'.');
  const size_t slash = name.find_last_of(L"\\/");
  const std::wstring extension = dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash) ? name.substr(dot) : L"";
  FileSources& all = Sources();
  std::lock_guard<std::mutex> lock(all.mutex);
  const FileSource* fallback = nullptr;
  for (const auto& source : all.sources) {
    if (source.extension == extension && !extension.empty()) {
      *clsid = source.clsid;
      return true;
    }
    if (source.extension.empty()) fallback = &source;
  }
  if (!fallback) return false;
  *clsid = fallback->clsid;
  return true;
}

template <typename Face>
Face* Query(IUnknown* object, REFIID iid) {
  void* face = nullptr;
  return object && SUCCEEDED(object->QueryInterface(iid, &face)) ? static_cast<Face*>(face) : nullptr;
}

struct Event {
  LONG code;
  LONG_PTR param1;
  LONG_PTR param2;
};

class FilterGraph final : public CUnknown,
                          public IGraphBuilder,
                          public IMediaControl,
                          public IMediaPosition,
                          public IMediaEvent,
                          public IMediaEventSink,
                          public IBasicAudio {
 public:
  FilterGraph() : CUnknown(nullptr), clock_(dshow::CreateSystemClock()) {}

  // The last release: streaming stops, its threads are joined, every connection is broken
  // (connected pins hold each other's filters) and every filter is released.
  ~FilterGraph() override {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    ChangeState(State_Stopped);
    for (const auto& entry : filters_) DisconnectAll(entry.filter);
    for (const auto& entry : filters_) {
      entry.filter->JoinFilterGraph(nullptr, nullptr);
      entry.filter->Release();
    }
    filters_.clear();
    clock_->Release();
  }

  DSHOW_DECLARE_IUNKNOWN

  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (iid == IID_IGraphBuilder) return GetInterface(static_cast<IGraphBuilder*>(this), object);
    if (iid == IID_IFilterGraph) return GetInterface(static_cast<IFilterGraph*>(this), object);
    if (iid == IID_IMediaControl) return GetInterface(static_cast<IMediaControl*>(this), object);
    if (iid == IID_IMediaPosition) return GetInterface(static_cast<IMediaPosition*>(this), object);
    if (iid == IID_IMediaEvent) return GetInterface(static_cast<IMediaEvent*>(this), object);
    if (iid == IID_IMediaEventSink) return GetInterface(static_cast<IMediaEventSink*>(this), object);
    if (iid == IID_IBasicAudio) return GetInterface(static_cast<IBasicAudio*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
  }

  // IFilterGraph
  HRESULT AddFilter(IBaseFilter* filter, LPCWSTR name) override {
    if (!filter) return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(lock_);
    for (const auto& entry : filters_)
      if (entry.filter == filter) return E_INVALIDARG;
    HRESULT hr = filter->JoinFilterGraph(this, name);
    if (FAILED(hr)) return hr;
    filter->SetSyncSource(clock_);
    filter->AddRef();
    filters_.push_back({filter, name ? name : L""});
    return S_OK;
  }

  HRESULT RemoveFilter(IBaseFilter* filter) override {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    for (auto it = filters_.begin(); it != filters_.end(); ++it) {
      if (it->filter != filter) continue;
      filter->Stop();
      DisconnectAll(filter);
      filter->JoinFilterGraph(nullptr, nullptr);
      filters_.erase(it);
      filter->Release();
      return S_OK;
    }
    return VFW_E_NOT_FOUND;
  }

  HRESULT FindFilterByName(LPCWSTR name, IBaseFilter** filter) override {
    if (!name || !filter) return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(lock_);
    *filter = nullptr;
    for (const auto& entry : filters_)
      if (std::wcscmp(entry.name.c_str(), name) == 0) {
        *filter = entry.filter;
        entry.filter->AddRef();
        return S_OK;
      }
    return VFW_E_NOT_FOUND;
  }

  // IGraphBuilder
  HRESULT Connect(IPin* output, IPin* input) override {
    if (!output || !input) return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
    const HRESULT direct = output->Connect(input, nullptr);
    if (SUCCEEDED(direct) || direct == VFW_E_ALREADY_CONNECTED) return direct;

    IBaseFilter* converter = dshow::CreateColourConverter();
    HRESULT hr = AddFilter(converter, L"Colour Converter");
    converter->Release();
    if (FAILED(hr)) return direct;
    IPin* in = nullptr;
    IPin* out = nullptr;
    converter->FindPin(L"Input", &in);
    converter->FindPin(L"Output", &out);
    hr = output->Connect(in, nullptr);
    // The converter takes neither: the renderer's own refusal stands.
    if (FAILED(hr)) hr = direct;
    if (SUCCEEDED(hr)) {
      hr = out->Connect(input, nullptr);
      if (FAILED(hr)) output->Disconnect();
    }
    in->Release();
    out->Release();
    if (FAILED(hr)) RemoveFilter(converter);
    return hr;
  }

  HRESULT Render(IPin* output) override {
    if (!output) return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(lock_);
    if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
    IBaseFilter* renderer = dshow::CreateAudioRenderer();
    HRESULT hr = AddFilter(renderer, L"Audio Renderer");
    renderer->Release();
    if (FAILED(hr)) return hr;
    IPin* in = nullptr;
    renderer->FindPin(L"In", &in);
    hr = output->Connect(in, nullptr);
    in->Release();
    if (FAILED(hr)) RemoveFilter(renderer);
    return hr;
  }

  HRESULT AddSourceFilter(LPCWSTR file, LPCWSTR name, IBaseFilter** filter) override {
    if (!file || !filter) return E_POINTER;
    *filter = nullptr;
    CLSID clsid;
    if (!SourceForFile(file, &clsid)) return REGDB_E_CLASSNOTREG;
    IBaseFilter* source = nullptr;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC, IID_IBaseFilter, reinterpret_cast<void**>(&source));
    if (FAILED(hr)) return hr;
    auto* loader = Query<IFileSourceFilter>(source, IID_IFileSourceFilter);
    hr = loader ? loader->Load(file, nullptr) : E_NOINTERFACE;
    if (loader) loader->Release();
    if (SUCCEEDED(hr)) hr = AddFilter(source, name ? name : file);
    if (FAILED(hr)) {
      source->Release();
      return hr;
    }
    *filter = source;
    return S_OK;
  }

  // IMediaControl
  HRESULT Run() override {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return ChangeState(State_Running);
  }
  HRESULT Pause() override {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return ChangeState(State_Paused);
  }
  HRESULT Stop() override {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return ChangeState(State_Stopped);
  }
  HRESULT GetState(LONG, OAFilterState* state) override {
    if (!state) return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(lock_);
    *state = state_;
    return S_OK;
  }

  // IMediaPosition
  HRESULT get_Duration(REFTIME* seconds) override {
    if (!seconds) return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(lock_);
    REFERENCE_TIME duration = 0;
    const HRESULT hr = Duration(&duration);
    *seconds = static_cast<double>(duration) / UNITS;
    return hr;
  }

  HRESULT get_CurrentPosition(REFTIME* seconds) override {
    if (!seconds) return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(lock_);
    *seconds = static_cast<double>(Position()) / UNITS;
    return S_OK;
  }

  // Stops the streams, moves the sources and starts again in the state the graph was in;
  // the end of stream is armed anew.
  HRESULT put_CurrentPosition(REFTIME seconds) override {
    if (!(seconds >= 0.0)) return E_INVALIDARG;
    std::lock_guard<std::recursive_mutex> lock(lock_);
    const FILTER_STATE was = state_;
    HRESULT hr = ChangeState(State_Stopped);
    if (FAILED(hr)) return hr;
    hr = MoveSources(static_cast<REFERENCE_TIME>(std::llround(seconds * UNITS)));
    if (FAILED(hr)) return hr;
    return ChangeState(was);
  }

  // IMediaEvent
  HRESULT GetEvent(LONG* code, LONG_PTR* param1, LONG_PTR* param2, LONG timeoutMs) override {
    if (!code || !param1 || !param2) return E_POINTER;
    std::unique_lock<std::mutex> lock(eventLock_);
    const auto ready = [&] { return !events_.empty(); };
    if (timeoutMs < 0)
      eventReady_.wait(lock, ready);
    else
      eventReady_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
    if (events_.empty()) {
      *code = 0;
      *param1 = *param2 = 0;
      return E_ABORT;
    }
    const Event event = events_.front();
    events_.pop_front();
    *code = event.code;
    *param1 = event.param1;
    *param2 = event.param2;
    return S_OK;
  }

  HRESULT FreeEventParams(LONG, LONG_PTR, LONG_PTR) override { return S_OK; }

  // IMediaEventSink: EC_COMPLETE from each renderer becomes one EC_COMPLETE of the graph
  // once every renderer has reported it.
  HRESULT Notify(LONG code, LONG_PTR param1, LONG_PTR param2) override {
    std::lock_guard<std::mutex> lock(eventLock_);
    if (code == EC_COMPLETE) {
      ended_.insert(param2);
      if (completeSent_ || ended_.size() < renderers_) return S_OK;
      completeSent_ = true;
      events_.push_back({EC_COMPLETE, S_OK, 0});
    } else {
      events_.push_back({code, param1, param2});
    }
    eventReady_.notify_all();
    return S_OK;
  }

  // IBasicAudio: the volume of the graph's audio renderer.
  HRESULT put_Volume(LONG volume) override {
    IBasicAudio* audio = AudioRenderer();
    if (!audio) return E_NOTIMPL;
    const HRESULT hr = audio->put_Volume(volume);
    audio->Release();
    return hr;
  }
  HRESULT get_Volume(LONG* volume) override {
    if (!volume) return E_POINTER;
    IBasicAudio* audio = AudioRenderer();
    if (!audio) return E_NOTIMPL;
    const HRESULT hr = audio->get_Volume(volume);
    audio->Release();
    return hr;
  }

 protected:
  IUnknown* OwnUnknown() override { return static_cast<IGraphBuilder*>(this); }

 private:
  struct Entry {
    IBaseFilter* filter;
    std::wstring name;
  };

  static std::vector<IPin*> Pins(IBaseFilter* filter) {
    std::vector<IPin*> pins;
    IEnumPins* all = nullptr;
    if (FAILED(filter->EnumPins(&all))) return pins;
    IPin* pin = nullptr;
    while (all->Next(1, &pin, nullptr) == S_OK) pins.push_back(pin);
    all->Release();
    return pins;
  }

  static void Release(std::vector<IPin*>& pins) {
    for (IPin* pin : pins) pin->Release();
    pins.clear();
  }

  static bool HasPin(IBaseFilter* filter, PIN_DIRECTION direction, bool connectedOnly) {
    auto pins = Pins(filter);
    bool found = false;
    for (IPin* pin : pins) {
      PIN_DIRECTION d;
      IPin* peer = nullptr;
      if (SUCCEEDED(pin->QueryDirection(&d)) && d == direction) {
        if (!connectedOnly || SUCCEEDED(pin->ConnectedTo(&peer))) found = true;
        if (peer) peer->Release();
      }
    }
    Release(pins);
    return found;
  }

  static void DisconnectAll(IBaseFilter* filter) {
    auto pins = Pins(filter);
    for (IPin* pin : pins) {
      IPin* peer = nullptr;
      if (SUCCEEDED(pin->ConnectedTo(&peer))) {
        peer->Disconnect();
        peer->Release();
      }
      pin->Disconnect();
    }
    Release(pins);
  }

  // Downstream filters change state before the sources, so that a renderer is ready for
  // the first sample and a stopped renderer frees a source thread it holds.
  std::vector<IBaseFilter*> InStateOrder() const {
    std::vector<IBaseFilter*> ordered, sources;
    for (const auto& entry : filters_)
      (HasPin(entry.filter, PINDIR_INPUT, false) ? ordered : sources).push_back(entry.filter);
    ordered.insert(ordered.end(), sources.begin(), sources.end());
    return ordered;
  }

  REFERENCE_TIME Now() const {
    REFERENCE_TIME now = 0;
    clock_->GetTime(&now);
    return now;
  }

  REFERENCE_TIME StreamTime() const { return state_ == State_Running ? Now() - runStart_ : pausedAt_; }

  HRESULT Duration(REFERENCE_TIME* duration) const {
    *duration = 0;
    bool any = false;
    for (const auto& entry : filters_) {
      auto* position = Query<ISourcePosition>(entry.filter, IID_ISourcePosition);
      if (!position) continue;
      REFERENCE_TIME length = 0;
      if (SUCCEEDED(position->GetDuration(&length))) *duration = std::max(*duration, length);
      position->Release();
      any = true;
    }
    return any ? S_OK : E_NOTIMPL;
  }

  REFERENCE_TIME Position() const {
    REFERENCE_TIME duration = 0;
    REFERENCE_TIME position = std::max<REFERENCE_TIME>(0, segment_ + StreamTime());
    if (SUCCEEDED(Duration(&duration))) position = std::min(position, duration);
    return position;
  }

  HRESULT MoveSources(REFERENCE_TIME position) {
    segment_ = position;
    pausedAt_ = 0;
    for (const auto& entry : filters_) {
      auto* source = Query<ISourcePosition>(entry.filter, IID_ISourcePosition);
      if (!source) continue;
      const HRESULT hr = source->SetPosition(position);
      source->Release();
      if (FAILED(hr)) return hr;
    }
    return S_OK;
  }

  // Before streaming starts: the renderers that must end before the graph's EC_COMPLETE.
  void ArmCompletion() {
    size_t renderers = 0;
    for (const auto& entry : filters_)
      if (HasPin(entry.filter, PINDIR_INPUT, true) && !HasPin(entry.filter, PINDIR_OUTPUT, false)) ++renderers;
    std::lock_guard<std::mutex> lock(eventLock_);
    renderers_ = renderers;
    ended_.clear();
    completeSent_ = false;
  }

  HRESULT ChangeState(FILTER_STATE target) {
    if (target == state_) return S_OK;
    const auto order = InStateOrder();
    HRESULT result = S_OK;
    if (target == State_Stopped) {
      const REFERENCE_TIME position = Position();
      for (IBaseFilter* filter : order) {
        const HRESULT hr = filter->Stop();
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
      }
      state_ = State_Stopped;
      // The next start goes on from where the stream stopped.
      const HRESULT hr = MoveSources(position);
      return SUCCEEDED(result) ? hr : result;
    }
    if (state_ == State_Stopped) {
      ArmCompletion();
      for (IBaseFilter* filter : order) {
        const HRESULT hr = filter->Pause();
        if (FAILED(hr)) {
          for (IBaseFilter* started : order) started->Stop();
          return hr;
        }
      }
      state_ = State_Paused;
      pausedAt_ = 0;
    } else if (state_ == State_Running) {
      pausedAt_ = Now() - runStart_;
      for (IBaseFilter* filter : order) filter->Pause();
      state_ = State_Paused;
    }
    if (target == State_Running) {
      runStart_ = Now() - pausedAt_;
      for (IBaseFilter* filter : order) {
        const HRESULT hr = filter->Run(runStart_);
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
      }
      state_ = State_Running;
    }
    return result;
  }

  IBasicAudio* AudioRenderer() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    for (const auto& entry : filters_)
      if (auto* audio = Query<IBasicAudio>(entry.filter, IID_IBasicAudio)) return audio;
    return nullptr;
  }

  std::recursive_mutex lock_;
  std::vector<Entry> filters_;
  IReferenceClock* clock_;
  FILTER_STATE state_ = State_Stopped;
  REFERENCE_TIME runStart_ = 0;  // clock time of stream time 0
  REFERENCE_TIME pausedAt_ = 0;  // stream time while paused or stopped
  REFERENCE_TIME segment_ = 0;   // media position of stream time 0

  std::mutex eventLock_;
  std::condition_variable eventReady_;
  std::deque<Event> events_;
  size_t renderers_ = 0;
  std::set<LONG_PTR> ended_;
  bool completeSent_ = false;
};

HRESULT MakeFilterGraph(REFIID iid, void** object) {
  auto* graph = new FilterGraph;
  graph->NonDelegatingAddRef();
  const HRESULT hr = graph->NonDelegatingQueryInterface(iid, object);
  graph->NonDelegatingRelease();
  return hr;
}

// The graph manager is a class of every process that loads the platform.
const bool g_registered = [] {
  dshow::RegisterClassMaker(CLSID_FilterGraph, MakeFilterGraph);
  return true;
}();

}  // namespace

namespace dshow {

void RegisterFileSource(LPCWSTR extension, REFCLSID clsid) {
  const std::wstring key = Lower(extension ? extension : L"");
  FileSources& all = Sources();
  std::lock_guard<std::mutex> lock(all.mutex);
  for (auto& source : all.sources)
    if (source.extension == key) {
      source.clsid = clsid;
      return;
    }
  all.sources.push_back({key, clsid});
}

void UnregisterFileSources() {
  FileSources& all = Sources();
  std::lock_guard<std::mutex> lock(all.mutex);
  all.sources.clear();
}

}  // namespace dshow
