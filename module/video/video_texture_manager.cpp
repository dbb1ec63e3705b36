#include "video/video_texture_manager.h"

#include <algorithm>
#include <cstring>

#include "frame/module_globals.h"
#include "frame/renderer.h"
#include "video/texture_renderer.h"

namespace {

constexpr DWORD kQuadFvf = 0x104;  // x, y, z, rhw, then u, v
constexpr UINT kQuadStride = 24;
constexpr UINT kQuadBytes = 4 * kQuadStride;
constexpr DWORD kWriteOnly = 8;
constexpr DWORD kManagedPool = 1;
constexpr DWORD kTriangleStrip = 5;

// Releases a counted reference at the end of a scope.
template <typename T>
struct Held {
  T* p = nullptr;
  ~Held() {
    if (p) p->Release();
  }
  void** out() { return reinterpret_cast<void**>(&p); }
};

template <typename T>
void ReleaseField(T*& field) {
  if (field) field->Release();
  field = nullptr;
}

D3DMATRIX Identity() {
  D3DMATRIX m;
  std::memset(&m, 0, sizeof m);
  m._11 = m._22 = m._33 = m._44 = 1.0f;
  return m;
}

}  // namespace

CVideoTextureManager::CVideoTextureManager() : textureMatrix(Identity()) {
  CoInitialize(nullptr);
  InitializeCriticalSection(&managerLock);
}

CVideoTextureManager::~CVideoTextureManager() {
  ReleaseGraph();
  listeners.clear();
  DeleteCriticalSection(&managerLock);
  CoUninitialize();
}

bool CVideoTextureManager::Init() {
  SubscribeChannel("execute", 2);
  SubscribeChannel("realize", -1);
  rendererService = g_pHost ? static_cast<IRenderer*>(g_pHost->GetService("dx8render")) : nullptr;
  if (!rendererService) return false;
  screenQuadBuffer = rendererService->CreateVertexBuffer(kQuadFvf, kQuadBytes, kWriteOnly, kManagedPool);
  onScreenTechnique = rendererService->GetEffect("videoTextureOnScreen");
  return true;
}

void CVideoTextureManager::Destroy() {
  ReleaseGraph();
  if (rendererService && screenQuadBuffer != -1) rendererService->ReleaseVertexBuffer(screenQuadBuffer);
  screenQuadBuffer = -1;
}

void CVideoTextureManager::Execute(uint32_t) { PollEvents(); }

void CVideoTextureManager::RealizePost(uint32_t) { DrawOnScreen(); }

HRESULT CVideoTextureManager::SetVideoInTexture(const wchar_t* file, const wchar_t* videoPin, int useSourceFilter,
                                                const wchar_t* audioPin) {
  ReleaseGraph();
  return BuildGraph(file, videoPin, useSourceFilter, audioPin);
}

