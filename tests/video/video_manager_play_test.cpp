// The video texture manager playing clips made at run time, on the manual clock: listener
// codes, frames in the texture, the texture matrix and the screen quad, sound and volume, the
// end of the stream, and what ReleaseGraph leaves.
#include <cmath>
#include <cstring>
#include <cwchar>
#include <deque>
#include <initializer_list>
#include <filesystem>
#include <fstream>
#include <thread>

#include "clip_fixture.h"
#include "video_fixture.h"

namespace {

using namespace video_testing;
using Codes = std::vector<int>;

constexpr int kFrameMs = 100;  // the clips run at 10 frames a second

TEST(VideoManagerPlay, BuildPlayPauseStopTellTheListenersAndTheMatrixCoversThePicture) {
  ManagerRig rig;
  rig.clips.Make("bars.wmv", Clip(320, 240, 5));
  ASSERT_EQ(rig.manager->SetVideoInTexture(L"Video\\bars.wmv", L"Raw Video 1", 0, L"Raw Audio 0"), S_OK);
  EXPECT_EQ(rig.heard.codes, Codes{4});
  // 320 x 240 in a 512 texture.
  EXPECT_FLOAT_EQ(rig.manager->TextureMatrix()._11, 0.625f);
  EXPECT_FLOAT_EQ(rig.manager->TextureMatrix()._22, 0.46875f);
  EXPECT_FLOAT_EQ(rig.manager->TextureMatrix()._33, 1.0f);
  const D3DMATRIX* matrix = nullptr;
  EXPECT_EQ(rig.manager->LockTexture(&matrix), nullptr);  // before the first frame
  EXPECT_EQ(matrix, &rig.manager->TextureMatrix());
  rig.manager->UnlockTexture();

  rig.manager->PlayVideoInTexture(rig.manager);
  EXPECT_EQ(rig.heard.codes, (Codes{4, 3}));  // before PlayVideoInTexture returned
  rig.Advance(0);
  rig.manager->Pause();
  rig.manager->Stop();
  EXPECT_EQ(rig.heard.codes, (Codes{4, 3, 2, 4}));
  EXPECT_NEAR(rig.manager->GetDuration(), 0.5, 0.1);
}

TEST(VideoManagerPlay, LosslessFramesArriveExactlyWithTextureRowZeroAtTheBottom) {
  for (const int width : {64, 101}) {
    ManagerRig rig;
    const clip::ClipOptions options = Clip(width, 75, 4, false);
    rig.clips.Make("exact.mkv", options);
    ASSERT_EQ(rig.manager->SetVideoInTexture(L"video\\EXACT.mkv", L"Output", 1, nullptr), S_OK);
    rig.manager->Play();
    for (int frame = 0; frame < 3; ++frame) {
      rig.Advance(frame == 0 ? 0 : kFrameMs);
      int wrong = 0;
      for (int row = 0; row < options.height; ++row)
        for (int x = 0; x < width; ++x)
          wrong += rig.Texel(x, row) != Packed(clip::PatternPixel(options, frame, x, options.height - 1 - row));
      EXPECT_EQ(wrong, 0) << "width " << width << " frame " << frame;
    }
    // Row 0 is blue, the top row of the picture red.
    EXPECT_EQ(rig.Texel(width - 1, 0), 0x0000FF);
    EXPECT_EQ(rig.Texel(width - 1, options.height - 1), 0xFF0000);
  }
}

TEST(VideoManagerPlay, WmvFramesHoldTheirBandsWithinATolerance) {
  ManagerRig rig;
  const clip::ClipOptions options = Clip(160, 120, 6);
  rig.clips.Make("bars.asf", options);
  ASSERT_EQ(rig.manager->SetVideoInTexture(L"Video/bars.asf", L"Output", 1, L"Raw Audio 0"), S_OK);
  rig.manager->Play();
  rig.Advance(0);
  rig.Advance(2 * kFrameMs);
  // Inside the flat bands, away from their edges.
  for (int x = 40; x < 150; x += 10) {
    EXPECT_TRUE(Near(rig.Texel(x, 5), {0, 0, 255}, 24)) << std::hex << rig.Texel(x, 5);
    EXPECT_TRUE(Near(rig.Texel(x, 114), {255, 0, 0}, 24)) << std::hex << rig.Texel(x, 114);
  }
  // The frame-number block of frame 2: grey 16.
  EXPECT_TRUE(Near(rig.Texel(4, 120 - 1 - 40), {16, 16, 16}, 24)) << std::hex << rig.Texel(4, 79);
}

TEST(VideoManagerPlay, TheEndTellsOneAndLoopsToTheStartWithoutAnotherThree) {
  ManagerRig rig;
  const clip::ClipOptions options = Clip(32, 32, 3, false);
  rig.clips.Make("loop.mkv", options);
  ASSERT_EQ(rig.manager->SetVideoInTexture(L"Video\\loop.mkv", L"Output", 1, nullptr), S_OK);
  rig.manager->Play();
  rig.Advance(0);
  for (int i = 0; i < 4; ++i) rig.Advance(kFrameMs);
  rig.standard.host.Execute(16);  // the graph's EC_COMPLETE
  EXPECT_EQ(rig.heard.codes, (Codes{4, 3, 1}));
  rig.Advance(0);
  // Frame 0 again: grey 0 in the number block.
  EXPECT_EQ(rig.Texel(0, 31 - 8), 0x000000);
  rig.Advance(kFrameMs);
  EXPECT_EQ(rig.Texel(0, 31 - 8), 0x080808);
  EXPECT_EQ(rig.heard.codes, (Codes{4, 3, 1}));
  rig.standard.host.Execute(16);  // nothing waiting: no further code
  EXPECT_EQ(rig.heard.codes, (Codes{4, 3, 1}));
}

TEST(VideoManagerPlay, AClipCutInItsDataPlaysWhatItHasAndEnds) {
  ManagerRig rig;
  const std::string whole = rig.clips.Make("whole.wmv", Clip(64, 48, 20));
  {
    std::ifstream in(whole, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream(rig.clips.root / "Video" / "cut.wmv", std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size() * 6 / 10));
  }
  ASSERT_EQ(rig.manager->SetVideoInTexture(L"Video\\cut.wmv", L"Raw Video 1", 0, L"Raw Audio 0"), S_OK);
  rig.manager->Play();
  rig.Advance(0);
  EXPECT_NE(rig.Texel(0, 0), -1);
  for (int i = 0; i < 25; ++i) rig.Advance(kFrameMs);
  rig.standard.host.Execute(16);
  EXPECT_EQ(rig.heard.codes, (Codes{4, 3, 1}));
}

TEST(VideoManagerPlay, UnknownPinsAndMissingFilesOnBothPaths) {
  ManagerRig rig;
  rig.clips.Make("pins.wmv", Clip(64, 48, 3));
  // The reader: nothing connected, still ready and stopped.
  EXPECT_EQ(rig.manager->SetVideoInTexture(L"Video\\pins.wmv", L"Raw Video 7", 0, nullptr), S_OK);
  EXPECT_EQ(rig.heard.codes, Codes{4});
  // The source filter: the pin search fails and nobody hears of it.
  EXPECT_TRUE(FAILED(rig.manager->SetVideoInTexture(L"Video\\pins.wmv", L"Raw Video 7", 1, nullptr)));
  EXPECT_TRUE(FAILED(rig.manager->SetVideoInTexture(L"Video\\none.wmv", L"Output", 1, nullptr)));
  EXPECT_TRUE(FAILED(rig.manager->SetVideoInTexture(L"Video\\none.wmv", L"Raw Video 1", 0, nullptr)));
  EXPECT_EQ(rig.heard.codes, Codes{4});
  // An unknown audio pin is passed over.
  EXPECT_EQ(rig.manager->SetVideoInTexture(L"Video\\pins.wmv", L"Output", 1, L"Raw Audio 5"), S_OK);
  EXPECT_EQ(rig.manager->GetVolume(), 0);
}

TEST(VideoManagerPlay, AGraphOrReaderThatCannotBeMadeFailsTheBuildAndLeavesNoRenderer) {
  ManagerRig rig;
  rig.clips.Make("made.wmv", Clip(64, 48, 3));
  dshow::FailCreation(CLSID_FilterGraph, E_OUTOFMEMORY, 1);
  EXPECT_EQ(rig.manager->SetVideoInTexture(L"Video\\made.wmv", L"Output", 1, nullptr), E_FAIL);
  EXPECT_EQ(rig.manager->Graph(), nullptr);
  const D3DMATRIX* matrix = &rig.manager->TextureMatrix();
  EXPECT_EQ(rig.manager->LockTexture(&matrix), nullptr);
  EXPECT_EQ(matrix, nullptr);  // no renderer: no lock was entered either
  dshow::FailCreation(CLSID_WMAsfReader, E_OUTOFMEMORY, 1);
  EXPECT_EQ(rig.manager->SetVideoInTexture(L"Video\\made.wmv", L"Raw Video 1", 0, nullptr), E_OUTOFMEMORY);
  // What was built stays until the next build or release: the renderer, without a frame.
  EXPECT_NE(rig.manager->Renderer(), nullptr);
  rig.manager->Play();  // no media control was taken: nothing runs
  EXPECT_EQ(rig.heard.codes, Codes{});
  EXPECT_EQ(rig.manager->SetVideoInTexture(L"Video\\made.wmv", L"Raw Video 1", 0, nullptr), S_OK);
  EXPECT_EQ(rig.heard.codes, Codes{4});
  dshow::ClearCreationFailures();
}

// The real graph behind a front that fails the calls a test names.
struct Faults {
  bool addRenderer = false;
  bool run = false;
  bool duration = false;
  std::deque<LONG> events;  // answered by GetEvent before the graph's own
};
Faults g_faults;

class FaultyGraph final : public IGraphBuilder, public IMediaControl, public IMediaPosition, public IMediaEvent, public IBasicAudio {
 public:
  static inline ClassMaker real = nullptr;

