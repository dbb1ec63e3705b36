#include "apps/footlight/video_command.h"

#include "apps/footlight/command_support.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <stb/stb_image_write.h>

#include "d3d8/d3d8.h"
#include "dshow/interfaces.h"
#include "frame/component_base.h"
#include "host/d3d_device.h"
#include "host/standard_host.h"
#include "video/texture_renderer.h"
#include "video/video_texture_manager.h"
#include "win32/win32.h"

namespace footlight {

const char* const kVideoUsage =
    "  video FILE [--resource DIR] [--reader] [--pin NAME] [--audio NAME] [--volume V]\n"
    "      [--frames N] [--elapsed MS] [--screen X,Y,W,H] [--png OUT]\n"
    "                               play a video file (a resource path below DIR, default .) into\n"
    "                               the video texture: through the file source and its pin \"Output\"\n"
    "                               (default), or --reader with \"Raw Video 1\" and \"Raw Audio 0\";\n"
    "                               --pin and --audio name other pins, --volume sets the volume\n"
    "                               (-10000 to 0, 1/100 dB), --screen plays it on screen; runs N\n"
    "                               frames (default 30) of execute and realize MS apart in real time\n"
    "                               (default 33) and prints the duration, then per frame the position,\n"
    "                               frames copied, current texture, listener codes, sound samples and\n"
    "                               volume; --png writes the last picture, upright\n";

namespace {

bool Whole(const std::string& text, long least, long most, long* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || errno != 0 || v < least || v > most) return false;
  *out = v;
  return true;
}

std::wstring Wide(const std::string& text) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 1), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, out.data(), n);
  out.resize(out.size() - 1);
  return out;
}

struct Codes {
  std::string heard;
  static void Listen(int code, void* context) {
    auto* codes = static_cast<Codes*>(context);
    if (!codes->heard.empty()) codes->heard += ',';
    codes->heard += std::to_string(code);
  }
};

// The texture's picture part, turned upright: texture row 0 is the picture's bottom row.
bool WritePicture(const CTextureRenderer* renderer, IDirect3DTexture8* texture, const std::string& path,
                  std::string* error) {
  const auto* level = static_cast<host::Texture*>(texture)->Level(0);
  const int w = renderer->videoWidth, h = renderer->videoHeight;
  std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint32_t texel = level->PixelValue(static_cast<UINT>(x), static_cast<UINT>(h - 1 - y));
      unsigned char* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
      p[0] = static_cast<unsigned char>(texel >> 16);
      p[1] = static_cast<unsigned char>(texel >> 8);
      p[2] = static_cast<unsigned char>(texel);
    }
  if (!stbi_write_png(path.c_str(), w, h, 3, rgb.data(), w * 3)) {
    *error = "cannot write " + path;
    return false;
  }
  return true;
}

// Sound values the graph's audio renderer played; -1 without one.
long long SoundSamples(IGraphBuilder* graph) {
  IBaseFilter* speaker = nullptr;
  if (!graph || FAILED(graph->FindFilterByName(L"Audio Renderer", &speaker))) return -1;
  IAudioMeter* meter = nullptr;
  long long values = -1;
  if (SUCCEEDED(speaker->QueryInterface(IID_IAudioMeter, reinterpret_cast<void**>(&meter)))) {
    LONGLONG played = 0;
    double rms = 0;
    meter->GetLevels(&played, &rms);
    values = played;
    meter->Release();
  }
  speaker->Release();
  return values;
}

}  // namespace

bool ParseVideoOptions(const std::vector<std::string>& args, VideoOptions* out, std::string* error) {
  VideoOptions o;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string* text) {
      if (i + 1 >= args.size()) {
        *error = "option " + arg + " needs a value";
        return false;
      }
      *text = args[++i];
      return true;
    };
    std::string text;
    long number = 0;
    if (arg == "--help" || arg == "-h") {
      error->clear();
      return false;
    } else if (arg == "--reader") {
      o.reader = true;
    } else if (arg == "--resource" || arg == "--pin" || arg == "--audio" || arg == "--png") {
      if (!value(&text)) return false;
      (arg == "--resource" ? o.resource : arg == "--pin" ? o.pin : arg == "--audio" ? o.audio : o.png) = text;
    } else if (arg == "--volume") {
      if (!value(&text)) return false;
      if (!Whole(text, -10000, 0, &o.volume)) {
        *error = "option --volume takes a whole number from -10000 to 0, got \"" + text + "\"";
        return false;
      }
      o.volumeGiven = true;
    } else if (arg == "--frames" || arg == "--elapsed") {
      if (!value(&text)) return false;
      if (!Whole(text, arg == "--frames" ? 1 : 0, 100000, &number)) {
        *error = "option " + arg + " takes a whole number, got \"" + text + "\"";
        return false;
      }
      (arg == "--frames" ? o.frames : o.elapsed) = static_cast<int>(number);
    } else if (arg == "--screen") {
      if (!value(&text)) return false;
      size_t start = 0;
      for (int k = 0; k < 4; ++k) {
        const size_t end = k < 3 ? text.find(',', start) : text.size();
        if (end == std::string::npos || !Whole(text.substr(start, end - start), -100000, 100000, &number)) {
          *error = "option --screen takes X,Y,W,H, got \"" + text + "\"";
          return false;
        }
        o.rect[k] = static_cast<int>(number);
        start = end + 1;
      }
      o.screen = true;
    } else if (!footlight::TakePositional(arg, "video", "file", &o.file, error)) {
      return false;
    }
  }
  if (o.file.empty()) {
    *error = "video needs a FILE (see footlight --help)";
    return false;
  }
  *out = o;
  return true;
}

