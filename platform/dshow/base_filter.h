// The base classes of filters and pins: filter states and the clock, pin enumeration and
// search, the connection handshake, and sample transport through an allocator.
#pragma once
#include <mutex>
#include <string>
#include <vector>

#include "dshow/interfaces.h"

class CBasePin;

// A filter with pins. Derived classes own their pins and answer GetPinCount and GetPin.
class FOOTLIGHT_PLATFORM_API CBaseFilter : public CUnknown, public IBaseFilter, public IAMovieSetup {
 public:
  // name may be null: the filter takes the name the graph gives it.
  CBaseFilter(const wchar_t* name, IUnknown* owner, REFCLSID clsid);
  ~CBaseFilter() override;
  DSHOW_DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

  // IPersist
  HRESULT GetClassID(CLSID* clsid) override;
  // IMediaFilter. Pause from stopped activates every connected pin, Stop deactivates them.
  HRESULT Stop() override;
  HRESULT Pause() override;
  HRESULT Run(REFERENCE_TIME start) override;
  HRESULT GetState(DWORD timeoutMs, FILTER_STATE* state) override;
  HRESULT SetSyncSource(IReferenceClock* clock) override;
  HRESULT GetSyncSource(IReferenceClock** clock) override;
  // IBaseFilter
  HRESULT EnumPins(IEnumPins** pins) override;
  HRESULT FindPin(LPCWSTR id, IPin** pin) override;
  HRESULT QueryFilterInfo(FILTER_INFO* info) override;
  HRESULT JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
  // IAMovieSetup: nothing is registered.
  HRESULT Register() override;
  HRESULT Unregister() override;

  virtual int GetPinCount() = 0;
  virtual CBasePin* GetPin(int index) = 0;

  // Reports an event to the graph the filter is in; false outside a graph.
  bool NotifyEvent(LONG code, LONG_PTR param1, LONG_PTR param2);
  FILTER_STATE CurrentState();
  std::recursive_mutex& FilterLock() { return lock_; }

 protected:
  IUnknown* OwnUnknown() override;

  std::recursive_mutex lock_;
  FILTER_STATE state_ = State_Stopped;
  IReferenceClock* clock_ = nullptr;  // counted
  REFERENCE_TIME start_ = 0;
  IFilterGraph* graph_ = nullptr;     // not counted: the graph holds the filter
  IMediaEventSink* sink_ = nullptr;   // the graph's, not counted

 private:
  CLSID clsid_;
  std::wstring name_;
};

// A pin. Its reference count is its filter's.
class FOOTLIGHT_PLATFORM_API CBasePin : public CUnknown, public IPin {
 public:
  CBasePin(const wchar_t* name, CBaseFilter* filter, PIN_DIRECTION direction);
  ~CBasePin() override;
  DSHOW_DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;
  ULONG NonDelegatingAddRef() override;
  ULONG NonDelegatingRelease() override;

  // IPin. Connect tries the given type, else each of GetMediaType's in turn, and returns the
  // last refusal when none is taken.
  HRESULT Connect(IPin* receiver, const AM_MEDIA_TYPE* type) override;
  HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
  HRESULT Disconnect() override;
  HRESULT ConnectedTo(IPin** pin) override;
  HRESULT ConnectionMediaType(AM_MEDIA_TYPE* type) override;
  HRESULT QueryPinInfo(PIN_INFO* info) override;
  HRESULT QueryDirection(PIN_DIRECTION* direction) override;
  HRESULT QueryAccept(const AM_MEDIA_TYPE* type) override;
  HRESULT EndOfStream() override;
  HRESULT BeginFlush() override;
  HRESULT EndFlush() override;

  // The handshake: a type is checked, then set; a refusal of either ends the attempt.
  virtual HRESULT CheckMediaType(const CMediaType* type) = 0;
  virtual HRESULT SetMediaType(const CMediaType* type);
  // The pin's own types in order of preference: S_OK, or S_FALSE past the last.
  virtual HRESULT GetMediaType(int position, CMediaType* type);
  virtual HRESULT CompleteConnect(IPin* receiver);
  virtual HRESULT BreakConnect();
  // The filter leaves and enters the stopped state.
  virtual HRESULT Active();
  virtual HRESULT Inactive();

  bool IsConnected();
  const std::wstring& Name() const { return name_; }
  CBaseFilter* Filter() const { return filter_; }
  const CMediaType& CurrentMediaType() const { return type_; }

 protected:
  IUnknown* OwnUnknown() override;
  HRESULT AttemptConnection(IPin* receiver, const CMediaType& type);

  CBaseFilter* filter_;
  std::recursive_mutex& lock_;
  IPin* connected_ = nullptr;  // counted
  CMediaType type_;
  PIN_DIRECTION direction_;
  bool flushing_ = false;

 private:
  std::wstring name_;
};

class FOOTLIGHT_PLATFORM_API CBaseInputPin : public CBasePin, public IMemInputPin {
 public:
  CBaseInputPin(const wchar_t* name, CBaseFilter* filter);
  ~CBaseInputPin() override;
  DSHOW_DECLARE_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID iid, void** object) override;

  // IMemInputPin. The base Receive refuses samples while stopped (VFW_E_WRONG_STATE) or
  // flushing (S_FALSE) and accepts the rest.
  HRESULT GetAllocator(IMemAllocator** allocator) override;
  HRESULT NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
  HRESULT Receive(IMediaSample* sample) override;

  HRESULT BeginFlush() override;
  HRESULT EndFlush() override;
  HRESULT BreakConnect() override;

 protected:
  IMemAllocator* allocator_ = nullptr;  // counted
};

// An output pin that delivers samples from the allocator of the input pin it is connected to.
class FOOTLIGHT_PLATFORM_API CBaseOutputPin : public CBasePin {
 public:
  CBaseOutputPin(const wchar_t* name, CBaseFilter* filter);
  ~CBaseOutputPin() override;

  // How many buffers of what size the pin needs; called while connecting.
  virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
  HRESULT CompleteConnect(IPin* receiver) override;
  HRESULT BreakConnect() override;
  HRESULT Active() override;
  HRESULT Inactive() override;

  // A free sample; waits while every sample is out.
  HRESULT GetDeliveryBuffer(IMediaSample** sample);
  HRESULT Deliver(IMediaSample* sample);
  HRESULT DeliverEndOfStream();

 protected:
  IMemAllocator* allocator_ = nullptr;  // counted
  IMemInputPin* input_ = nullptr;       // counted
};

namespace dshow {

// A new allocator of plain memory samples, with one reference.
FOOTLIGHT_PLATFORM_API IMemAllocator* CreateMemAllocator();

}  // namespace dshow
