#include "video/video_texture_manager.h"

#include <algorithm>

namespace {
constexpr HRESULT kFail = static_cast<HRESULT>(0x80004005u);
}

CVideoTextureManager::CVideoTextureManager() = default;
CVideoTextureManager::~CVideoTextureManager() = default;

bool CVideoTextureManager::Init() {
  SubscribeChannel("execute", 2);
  SubscribeChannel("realize", -1);
  return true;
}

// Without a decoding graph there is nothing to open, run or read.
HRESULT CVideoTextureManager::SetVideoInTexture(const wchar_t*, const wchar_t*, int, const wchar_t*) {
  return kFail;
}
void CVideoTextureManager::PlayVideoInTexture(CVideoTextureManager*) {}
void CVideoTextureManager::Play() {}
void CVideoTextureManager::Pause() {}
void CVideoTextureManager::Stop() {}
void CVideoTextureManager::SetVolume(long) {}
long CVideoTextureManager::GetVolume() { return 0; }
double CVideoTextureManager::GetDuration() { return 0.0; }
double CVideoTextureManager::GetCurrentPosition() { return 0.0; }

IDirect3DTexture8* CVideoTextureManager::LockTexture(const D3DMATRIX** matrix) {
  if (matrix != nullptr) *matrix = nullptr;
  return nullptr;
}
void CVideoTextureManager::UnlockTexture() {}

void CVideoTextureManager::AddListener(VideoListener callback, void* context) {
  for (auto& entry : listeners) {
    if (entry.first == callback) {
      entry.second = context;
      return;
    }
  }
  listeners.emplace_back(callback, context);
}

void CVideoTextureManager::RemoveListener(VideoListener callback) {
  auto it = std::find_if(listeners.begin(), listeners.end(), [&](const auto& e) { return e.first == callback; });
  if (it == listeners.end()) return;
  *it = listeners.back();
  listeners.pop_back();
}

void CVideoTextureManager::SetScreenRect(int, int, int, int) {}

void CVideoTextureManager::Close() {
  ReleaseGraph();
  onScreen = false;
}

void CVideoTextureManager::ReleaseGraph() {}

void CVideoTextureManager::NotifyListeners(int code) {
  // A listener may remove itself; walk a copy.
  const auto snapshot = listeners;
  for (const auto& [callback, context] : snapshot)
    if (callback != nullptr) callback(code, context);
}