  static HRESULT Make(REFIID iid, void** object) {
    auto* graph = new FaultyGraph;
    if (FAILED(real(IID_IGraphBuilder, reinterpret_cast<void**>(&graph->builder_)))) {
      delete graph;
      return E_FAIL;
    }
    graph->builder_->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&graph->control_));
    graph->builder_->QueryInterface(IID_IMediaPosition, reinterpret_cast<void**>(&graph->position_));
    graph->builder_->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&graph->events_));
    graph->builder_->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(&graph->audio_));
    const HRESULT hr = graph->QueryInterface(iid, object);
    graph->Release();
    return hr;
  }

  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (iid == IID_IGraphBuilder || iid == IID_IFilterGraph || iid == IID_IUnknown) *object = static_cast<IGraphBuilder*>(this);
    else if (iid == IID_IMediaControl) *object = static_cast<IMediaControl*>(this);
    else if (iid == IID_IMediaPosition) *object = static_cast<IMediaPosition*>(this);
    else if (iid == IID_IMediaEvent) *object = static_cast<IMediaEvent*>(this);
    else if (iid == IID_IBasicAudio) *object = static_cast<IBasicAudio*>(this);
    else return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT AddFilter(IBaseFilter* filter, LPCWSTR name) override {
    if (g_faults.addRenderer && name && std::wcscmp(name, L"TEXTURERENDERER") == 0) return E_OUTOFMEMORY;
    return builder_->AddFilter(filter, name);
  }
  HRESULT RemoveFilter(IBaseFilter* filter) override { return builder_->RemoveFilter(filter); }
  HRESULT FindFilterByName(LPCWSTR name, IBaseFilter** filter) override { return builder_->FindFilterByName(name, filter); }
  HRESULT Connect(IPin* output, IPin* input) override { return builder_->Connect(output, input); }
  HRESULT Render(IPin* output) override { return builder_->Render(output); }
  HRESULT AddSourceFilter(LPCWSTR file, LPCWSTR name, IBaseFilter** filter) override {
    return builder_->AddSourceFilter(file, name, filter);
  }
  HRESULT Run() override { return g_faults.run ? E_FAIL : control_->Run(); }
  HRESULT Pause() override { return control_->Pause(); }
  HRESULT Stop() override { return control_->Stop(); }
  HRESULT GetState(LONG timeoutMs, OAFilterState* state) override { return control_->GetState(timeoutMs, state); }
  HRESULT get_Duration(REFTIME* seconds) override {
    if (!g_faults.duration) return position_->get_Duration(seconds);
    *seconds = 99.0;  // what a failing call leaves must not reach the caller
    return E_FAIL;
  }
  HRESULT put_CurrentPosition(REFTIME seconds) override { return position_->put_CurrentPosition(seconds); }
  HRESULT get_CurrentPosition(REFTIME* seconds) override { return position_->get_CurrentPosition(seconds); }
  HRESULT GetEvent(LONG* code, LONG_PTR* p1, LONG_PTR* p2, LONG timeoutMs) override {
    if (!g_faults.events.empty()) {
      *code = g_faults.events.front();
      *p1 = *p2 = 0;
      g_faults.events.pop_front();
      return S_OK;
    }
    return events_->GetEvent(code, p1, p2, timeoutMs);
  }
  HRESULT FreeEventParams(LONG code, LONG_PTR p1, LONG_PTR p2) override { return events_->FreeEventParams(code, p1, p2); }
  HRESULT put_Volume(LONG volume) override { return audio_->put_Volume(volume); }
  HRESULT get_Volume(LONG* volume) override { return audio_->get_Volume(volume); }

 private:
  ~FaultyGraph() {
    for (IUnknown* face : std::initializer_list<IUnknown*>{audio_, events_, position_, control_, builder_})
      if (face) face->Release();
  }
  ULONG refs_ = 1;
  IGraphBuilder* builder_ = nullptr;
  IMediaControl* control_ = nullptr;
  IMediaPosition* position_ = nullptr;
  IMediaEvent* events_ = nullptr;
  IBasicAudio* audio_ = nullptr;
};

