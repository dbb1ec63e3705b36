// A graph with a scripted source and the texture renderer, on the manual clock.
#include <cmath>
#include <thread>

#include "video_fixture.h"
#include "dshow/media_file_source.h"

namespace {

using namespace video_testing;

// The graph interfaces the video manager uses, a texture renderer named "TEXTURERENDERER"
// and a source; the manual clock starts at 1000 ms.
struct Graph {
  VideoHost host;
  Ref<IGraphBuilder> builder;
  Ref<IMediaControl> control;
  Ref<IMediaPosition> position;
  Ref<IMediaEvent> events;
  Ref<IBasicAudio> audio;
  CTextureRenderer* renderer = nullptr;  // held by the graph
  ScriptedSource* source = nullptr;      // held by the graph

  explicit Graph(const VideoScript& video = {}, const AudioScript* sound = nullptr) {
    win32::UseManualClock(1000);
    EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder, builder.vout()), S_OK);
    builder->QueryInterface(IID_IMediaControl, control.vout());
    builder->QueryInterface(IID_IMediaPosition, position.vout());
    builder->QueryInterface(IID_IMediaEvent, events.vout());
    builder->QueryInterface(IID_IBasicAudio, audio.vout());
    HRESULT hr = E_FAIL;
    renderer = new CTextureRenderer(nullptr, &hr);
    EXPECT_EQ(builder->AddFilter(renderer, L"TEXTURERENDERER"), S_OK);
    source = new ScriptedSource(video, sound);
    EXPECT_EQ(builder->AddFilter(source, L"SOURCE"), S_OK);
  }
  ~Graph() {
    audio.reset();
    events.reset();
    position.reset();
    control.reset();
    builder.reset();
    win32::UseRealClock();
  }

  HRESULT ConnectVideo() {
    Ref<IPin> out(source->Pin(L"Video"));
    Ref<IPin> in;
    renderer->FindPin(L"In", in.out());
    return builder->Connect(out.p, in.p);
  }
  void Advance(DWORD ms) {
    win32::AdvanceManualClock(ms);
    ASSERT_TRUE(StreamingIdle());
  }
  testing::AssertionResult Idle() { return StreamingIdle(); }
  LONG Rendered() { return renderer->SamplesRendered(); }
  // The frame number the current texture shows (blue of its first texel).
  int ShownFrame() {
    EnterCriticalSection(&renderer->frameLock);
    IDirect3DTexture8* texture = renderer->currentTexture;
    const int frame = texture ? static_cast<int>(static_cast<host::Texture*>(texture)->Level(0)->PixelValue(0, 0) & 0xFF) : -1;
    LeaveCriticalSection(&renderer->frameLock);
    return frame;
  }
  // Events waiting now: EC_COMPLETE count, or -1 for any other event.
  int Completions() {
    int n = 0;
    LONG code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    while (events->GetEvent(&code, &p1, &p2, 0) == S_OK) {
      events->FreeEventParams(code, p1, p2);
      n += code == EC_COMPLETE ? 1 : 1000;
    }
    return n;
  }
  double Position() {
    double seconds = -1;
    position->get_CurrentPosition(&seconds);
    return seconds;
  }
};

bool HasFilter(IGraphBuilder* builder, const wchar_t* name) {
  Ref<IBaseFilter> filter;
  return SUCCEEDED(builder->FindFilterByName(name, filter.out()));
}