int RunVideoCommand(const VideoOptions& o, DMAInterfaceFn entry, std::FILE* out, std::FILE* err) {
  host::StandardHost standard(o.resource);
  host::ReferenceHost& host = standard.host;
  if (host.LoadModule(entry) == nullptr) {
    std::fprintf(err, "footlight: the module returned an empty class list\n");
    return 1;
  }
  int status = 0;
  {
    ComponentHandle handle{};
    host.CreateObject(&handle, "CVideoTextureManager");
    auto* manager = static_cast<CVideoTextureManager*>(static_cast<CComponentBase*>(host.GetObject(&handle)));
    if (!manager) {
      std::fprintf(err, "footlight: the video texture manager could not be made\n");
      host.DestroyAll();
      return 1;
    }
    Codes codes;
    manager->AddListener(&Codes::Listen, &codes);
    const std::wstring pin = Wide(!o.pin.empty() ? o.pin : o.reader ? "Raw Video 1" : "Output");
    const std::wstring audio = Wide(!o.audio.empty() ? o.audio : "Raw Audio 0");
    const HRESULT hr = manager->SetVideoInTexture(Wide(o.file).c_str(), pin.c_str(), o.reader ? 0 : 1, audio.c_str());
    if (FAILED(hr)) {
      std::fprintf(err, "footlight: cannot open the video %s: 0x%08X\n", o.file.c_str(), static_cast<unsigned>(hr));
      host.DestroyAll();
      return 1;
    }
    if (o.volumeGiven) manager->SetVolume(o.volume);
    std::fprintf(out, "opened %s (%s), heard %s\n", o.file.c_str(), o.reader ? "reader" : "file source",
                 codes.heard.c_str());
    std::fprintf(out, "duration %.3f s\n", manager->GetDuration());
    codes.heard.clear();
    if (o.screen)
      manager->SetScreenRect(o.rect[0], o.rect[1], o.rect[2], o.rect[3]);
    else
      manager->PlayVideoInTexture(manager);
    std::fprintf(out, "%5s %10s %7s %7s %-8s %9s %7s\n", "frame", "position", "copied", "texture", "codes", "samples",
                 "volume");
    for (int frame = 0; frame < o.frames; ++frame) {
      if (frame > 0) Sleep(static_cast<DWORD>(o.elapsed));
      standard.Frame(static_cast<uint32_t>(o.elapsed));
      CTextureRenderer* renderer = manager->Renderer();
      const char* shown = "-";
      long copied = 0;
      if (renderer) {
        IDirect3DTexture8* texture = manager->LockTexture(nullptr);
        shown = !texture ? "-" : texture == renderer->textureA ? "A" : "B";
        manager->UnlockTexture();
        copied = renderer->SamplesRendered();
      }
      std::fprintf(out, "%5d %10.3f %7ld %7s %-8s %9lld %7ld\n", frame, manager->GetCurrentPosition(), copied, shown,
                   codes.heard.empty() ? "-" : codes.heard.c_str(), SoundSamples(manager->Graph()),
                   manager->GetVolume());
      codes.heard.clear();
    }
    if (!o.png.empty()) {
      CTextureRenderer* renderer = manager->Renderer();
      IDirect3DTexture8* texture = manager->LockTexture(nullptr);
      std::string error;
      if (!texture) {
        std::fprintf(err, "footlight: no frame reached the texture; %s not written\n", o.png.c_str());
        status = 1;
      } else if (!WritePicture(renderer, texture, o.png, &error)) {
        std::fprintf(err, "footlight: %s\n", error.c_str());
        status = 1;
      } else {
        std::fprintf(out, "wrote %s (%dx%d)\n", o.png.c_str(), renderer->videoWidth, renderer->videoHeight);
      }
      manager->UnlockTexture();
    }
    manager->RemoveListener(&Codes::Listen);
    host.DestroyObject(handle);
  }
  host.DestroyAll();
  const size_t live = host.Allocator().LiveBlocks();
  std::fprintf(out, "live host blocks: %zu\n", live);
  return live == 0 ? status : 1;
}

}  // namespace footlight