struct FaultyGraphs {
  FaultyGraphs() {
    FaultyGraph::real = dshow::FindClassMaker(CLSID_FilterGraph);
    dshow::RegisterClassMaker(CLSID_FilterGraph, &FaultyGraph::Make);
  }
  ~FaultyGraphs() {
    dshow::RegisterClassMaker(CLSID_FilterGraph, FaultyGraph::real);
    g_faults = {};
  }
};

TEST(VideoManagerPlay, FailedGraphCallsReachTheListenersAsFiveAndLeaveNothingDangling) {
  ManagerRig rig;
  FaultyGraphs faulty;
  ASSERT_NE(FaultyGraph::real, nullptr);
  rig.clips.Make("faults.mkv", Clip(32, 32, 5));

  // The graph refuses the texture renderer: its last reference goes, and the manager keeps
  // no pointer to it.
  g_faults.addRenderer = true;
  EXPECT_EQ(rig.manager->SetVideoInTexture(L"Video\\faults.mkv", L"Output", 1, nullptr), E_OUTOFMEMORY);
  EXPECT_EQ(rig.manager->Renderer(), nullptr);
  const D3DMATRIX* matrix = &rig.manager->TextureMatrix();
  EXPECT_EQ(rig.manager->LockTexture(&matrix), nullptr);
  EXPECT_EQ(matrix, nullptr);
  rig.manager->UnlockTexture();
  rig.manager->DrawOnScreen();
  g_faults.addRenderer = false;

  ASSERT_EQ(rig.manager->SetVideoInTexture(L"Video\\faults.mkv", L"Output", 1, L"Raw Audio 0"), S_OK);
  g_faults.run = true;
  rig.manager->PlayVideoInTexture(rig.manager);
  rig.manager->SetScreenRect(0, 0, 32, 32);
  EXPECT_EQ(rig.heard.codes, (Codes{4, 5, 5}));
  rig.standard.renderer.SetRecording(true);
  rig.standard.Frame(16);
  EXPECT_TRUE(rig.standard.renderer.Draws().empty());  // the failed start left it off screen
  g_faults.run = false;

  g_faults.duration = true;
  EXPECT_EQ(rig.manager->GetDuration(), 0.0);
  EXPECT_EQ(rig.heard.codes, (Codes{4, 5, 5, 5}));
  EXPECT_EQ(rig.manager->GetCurrentPosition(), 0.0);  // still answers
  EXPECT_EQ(rig.heard.codes, (Codes{4, 5, 5, 5}));
  rig.manager->ReleaseGraph();
}

