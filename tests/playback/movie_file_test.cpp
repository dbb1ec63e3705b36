// The movie file: its exact bytes, a round trip of every event type, and refusal of every fault.
#include "playback_fixture.h"

namespace {
using namespace Playback;
using playback_testing::Bytes;
using playback_testing::ReadBytes;
using playback_testing::U32;

D3DXMATRIX Counting() {
  D3DXMATRIX m;
  for (int i = 0; i < 16; ++i) m.m[i / 4][i % 4] = static_cast<float>(i) + 0.5f;
  return m;
}

// One event of every type, scene and object, with payloads that are not all zero.
MovieData RichMovie() {
  MovieData movie;
  movie.sceneEvents.emplace_back(0, MakeSceneEvent<kScenePendingStateName>(std::string("resource\\ini\\scene")));
  movie.sceneEvents.emplace_back(0, MakeSceneEvent<kSceneLoadScene>(7u));
  movie.sceneEvents.emplace_back(5, MakeSceneEvent<kSceneStateString>(std::string("dance"), uint8_t{1}, 250u));
  movie.sceneEvents.emplace_back(9, MakeSceneEvent<kSceneObjectCreated>(3u));
  movie.sceneEvents.emplace_back(-4, MakeSceneEvent<kSceneLightActive>(std::string("Spot"), uint8_t{1}));
  movie.sceneEvents.emplace_back(20, MakeSceneEvent<kSceneUnloadScene>());
  movie.sceneEvents.emplace_back(30, MakeSceneEvent<kSceneEndOfMovie>());

  auto track = boost::shared_ptr<MovieData::Track>(new MovieData::Track);
  FullStateRecord state;
  for (size_t i = 0; i < state.bytes.size(); ++i) state.bytes[i] = static_cast<uint8_t>(i * 7);
  D3DLIGHT8 light{};
  light.Type = D3DLIGHT_POINT;
  light.Diffuse = {1.0f, 0.5f, 0.25f, 1.0f};
  light.Phi = 2.0f;
  ComponentHandle handle{{1, 2, 3, 4, 5, 6}};
  auto add = [&](int32_t t, ObjectEventPtr e) { track->emplace_back(t, std::move(e)); };
  add(0, MakeObjectEvent<kObjectShutdown>());
  add(1, MakeObjectEvent<kObjectLoadFromIni>(10005u, uint8_t{1}));
  add(2, MakeObjectEvent<kObjectHostParameter>(std::string("lhandModel"), static_cast<uint32_t>(-5)));
  add(3, MakeObjectEvent<kObjectSetTitle>(std::u16string(u"Ann\U0001F600"), 2u, 3u));
  add(4, MakeObjectEvent<kObjectFullState>(state));
  add(5, MakeObjectEvent<kObjectSetPositionAction>(D3DXVECTOR3(1, 2, 3), 0.5f, 4u));
  add(6, MakeObjectEvent<kObjectSetPositionState>(D3DXVECTOR3(-1, 0, 8), 1.5f, 2u));
  add(7, MakeObjectEvent<kObjectSetTransform>(Counting(), 3u));
  add(8, MakeObjectEvent<kObjectPlayAnimationRequest>(std::string("walk"), uint8_t{1}, 1.0f, 2u, 3.0f, 4.0f, 5.0f, 6u));
  add(9, MakeObjectEvent<kObjectMoveTo>(1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6u, 7u));
  add(10, MakeObjectEvent<kObjectSetFlag716>(uint8_t{1}));
  add(11, MakeObjectEvent<kObjectAddChildId>(12u));
  add(12, MakeObjectEvent<kObjectRemoveChildId>(13u));
  add(13, MakeObjectEvent<kObjectSetTag>(6u));
  add(14, MakeObjectEvent<kObjectPlayEffect>(std::string("spark"), std::string("a;b"), 100u, 0xffffffffu));
  add(15, MakeObjectEvent<kObjectRemoveEffectsByName>(std::string("spark")));
  add(16, MakeObjectEvent<kObjectHostParameterSet>(-1, 1.0f, 2.0f, 3.0f));
  add(17, MakeObjectEvent<kObjectSetScale>(1.25f));
  add(18, MakeObjectEvent<kObjectSetValue352>(light));
  add(19, MakeObjectEvent<kObjectRegisterAnimationEvents>());
  add(20, MakeObjectEvent<kObjectSetLinkedHandle>(handle));
  add(21, MakeObjectEvent<kObjectSetHeightOffset>(0.75f));
  add(22, MakeObjectEvent<kObjectSetUserData>(8u, 9u));
  movie.tracks[3] = track;
  movie.tracks[1] = boost::shared_ptr<MovieData::Track>(new MovieData::Track);  // an empty track
  return movie;
}

// Payload bytes of every object type, counted from the table of payloads.
constexpr size_t kObjectPayloadBytes[23] = {
    0,                          // Shutdown
    4 + 1,                      // LoadFromIni
    11 + 4,                     // HostParameter "lhandModel"
    (5 + 1) * 2 + 4 + 4,        // SetTitle: "Ann" and a surrogate pair
    374,                        // FullState
    12 + 4 + 4, 12 + 4 + 4,     // SetPositionAction, SetPositionState
    64 + 4,                     // SetTransform
    5 + 1 + 6 * 4,              // PlayAnimationRequest "walk"
    7 * 4,                      // MoveTo
    1, 4, 4, 4,                 // SetFlag716, AddChildId, RemoveChildId, SetTag
    6 + 4 + 4 + 4,              // PlayEffect "spark", "a;b"
    6,                          // RemoveEffectsByName
    4 + 12,                     // HostParameterSet
    4, 104, 0, 24, 4, 8,        // SetScale ... SetUserData
};

TEST(MovieFile, AnEmptyMovieIsTwoZeroCounts) {
  EXPECT_EQ(Bytes(MovieData()), std::string(8, '\0'));
  MovieData back;
  EXPECT_TRUE(ReadBytes(std::string(8, '\0'), &back));
  EXPECT_TRUE(back.sceneEvents.empty());
  EXPECT_EQ(back.GetLastSceneEventTime(), 0);
}

TEST(MovieFile, ScenePayloadsAreRawLittleEndianFields) {
  MovieData movie;
  movie.sceneEvents.emplace_back(-2, MakeSceneEvent<kSceneStateString>(std::string(), uint8_t{1}, 0x01020304u));
  movie.sceneEvents.emplace_back(0x10, MakeSceneEvent<kSceneLoadScene>(7u));
  const std::string expected = U32(2) + U32(0xfffffffe) + U32(5) + std::string(1, '\0') + "\x01" +
                               "\x04\x03\x02\x01" + U32(0x10) + U32(0) + U32(7) + U32(0);
  EXPECT_EQ(Bytes(movie), expected);
  EXPECT_EQ(movie.GetLastSceneEventTime(), 0x10);
}

TEST(MovieFile, EachObjectPayloadTakesTheBytesOfItsFields) {
  const MovieData rich = RichMovie();
  const MovieData::Track& track = *rich.tracks.at(3);
  ASSERT_EQ(track.size(), 23u);
  for (const auto& [time, event] : track) {
    MovieData one;
    one.tracks[0] = boost::shared_ptr<MovieData::Track>(new MovieData::Track{{time, event}});
    // counts, id, entry count, time, type
    EXPECT_EQ(Bytes(one).size(), 4 + 4 + 4 + 4 + 4 + 4 + kObjectPayloadBytes[event->type])
        << ObjectEventName(event->type);
  }
}

TEST(MovieFile, TitlesAreUtf16UnitsWithAZeroUnit) {
  MovieData movie;
  const std::u16string units = WideToUtf16(L"A\U0001F600");
  ASSERT_EQ(units.size(), 3u);  // one BMP unit and a surrogate pair
  movie.tracks[2] = boost::shared_ptr<MovieData::Track>(
      new MovieData::Track{{0, MakeObjectEvent<kObjectSetTitle>(units, 1u, 2u)}});
  const std::string bytes = Bytes(movie);
  const std::string title = bytes.substr(4 + 4 + 4 + 4 + 4 + 4, 8);
  EXPECT_EQ(title, std::string("A\0\x3d\xd8\x00\xde\0\0", 8));
  EXPECT_EQ(Utf16ToWide(units), std::wstring(L"A\U0001F600"));
}

// An event of a type no part of the system makes.
class StrayEvent final : public SceneEvent {
 public:
  StrayEvent() : SceneEvent(9) {}
  void Apply(CSceneSystem*) const override {}
};

TEST(MovieFile, AnEventOfUnknownTypeWritesItsTypeOnlyAndIsReported) {
  scene_testing::SceneHost s;
  MovieData movie;
  movie.sceneEvents.emplace_back(3, SceneEventPtr(new StrayEvent));
  EXPECT_EQ(Bytes(movie), U32(1) + U32(3) + U32(9) + U32(0));
  EXPECT_EQ(s.LogCount("[ERR]:OutStream::operator <<: unexpected scene type 9"), 1u);
}

TEST(MovieFile, EveryTypeReadsBackAndWritesTheSameBytes) {
  const std::string first = Bytes(RichMovie());
  // Tracks 5 (a Shutdown at 7 ms) and 2 (empty), out of id order, as no recorder writes them.
  const std::string unordered = U32(0) + U32(2) + U32(5) + U32(1) + U32(7) + U32(0) + U32(2) + U32(0);
  for (const std::string& bytes : {first, unordered}) {
    MovieData back;
    ASSERT_TRUE(ReadBytes(bytes, &back));
    EXPECT_EQ(Bytes(back), bytes);
  }
  MovieData back;
  ASSERT_TRUE(ReadBytes(first, &back));
  ASSERT_EQ(back.tracks.size(), 2u);
  EXPECT_TRUE(back.tracks.at(1)->empty());
  EXPECT_EQ(back.sceneEvents.size(), 7u);
  EXPECT_EQ(back.GetLastSceneEventTime(), 30);
  // The reader keeps the characters only: a string read has no NUL of its own.
  const auto& pending = static_cast<const SceneEventOf<kScenePendingStateName>&>(*back.sceneEvents.front().second);
  EXPECT_EQ(std::get<0>(pending.fields), "resource\\ini\\scene");
}

TEST(MovieFile, EveryShortenedFileIsRefusedAndLeavesAnEmptyMovie) {
  const std::string whole = Bytes(RichMovie());
  for (size_t n = 0; n < whole.size(); ++n) {
    MovieData movie = RichMovie();
    MovieReadFailure failure;
    ASSERT_FALSE(ReadBytes(whole.substr(0, n), &movie, &failure)) << n;
    EXPECT_TRUE(movie.sceneEvents.empty() && movie.tracks.empty()) << n;
    EXPECT_EQ(failure.offset, n) << n;  // every short file fails where it ends
  }
}

TEST(MovieFile, UnknownTypesHugeCountsAndRepeatedTracksAreRefused) {
  MovieData movie;
  MovieReadFailure failure;
  EXPECT_FALSE(ReadBytes(U32(1) + U32(0) + U32(7) + U32(0), &movie, &failure));
  EXPECT_EQ(failure.reason, "InStream::operator >>: unexpected scene type");
  EXPECT_FALSE(ReadBytes(U32(0) + U32(1) + U32(4) + U32(1) + U32(0) + U32(23), &movie, &failure));
  EXPECT_EQ(failure.reason, "InStream::operator >>: unexpected object type");
  // A count far beyond the file sizes nothing: the file simply ends.
  EXPECT_FALSE(ReadBytes(U32(0xffffffffu) + U32(0) + U32(1), &movie, &failure));
  EXPECT_FALSE(ReadBytes(U32(0) + U32(1) + U32(3) + U32(0xfffffff0u), &movie, &failure));
  EXPECT_FALSE(ReadBytes(U32(0) + U32(2) + U32(3) + U32(0) + U32(3) + U32(0), &movie, &failure));
  EXPECT_EQ(failure.reason, "track 3 is given twice");
  EXPECT_EQ(failure.offset, 20u);  // just after the second id
  // A string that never ends.
  EXPECT_FALSE(ReadBytes(U32(1) + U32(0) + U32(6) + "resource", &movie, &failure));
  EXPECT_EQ(failure.reason, "the file ends inside a string");
}

}  // namespace
