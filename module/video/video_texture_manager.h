// Video decoded into a texture. The operations the scene system calls are virtual, after the
// component slots, so that a host or a test can stand a subclass in. Until the decoding graph is
// built they answer as a manager that has no graph and no texture renderer: opening fails, times
// are 0.0, the volume 0 and there is no texture. The listeners are kept for real.
#pragma once
#include <cstdint>
#include <utility>
#include <vector>

#include "d3d8/d3d8.h"
#include "frame/component_base.h"

// A listener gets a code (1 end of stream, 2 paused, 3 running, 4 stopped, 5 failure) and its
// context.
using VideoListener = void (*)(int code, void* context);

class CVideoTextureManager : public CComponentBase {
 public:
  CVideoTextureManager();
  ~CVideoTextureManager() override;
  bool Init() override;

  // 0 when the graph stands ready; 0x80004005 when it cannot be made.
  virtual HRESULT SetVideoInTexture(const wchar_t* file, const wchar_t* videoPin, int useSourceFilter,
                                    const wchar_t* audioPin);                    // slot 12
  virtual void PlayVideoInTexture(CVideoTextureManager* manager);              // slot 13
  virtual void Play();                                                         // slot 14
  virtual void Pause();                                                        // slot 15
  virtual void Stop();                                                         // slot 16
  virtual void SetVolume(long volume);                                         // slot 17
  virtual long GetVolume();                                                    // slot 18
  virtual double GetDuration();                                                // slot 19
  virtual double GetCurrentPosition();                                         // slot 20
  // The current texture and, through `matrix`, the texture matrix; null for both without a
  // texture renderer. Every lock is paired with one UnlockTexture.
  virtual IDirect3DTexture8* LockTexture(const D3DMATRIX** matrix);            // slot 21
  virtual void UnlockTexture();                                                // slot 22
  // A callback already listening only takes the new context.
  virtual void AddListener(VideoListener callback, void* context);             // slot 23
  // The last listener takes the removed one's place; an unknown callback is ignored.
  virtual void RemoveListener(VideoListener callback);                         // slot 24
  virtual void SetScreenRect(int x, int y, int width, int height);             // slot 25
  virtual void Close();                                                        // slot 26
  virtual void ReleaseGraph();                                                 // slot 27

  // Calls every listener with the code, in list order.
  void NotifyListeners(int code);
  const std::vector<std::pair<VideoListener, void*>>& Listeners() const { return listeners; }

 protected:
  std::vector<std::pair<VideoListener, void*>> listeners;
  bool onScreen = false;
};