TEST(VideoManagerPlay, EachTickTakesOneEventOfTheGraph) {
  ManagerRig rig;
  FaultyGraphs faulty;
  rig.clips.Make("events.mkv", Clip(32, 32, 3, false));
  ASSERT_EQ(rig.manager->SetVideoInTexture(L"Video\\events.mkv", L"Output", 1, nullptr), S_OK);
  g_faults.events = {EC_ERRORABORT, EC_COMPLETE, EC_COMPLETE};
  rig.standard.host.Execute(16);
  EXPECT_EQ(rig.heard.codes, Codes{4});
  rig.standard.host.Execute(16);
  EXPECT_EQ(rig.heard.codes, (Codes{4, 1}));
  rig.standard.host.Execute(16);
  rig.standard.host.Execute(16);
  EXPECT_EQ(rig.heard.codes, (Codes{4, 1, 1}));
}

TEST(VideoManagerPlay, SoundIsRenderedAndScaledByTheVolume) {
  ManagerRig rig;
  rig.clips.Make("tone.mkv", Clip(32, 32, 10));
  ASSERT_EQ(rig.manager->SetVideoInTexture(L"Video\\tone.mkv", L"Output", 1, L"Raw Audio 0"), S_OK);
  rig.manager->SetVolume(-600);
  EXPECT_EQ(rig.manager->GetVolume(), -600);
  rig.manager->Play();
  rig.Advance(0);
  for (int i = 0; i < 12; ++i) rig.Advance(kFrameMs);
  Ref<IBaseFilter> speaker;
  ASSERT_EQ(rig.manager->Graph()->FindFilterByName(L"Audio Renderer", speaker.out()), S_OK);
  Ref<IAudioMeter> meter;
  ASSERT_EQ(speaker->QueryInterface(IID_IAudioMeter, meter.vout()), S_OK);
  LONGLONG values = 0;
  double rms = 0;
  meter->GetLevels(&values, &rms);
  // One second of stereo at 44100 Hz; a sine of half scale has an RMS of 0.5 / sqrt 2, and
  // -6 dB scales it by 10^(-600/2000).
  EXPECT_EQ(values, 2 * 44100);
  EXPECT_NEAR(rms, 0.5 / std::sqrt(2.0) * std::pow(10.0, -0.3), 0.002);
}

