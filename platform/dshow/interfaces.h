// The interfaces of filters, pins, samples, the clock and the filter graph manager, with the
// methods the video code calls and those the graph and the base classes need among
// themselves. Identifiers other than the two class identifiers the callers name are our own.
#pragma once
#include "dshow/media_type.h"

#define DSHOW_IID(name, n) \
  inline constexpr IID name = {0x3F6C1A00u + (n), 0x6A1E, 0x4E0A, {0x91, 0x2D, 0x50, 0x7A, 0x21, 0x01, 0x01, 0x00}}

DSHOW_IID(IID_IPersist, 1);
DSHOW_IID(IID_IMediaFilter, 2);
DSHOW_IID(IID_IBaseFilter, 3);
DSHOW_IID(IID_IPin, 4);
DSHOW_IID(IID_IEnumPins, 5);
DSHOW_IID(IID_IMediaSample, 6);
DSHOW_IID(IID_IMemAllocator, 7);
DSHOW_IID(IID_IMemInputPin, 8);
DSHOW_IID(IID_IReferenceClock, 9);
DSHOW_IID(IID_IFilterGraph, 10);
DSHOW_IID(IID_IGraphBuilder, 11);
DSHOW_IID(IID_IMediaControl, 12);
DSHOW_IID(IID_IMediaPosition, 13);
DSHOW_IID(IID_IMediaEvent, 14);
DSHOW_IID(IID_IMediaEventSink, 15);
DSHOW_IID(IID_IBasicAudio, 16);
DSHOW_IID(IID_IFileSourceFilter, 17);
DSHOW_IID(IID_IAMovieSetup, 18);
DSHOW_IID(IID_IQualProp, 19);
DSHOW_IID(IID_IQualityControl, 20);
DSHOW_IID(IID_ISourcePosition, 21);
DSHOW_IID(IID_IAudioMeter, 22);

// The graph manager's class; the sources and readers that video files need register theirs.
inline constexpr CLSID CLSID_FilterGraph = {0x3F6C1C00, 0x6A1E, 0x4E0A, {0x91, 0x2D, 0x50, 0x7A, 0x21, 0x01, 0x02, 0x00}};
inline constexpr CLSID CLSID_WMAsfReader = {0x187463A0, 0x5BB7, 0x11D3, {0xAC, 0xBE, 0x00, 0x80, 0xC7, 0x5E, 0x24, 0x6E}};

using REFTIME = double;  // seconds
using OAFilterState = LONG;

enum PIN_DIRECTION { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };
enum FILTER_STATE { State_Stopped = 0, State_Paused = 1, State_Running = 2 };

constexpr size_t MAX_PIN_NAME = 128;
constexpr size_t MAX_FILTER_NAME = 128;

class IBaseFilter;
class IFilterGraph;
class IPin;

struct PIN_INFO {
  IBaseFilter* pFilter;  // counted: the caller releases it
  PIN_DIRECTION dir;
  WCHAR achName[MAX_PIN_NAME];
};

struct FILTER_INFO {
  WCHAR achName[MAX_FILTER_NAME];
  IFilterGraph* pGraph;  // counted when not null
};

struct ALLOCATOR_PROPERTIES {
  LONG cBuffers;
  LONG cbBuffer;
  LONG cbAlign;
  LONG cbPrefix;
};

// Event codes of the graph.
constexpr LONG EC_COMPLETE = 0x01;
constexpr LONG EC_USERABORT = 0x02;
constexpr LONG EC_ERRORABORT = 0x03;

class IReferenceClock : public IUnknown {
 public:
  virtual HRESULT GetTime(REFERENCE_TIME* time) = 0;
};

class IPersist : public IUnknown {
 public:
  virtual HRESULT GetClassID(CLSID* clsid) = 0;
};

class IMediaFilter : public IPersist {
 public:
  virtual HRESULT Stop() = 0;
  virtual HRESULT Pause() = 0;
  // start: the reference time at which stream time 0 is due.
  virtual HRESULT Run(REFERENCE_TIME start) = 0;
  virtual HRESULT GetState(DWORD timeoutMs, FILTER_STATE* state) = 0;
  virtual HRESULT SetSyncSource(IReferenceClock* clock) = 0;
  virtual HRESULT GetSyncSource(IReferenceClock** clock) = 0;
};

class IEnumPins : public IUnknown {
 public:
  // S_OK when all `count` pins were given, S_FALSE when fewer.
  virtual HRESULT Next(ULONG count, IPin** pins, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
};

class IBaseFilter : public IMediaFilter {
 public:
  virtual HRESULT EnumPins(IEnumPins** pins) = 0;
  virtual HRESULT FindPin(LPCWSTR id, IPin** pin) = 0;
  virtual HRESULT QueryFilterInfo(FILTER_INFO* info) = 0;
  // The graph is not counted by the filter; name may be null.
  virtual HRESULT JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) = 0;
};

class IPin : public IUnknown {
 public:
  // Called on an output pin; type null: any of the pin's own types.
  virtual HRESULT Connect(IPin* receiver, const AM_MEDIA_TYPE* type) = 0;
  // Called on an input pin by the output pin that connects to it.
  virtual HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) = 0;
  virtual HRESULT Disconnect() = 0;
  virtual HRESULT ConnectedTo(IPin** pin) = 0;
  virtual HRESULT ConnectionMediaType(AM_MEDIA_TYPE* type) = 0;
  virtual HRESULT QueryPinInfo(PIN_INFO* info) = 0;
  virtual HRESULT QueryDirection(PIN_DIRECTION* direction) = 0;
  virtual HRESULT QueryAccept(const AM_MEDIA_TYPE* type) = 0;
  virtual HRESULT EndOfStream() = 0;
  virtual HRESULT BeginFlush() = 0;
  virtual HRESULT EndFlush() = 0;
};

