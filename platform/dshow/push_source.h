// Sources that push: every connected output pin runs its own streaming thread from the
// moment the filter leaves the stopped state, fills samples and delivers them downstream
// until the end of its stream, then delivers the end of stream and waits. The graph moves a
// source's position (ISourcePosition) while it stands stopped.
#pragma once
#include <atomic>
#include <thread>

#include "dshow/base_filter.h"

namespace dshow {
struct StreamThread;
}

class CPushSource;

class FOOTLIGHT_PLATFORM_API CPushSourcePin : public CBaseOutputPin {
 public:
  CPushSourcePin(const wchar_t* name, CPushSource* source);
  ~CPushSourcePin() override;

  // Fills the next sample (data, actual length, times): S_OK to deliver it, S_FALSE at the
  // end of the stream, a failure to end streaming with EC_ERRORABORT.
  virtual HRESULT FillBuffer(IMediaSample* sample) = 0;
  // The next sample comes from this media position.
  virtual HRESULT SetPosition(REFERENCE_TIME position) = 0;
  virtual REFERENCE_TIME Duration() = 0;

  HRESULT Active() override;
  HRESULT Inactive() override;
  // Ends the streaming thread; the filter calls it without its lock, which the thread may need.
  void StopStreaming();

 private:
  void Stream();

  std::mutex threadLock_;  // Active and StopStreaming come from different threads
  std::thread thread_;
  dshow::StreamThread* token_ = nullptr;
  bool stop_ = false;  // under ScheduleMutex
};

class FOOTLIGHT_PLATFORM_API CPushSource : public CBaseFilter, public ISourcePosition {
 public:
  CPushSource(const wchar_t* name, IUnknown* owner, REFCLSID clsid);
  ~CPushSource() override;
  DSHOW_DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

  HRESULT Stop() override;
  int GetPinCount() override;
  CBasePin* GetPin(int index) override;

  // ISourcePosition: the longest stream of the pins; positions every pin (stopped only).
  HRESULT GetDuration(REFERENCE_TIME* duration) override;
  HRESULT SetPosition(REFERENCE_TIME position) override;

 protected:
  // The filter owns the pin from here on.
  void AddPin(CPushSourcePin* pin);

 private:
  std::vector<CPushSourcePin*> pins_;
};