// Sound values played so far and the rate the audio renderer was connected at.
struct Played {
  LONGLONG values = 0;
  double rms = 0;
  DWORD rate = 0;
};
Played SoundPlayed(IGraphBuilder* graph) {
  Played played;
  Ref<IBaseFilter> speaker;
  if (graph->FindFilterByName(L"Audio Renderer", speaker.out()) != S_OK) return played;
  Ref<IAudioMeter> meter;
  if (speaker->QueryInterface(IID_IAudioMeter, meter.vout()) == S_OK) meter->GetLevels(&played.values, &played.rms);
  Ref<IPin> in;
  CMediaType type;
  if (speaker->FindPin(L"In", in.out()) == S_OK && in->ConnectionMediaType(&type) == S_OK && type.cbFormat >= sizeof(WAVEFORMATEX))
    played.rate = reinterpret_cast<const WAVEFORMATEX*>(type.pbFormat)->nSamplesPerSec;
  return played;
}

TEST(VideoManagerPlay, AStreamWhoseSoundRateAndPictureSizeChangeMidwayPlaysToItsEndAndLoopsWithSound) {
  ManagerRig rig;
  // Two transport streams joined end to end, the second going on where the first ended with
  // a larger picture and 48 kHz sound in place of 44.1 kHz.
  clip::ClipOptions second = Clip(96, 64, 10);
  second.sampleRate = 48000;
  second.firstFrame = 10;
  const std::string first = rig.clips.Make("first.ts", Clip(64, 48, 10)), later = rig.clips.Make("later.ts", second);
  {
    std::ofstream joined(rig.clips.root / "Video" / "joined.ts", std::ios::binary);
    joined << std::ifstream(first, std::ios::binary).rdbuf() << std::ifstream(later, std::ios::binary).rdbuf();
  }
  ASSERT_EQ(rig.manager->SetVideoInTexture(L"Video\\joined.ts", L"Raw Video 1", 0, L"Raw Audio 0"), S_OK);
  // The frame-number block (grey 8 x frame), inside it in the 64 x 48 picture the texture
  // holds; the larger frames are scaled into it.
  const auto showsFrame = [&](int frame) {
    const int64_t texel = rig.Texel(3, 47 - 17);
    const auto grey = static_cast<uint8_t>(8 * frame);
    EXPECT_TRUE(Near(texel, {grey, grey, grey}, 16)) << "frame " << frame << ": " << std::hex << texel;
  };
  rig.manager->Play();
  rig.Advance(0);
  showsFrame(0);
  for (int frame = 1; frame <= 21; ++frame) {
    rig.Advance(kFrameMs);
    if (frame == 5 || frame == 15) showsFrame(frame);
  }
  EXPECT_EQ(rig.manager->Renderer()->SamplesRendered(), 20);  // none lost where the size changed
  // Two seconds of sound: 39 whole layer II frames at 44.1 kHz, then 42 at 48 kHz.
  const Played whole = SoundPlayed(rig.manager->Graph());
  ASSERT_GT(whole.rate, 0u);
  EXPECT_NEAR(static_cast<double>(whole.values) / (2.0 * whole.rate), 39 * 1152 / 44100.0 + 42 * 1152 / 48000.0, 0.002);
  EXPECT_NEAR(whole.rms, 0.5 / std::sqrt(2.0), 0.006);
  rig.standard.host.Execute(16);  // the graph's EC_COMPLETE
  EXPECT_EQ(rig.heard.codes, (Codes{4, 3, 1}));

  // Round again, through the change a second time.
  rig.Advance(0);
  showsFrame(0);
  for (int frame = 1; frame <= 12; ++frame) rig.Advance(kFrameMs);
  showsFrame(12);
  EXPECT_GT(SoundPlayed(rig.manager->Graph()).values, whole.values + 2 * whole.rate);
  EXPECT_EQ(rig.heard.codes, (Codes{4, 3, 1}));
}

