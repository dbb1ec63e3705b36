// The filter graph manager (CLSID_FilterGraph through CoCreateInstance) and the filters it
// inserts by itself: a colour converter to RGB24 and an audio renderer.
#pragma once
#include "dshow/interfaces.h"

namespace dshow {

// The source class AddSourceFilter makes for files with this extension (L".avi"; any case);
// L"" is the source for every other file.
FOOTLIGHT_PLATFORM_API void RegisterFileSource(LPCWSTR extension, REFCLSID clsid);
FOOTLIGHT_PLATFORM_API void UnregisterFileSources();

// The graph's own filters, each with one reference.
// Input pin "Input" (planar YUV 4:2:0 or RGB32 video), output pin "Output": RGB24 with a
// bottom-up VideoInfo block, rows padded to 4 bytes.
IBaseFilter* CreateColourConverter();
// Input pin "In": 16-bit PCM; plays to no device, measures what it would have played.
IBaseFilter* CreateAudioRenderer();

}  // namespace dshow