TEST(FilterGraph, AConverterIsInsertedOnlyWhenTheSourceIsNotRgb24) {
  for (const GUID& subtype : {MEDIASUBTYPE_RGB24, MEDIASUBTYPE_RGB32, MEDIASUBTYPE_I420}) {
    VideoScript script;
    script.subtype = subtype;
    Graph graph(script);
    ASSERT_EQ(graph.ConnectVideo(), S_OK);
    const bool converted = !(subtype == MEDIASUBTYPE_RGB24);
    EXPECT_EQ(HasFilter(graph.builder.p, L"Colour Converter"), converted);

    Ref<IPin> in;
    graph.renderer->FindPin(L"In", in.out());
    Ref<IPin> peer;
    ASSERT_EQ(in->ConnectedTo(peer.out()), S_OK);
    PIN_INFO info{};
    peer->QueryPinInfo(&info);
    EXPECT_EQ(info.pFilter == static_cast<IBaseFilter*>(graph.source), !converted);
    EXPECT_EQ(info.dir, PINDIR_OUTPUT);
    info.pFilter->Release();

    // What the renderer took: bottom-up RGB24 with rows padded to 4 bytes.
    AM_MEDIA_TYPE taken{};
    ASSERT_EQ(in->ConnectionMediaType(&taken), S_OK);
    EXPECT_TRUE(taken.subtype == MEDIASUBTYPE_RGB24);
    VIDEOINFOHEADER vih;
    ASSERT_GE(taken.cbFormat, sizeof vih);
    std::memcpy(&vih, taken.pbFormat, sizeof vih);
    EXPECT_EQ(vih.bmiHeader.biWidth, 8);
    EXPECT_EQ(vih.bmiHeader.biHeight, 4);
    if (converted) {
      EXPECT_EQ(vih.bmiHeader.biSizeImage, 24u * 4u);
    }
    FreeMediaType(taken);
  }
}

TEST(FilterGraph, ConvertedFramesArriveUprightAndInOrder) {
  // RGB32 stored bottom-up; row 0 of the texture is the picture's bottom row.
  VideoScript script;
  script.subtype = MEDIASUBTYPE_RGB32;
  script.width = 5;  // 15 bytes of RGB24 a row, padded to 16
  script.height = 3;
  Graph graph(script);
  ASSERT_EQ(graph.ConnectVideo(), S_OK);
  ASSERT_EQ(graph.control->Run(), S_OK);
  ASSERT_TRUE(graph.Idle());
  auto* texture = static_cast<host::Texture*>(graph.renderer->currentTexture);
  ASSERT_NE(texture, nullptr);
  for (UINT row = 0; row < 3; ++row)
    for (UINT x = 0; x < 5; ++x) {
      const Bgr p = ScriptedPixel(0, static_cast<int>(x), static_cast<int>(2 - row));
      EXPECT_EQ(texture->Level(0)->PixelValue(x, row) & 0xFFFFFF, static_cast<uint32_t>(p.r << 16 | p.g << 8 | p.b))
          << x << "," << row;
    }
}

TEST(FilterGraph, YuvFramesBecomeGreyTexels) {
  VideoScript script;
  script.subtype = MEDIASUBTYPE_I420;
  Graph graph(script);
  ASSERT_EQ(graph.ConnectVideo(), S_OK);
  ASSERT_EQ(graph.control->Run(), S_OK);
  graph.Advance(300);  // frames 0..3: luma 16 + 3 = 19, neutral chroma
  auto* texture = static_cast<host::Texture*>(graph.renderer->currentTexture);
  ASSERT_NE(texture, nullptr);
  // Limited-range luma 19 is (19 - 16) * 255 / 219 = 3.5 in full range.
  const double expected = (19 - 16) * 255.0 / 219.0;
  for (UINT x = 0; x < 8; ++x) {
    const uint32_t texel = texture->Level(0)->PixelValue(x, 2);
    for (int shift : {0, 8, 16}) EXPECT_NEAR(static_cast<double>((texel >> shift) & 0xFF), expected, 2.0);
  }
}