TEST(VideoManagerPlay, VolumeDurationAndPositionWithoutSoundOrGraph) {
  ManagerRig rig;
  rig.clips.Make("mute.mkv", Clip(32, 32, 10, false));
  EXPECT_EQ(rig.manager->GetDuration(), 0.0);
  EXPECT_EQ(rig.manager->GetCurrentPosition(), 0.0);
  ASSERT_EQ(rig.manager->SetVideoInTexture(L"Video\\mute.mkv", L"Output", 1, L"Raw Audio 0"), S_OK);
  rig.manager->SetVolume(-100);
  EXPECT_EQ(rig.manager->GetVolume(), 0);  // no audio renderer
  EXPECT_NEAR(rig.manager->GetDuration(), 1.0, 0.1);
  rig.manager->Play();
  rig.Advance(0);
  rig.Advance(3 * kFrameMs);
  EXPECT_NEAR(rig.manager->GetCurrentPosition(), 0.3, 0.01);
  EXPECT_EQ(rig.heard.codes, (Codes{4, 3}));
}

TEST(VideoManagerPlay, TheScreenQuadAndItsDrawUnderTheFrameLock) {
  ManagerRig rig;
  // Without a graph the quad is written with zero extents and nothing runs.
  rig.manager->SetScreenRect(10, 20, 30, 40);
  EXPECT_EQ(rig.heard.codes, Codes{});
  auto* quad = static_cast<float*>(rig.standard.renderer.LockVertexBuffer(rig.manager->QuadBuffer(), 0, 0, 0));
  ASSERT_NE(quad, nullptr);
  for (int v = 0; v < 4; ++v) EXPECT_EQ(quad[6 * v + 4] + quad[6 * v + 5], 0.0f);
  rig.standard.renderer.UnlockVertexBuffer(rig.manager->QuadBuffer());

  rig.clips.Make("screen.mkv", Clip(320, 240, 3, false));
  ASSERT_EQ(rig.manager->SetVideoInTexture(L"Video\\screen.mkv", L"Output", 1, nullptr), S_OK);
  rig.manager->SetScreenRect(100, 50, 320, 240);
  EXPECT_EQ(rig.heard.codes, (Codes{4, 3}));
  quad = static_cast<float*>(rig.standard.renderer.LockVertexBuffer(rig.manager->QuadBuffer(), 0, 0, 0));
  ASSERT_NE(quad, nullptr);
  const float expected[4][6] = {{100, 290, 0, 1, 0, 0},
                                {100, 50, 0, 1, 0, 0.46875f},
                                {420, 290, 0, 1, 0.625f, 0},
                                {420, 50, 0, 1, 0.625f, 0.46875f}};
  for (int v = 0; v < 4; ++v)
    for (int k = 0; k < 6; ++k) EXPECT_FLOAT_EQ(quad[6 * v + k], expected[v][k]) << v << "," << k;
  rig.standard.renderer.UnlockVertexBuffer(rig.manager->QuadBuffer());

  rig.Advance(0);
  rig.standard.renderer.SetRecording(true);
  rig.standard.Frame(16);
  const auto& draws = rig.standard.renderer.Draws();
  ASSERT_EQ(draws.size(), 1u);
  EXPECT_EQ(draws[0].slot, 55);
  EXPECT_EQ(draws[0].primitiveType, 5u);
  EXPECT_EQ(draws[0].vertexBuffer, rig.manager->QuadBuffer());
  EXPECT_EQ(draws[0].stride, 24u);
  EXPECT_EQ(draws[0].primitiveCount, 2u);
  EXPECT_EQ(draws[0].state->texture[0], rig.manager->Renderer()->currentTexture);
  EXPECT_NE(draws[0].state->texture[0], nullptr);
  // On the rasterised screen the picture stands upright: red band on top, blue below.
  ASSERT_TRUE(draws[0].rasterised);
  host::Surface* back = rig.standard.renderer.device().BackBuffer();
  EXPECT_TRUE(Near(back->PixelArgb(300, 70) & 0xFFFFFF, {255, 0, 0}, 8)) << std::hex << back->PixelArgb(300, 70);
  EXPECT_TRUE(Near(back->PixelArgb(300, 270) & 0xFFFFFF, {0, 0, 255}, 8)) << std::hex << back->PixelArgb(300, 270);

  rig.manager->Close();
  rig.standard.renderer.ClearRecords();
  rig.standard.Frame(16);
  EXPECT_TRUE(rig.standard.renderer.Draws().empty());
}