class IMediaSample : public IUnknown {
 public:
  virtual HRESULT GetPointer(BYTE** buffer) = 0;
  virtual LONG GetSize() = 0;
  // VFW_E_SAMPLE_TIME_NOT_SET-like failure when the sample carries no time.
  virtual HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) = 0;
  virtual HRESULT SetTime(const REFERENCE_TIME* start, const REFERENCE_TIME* end) = 0;
  virtual LONG GetActualDataLength() = 0;
  virtual HRESULT SetActualDataLength(LONG length) = 0;
};

class IMemAllocator : public IUnknown {
 public:
  virtual HRESULT SetProperties(const ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) = 0;
  virtual HRESULT GetProperties(ALLOCATOR_PROPERTIES* properties) = 0;
  virtual HRESULT Commit() = 0;
  // Samples still out are freed when they come back; GetBuffer fails until the next Commit.
  virtual HRESULT Decommit() = 0;
  // Waits for a free sample; VFW_E_NOT_COMMITTED once decommitted.
  virtual HRESULT GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end, DWORD flags) = 0;
  virtual HRESULT ReleaseBuffer(IMediaSample* sample) = 0;
};

class IMemInputPin : public IUnknown {
 public:
  virtual HRESULT GetAllocator(IMemAllocator** allocator) = 0;
  virtual HRESULT NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) = 0;
  // Blocks the streaming thread as long as the filter needs (a renderer: until the sample is due).
  virtual HRESULT Receive(IMediaSample* sample) = 0;
};

class IFilterGraph : public IUnknown {
 public:
  virtual HRESULT AddFilter(IBaseFilter* filter, LPCWSTR name) = 0;
  virtual HRESULT RemoveFilter(IBaseFilter* filter) = 0;
  virtual HRESULT FindFilterByName(LPCWSTR name, IBaseFilter** filter) = 0;
};

class IGraphBuilder : public IFilterGraph {
 public:
  // Direct, else through a colour converter the graph inserts.
  virtual HRESULT Connect(IPin* output, IPin* input) = 0;
  // Renders an output pin: an audio pin gets an audio renderer.
  virtual HRESULT Render(IPin* output) = 0;
  virtual HRESULT AddSourceFilter(LPCWSTR file, LPCWSTR name, IBaseFilter** filter) = 0;
};

class IMediaControl : public IUnknown {
 public:
  virtual HRESULT Run() = 0;
  virtual HRESULT Pause() = 0;
  virtual HRESULT Stop() = 0;
  virtual HRESULT GetState(LONG timeoutMs, OAFilterState* state) = 0;
};

class IMediaPosition : public IUnknown {
 public:
  virtual HRESULT get_Duration(REFTIME* seconds) = 0;
  virtual HRESULT put_CurrentPosition(REFTIME seconds) = 0;
  virtual HRESULT get_CurrentPosition(REFTIME* seconds) = 0;
};

class IMediaEvent : public IUnknown {
 public:
  // E_ABORT when no event came within the timeout (milliseconds; INFINITE waits).
  virtual HRESULT GetEvent(LONG* code, LONG_PTR* param1, LONG_PTR* param2, LONG timeoutMs) = 0;
  virtual HRESULT FreeEventParams(LONG code, LONG_PTR param1, LONG_PTR param2) = 0;
};

// What filters report to their graph.
class IMediaEventSink : public IUnknown {
 public:
  virtual HRESULT Notify(LONG code, LONG_PTR param1, LONG_PTR param2) = 0;
};

// Volume in 1/100 dB, -10000 (silence) to 0 (full).
class IBasicAudio : public IUnknown {
 public:
  virtual HRESULT put_Volume(LONG volume) = 0;
  virtual HRESULT get_Volume(LONG* volume) = 0;
};

class IFileSourceFilter : public IUnknown {
 public:
  virtual HRESULT Load(LPCWSTR file, const AM_MEDIA_TYPE* type) = 0;
};

// Registration of a filter; this layer registers nothing.
class IAMovieSetup : public IUnknown {
 public:
  virtual HRESULT Register() = 0;
  virtual HRESULT Unregister() = 0;
};

// Quality reports of a video renderer; this layer keeps none.
class IQualProp : public IUnknown {
 public:
  virtual HRESULT get_FramesDroppedInRenderer(int* frames) = 0;
  virtual HRESULT get_FramesDrawn(int* frames) = 0;
};

class IQualityControl : public IUnknown {
 public:
  virtual HRESULT Notify(IBaseFilter* sender, LONG_PTR quality) = 0;
  virtual HRESULT SetSink(IQualityControl* sink) = 0;
};

// A source's media position: the graph asks its sources for their length and moves them
// while the graph stands stopped.
class ISourcePosition : public IUnknown {
 public:
  virtual HRESULT GetDuration(REFERENCE_TIME* duration) = 0;
  virtual HRESULT SetPosition(REFERENCE_TIME position) = 0;
};

// What the audio renderer played: sample values (all channels) and their root mean square
// after the volume.
class IAudioMeter : public IUnknown {
 public:
  virtual HRESULT GetLevels(LONGLONG* samples, double* rms) = 0;
};