TEST(FilterGraph, TheRenderersRefusalIsPassedBack) {
  {
    VideoScript script;
    script.width = 1100;
    script.height = 10;
    Graph graph(script);  // RGB24 straight to the renderer
    EXPECT_EQ(graph.ConnectVideo(), VFW_E_TYPE_NOT_ACCEPTED);
    EXPECT_FALSE(HasFilter(graph.builder.p, L"Colour Converter"));
  }
  {
    VideoScript script;
    script.subtype = MEDIASUBTYPE_I420;
    script.width = 1100;
    script.height = 10;
    Graph graph(script);  // through the converter, then refused: the converter goes again
    EXPECT_EQ(graph.ConnectVideo(), VFW_E_TYPE_NOT_ACCEPTED);
    EXPECT_FALSE(HasFilter(graph.builder.p, L"Colour Converter"));
    Ref<IPin> out(graph.source->Pin(L"Video"));
    Ref<IPin> peer;
    EXPECT_EQ(out->ConnectedTo(peer.out()), VFW_E_NOT_CONNECTED);
  }
  {
    AudioScript sound;
    Graph graph({}, &sound);
    Ref<IPin> out(graph.source->Pin(L"Audio"));
    Ref<IPin> in;
    graph.renderer->FindPin(L"In", in.out());
    EXPECT_EQ(graph.builder->Connect(out.p, in.p), E_INVALIDARG);  // not a VideoInfo type
    EXPECT_EQ(graph.builder->Connect(nullptr, in.p), E_POINTER);
    EXPECT_EQ(graph.builder->Render(nullptr), E_POINTER);
  }
}

TEST(FilterGraph, OneSecondDeliversTheFramesDueThenOneCompletion) {
  Graph graph;  // 10 frames at 10 per second
  ASSERT_EQ(graph.ConnectVideo(), S_OK);
  ASSERT_EQ(graph.control->Run(), S_OK);
  ASSERT_TRUE(graph.Idle());
  EXPECT_EQ(graph.Rendered(), 1);  // frame 0 is due at once
  EXPECT_EQ(graph.ShownFrame(), 0);
  graph.Advance(250);
  EXPECT_EQ(graph.Rendered(), 3);
  EXPECT_EQ(graph.ShownFrame(), 2);
  EXPECT_NEAR(graph.Position(), 0.25, 1e-9);
  graph.Advance(650);
  EXPECT_EQ(graph.Rendered(), 10);
  EXPECT_EQ(graph.ShownFrame(), 9);
  // The last frame lasts until 1.0 s: no completion before.
  EXPECT_EQ(graph.Completions(), 0);
  graph.Advance(100);
  EXPECT_EQ(graph.Completions(), 1);
  graph.Advance(1000);
  EXPECT_EQ(graph.Completions(), 0);
  EXPECT_EQ(graph.Rendered(), 10);
  OAFilterState state = -1;
  graph.control->GetState(0, &state);
  EXPECT_EQ(state, State_Running);  // the graph still runs after the end
  double duration = 0;
  EXPECT_EQ(graph.position->get_Duration(&duration), S_OK);
  EXPECT_DOUBLE_EQ(duration, 1.0);
}

TEST(FilterGraph, ASeekToZeroWhileRunningPlaysAgainAndEndsAgain) {
  Graph graph;
  ASSERT_EQ(graph.ConnectVideo(), S_OK);
  ASSERT_EQ(graph.control->Run(), S_OK);
  graph.Advance(1000);
  ASSERT_EQ(graph.Completions(), 1);
  ASSERT_EQ(graph.position->put_CurrentPosition(0.0), S_OK);
  ASSERT_TRUE(graph.Idle());
  EXPECT_EQ(graph.Rendered(), 11);
  EXPECT_EQ(graph.ShownFrame(), 0);
  EXPECT_NEAR(graph.Position(), 0.0, 1e-9);
  graph.Advance(500);
  EXPECT_EQ(graph.ShownFrame(), 5);
  graph.Advance(500);
  EXPECT_EQ(graph.Rendered(), 20);
  EXPECT_EQ(graph.Completions(), 1);
  EXPECT_EQ(graph.position->put_CurrentPosition(-1.0), E_INVALIDARG);
}