TEST(VideoManagerPlay, ReleaseGraphLeavesNoFilterOrTexture) {
  ManagerRig rig;
  rig.clips.Make("gone.wmv", Clip(64, 48, 5));
  const size_t before = rig.standard.renderer.device().LiveTextures(D3DPOOL_MANAGED);
  ASSERT_EQ(rig.manager->SetVideoInTexture(L"Video\\gone.wmv", L"Raw Video 1", 0, L"Raw Audio 0"), S_OK);
  rig.manager->Play();
  rig.Advance(0);
  EXPECT_EQ(rig.standard.renderer.device().LiveTextures(D3DPOOL_MANAGED), before + 2);
  rig.manager->ReleaseGraph();
  EXPECT_EQ(rig.manager->Renderer(), nullptr);
  EXPECT_EQ(rig.manager->Graph(), nullptr);
  EXPECT_EQ(rig.standard.renderer.device().LiveTextures(D3DPOOL_MANAGED), before);
  EXPECT_EQ(dshow::StreamingThreadCount(), 0u);
  EXPECT_EQ(rig.manager->LockTexture(nullptr), nullptr);
  rig.manager->Play();  // no graph: nothing
  EXPECT_EQ(rig.heard.codes, (Codes{4, 3}));
}

TEST(VideoManagerPlay, InitWithoutTheRendererServiceFailsAndDestroyIsSafeTwice) {
  ClipFolder clips;
  host::ReferenceHost bare;
  bare.LoadModule(&DMAInterface);
  ComponentHandle h{};
  // The host initialises what it creates; without "dx8render" the manager refuses and keeps
  // no buffer.
  bare.CreateObject(&h, "CVideoTextureManager");
  auto* manager = static_cast<CVideoTextureManager*>(static_cast<CComponentBase*>(bare.GetObject(&h)));
  ASSERT_NE(manager, nullptr);
  EXPECT_FALSE(manager->Init());
  EXPECT_EQ(manager->QuadBuffer(), -1);
  manager->SetScreenRect(0, 0, 10, 10);
  manager->DrawOnScreen();
  manager->Destroy();
  manager->Destroy();
  bare.DestroyAll();

  ManagerRig rig;
  EXPECT_NE(rig.manager->QuadBuffer(), -1);
  const size_t buffers = rig.standard.renderer.LiveVertexBuffers();
  rig.manager->Destroy();
  EXPECT_EQ(rig.manager->QuadBuffer(), -1);
  rig.manager->Destroy();
  EXPECT_EQ(rig.standard.renderer.LiveVertexBuffers(), buffers - 1);
}