HRESULT CVideoTextureManager::BuildGraph(const wchar_t* file, const wchar_t* videoPin, int useSourceFilter,
                                         const wchar_t* audioPin) {
  if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder,
                              reinterpret_cast<void**>(&graphBuilder)))) {
    graphBuilder = nullptr;
    return E_FAIL;
  }
  HRESULT hr = S_OK;
  renderer = new CTextureRenderer(nullptr, &hr);
  if (FAILED(hr)) {
    delete renderer;
    renderer = nullptr;
    return E_FAIL;
  }
  Held<IBaseFilter> filter;
  renderer->NonDelegatingQueryInterface(IID_IBaseFilter, filter.out());
  hr = graphBuilder->AddFilter(filter.p, L"TEXTURERENDERER");
  if (FAILED(hr)) {
    // The filter goes with the last reference; nothing may reach it through the field after.
    renderer = nullptr;
    return hr;
  }
  Held<IPin> input;
  hr = filter.p->FindPin(L"In", &input.p);
  if (FAILED(hr)) return hr;

  if (useSourceFilter) {
    Held<IBaseFilter> source;
    hr = graphBuilder->AddSourceFilter(file, L"SOURCE", &source.p);
    if (FAILED(hr)) return hr;
    Held<IPin> video;
    hr = source.p->FindPin(videoPin, &video.p);
    if (FAILED(hr)) return hr;
    hr = graphBuilder->Connect(video.p, input.p);
    if (FAILED(hr)) return hr;
    if (audioPin) {
      Held<IPin> audio;
      if (SUCCEEDED(source.p->FindPin(audioPin, &audio.p)) && audio.p) graphBuilder->Render(audio.p);
    }
  } else {
    Held<IBaseFilter> reader;
    hr = CoCreateInstance(CLSID_WMAsfReader, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, reader.out());
    if (FAILED(hr)) return hr;
    Held<IFileSourceFilter> loader;
    hr = reader.p->QueryInterface(IID_IFileSourceFilter, loader.out());
    if (FAILED(hr)) return hr;
    hr = loader.p->Load(file, nullptr);
    if (FAILED(hr)) return hr;
    hr = graphBuilder->AddFilter(reader.p, L"ASF Reader");
    if (FAILED(hr)) return hr;
    Held<IEnumPins> pins;
    hr = reader.p->EnumPins(&pins.p);
    if (FAILED(hr)) return hr;
    for (;;) {
      Held<IPin> pin;
      if (pins.p->Next(1, &pin.p, nullptr) != S_OK) break;
      Held<IPin> peer;
      if (pin.p->ConnectedTo(&peer.p) != VFW_E_NOT_CONNECTED) continue;
      PIN_INFO info{};
      if (FAILED(pin.p->QueryPinInfo(&info))) continue;
      // The answer holds a reference to the reader.
      if (info.pFilter) info.pFilter->Release();
      if (info.dir != PINDIR_OUTPUT) continue;
      if (videoPin && std::wcscmp(info.achName, videoPin) == 0)
        graphBuilder->Connect(pin.p, input.p);
      else if (audioPin && std::wcscmp(info.achName, audioPin) == 0)
        graphBuilder->Render(pin.p);
    }
  }

  graphBuilder->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&mediaControl));
  graphBuilder->QueryInterface(IID_IMediaPosition, reinterpret_cast<void**>(&mediaPosition));
  graphBuilder->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&mediaEvent));
  graphBuilder->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(&basicAudio));
  hr = mediaControl ? mediaControl->Stop() : E_NOINTERFACE;
  if (FAILED(hr)) return hr;
  NotifyListeners(4);
  textureMatrix = Identity();
  if (renderer) {
    textureMatrix._11 = renderer->uExtent;
    textureMatrix._22 = renderer->vExtent;
  }
  return S_OK;
}

void CVideoTextureManager::PlayVideoInTexture(CVideoTextureManager* manager) {
  if (manager) manager->Play();
}

void CVideoTextureManager::ChangeState(HRESULT (IMediaControl::*change)(), int code) {
  if (!mediaControl) return;
  NotifyListeners(SUCCEEDED((mediaControl->*change)()) ? code : 5);
}

void CVideoTextureManager::Play() { ChangeState(&IMediaControl::Run, 3); }
void CVideoTextureManager::Pause() { ChangeState(&IMediaControl::Pause, 2); }
void CVideoTextureManager::Stop() { ChangeState(&IMediaControl::Stop, 4); }

void CVideoTextureManager::SetVolume(long volume) {
  if (basicAudio) basicAudio->put_Volume(volume);
}

long CVideoTextureManager::GetVolume() {
  LONG volume = 0;
  if (basicAudio) basicAudio->get_Volume(&volume);
  return volume;
}

double CVideoTextureManager::ReadSeconds(HRESULT (IMediaPosition::*read)(REFTIME*)) {
  if (!mediaPosition) return 0.0;
  REFTIME seconds = 0.0;
  if (FAILED((mediaPosition->*read)(&seconds))) {
    NotifyListeners(5);
    return 0.0;
  }
  return seconds;
}

double CVideoTextureManager::GetDuration() { return ReadSeconds(&IMediaPosition::get_Duration); }
double CVideoTextureManager::GetCurrentPosition() { return ReadSeconds(&IMediaPosition::get_CurrentPosition); }

IDirect3DTexture8* CVideoTextureManager::LockTexture(const D3DMATRIX** matrix) {
  if (!renderer) {
    if (matrix) *matrix = nullptr;
    return nullptr;
  }
  if (matrix) *matrix = &textureMatrix;
  EnterCriticalSection(&renderer->frameLock);
  return renderer->currentTexture;
}

void CVideoTextureManager::UnlockTexture() {
  if (renderer) LeaveCriticalSection(&renderer->frameLock);
}

