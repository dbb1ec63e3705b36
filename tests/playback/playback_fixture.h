// The recording scene system in a standard host, with scene objects that write down every call a
// replay makes on them, and a scene that writes down the scene calls of scene events.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "math/crt_rand.h"
#include "playback/movie_data.h"
#include "playback/playback_clock.h"
#include "playback/recording_scene_base_obj.h"
#include "playback/recording_scene_system.h"
#include "scene/scene_fixture.h"

namespace playback_testing {

inline std::string Text(const std::string& s) { return "\"" + s + "\""; }
inline std::string Text(const char* s) { return s == nullptr ? "null" : Text(std::string(s)); }
template <class T>
std::string Text(const T& v) {
  std::ostringstream out;
  out << +v;
  return out.str();
}
template <class... A>
std::string Call(const char* name, const A&... args) {
  std::string line = name;
  ((line += " " + Text(args)), ...);
  return line;
}

// A recording object whose replayed operations are written down.
class CallLogObject : public Playback::SceneBaseObj {
 public:
  void SetHeightOffset(float v) override { calls.push_back(Call("SetHeightOffset", v)); }
  void SetHandNumbers(uint32_t a, uint32_t b) override { calls.push_back(Call("SetHandNumbers", a, b)); }
  void SetLinkedHandle(const ComponentHandle* h) override {
    calls.push_back(Call("SetLinkedHandle", h->words[0], h->words[5]));
  }
  void SetTag(int32_t t) override {
    tag = t;
    calls.push_back(Call("SetTag", t));
  }
  int32_t GetTag() override { return tag; }
  void SetPositionAction(const D3DXVECTOR3* p, float yaw, int32_t action) override {
    calls.push_back(Call("SetPositionAction", p->x, p->y, p->z, yaw, action));
  }
  void SetTransform(const D3DXMATRIX* m, int32_t action) override {
    calls.push_back(Call("SetTransform", m->_11, m->_42, m->_44, action));
  }
  void SetPositionState(const D3DXVECTOR3* p, float yaw, int32_t action) override {
    calls.push_back(Call("SetPositionState", p->x, p->y, p->z, yaw, action));
  }
  bool PlayAnimationRequest(const char* name, uint8_t loop, float speed, int32_t a, float b, float c, float d,
                            int32_t e) override {
    calls.push_back(Call("PlayAnimationRequest", name, loop, speed, a, b, c, d, e));
    return true;
  }
  void MoveTo(float x, float z, float yaw, float moveSpeed, float turnSpeed, int32_t action, int32_t arrival,
              float y) override {
    calls.push_back(Call("MoveTo", x, z, yaw, moveSpeed, turnSpeed, action, arrival, y));
  }
  void SetIdleSuppressed(uint8_t v) override { calls.push_back(Call("SetIdleSuppressed", v)); }
  bool LoadFromIni(uint32_t id, uint8_t flag, uint8_t wait, float height) override {
    calls.push_back(Call("LoadFromIni", id, flag, wait, height));
    return true;
  }
  bool PlayEffect(const char* name, const char* list, int32_t duration, int32_t mode) override {
    calls.push_back(Call("PlayEffect", name, list, duration, mode));
    return true;
  }
  bool RemoveEffectsByName(const char* name) override {
    calls.push_back(Call("RemoveEffectsByName", name));
    return true;
  }
  void AddChildId(int32_t id) override { calls.push_back(Call("AddChildId", id)); }
  void RemoveChildId(int32_t id) override { calls.push_back(Call("RemoveChildId", id)); }
  void SetScale(float v) override { calls.push_back(Call("SetScale", v)); }
  void RegisterAnimationEvents() override { calls.push_back("RegisterAnimationEvents"); }
  void SetUserValueC(const D3DLIGHT8* v) override {
    valueC = v;
    calls.push_back(v == nullptr ? "SetUserValueC null" : "SetUserValueC record");
  }
  const D3DLIGHT8* GetUserValueC() override { return valueC; }
  void SetTitle(const wchar_t* text, int32_t font, int32_t offset, uint8_t convert) override {
    title = text;
    calls.push_back(Call("SetTitle", static_cast<uint32_t>(title.size()), font, offset, convert));
  }

  const D3DLIGHT8* valueC = nullptr;
  std::wstring title;
  std::vector<std::string> calls;
};

// A recording scene system whose scene-event calls are written down instead of loading scenes.
class CallLogScene : public Playback::SceneSystem {
 public:
  uint8_t LoadScene(uint32_t id) override {
    calls.push_back(Call("LoadScene", id));
    return loadResult;
  }
  void UnloadSceneThunk() override { calls.push_back("UnloadScene"); }
  void SetStateString(const char* state, int32_t flag, int32_t offset) override {
    calls.push_back(Call("SetStateString", state, flag, offset));
    CSceneSystem::SetStateString(state, flag, offset);
  }
  void SetPendingStateName(const char* name) override {
    calls.push_back(Call("SetPendingStateName", name));
    CSceneSystem::SetPendingStateName(name);
  }

  uint8_t loadResult = 1;
  std::vector<std::string> calls;
};

struct PlaybackHost : scene_testing::SceneHost {
  CallLogScene* scene = nullptr;
  ComponentHandle sceneHandle{};

  PlaybackHost() {
    Playback::SetPlaybackClockForTests(0);
    CrtSrand(1);  // the generator's state is the thread's, not the host's
    host.RegisterComponentClass<CallLogObject>("SceneBaseObj");
    host.RegisterComponentClass<CallLogScene>("SceneSystem");
    scene = static_cast<CallLogScene*>(MakeScene(&sceneHandle, "SceneSystem"));
  }

  CallLogObject* MakeObject(uint32_t a, uint32_t b, int32_t tag = 0) {
    const uint32_t key[2] = {a, b};
    auto* object = static_cast<CallLogObject*>(scene->CreateSceneObject(key));
    object->tag = tag;
    return object;
  }
  CallLogObject* ObjectAt(const ComponentHandle& handle) { return Object<CallLogObject>(handle); }
};

inline const std::filesystem::path kSamples = std::filesystem::path(FOOTLIGHT_SOURCE_DIR) / "samples";

// A resource root that reads the sample tree and keeps movies of its own.
struct SampleRoot : scene_testing::SceneHost {
  SampleRoot() {
    const std::filesystem::path resource = std::filesystem::path(root) / "resource";
    std::filesystem::create_directories(resource / "movies");
    for (const auto& entry : std::filesystem::directory_iterator(kSamples / "resource"))
      if (entry.path().filename() != "movies")  // copied: a link out of the root is not followed
        std::filesystem::copy(entry.path(), resource / entry.path().filename(), std::filesystem::copy_options::recursive);
  }
};

// The bytes a movie writes.
inline std::string Bytes(const Playback::MovieData& movie) {
  std::ostringstream out(std::ios::binary);
  movie.Write(out);
  return out.str();
}
inline bool ReadBytes(const std::string& bytes, Playback::MovieData* movie,
                      Playback::MovieReadFailure* failure = nullptr) {
  std::istringstream in(bytes, std::ios::binary);
  return movie->Read(in, failure);
}

inline std::string U32(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
  return s;
}

}  // namespace playback_testing
