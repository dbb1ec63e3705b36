// The FFmpeg file sources: pin names, what Load refuses, names under the resource root,
// durations and where FFmpeg's own messages go, through CoCreateInstance and AddSourceFilter as
// the video manager uses them.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "clip_fixture.h"
#include "dshow/errors.h"
#include "dshow/filter_graph.h"
#include "dshow/media_file_source.h"
#include "video_fixture.h"
#include "win32/win32_state.h"

namespace {

using namespace video_testing;

struct SourceRig {
  ClipFolder clips;
  SourceRig() { win32::SetResourceRoot(clips.root.string()); }
  ~SourceRig() { win32::SetResourceRoot(""); }
};

std::vector<std::wstring> PinNames(IBaseFilter* filter) {
  std::vector<std::wstring> names;
  Ref<IEnumPins> pins;
  filter->EnumPins(pins.out());
  for (;;) {
    Ref<IPin> pin;
    if (pins->Next(1, pin.out(), nullptr) != S_OK) break;
    PIN_INFO info{};
    pin->QueryPinInfo(&info);
    if (info.pFilter) info.pFilter->Release();
    EXPECT_EQ(info.dir, PINDIR_OUTPUT);
    names.emplace_back(info.achName);
  }
  return names;
}

HRESULT LoadReader(const wchar_t* name, Ref<IBaseFilter>& reader) {
  HRESULT hr = CoCreateInstance(CLSID_WMAsfReader, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, reader.vout());
  if (FAILED(hr)) return hr;
  Ref<IFileSourceFilter> loader;
  hr = reader->QueryInterface(IID_IFileSourceFilter, loader.vout());
  return FAILED(hr) ? hr : loader->Load(name, nullptr);
}

TEST(MediaFileSource, ReaderNamesPinsByStreamIndexAndTheFileSourceOffersOutput) {
  SourceRig rig;
  rig.clips.Make("both.wmv", Clip(64, 48, 3));
  rig.clips.Make("silent.mkv", Clip(64, 48, 3, false));
  Ref<IBaseFilter> reader;
  ASSERT_EQ(LoadReader(L"Video\\both.wmv", reader), S_OK);
  EXPECT_EQ(PinNames(reader.p), (std::vector<std::wstring>{L"Raw Audio 0", L"Raw Video 1"}));
  Ref<IBaseFilter> silent;
  ASSERT_EQ(LoadReader(L"Video\\silent.mkv", silent), S_OK);
  EXPECT_EQ(PinNames(silent.p), (std::vector<std::wstring>{L"Raw Video 0"}));

  Ref<IGraphBuilder> graph;
  ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder, graph.vout()), S_OK);
  Ref<IBaseFilter> source;
  ASSERT_EQ(graph->AddSourceFilter(L"Video\\both.wmv", L"SOURCE", source.out()), S_OK);
  EXPECT_EQ(PinNames(source.p), (std::vector<std::wstring>{L"Raw Audio 0", L"Output"}));
}

TEST(MediaFileSource, LoadRefusesWhatIsNotADecodableLocalFileUnderTheRoot) {
  SourceRig rig;
  const std::string good = rig.clips.Make("good.mkv", Clip(32, 32, 5));
  const auto size = std::filesystem::file_size(good);
  std::ofstream(rig.clips.root / "Video" / "empty.mkv").flush();
  {
    // Cut inside the header: the first 40 bytes only.
    std::ifstream in(good, std::ios::binary);
    std::vector<char> head(40);
    in.read(head.data(), 40);
    std::ofstream(rig.clips.root / "Video" / "head.mkv", std::ios::binary).write(head.data(), 40);
  }
  ASSERT_GT(size, 40u);
  // A file outside the root that does exist.
  std::ofstream(rig.clips.root.parent_path() / "outside.mkv").flush();

  Ref<IBaseFilter> reader;
  // Each refusal with its reason in words.
  const std::pair<const wchar_t*, const char*> refused[] = {
      {L"Video\\missing.mkv", "no such file"},
      {L"Film\\missing.mkv", "no such folder"},
      {L"..\\outside.mkv", "the path leads out of the resource root"},
      {L"Video\\empty.mkv", "not a file the media sources can read"},
      {L"Video\\head.mkv", "not a file the media sources can read"},
      {L"http://localhost/Video/good.mkv", "no such folder"}};
  for (const auto& [name, reason] : refused) {
    char text[64] = "?";
    const HRESULT hr = LoadReader(name, reader);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_GT(AMGetErrorTextA(hr, text, sizeof text), 0u);
    EXPECT_STREQ(text, reason) << std::hex << hr;
  }
  std::filesystem::remove(rig.clips.root.parent_path() / "outside.mkv");
  // The same file through another case and either separator.
  EXPECT_EQ(LoadReader(L"VIDEO/Good.MKV", reader), S_OK);
  EXPECT_EQ(LoadReader(L"\\video\\good.mkv", reader), S_OK);

  Ref<IGraphBuilder> graph;
  ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder, graph.vout()), S_OK);
  Ref<IBaseFilter> source;
  EXPECT_TRUE(FAILED(graph->AddSourceFilter(L"Video\\empty.mkv", L"SOURCE", source.out())));
  EXPECT_EQ(source.p, nullptr);
}

TEST(MediaFileSource, FfmpegsComplaintsGoToTheDebugOutputNotTheTerminal) {
  ManagerRig rig;
  const std::string good = rig.clips.Make("whole.mkv", Clip(64, 48, 20, false));
  {
    // Frames in the middle overwritten: FFmpeg complains as it reads them.
    std::ifstream in(good, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (size_t i = bytes.size() / 2; i < bytes.size() * 7 / 10; ++i) bytes[i] = static_cast<char>(i * 37);
    std::ofstream(rig.clips.root / "Video" / "damaged.mkv", std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  win32::ClearDebugOutput();
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  const HRESULT hr = rig.manager->SetVideoInTexture(L"Video\\damaged.mkv", L"Output", 1, nullptr);
  if (SUCCEEDED(hr)) {
    rig.manager->Play();
    rig.Advance(0);
    for (int i = 0; i < 25; ++i) rig.Advance(100);
  }
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "");
  EXPECT_FALSE(win32::DebugOutput().empty());
}

TEST(MediaFileSource, DurationComesFromTheContainer) {
  SourceRig rig;
  rig.clips.Make("long.wmv", Clip(64, 48, 45, true, 15));   // 3 s
  rig.clips.Make("short.mkv", Clip(101, 75, 7, false, 10));  // 0.7 s
  const std::pair<const wchar_t*, double> cases[] = {{L"Video\\long.wmv", 3.0}, {L"Video\\short.mkv", 0.7}};
  for (const auto& [name, seconds] : cases) {
    Ref<IGraphBuilder> graph;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder, graph.vout()), S_OK);
    Ref<IBaseFilter> source;
    ASSERT_EQ(graph->AddSourceFilter(name, L"SOURCE", source.out()), S_OK);
    Ref<IMediaPosition> position;
    graph->QueryInterface(IID_IMediaPosition, position.vout());
    REFTIME duration = 0;
    ASSERT_EQ(position->get_Duration(&duration), S_OK);
    EXPECT_NEAR(duration, seconds, 0.1) << static_cast<const void*>(name);
  }
}

}  // namespace