TEST(FilterGraph, PauseHoldsTheStreamAndItsPosition) {
  Graph graph;
  ASSERT_EQ(graph.ConnectVideo(), S_OK);
  ASSERT_EQ(graph.control->Pause(), S_OK);
  graph.Advance(500);
  EXPECT_EQ(graph.Rendered(), 0);  // nothing rendered while paused, not even the first frame
  ASSERT_EQ(graph.control->Run(), S_OK);
  graph.Advance(300);
  EXPECT_EQ(graph.Rendered(), 4);
  ASSERT_EQ(graph.control->Pause(), S_OK);
  graph.Advance(2000);
  EXPECT_EQ(graph.Rendered(), 4);
  EXPECT_NEAR(graph.Position(), 0.3, 1e-9);
  EXPECT_EQ(graph.Completions(), 0);
  ASSERT_EQ(graph.control->Run(), S_OK);
  graph.Advance(100);  // frame 4 was due at 0.4 s of the stream
  EXPECT_EQ(graph.Rendered(), 5);
  EXPECT_EQ(graph.ShownFrame(), 4);
}

TEST(FilterGraph, StopJoinsTheStreamingThreadsAndKeepsThePosition) {
  Graph graph;
  ASSERT_EQ(graph.ConnectVideo(), S_OK);
  ASSERT_EQ(graph.control->Run(), S_OK);
  graph.Advance(450);
  EXPECT_EQ(dshow::StreamingThreadCount(), 1u);
  ASSERT_EQ(graph.control->Stop(), S_OK);
  EXPECT_EQ(dshow::StreamingThreadCount(), 0u);
  EXPECT_NEAR(graph.Position(), 0.45, 1e-9);
  const int filled = graph.source->Filled();
  graph.Advance(1000);
  EXPECT_EQ(graph.source->Filled(), filled);
  // Running again goes on from there: frames 4 (late, at once) to 9, then the end.
  ASSERT_EQ(graph.control->Run(), S_OK);
  graph.Advance(550);
  EXPECT_EQ(graph.ShownFrame(), 9);
  EXPECT_EQ(graph.Completions(), 1);
}

TEST(FilterGraph, TheVolumeScalesTheSoundOfTheAudioRenderer) {
  AudioScript sound;  // a square wave of 8192: RMS 0.25 of full scale
  Graph graph({}, &sound);
  LONG volume = 1;
  EXPECT_EQ(graph.audio->put_Volume(-100), E_NOTIMPL);  // no audio renderer yet
  EXPECT_EQ(graph.audio->get_Volume(&volume), E_NOTIMPL);

  ASSERT_EQ(graph.ConnectVideo(), S_OK);
  Ref<IPin> out(graph.source->Pin(L"Audio"));
  ASSERT_EQ(graph.builder->Render(out.p), S_OK);
  EXPECT_EQ(graph.audio->put_Volume(-10001), E_INVALIDARG);
  EXPECT_EQ(graph.audio->put_Volume(1), E_INVALIDARG);
  ASSERT_EQ(graph.audio->put_Volume(-2000), S_OK);  // 10^(-2000/2000) = 0.1
  EXPECT_EQ(graph.audio->get_Volume(&volume), S_OK);
  EXPECT_EQ(volume, -2000);

  ASSERT_EQ(graph.control->Run(), S_OK);
  graph.Advance(1000);
  Ref<IPin> peer;
  ASSERT_EQ(out->ConnectedTo(peer.out()), S_OK);
  PIN_INFO info{};
  peer->QueryPinInfo(&info);
  Ref<IBaseFilter> renderer(info.pFilter);
  Ref<IAudioMeter> meter;
  ASSERT_EQ(renderer->QueryInterface(IID_IAudioMeter, meter.vout()), S_OK);
  LONGLONG values = 0;
  double rms = 0;
  meter->GetLevels(&values, &rms);
  EXPECT_EQ(values, 8000);
  EXPECT_NEAR(rms, 0.25 * 0.1, 1e-9);
  // Both renderers ended: one completion.
  EXPECT_EQ(graph.Completions(), 1);
}

