// Renderers: a filter with one input pin "In" whose samples are rendered on the streaming
// thread, each when the graph's clock reaches its start time (at once without a clock or a
// time). A paused renderer holds the streaming thread; stopping or flushing releases it and
// drops the sample. After the end of the stream and its last sample's end time, the renderer
// reports EC_COMPLETE to its graph.
#pragma once
#include "dshow/base_filter.h"

class CBaseRenderer;

class FOOTLIGHT_PLATFORM_API CRendererInputPin : public CBaseInputPin {
 public:
  CRendererInputPin(CBaseRenderer* renderer, const wchar_t* name);

  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT SetMediaType(const CMediaType* type) override;
  HRESULT BreakConnect() override;
  HRESULT Receive(IMediaSample* sample) override;
  HRESULT EndOfStream() override;
  HRESULT BeginFlush() override;
  HRESULT EndFlush() override;

 private:
  CBaseRenderer* renderer_;
};

class FOOTLIGHT_PLATFORM_API CBaseRenderer : public CBaseFilter {
 public:
  CBaseRenderer(REFCLSID clsid, const wchar_t* name, IUnknown* owner, HRESULT* result);
  ~CBaseRenderer() override;

  HRESULT Stop() override;
  HRESULT Pause() override;
  HRESULT Run(REFERENCE_TIME start) override;
  HRESULT SetSyncSource(IReferenceClock* clock) override;
  int GetPinCount() override;
  CBasePin* GetPin(int index) override;

  virtual HRESULT CheckMediaType(const CMediaType* type) = 0;
  virtual HRESULT SetMediaType(const CMediaType* type);
  virtual HRESULT BreakConnect();
  virtual HRESULT DoRenderSample(IMediaSample* sample) = 0;

  // Waits until the sample is due, then renders it; called by the input pin.
  virtual HRESULT Receive(IMediaSample* sample);
  virtual HRESULT EndOfStream();
  virtual HRESULT BeginFlush();
  virtual HRESULT EndFlush();

  // Samples rendered and render failures since the filter was made.
  LONG SamplesRendered();
  LONG RenderFailures();

 private:
  void Publish();
  // Waits until the stream time `due` (has = false: no wait) while running; false when the
  // wait ended in a stop or a flush. ScheduleMutex held.
  bool WaitUntilDue(std::unique_lock<std::mutex>& lock, bool timed, REFERENCE_TIME due);

  CRendererInputPin* pin_;
  // Copies of the filter state for the streaming thread, under ScheduleMutex.
  FILTER_STATE scheduled_ = State_Stopped;
  REFERENCE_TIME scheduledStart_ = 0;
  IReferenceClock* scheduledClock_ = nullptr;
  bool flushing_ = false;
  bool haveEnd_ = false;
  REFERENCE_TIME lastEnd_ = 0;
  LONG rendered_ = 0;
  LONG failures_ = 0;
};

// A video renderer: quality reports and control are answered E_NOTIMPL.
class FOOTLIGHT_PLATFORM_API CBaseVideoRenderer : public CBaseRenderer, public IQualProp, public IQualityControl {
 public:
  CBaseVideoRenderer(REFCLSID clsid, const wchar_t* name, IUnknown* owner, HRESULT* result);
  ~CBaseVideoRenderer() override;
  DSHOW_DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

  HRESULT get_FramesDroppedInRenderer(int* frames) override;
  HRESULT get_FramesDrawn(int* frames) override;
  HRESULT Notify(IBaseFilter* sender, LONG_PTR quality) override;
  HRESULT SetSink(IQualityControl* sink) override;
};
