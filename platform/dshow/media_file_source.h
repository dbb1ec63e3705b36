// Sources that read video files through the FFmpeg libraries: any container they read, its
// video decoded to planar YUV 4:2:0 or RGB32 and its audio to interleaved 16-bit PCM, each
// stream pushed from its own output pin. A pin keeps the format it was connected with (the one
// the libraries report when the file opens) for the whole file: pictures of another size are
// scaled to it, sound of another rate, channel layout or sample format is resampled to it, so a
// stream whose format changes midway plays on.
//
// Two classes: the reader (CLSID_WMAsfReader) names every pin "Raw Video %d" or "Raw Audio %d"
// after the stream's index in the file; the file source that AddSourceFilter makes for every
// file names the first video stream's pin "Output" and the others as the reader does.
// IFileSourceFilter::Load resolves the name under the resource root (the platform's one
// resolver) and opens it as a local file only.
#pragma once
#include "dshow/interfaces.h"

inline constexpr CLSID CLSID_MediaFileSource = {0x3F6C1C03, 0x6A1E, 0x4E0A, {0x91, 0x2D, 0x50, 0x7A, 0x21, 0x01, 0x02, 0x03}};

// Load's answer for a file the libraries cannot open or decode.
#define VFW_E_INVALID_FILE_FORMAT (static_cast<HRESULT>(0x8004022Fu))
// Load's answer for a name that does not resolve to a file; a missing folder is 0x80070003 and a
// name that leaves the resource root 0x80070005 (E_ACCESSDENIED).
#define HRESULT_FILE_NOT_FOUND (static_cast<HRESULT>(0x80070002u))

namespace dshow {

// Registers both classes and the file source as AddSourceFilter's source of every file; done
// when the platform loads, again by whoever cleared the file sources.
FOOTLIGHT_PLATFORM_API void RegisterMediaFileSources();

}  // namespace dshow
