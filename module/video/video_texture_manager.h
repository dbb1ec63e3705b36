// Video decoded into a texture: one file played through a filter graph whose video ends in the
// module's texture renderer. The operations the scene system calls are virtual, after the
// component slots, so that a host or a test can stand a subclass in.
#pragma once
#include <cstdint>
#include <utility>
#include <vector>

#include "d3d8/d3d8.h"
#include "dshow/interfaces.h"
#include "frame/component_base.h"
#include "win32/win32.h"

class CTextureRenderer;
class IRenderer;

// A listener gets a code (1 end of stream, 2 paused, 3 running, 4 stopped, 5 failure) and its
// context.
using VideoListener = void (*)(int code, void* context);

class CVideoTextureManager : public CComponentBase {
 public:
  CVideoTextureManager();
  ~CVideoTextureManager() override;
  // False without the "dx8render" service: then nothing that needs it runs.
  bool Init() override;
  // Safe twice.
  void Destroy() override;
  void Execute(uint32_t elapsedMs) override;
  void RealizePost(uint32_t arg) override;

  // S_OK when the graph stands stopped and ready, else the failure that stopped the build.
  virtual HRESULT SetVideoInTexture(const wchar_t* file, const wchar_t* videoPin, int useSourceFilter,
                                    const wchar_t* audioPin);                    // slot 12
  // Plays `manager` on the calling thread: listeners hear 3 or 5 before this returns.
  virtual void PlayVideoInTexture(CVideoTextureManager* manager);              // slot 13
  virtual void Play();                                                         // slot 14
  virtual void Pause();                                                        // slot 15
  virtual void Stop();                                                         // slot 16
  virtual void SetVolume(long volume);                                         // slot 17
  virtual long GetVolume();                                                    // slot 18
  // 0.0 when the graph cannot tell (listeners hear 5).
  virtual double GetDuration();                                                // slot 19
  virtual double GetCurrentPosition();                                         // slot 20
  // The current texture and, through `matrix`, the texture matrix; null for both without a
  // texture renderer. With one the frame lock is entered (even before the first frame, when
  // the texture is null) and every lock is paired with one UnlockTexture.
  virtual IDirect3DTexture8* LockTexture(const D3DMATRIX** matrix);            // slot 21
  virtual void UnlockTexture();                                                // slot 22
  // A callback already listening only takes the new context.
  virtual void AddListener(VideoListener callback, void* context);             // slot 23
  // The last listener takes the removed one's place; an unknown callback is ignored.
  virtual void RemoveListener(VideoListener callback);                         // slot 24
  virtual void SetScreenRect(int x, int y, int width, int height);             // slot 25
  virtual void Close();                                                        // slot 26
  virtual void ReleaseGraph();                                                 // slot 27

  // Calls the listeners registered now, in list order, each with its context at the moment
  // of its call; one removed during the round is not called, one added waits for the next.
  void NotifyListeners(int code);
  // One graph event a tick; the end of the stream rewinds to 0 and the video loops.
  void PollEvents();
  void DrawOnScreen();

  std::vector<std::pair<VideoListener, void*>> Listeners();
  CTextureRenderer* Renderer() const { return renderer; }
  IGraphBuilder* Graph() const { return graphBuilder; }
  int QuadBuffer() const { return screenQuadBuffer; }
  const D3DMATRIX& TextureMatrix() const { return textureMatrix; }

 protected:
  CRITICAL_SECTION managerLock;
  HANDLE playThread = nullptr;
  std::vector<std::pair<VideoListener, void*>> listeners;
  IGraphBuilder* graphBuilder = nullptr;
  IMediaControl* mediaControl = nullptr;
  IMediaPosition* mediaPosition = nullptr;
  IMediaEvent* mediaEvent = nullptr;
  IBasicAudio* basicAudio = nullptr;
  CTextureRenderer* renderer = nullptr;  // not counted: the graph keeps it
  IRenderer* rendererService = nullptr;
  int screenQuadBuffer = -1;
  bool onScreen = false;
  D3DMATRIX textureMatrix;
  int onScreenTechnique = 0;

 private:
  HRESULT BuildGraph(const wchar_t* file, const wchar_t* videoPin, int useSourceFilter, const wchar_t* audioPin);
  // Runs a graph state change and tells the listeners `code`, or 5 when it fails.
  void ChangeState(HRESULT (IMediaControl::*change)(), int code);
  // A time of the graph in seconds; 0.0 without one, and when the call fails (listeners hear 5).
  double ReadSeconds(HRESULT (IMediaPosition::*read)(REFTIME*));
};