void CVideoTextureManager::AddListener(VideoListener callback, void* context) {
  EnterCriticalSection(&managerLock);
  auto it = std::find_if(listeners.begin(), listeners.end(), [&](const auto& e) { return e.first == callback; });
  if (it != listeners.end())
    it->second = context;
  else
    listeners.emplace_back(callback, context);
  LeaveCriticalSection(&managerLock);
}

void CVideoTextureManager::RemoveListener(VideoListener callback) {
  EnterCriticalSection(&managerLock);
  auto it = std::find_if(listeners.begin(), listeners.end(), [&](const auto& e) { return e.first == callback; });
  if (it != listeners.end()) {
    *it = listeners.back();
    listeners.pop_back();
  }
  LeaveCriticalSection(&managerLock);
}

std::vector<std::pair<VideoListener, void*>> CVideoTextureManager::Listeners() {
  EnterCriticalSection(&managerLock);
  auto copy = listeners;
  LeaveCriticalSection(&managerLock);
  return copy;
}

void CVideoTextureManager::NotifyListeners(int code) {
  EnterCriticalSection(&managerLock);
  const auto round = listeners;
  for (const auto& entry : round) {
    // A listener may add or remove pairs; only those still registered are called, each with
    // the context it has now.
    auto now = std::find_if(listeners.begin(), listeners.end(), [&](const auto& e) { return e.first == entry.first; });
    if (now == listeners.end() || now->first == nullptr) continue;
    const auto [callback, context] = *now;
    callback(code, context);
  }
  LeaveCriticalSection(&managerLock);
}

void CVideoTextureManager::SetScreenRect(int x, int y, int width, int height) {
  if (!rendererService) return;
  // Without a renderer the picture's extents are unknown: the quad samples texel (0, 0).
  const float u = renderer ? renderer->uExtent : 0.0f;
  const float v = renderer ? renderer->vExtent : 0.0f;
  auto* vertices = static_cast<float*>(rendererService->LockVertexBuffer(screenQuadBuffer, 0, 0, 0));
  if (vertices) {
    const float left = static_cast<float>(x), right = static_cast<float>(x + width);
    const float top = static_cast<float>(y), bottom = static_cast<float>(y + height);
    // Texture row 0, the bottom row of the picture, lies on the bottom edge.
    const float quad[4][6] = {{left, bottom, 0.0f, 1.0f, 0.0f, 0.0f},
                              {left, top, 0.0f, 1.0f, 0.0f, v},
                              {right, bottom, 0.0f, 1.0f, u, 0.0f},
                              {right, top, 0.0f, 1.0f, u, v}};
    std::memcpy(vertices, quad, sizeof quad);
  }
  rendererService->UnlockVertexBuffer(screenQuadBuffer);
  if (!mediaControl) return;
  if (FAILED(mediaControl->Run())) {
    NotifyListeners(5);
    return;
  }
  NotifyListeners(3);
  onScreen = true;
}

void CVideoTextureManager::Close() {
  ReleaseGraph();
  onScreen = false;
}

void CVideoTextureManager::ReleaseGraph() {
  if (mediaControl) mediaControl->Stop();
  ReleaseField(mediaControl);
  ReleaseField(mediaEvent);
  ReleaseField(mediaPosition);
  ReleaseField(basicAudio);
  renderer = nullptr;
  ReleaseField(graphBuilder);
}

void CVideoTextureManager::PollEvents() {
  if (!mediaEvent || !mediaPosition) return;
  LONG code = 0;
  LONG_PTR first = 0, second = 0;
  if (FAILED(mediaEvent->GetEvent(&code, &first, &second, 0))) return;
  mediaEvent->FreeEventParams(code, first, second);
  if (code != EC_COMPLETE) return;
  NotifyListeners(1);
  // A listener may have released the graph.
  if (mediaPosition && mediaEvent) mediaPosition->put_CurrentPosition(0.0);
}

void CVideoTextureManager::DrawOnScreen() {
  if (!renderer || !onScreen || !rendererService) return;
  EnterCriticalSection(&renderer->frameLock);
  rendererService->SetBaseTexture(0, renderer->currentTexture);
  rendererService->DrawPrimitive(kTriangleStrip, screenQuadBuffer, kQuadStride, 0, 2, onScreenTechnique, 0);
  LeaveCriticalSection(&renderer->frameLock);
}
