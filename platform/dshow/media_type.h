// Media types: what a pin connection carries (major type, subtype, format block) and the
// video and audio format records the layer's filters read.
#pragma once
#include "dshow/com.h"

// Time in units of 100 ns.
using REFERENCE_TIME = int64_t;
using LONGLONG = int64_t;
constexpr REFERENCE_TIME UNITS = 10000000;

struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  // Positive: rows stored bottom-up; negative: top-down.
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};

struct VIDEOINFOHEADER {
  RECT rcSource;
  RECT rcTarget;
  DWORD dwBitRate;
  DWORD dwBitErrorRate;
  REFERENCE_TIME AvgTimePerFrame;
  BITMAPINFOHEADER bmiHeader;
};

struct WAVEFORMATEX {
  WORD wFormatTag;
  WORD nChannels;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
  WORD wBitsPerSample;
  WORD cbSize;
};
constexpr WORD WAVE_FORMAT_PCM = 1;
constexpr DWORD BI_RGB = 0;

struct AM_MEDIA_TYPE {
  GUID majortype;
  GUID subtype;
  BOOL bFixedSizeSamples;
  BOOL bTemporalCompression;
  ULONG lSampleSize;
  GUID formattype;
  IUnknown* pUnk;
  ULONG cbFormat;
  BYTE* pbFormat;
};

// Identifiers of our own for the major types, subtypes and format blocks the layer knows.
inline constexpr GUID MEDIATYPE_Video = {0x3F6C1B10, 0x6A1E, 0x4E0A, {0x91, 0x2D, 0x50, 0x7A, 0x21, 0x01, 0x00, 0x10}};
inline constexpr GUID MEDIATYPE_Audio = {0x3F6C1B11, 0x6A1E, 0x4E0A, {0x91, 0x2D, 0x50, 0x7A, 0x21, 0x01, 0x00, 0x11}};
inline constexpr GUID MEDIASUBTYPE_RGB24 = {0x3F6C1B20, 0x6A1E, 0x4E0A, {0x91, 0x2D, 0x50, 0x7A, 0x21, 0x01, 0x00, 0x20}};
inline constexpr GUID MEDIASUBTYPE_RGB32 = {0x3F6C1B21, 0x6A1E, 0x4E0A, {0x91, 0x2D, 0x50, 0x7A, 0x21, 0x01, 0x00, 0x21}};
// Planar YUV 4:2:0: the full Y plane, then the U and V planes at half width and height.
inline constexpr GUID MEDIASUBTYPE_I420 = {0x3F6C1B22, 0x6A1E, 0x4E0A, {0x91, 0x2D, 0x50, 0x7A, 0x21, 0x01, 0x00, 0x22}};
inline constexpr GUID MEDIASUBTYPE_PCM = {0x3F6C1B23, 0x6A1E, 0x4E0A, {0x91, 0x2D, 0x50, 0x7A, 0x21, 0x01, 0x00, 0x23}};
inline constexpr GUID FORMAT_VideoInfo = {0x3F6C1B30, 0x6A1E, 0x4E0A, {0x91, 0x2D, 0x50, 0x7A, 0x21, 0x01, 0x00, 0x30}};
inline constexpr GUID FORMAT_WaveFormatEx = {0x3F6C1B31, 0x6A1E, 0x4E0A, {0x91, 0x2D, 0x50, 0x7A, 0x21, 0x01, 0x00, 0x31}};
inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// Frees the format block of a media type (the record itself stays).
FOOTLIGHT_PLATFORM_API void FreeMediaType(AM_MEDIA_TYPE& type);
// A deep copy: the target gets its own format block. False when the block cannot be made.
FOOTLIGHT_PLATFORM_API bool CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source);

// A media type that owns its format block.
class FOOTLIGHT_PLATFORM_API CMediaType : public AM_MEDIA_TYPE {
 public:
  CMediaType();
  CMediaType(const AM_MEDIA_TYPE& type);  // NOLINT: converts like a copy
  CMediaType(const CMediaType& type);
  CMediaType& operator=(const AM_MEDIA_TYPE& type);
  CMediaType& operator=(const CMediaType& type);
  ~CMediaType();

  const GUID* Type() const { return &majortype; }
  const GUID* Subtype() const { return &subtype; }
  const GUID* FormatType() const { return &formattype; }
  BYTE* Format() const { return pbFormat; }
  ULONG FormatLength() const { return cbFormat; }
  void SetType(const GUID* type) { majortype = *type; }
  void SetSubtype(const GUID* type) { subtype = *type; }
  void SetFormatType(const GUID* type) { formattype = *type; }
  // Replaces the format block with a copy of `length` bytes (zeros when `format` is null).
  bool SetFormat(const BYTE* format, ULONG length);
  // A zeroed format block of `length` bytes, or null when it cannot be made.
  BYTE* AllocFormatBuffer(ULONG length);
  void ResetFormatBuffer();
  bool IsValid() const { return !(majortype == GUID_NULL); }
};