// Listeners that change the list while they are being told.
struct Round {
  CVideoTextureManager* manager = nullptr;
  std::vector<std::string> heard;
};
Round* g_round = nullptr;
void RemovesItself(int code, void* context);
void RemovesFirst(int code, void* context);
void First(int code, void*) { g_round->heard.push_back("first " + std::to_string(code)); }
void Last(int code, void*) { g_round->heard.push_back("last " + std::to_string(code)); }
void Added(int code, void*) { g_round->heard.push_back("added " + std::to_string(code)); }
void RemovesItself(int code, void*) {
  g_round->heard.push_back("self " + std::to_string(code));
  g_round->manager->RemoveListener(&RemovesItself);
  g_round->manager->AddListener(&Added, nullptr);
}
void RemovesFirst(int code, void*) {
  g_round->heard.push_back("earlier " + std::to_string(code));
  g_round->manager->RemoveListener(&First);
}

TEST(VideoManagerPlay, ListenersMayRemoveThemselvesOrEarlierPairsWithoutOthersMissingTheCode) {
  ManagerRig rig;
  rig.manager->RemoveListener(&Heard::Listen);
  Round round{rig.manager, {}};
  g_round = &round;
  rig.manager->AddListener(&First, nullptr);
  rig.manager->AddListener(&RemovesItself, nullptr);
  rig.manager->AddListener(&RemovesFirst, nullptr);
  rig.manager->AddListener(&Last, nullptr);
  rig.manager->NotifyListeners(4);
  // RemovesItself moved Last into its place and appended Added, which waits for the next
  // round; RemovesFirst moved Added into First's place.
  EXPECT_EQ(round.heard, (std::vector<std::string>{"first 4", "self 4", "earlier 4", "last 4"}));
  round.heard.clear();
  rig.manager->NotifyListeners(2);
  EXPECT_EQ(round.heard, (std::vector<std::string>{"added 2", "last 2", "earlier 2"}));
  g_round = nullptr;
}

// A Stop whose listener opens the next clip, and play followed at once by the graph's release
// or the manager's destruction, many times over.
struct Chain {
  CVideoTextureManager* manager = nullptr;
  int opened = 0;
};
void OpenNextOnStop(int code, void* context) {
  auto* chain = static_cast<Chain*>(context);
  if (code != 4 || chain->opened >= 40) return;
  ++chain->opened;
  chain->manager->SetVideoInTexture(L"Video\\next.mkv", L"Output", 1, L"Raw Audio 0");
  chain->manager->PlayVideoInTexture(chain->manager);
}

TEST(VideoManagerPlay, PlayThenReleaseOrDestroyAtOnceAndFromInsideAListener) {
  ManagerRig rig;
  rig.clips.Make("next.mkv", Clip(32, 32, 30));
  win32::UseRealClock();  // streaming runs freely while the graph is torn down
  for (int i = 0; i < 20; ++i) {
    ASSERT_EQ(rig.manager->SetVideoInTexture(L"Video\\next.mkv", L"Output", 1, L"Raw Audio 0"), S_OK);
    rig.manager->PlayVideoInTexture(rig.manager);
    if (i % 2) rig.manager->ReleaseGraph();
  }
  Chain chain{rig.manager};
  ASSERT_EQ(rig.manager->SetVideoInTexture(L"Video\\next.mkv", L"Output", 1, L"Raw Audio 0"), S_OK);
  rig.manager->AddListener(&OpenNextOnStop, &chain);
  rig.manager->Stop();
  EXPECT_EQ(chain.opened, 40);
  rig.manager->RemoveListener(&OpenNextOnStop);
  for (int i = 0; i < 10; ++i) {
    ComponentHandle h{};
    rig.standard.host.CreateObject(&h, "CVideoTextureManager");
    auto* other = static_cast<CVideoTextureManager*>(static_cast<CComponentBase*>(rig.standard.host.GetObject(&h)));
    ASSERT_EQ(other->SetVideoInTexture(L"Video\\next.mkv", L"Output", 1, L"Raw Audio 0"), S_OK);
    other->PlayVideoInTexture(other);
    rig.standard.host.DestroyObject(h);
  }
  rig.manager->ReleaseGraph();
  EXPECT_EQ(dshow::StreamingThreadCount(), 0u);
}

}  // namespace