TEST(FilterGraph, GetEventWaitsAtMostItsTimeout) {
  Graph graph;
  LONG code = 7;
  LONG_PTR p1 = 7, p2 = 7;
  EXPECT_EQ(graph.events->GetEvent(&code, &p1, &p2, 0), E_ABORT);
  EXPECT_EQ(graph.events->GetEvent(&code, &p1, &p2, 20), E_ABORT);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(graph.events->GetEvent(nullptr, &p1, &p2, 0), E_POINTER);
}

TEST(FilterGraph, AddSourceFilterMakesTheRegisteredSourceAndLoadsTheFile) {
  dshow::UnregisterFileSources();
  dshow::RegisterClassMaker(kScriptedSourceClass, &ScriptedSource::Make);
  dshow::RegisterFileSource(L".vid", kScriptedSourceClass);
  Graph graph;
  Ref<IBaseFilter> source;
  ASSERT_EQ(graph.builder->AddSourceFilter(L"Resource\\Clip.VID", L"SOURCE2", source.out()), S_OK);
  EXPECT_EQ(static_cast<ScriptedSource*>(source.p)->loaded, L"Resource\\Clip.VID");
  FILTER_INFO info{};
  source->QueryFilterInfo(&info);
  EXPECT_STREQ(info.achName, L"SOURCE2");
  EXPECT_EQ(info.pGraph, static_cast<IFilterGraph*>(graph.builder.p));
  info.pGraph->Release();

  Ref<IBaseFilter> failed;
  EXPECT_EQ(graph.builder->AddSourceFilter(L"missing.vid", L"S3", failed.out()), E_FAIL);
  EXPECT_EQ(graph.builder->AddSourceFilter(L"clip.other", L"S4", failed.out()), REGDB_E_CLASSNOTREG);
  dshow::FailCreation(kScriptedSourceClass, E_OUTOFMEMORY, 1);
  EXPECT_EQ(graph.builder->AddSourceFilter(L"clip.vid", L"S5", failed.out()), E_OUTOFMEMORY);
  EXPECT_EQ(failed.p, nullptr);
  EXPECT_EQ(graph.builder->AddSourceFilter(L"clip.vid", L"S6", failed.out()), S_OK);
  dshow::UnregisterFileSources();
  dshow::UnregisterClassMaker(kScriptedSourceClass);
  dshow::RegisterMediaFileSources();
}

TEST(FilterGraph, CreationFailsPerClassAsArranged) {
  Ref<IGraphBuilder> graph;
  dshow::FailCreation(CLSID_FilterGraph, E_OUTOFMEMORY, 2);
  EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder, graph.vout()), E_OUTOFMEMORY);
  EXPECT_EQ(graph.p, nullptr);
  // Another class is not affected.
  Ref<IBaseFilter> reader;
  EXPECT_EQ(CoCreateInstance(CLSID_WMAsfReader, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, reader.vout()), S_OK);
  EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder, graph.vout()), E_OUTOFMEMORY);
  EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder, graph.vout()), S_OK);
  dshow::FailCreation(CLSID_FilterGraph, E_FAIL);
  EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder, graph.vout()), E_FAIL);
  EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder, graph.vout()), E_FAIL);
  dshow::ClearCreationFailures();
  EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder, graph.vout()), S_OK);
  EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder, nullptr), E_POINTER);
  EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IPin, graph.vout()), E_NOINTERFACE);
}

