#include "apps/footlight/video_command.h"

#include <algorithm>
#include <climits>

#include "apps/footlight/raster_options.h"
#include "d3d8/d3d8.h"
#include "dshow/errors.h"
#include "dshow/interfaces.h"
#include "frame/component_base.h"
#include "host/d3d_device.h"
#include "host/standard_host.h"
#include "video/texture_renderer.h"
#include "video/video_texture_manager.h"
#include "win32/win32.h"

namespace footlight {

namespace {

// A result code of the video layer in words, the code beside them.
std::string InWords(HRESULT hr) {
  char words[128] = "";
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
  if (AMGetErrorTextA(hr, words, sizeof words) == 0) return std::string("error ") + code;
  return std::string(words) + " (" + code + ")";
}

int Refused(const std::string& line, std::FILE* err) {
  std::fprintf(err, "footlight: %s\n", line.c_str());
  return cli::kFailed;
}

// The output pins of the graph's reader, in its order, and whether the one named `wanted` is
// connected.
struct PinList {
  std::vector<std::string> names;
  bool connected = false;
};
PinList ReaderPins(IGraphBuilder* graph, const std::wstring& wanted) {
  PinList found;
  IBaseFilter* reader = nullptr;
  if (!graph || FAILED(graph->FindFilterByName(L"ASF Reader", &reader))) return found;
  IEnumPins* pins = nullptr;
  if (SUCCEEDED(reader->EnumPins(&pins))) {
    IPin* pin = nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
      PIN_INFO info{};
      if (SUCCEEDED(pin->QueryPinInfo(&info))) {
        if (info.pFilter) info.pFilter->Release();  // the answer holds a reference to the reader
        found.names.push_back(cli::Utf8(info.achName));
        IPin* peer = nullptr;
        if (wanted == info.achName && pin->ConnectedTo(&peer) == S_OK) {
          found.connected = true;
          peer->Release();
        }
      }
      pin->Release();
    }
    pins->Release();
  }
  reader->Release();
  return found;
}

struct Codes {
  std::string heard;
  static void Listen(int code, void* context) {
    auto* codes = static_cast<Codes*>(context);
    if (!codes->heard.empty()) codes->heard += ',';
    codes->heard += std::to_string(code);
  }
};

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

bool ParseScreen(const std::string& text, std::array<int, 4>* out) {
  const std::vector<std::string> parts = cli::SplitCommas(text);
  if (parts.size() != 4) return false;
  for (size_t k = 0; k < 4; ++k) {
    long long v = 0;
    if (!cli::ParseWhole(parts[k], -100000, 100000, &v)) return false;
    (*out)[k] = static_cast<int>(v);
  }
  return true;
}

int RunVideo(const VideoOptions& o, const cli::Context& context, std::FILE* out, std::FILE* err) {
  if (std::string line; !cli::Readable(o.resource, o.file, &line)) return cli::Fail(line);
  host::StandardHost standard(o.resource);
  host::ReferenceHost& host = standard.host;
  if (host.LoadModule(context.entry) == nullptr) return context.EmptyClassList();
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
    const std::wstring pin = cli::Wide(!o.pin.empty() ? o.pin : o.reader ? "Raw Video 1" : "Output");
    const std::wstring audio = cli::Wide(!o.audio.empty() ? o.audio : "Raw Audio 0");
    const HRESULT hr = manager->SetVideoInTexture(cli::Wide(o.file).c_str(), pin.c_str(), o.reader ? 0 : 1, audio.c_str());
    if (FAILED(hr)) {
      host.DestroyAll();
      return Refused(cli::NotOpened(o.resource, o.file, InWords(hr)), err);
    }
    if (o.reader) {
      // The reader leaves a pin it does not have unconnected, and the clip plays nothing.
      const PinList pins = ReaderPins(manager->Graph(), pin);
      if (!pins.connected) {
        std::string names;
        for (const std::string& name : pins.names) names += (names.empty() ? "\"" : ", \"") + name + "\"";
        host.DestroyAll();
        const std::string wanted = "\"" + cli::Utf8(pin) + "\"";
        const bool has = std::find(pins.names.begin(), pins.names.end(), cli::Utf8(pin)) != pins.names.end();
        return Refused("nothing plays: " +
                           (has ? "the reader's pin " + wanted + " of " + o.file + " did not connect to the texture"
                                : "the reader gives " + o.file + " no pin " + wanted) +
                           "; its pins: " + (names.empty() ? "none" : names),
                       err);
      }
    }
    if (o.volume) manager->SetVolume(*o.volume);
    std::fprintf(out, "opened %s (%s), heard %s\n", o.file.c_str(), o.reader ? "reader" : "file source",
                 codes.heard.c_str());
    std::fprintf(out, "duration %.3f s\n", manager->GetDuration());
    codes.heard.clear();
    if (o.screen)
      manager->SetScreenRect((*o.screen)[0], (*o.screen)[1], (*o.screen)[2], (*o.screen)[3]);
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
      } else if (!WriteVideoPicture(renderer, texture, o.png, &error)) {
        std::fprintf(err, "footlight: %s\n", error.c_str());
        status = 1;
      } else {
        std::fprintf(out, "wrote %s: %dx%d\n", o.png.c_str(), renderer->videoWidth, renderer->videoHeight);
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

}  // namespace

// Texture row 0 is the picture's bottom row.
bool WriteVideoPicture(const CTextureRenderer* renderer, IDirect3DTexture8* texture, const std::string& path,
                       std::string* error) {
  const auto* level = static_cast<host::Texture*>(texture)->Level(0);
  const int h = renderer->videoHeight;
  return WriteArgbPng(
      renderer->videoWidth, h,
      [&](int x, int y) { return level->PixelValue(static_cast<UINT>(x), static_cast<UINT>(h - 1 - y)); }, path,
      error);
}

void AddVideoCommand(cli::Program& program) {
  auto* o = program.Keep<VideoOptions>();
  CLI::App* cmd = program.Command("video", "play a video file into the video texture and print each frame",
                                  [o](const cli::Context& context) { return RunVideo(*o, context, stdout, stderr); });
  cli::ResourcePath(cmd, "FILE", &o->file, "the video file")->required();
  cli::ResourceRoot(cmd, &o->resource);
  cmd->add_flag("--reader", o->reader, "open it through the reader (\"Raw Video 1\", \"Raw Audio 0\")");
  cmd->add_option("--pin", o->pin, "the video pin (default \"Output\", with --reader \"Raw Video 1\")")
      ->type_name("NAME");
  cmd->add_option("--audio", o->audio, "the audio pin (default \"Raw Audio 0\")")->type_name("NAME");
  cli::Whole(cmd, "--volume", &o->volume, -10000, 0, "the volume in 1/100 dB")->type_name("V");
  cli::Whole(cmd, "--frames", &o->frames, 1, 100000, "frames to run (default 30)");
  cli::Whole(cmd, "--elapsed", &o->elapsed, 0, 100000, "milliseconds between frames, in real time (default 33)")
      ->type_name("MS");
  cli::Custom<std::array<int, 4>>(cmd, "--screen", &o->screen, "X,Y,W,H", "a rectangle X,Y,W,H", ParseScreen,
                                  "play it on screen in this rectangle");
  cli::OutputPath(cmd, "--png", &o->png, "write the last picture, upright");
}

}  // namespace footlight