TEST(FilterGraph, TheLastReleaseStopsStreamingAndFreesEveryFilterAndTexture) {
  VideoHost host;
  win32::UseManualClock(0);
  {
    Ref<IGraphBuilder> builder;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder, builder.vout()), S_OK);
    HRESULT hr = E_FAIL;
    auto* renderer = new CTextureRenderer(nullptr, &hr);
    ASSERT_EQ(builder->AddFilter(renderer, L"TEXTURERENDERER"), S_OK);
    VideoScript script;
    script.subtype = MEDIASUBTYPE_I420;
    AudioScript sound;
    auto* source = new ScriptedSource(script, &sound);
    builder->AddFilter(source, L"SOURCE");
    Ref<IPin> video(source->Pin(L"Video")), audio(source->Pin(L"Audio")), in;
    renderer->FindPin(L"In", in.out());
    ASSERT_EQ(builder->Connect(video.p, in.p), S_OK);
    ASSERT_EQ(builder->Render(audio.p), S_OK);
    Ref<IMediaControl> control;
    builder->QueryInterface(IID_IMediaControl, control.vout());
    ASSERT_EQ(control->Run(), S_OK);
    win32::AdvanceManualClock(250);
    ASSERT_TRUE(StreamingIdle());
    EXPECT_EQ(dshow::StreamingThreadCount(), 2u);
    EXPECT_EQ(host.LiveTextures(), 2u);
    EXPECT_EQ(ScriptedSource::alive.load(), 1);
  }
  // Mid-stream, with threads waiting on the clock: all of it goes with the graph.
  EXPECT_EQ(dshow::StreamingThreadCount(), 0u);
  EXPECT_EQ(ScriptedSource::alive.load(), 0);
  EXPECT_EQ(host.LiveTextures(), 0u);
  win32::UseRealClock();
}

TEST(FilterGraph, TheRealClockPacesFramesToo) {
  VideoScript script;
  script.frames = 3;
  script.period = UNITS / 50;  // 20 ms
  Graph graph(script);
  win32::UseRealClock();
  ASSERT_EQ(graph.ConnectVideo(), S_OK);
  ASSERT_EQ(graph.control->Run(), S_OK);
  LONG code = 0;
  LONG_PTR p1 = 0, p2 = 0;
  ASSERT_TRUE(testing_support::Await("the end of the film",
                                     [&](uint32_t ms) { return graph.events->GetEvent(&code, &p1, &p2, ms) == S_OK; }));
  EXPECT_EQ(code, EC_COMPLETE);
  EXPECT_EQ(graph.Rendered(), 3);
  EXPECT_GE(graph.Position(), 0.06 - 1e-9);
}

// The scene's thread takes the frame lock, reads the current texture and lets go, again and
// again, while 300 frames stream into the other texture.
TEST(FilterGraph, AHostThreadReadsWholeFramesWhileFramesStream) {
  VideoScript script;
  script.frames = 300;
  script.period = UNITS / 100;
  script.width = 16;
  script.height = 16;
  Graph graph(script);
  ASSERT_EQ(graph.ConnectVideo(), S_OK);
  std::atomic<bool> done{false};
  std::atomic<int> torn{0}, reads{0};
  std::thread scene([&] {
    while (!done.load()) {
      EnterCriticalSection(&graph.renderer->frameLock);
      if (auto* texture = static_cast<host::Texture*>(graph.renderer->currentTexture)) {
        D3DLOCKED_RECT locked{};
        if (SUCCEEDED(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY))) {
          // Every texel of one texture belongs to one frame.
          const BYTE frame = static_cast<BYTE*>(locked.pBits)[0];
          for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
              if (static_cast<BYTE*>(locked.pBits)[y * locked.Pitch + 4 * x] != frame) ++torn;
          texture->UnlockRect(0);
          ++reads;
        }
      }
      LeaveCriticalSection(&graph.renderer->frameLock);
      std::this_thread::yield();
    }
  });
  ASSERT_EQ(graph.control->Run(), S_OK);
  for (int step = 0; step < 300; ++step) {
    graph.Advance(10);
    // The scene reads between the frames, not only once they are over, however busy the machine.
    if (step % 50 == 0) {
      const int seen = reads.load();
      EXPECT_TRUE(testing_support::WaitUntil("a read of the texture after frame " + std::to_string(step),
                                             [&] { return reads.load() > seen; }));
    }
  }
  done = true;
  scene.join();
  EXPECT_EQ(graph.Rendered(), 300);
  EXPECT_EQ(graph.ShownFrame(), 299 & 0xFF);
  EXPECT_EQ(graph.Completions(), 1);
  EXPECT_EQ(torn.load(), 0);
}

}  // namespace
