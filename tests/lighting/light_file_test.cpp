// Light files through the host's INI service: reading every key, writing a file that reads
// back whole, malformed lines, and the footlight lights command on the sample light file.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <clocale>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

// The command's source is part of the footlight program, which tests cannot link: it is
// compiled in here.
#include "apps/footlight/lights_command.h"
#include "frame/module_globals.h"
#include "host/generic_object.h"
#include "host/ini_service.h"
#include "host/renderer.h"
#include "host/standard_host.h"
#include "lighting/light.h"
#include "lighting/light_group.h"
#include "lighting/lighting_system.h"
#include "support/full_device.h"
#include "support/module_host.h"

namespace fs = std::filesystem;

namespace {

struct TempDir {
  fs::path path;
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "lightfile_XXXXXX").string();
    path = mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

struct FileHost {
  TempDir dir;
  testing_support::ModuleHost module;
  host::Renderer renderer;
  std::unique_ptr<host::IniService> ini;
  std::vector<CLightingSystem*> systems;

  FileHost() {
    module.host.AddService("dx8render", static_cast<IRenderer*>(&renderer));
    host::RegisterRecordingClass(module.host, "modelr");
    ini = std::make_unique<host::IniService>(dir.path.string(), &module.host);
    module.host.SetIniService(ini.get());
    module.host.LoadModule(&DMAInterface);  // the module takes the INI service at its entry
  }
  ~FileHost() {
    for (CLightingSystem* s : systems) CLightingSystem::DeleteArray(s);
    module.host.DestroyAll();
    EXPECT_EQ(module.host.Allocator().LiveBlocks(), 0u);
  }
  CLightingSystem* System() {
    CLightingSystem* s = CLightingSystem::NewArray(1);
    s->Init(nullptr);
    systems.push_back(s);
    return s;
  }
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(dir.path / name, std::ios::binary) << text;
  }
  std::string Read(const std::string& name) {
    std::ifstream in(dir.path / name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  size_t LogCount(const std::string& text) const {
    size_t n = 0;
    for (const auto& line : module.host.LogLines()) n += line.find(text) != std::string::npos ? 1 : 0;
    return n;
  }
};

const char* const kEveryKey =
    "[sp]\n"
    "type=3\n"
    "color=1,1,0,0.5,0.25,1.0,1.0,500,1,1,1,1\n"
    "position=2,0,0,1,2,3\n"
    "attenuation=0,1,0,1,0.5,0.25\n"
    "direction=1,0,0,0,0,0,1,1000,0,0.707107,0,0.707107\n"
    "range=2,0,0,10.0,500,25.0\n"
    "falloff=0,0,0,0.9\n"
    "theta=0,0,0,0.3\n"
    "phi=0,1,0,0.6\n"
    "distortionMap=resource\\textures\\distort.dds\n"
    "lightSpot=resource\\textures\\spot.dds\n"
    "lightHull=resource\\textures\\hull.dds\n"
    "GlobalLight=1\n"
    "AlwaysUpdate=1\n"
    "InfluenceScene=1\n"
    "LifeTime=5000\n"
    "Effect=sparkle\n"
    "Socket=hand\n"
    "Rate=0.5\n"
    "Active=1\n"
    "[bb]\n"
    "type=8\n"
    "color=0,0,0,1,1,1,1\n"
    "billboardName=resource\\textures\\star.dds\n"
    "BillboardMagSize=0.4\n"
    "BillboardRawSize=0.5\n"
    "BillboardScaleSpeed=0.002\n"
    "[md]\n"
    "type=4\n"
    "model=lamp.x\n"
    "texture=lamp.dds\n"
    "animation=glow\n"
    "[outer]\n"
    "type=6\n"
    "numKeyFrames=2\n"
    "key=1,inner,0,1\n"
    "key=0,sp;bb;missing,500,0\n"
    "lifetime=2000\n"
    "active=1\n"
    "Rate=2.0\n"
    "[inner]\n"
    "type=6\n"
    "key=0,md,100,1\n"
    "key=0,sp,300,0\n";

// The entries of a step as (name, switch), sorted: the writer groups them by switch.
using Entries = std::vector<std::pair<std::string, int>>;
Entries LightEntries(const CLightGroup::Step& s) {
  Entries e;
  for (const auto& x : s.lights) e.emplace_back(x.light->GetName(), x.on);
  std::sort(e.begin(), e.end());
  return e;
}
Entries GroupEntries(const CLightGroup::Step& s) {
  Entries e;
  for (const auto& x : s.groups) e.emplace_back(x.group->GetName(), x.on);
  std::sort(e.begin(), e.end());
  return e;
}

template <class Track>
void ExpectSameTrack(const Track& a, const Track& b, const char* what) {
  SCOPED_TRACE(what);
  EXPECT_EQ(a.interpolation, b.interpolation);
  EXPECT_EQ(a.wrap, b.wrap);
  ASSERT_EQ(a.keys.size(), b.keys.size());
  for (size_t i = 0; i < a.keys.size(); ++i) {
    EXPECT_EQ(a.keys[i].timeMs, b.keys[i].timeMs);
    EXPECT_EQ(std::memcmp(&a.keys[i].value, &b.keys[i].value, sizeof(a.keys[i].value)), 0);
  }
}

void ExpectSameLight(CLight* a, CLight* b) {
  SCOPED_TRACE(a->GetName());
  EXPECT_STREQ(a->GetName(), b->GetName());
  EXPECT_EQ(a->GetType(), b->GetType());
  ExpectSameTrack(a->colorTrack, b->colorTrack, "color");
  ExpectSameTrack(a->positionTrack, b->positionTrack, "position");
  ExpectSameTrack(a->attenuationTrack, b->attenuationTrack, "attenuation");
  ExpectSameTrack(a->directionTrack, b->directionTrack, "direction");
  ExpectSameTrack(a->rangeTrack, b->rangeTrack, "range");
  ExpectSameTrack(a->falloffTrack, b->falloffTrack, "falloff");
  ExpectSameTrack(a->thetaTrack, b->thetaTrack, "theta");
  ExpectSameTrack(a->phiTrack, b->phiTrack, "phi");
  EXPECT_EQ(a->lightSpotName, b->lightSpotName);
  EXPECT_EQ(a->lightHullName, b->lightHullName);
  EXPECT_EQ(a->distortionMapName, b->distortionMapName);
  EXPECT_EQ(a->modelName, b->modelName);
  EXPECT_EQ(a->textureName, b->textureName);
  EXPECT_EQ(a->animationName, b->animationName);
  EXPECT_EQ(a->effectName, b->effectName);
  EXPECT_EQ(a->socketName, b->socketName);
  EXPECT_EQ(a->billboardName, b->billboardName);
  EXPECT_FLOAT_EQ(a->rawSize, b->rawSize);
  EXPECT_FLOAT_EQ(a->magSize, b->magSize);
  EXPECT_FLOAT_EQ(a->scaleSpeed, b->scaleSpeed);
  EXPECT_EQ(a->globalLight, b->globalLight);
  EXPECT_EQ(a->alwaysUpdate, b->alwaysUpdate);
  EXPECT_EQ(a->influenceScene, b->influenceScene);
  EXPECT_EQ(a->active, b->active);
  EXPECT_EQ(a->lifeTimeMs, b->lifeTimeMs);
  EXPECT_FLOAT_EQ(a->rate, b->rate);
  EXPECT_EQ(a->hull != nullptr, b->hull != nullptr);
}

void ExpectSameSystem(CLightingSystem* a, CLightingSystem* b) {
  ASSERT_EQ(a->GetLightCount(), b->GetLightCount());
  for (int32_t i = 0; i < a->GetLightCount(); ++i) ExpectSameLight(a->GetLight(i), b->GetLight(i));
  ASSERT_EQ(a->GetLightGroupCount(), b->GetLightGroupCount());
  for (int32_t i = 0; i < a->GetLightGroupCount(); ++i) {
    CLightGroup* x = a->GetLightGroup(i);
    CLightGroup* y = b->GetLightGroup(i);
    SCOPED_TRACE(x->GetName());
    EXPECT_STREQ(x->GetName(), y->GetName());
    EXPECT_EQ(x->IsActive(), y->IsActive());
    EXPECT_EQ(x->GetLifeTime(), y->GetLifeTime());
    EXPECT_FLOAT_EQ(x->GetRate(), y->GetRate());
    ASSERT_EQ(x->steps.size(), y->steps.size());
    for (size_t s = 0; s < x->steps.size(); ++s) {
      EXPECT_EQ(x->steps[s].key, y->steps[s].key);
      EXPECT_EQ(LightEntries(x->steps[s]), LightEntries(y->steps[s]));
      EXPECT_EQ(GroupEntries(x->steps[s]), GroupEntries(y->steps[s]));
    }
  }
}

TEST(LightFile, AHandWrittenFileWithEveryKeyLoads) {
  FileHost h;
  h.Write("lights.ini", kEveryKey);
  CLightingSystem* sys = h.System();
  sys->LoadFromFile("lights.ini");
  ASSERT_EQ(sys->GetLightCount(), 3);
  CLight* sp = sys->GetLight(0);
  CLight* bb = sys->GetLight(1);
  CLight* md = sys->GetLight(2);
  EXPECT_STREQ(sp->GetName(), "sp");
  EXPECT_EQ(sp->GetType(), kLightSpot);
  EXPECT_EQ(bb->GetType(), kLightBillboard);
  EXPECT_EQ(md->GetType(), kLightModel);

  EXPECT_EQ(sp->GetColorInterpolation(), 1);
  EXPECT_EQ(sp->GetColorWrap(), 1);
  ASSERT_EQ(sp->GetColorKeyCount(), 2u);
  int32_t t = -1;
  const D3DXCOLOR c0 = sp->GetColorKey(0, &t);
  EXPECT_EQ(t, 0);
  EXPECT_FLOAT_EQ(c0.g, 0.25f);
  sp->GetColorKey(1, &t);
  EXPECT_EQ(t, 500);
  ASSERT_EQ(sp->GetPositionKeyCount(), 1u);
  EXPECT_FLOAT_EQ(sp->GetPositionKey(0, &t).z, 3.0f);
  EXPECT_EQ(sp->GetPositionInterpolation(), 2);
  EXPECT_FLOAT_EQ(sp->GetAttenuationKey(0, &t).z, 0.25f);
  EXPECT_EQ(sp->GetAttenuationInterpolation(), 0);
  EXPECT_EQ(sp->GetAttenuationWrap(), 1);
  ASSERT_EQ(sp->GetDirectionKeyCount(), 2u);
  EXPECT_FLOAT_EQ(sp->GetDirectionKey(1, &t).w, 0.707107f);
  EXPECT_EQ(t, 1000);
  ASSERT_EQ(sp->GetRangeKeyCount(), 2u);
  EXPECT_FLOAT_EQ(sp->GetRangeKey(1, &t), 25.0f);
  EXPECT_FLOAT_EQ(sp->GetFalloffKey(0, &t), 0.9f);
  EXPECT_FLOAT_EQ(sp->GetThetaKey(0, &t), 0.3f);
  EXPECT_FLOAT_EQ(sp->GetPhiKey(0, &t), 0.6f);
  EXPECT_EQ(sp->GetPhiWrap(), 1);

  int32_t hullType = 0, segments = 0;
  float startRadius = 0.0f;
  const char* distortion = nullptr;
  sp->GetHullParams(&hullType, &segments, &startRadius, &distortion);
  EXPECT_EQ(hullType, 6);
  EXPECT_EQ(segments, 3);
  EXPECT_FLOAT_EQ(startRadius, 0.2f);
  EXPECT_STREQ(distortion, "resource\\textures\\distort.dds");
  const char* spot = nullptr;
  const char* hull = nullptr;
  sp->GetSpotAndHull(&spot, &hull);
  EXPECT_STREQ(spot, "resource\\textures\\spot.dds");
  EXPECT_STREQ(hull, "resource\\textures\\hull.dds");
  EXPECT_TRUE(sp->IsGlobalLight());
  EXPECT_TRUE(sp->IsAlwaysUpdate());
  EXPECT_TRUE(sp->influenceScene);
  EXPECT_EQ(sp->GetLifeTime(), 5000);
  const char* effect = nullptr;
  sp->GetEffect(&effect);
  EXPECT_STREQ(effect, "sparkle");
  EXPECT_STREQ(sp->GetSocket(), "hand");
  EXPECT_FLOAT_EQ(sp->GetRate(), 0.5f);
  EXPECT_TRUE(sp->IsActive());
  EXPECT_EQ(sys->activeSpotCount, 1);

  float scaleSpeed = 0, rawSize = 0, magSize = 0;
  EXPECT_STREQ(bb->GetBillboard(&scaleSpeed, &rawSize, &magSize), "resource\\textures\\star.dds");
  EXPECT_FLOAT_EQ(scaleSpeed, 0.002f);
  EXPECT_FLOAT_EQ(rawSize, 0.5f);
  EXPECT_FLOAT_EQ(magSize, 0.4f);
  EXPECT_FALSE(bb->IsActive());
  EXPECT_EQ(bb->hull, nullptr);  // only spot lights get a beam from the file

  const char* model = nullptr;
  const char* texture = nullptr;
  const char* animation = nullptr;
  md->GetModelNames(&model, &texture, &animation);
  EXPECT_STREQ(model, "lamp.x");
  EXPECT_STREQ(texture, "lamp.dds");
  EXPECT_STREQ(animation, "glow");
  EXPECT_TRUE(md->hasModel);

  // The sub-group named before its section took its index there, and its section filled it.
  ASSERT_EQ(sys->GetLightGroupCount(), 2);
  CLightGroup* outer = sys->GetLightGroup(0);
  CLightGroup* inner = sys->GetLightGroup(1);
  EXPECT_STREQ(inner->GetName(), "inner");
  EXPECT_EQ(inner->GetIndex(), 1);
  EXPECT_EQ(outer->GetLifeTime(), 2000);
  EXPECT_TRUE(outer->IsActive());
  EXPECT_FLOAT_EQ(outer->GetRate(), 2.0f);
  ASSERT_EQ(outer->GetStepCount(), 2);
  EXPECT_EQ(GroupEntries(outer->steps[0]), (Entries{{"inner", 1}}));
  EXPECT_EQ(outer->steps[1].key, 500);
  EXPECT_EQ(LightEntries(outer->steps[1]), (Entries{{"bb", 0}, {"sp", 0}}));  // "missing" skipped
  ASSERT_EQ(inner->GetStepCount(), 2);
  EXPECT_EQ(LightEntries(inner->steps[0]), (Entries{{"md", 1}}));
  EXPECT_FALSE(inner->IsActive());
  EXPECT_EQ(h.LogCount("CLightingSystem::LoadFromFile"), 0u);

  // A missing file changes nothing and says nothing.
  h.module.host.ClearLog();
  sys->LoadFromFile("none.ini");
  EXPECT_EQ(sys->GetLightCount(), 3);
  EXPECT_TRUE(h.module.host.LogLines().empty());
}

TEST(LightFile, SavedFileLoadsBackWithNothingLost) {
  FileHost h;
  h.Write("lights.ini", kEveryKey);
  CLightingSystem* first = h.System();
  first->LoadFromFile("lights.ini");
  // Settings the file has no place for in its key spelling come back too.
  first->GetLight(1)->SetGlobalLight(true);
  CLight* runtime = nullptr;
  first->CreateLight("runtime", &runtime);
  runtime->SetRuntimeOnly(true);
  ASSERT_TRUE(first->SaveToFile("out\\saved.ini"));

  const std::string text = h.Read("out/saved.ini");
  EXPECT_EQ(text.find("[runtime]"), std::string::npos);
  EXPECT_NE(text.find("key=0,sp;bb,500,0"), std::string::npos) << text;
  EXPECT_NE(text.find("range=2,0,0,10.000000,500,25.000000"), std::string::npos) << text;
  EXPECT_NE(text.find("GlobalLight=1"), std::string::npos);
  EXPECT_NE(text.find("distortionMap=resource\\textures\\distort.dds"), std::string::npos);
  // Every light section comes before every group section.
  EXPECT_LT(text.find("[md]"), text.find("[outer]"));

  first->DeleteLight("runtime");
  CLightingSystem* second = h.System();
  second->LoadFromFile("out\\saved.ini");
  ExpectSameSystem(first, second);

  // Saved again, the file is the same.
  ASSERT_TRUE(second->SaveToFile("out\\again.ini"));
  EXPECT_EQ(h.Read("out/again.ini"), text);
}

TEST(LightFile, StepEntriesAreWrittenBySwitchAndEmptyTracksAreLeftOut) {
  FileHost h;
  CLightingSystem* sys = h.System();
  for (const char* n : {"a", "b", "c"}) sys->CreateLight(n, nullptr);
  CLightGroup* g = nullptr;
  sys->CreateLightGroup("g", &g);
  g->AddLightToStep(0, 500, true);
  g->AddLightToStep(2, 500, false);
  g->AddLightToStep(1, 500, true);
  g->AddGroupToStep(0, 0, false);  // refused: a group cannot hold itself
  ASSERT_TRUE(sys->SaveToFile("g.ini"));
  const std::string text = h.Read("g.ini");
  EXPECT_NE(text.find("key=0,a;b,500,1\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("key=0,c,500,0\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("color="), std::string::npos);
  EXPECT_EQ(text.find("key=1,"), std::string::npos);

  // Many long names split over several values, each read back.
  std::vector<std::string> names;
  for (int i = 0; i < 12; ++i) {
    names.push_back(std::string(60, static_cast<char>('a' + i)) + std::to_string(i));
    const int32_t at = sys->CreateLight(names.back().c_str(), nullptr);
    g->AddLightToStep(at, 900, true);
  }
  ASSERT_TRUE(sys->SaveToFile("g.ini"));
  CLightingSystem* again = h.System();
  again->LoadFromFile("g.ini");
  ExpectSameSystem(sys, again);
}

// A load makes a group at the first mention of its name, which may be a step of an earlier
// group: the saved order must be the order a load makes, or every save reorders the file.
TEST(LightFile, GroupsNamedBeforeTheirSectionsSaveTheSameEveryTime) {
  FileHost h;
  h.Write("in.ini",
          "[show]\ntype=6\nnumKeyFrames=1\nkey=1,chase,0,1\n"
          "[outer]\ntype=6\n"
          "[chase]\ntype=6\nnumKeyFrames=1\nkey=1,inner,0,1\n"
          "[inner]\ntype=6\n");
  CLightingSystem* sys = h.System();
  sys->LoadFromFile("in.ini");
  ASSERT_TRUE(sys->SaveToFile("first.ini"));
  CLightingSystem* again = h.System();
  again->LoadFromFile("first.ini");
  ASSERT_TRUE(again->SaveToFile("second.ini"));
  EXPECT_EQ(h.Read("first.ini"), h.Read("second.ini"));
  // Each group follows the one whose step first names it.
  const std::string text = h.Read("first.ini");
  EXPECT_LT(text.find("[show]"), text.find("[chase]"));
  EXPECT_LT(text.find("[chase]"), text.find("[inner]"));
  EXPECT_LT(text.find("[inner]"), text.find("[outer]"));
}

TEST(LightFile, MalformedLinesAreSkippedAndTheRestKept) {
  FileHost h;
  std::string longRange = "1,0";
  for (int i = 0; i < 400; ++i) longRange += "," + std::to_string(i * 10) + "," + std::to_string(i) + ".500000";
  ASSERT_GT(longRange.size(), 2047u);
  const std::string longName(300, 'n');
  h.Write("bad.ini",
          "[m]\n"
          "type=2\n"
          "color=2\n"                     // no wrap mode: the colour track is skipped
          "position=1,0,0,1,2,3,100,4,5\n"  // the second key is short of a value
          "attenuation=1,1,0,1,2,3\n"      // still read after the lines above
          "theta=0,0,,,0,0.4,\n"          // empty fields and a trailing comma are no fields
          "range=" + longRange + "\n"
          "LifeTime=700\n"
          "[" + longName + "]\n"
          "type=1\n"
          "color=0,0,0,1,1,1,1\n"
          "[g]\n"
          "type=6\n"
          "key=0,m,100\n"                  // three fields: skipped
          "key=0,m,200,1\n"
          "key=0,;" + longName + ";;m,300,0\n"
          "key=1,,400,1\n");  // no names field: skipped
  CLightingSystem* sys = h.System();
  sys->LoadFromFile("bad.ini");
  ASSERT_EQ(sys->GetLightCount(), 2);
  CLight* m = sys->GetLight(0);
  EXPECT_EQ(m->GetColorKeyCount(), 0u);
  EXPECT_EQ(m->GetColorInterpolation(), 2);  // untouched
  ASSERT_EQ(m->GetPositionKeyCount(), 1u);
  EXPECT_EQ(m->GetPositionInterpolation(), 1);
  int32_t t = -1;
  EXPECT_FLOAT_EQ(m->GetPositionKey(0, &t).z, 3.0f);
  ASSERT_EQ(m->GetAttenuationKeyCount(), 1u);
  ASSERT_EQ(m->GetThetaKeyCount(), 1u);
  EXPECT_FLOAT_EQ(m->GetThetaKey(0, &t), 0.4f);
  ASSERT_EQ(m->GetRangeKeyCount(), 400u);
  EXPECT_FLOAT_EQ(m->GetRangeKey(399, &t), 399.5f);
  EXPECT_EQ(t, 3990);
  EXPECT_EQ(m->GetLifeTime(), 700);
  EXPECT_STREQ(sys->GetLight(1)->GetName(), longName.c_str());
  EXPECT_EQ(sys->GetLight(1)->GetColorKeyCount(), 1u);

  ASSERT_EQ(sys->GetLightGroupCount(), 1);  // no group was made from the empty names field
  CLightGroup* g = sys->GetLightGroup(0);
  ASSERT_EQ(g->GetStepCount(), 2);
  EXPECT_EQ(g->steps[0].key, 200);
  EXPECT_EQ(LightEntries(g->steps[1]), (Entries{{"m", 0}, {longName, 0}}));
  EXPECT_EQ(h.LogCount("CLightingSystem::LoadFromFile"), 4u);
}

TEST(LightFile, UnwritableFileGivesTheWarningAndFalse) {
  FileHost h;
  h.Write("plain", "not a folder");
  CLightingSystem* sys = h.System();
  sys->CreateLight("a", nullptr);
  EXPECT_FALSE(sys->SaveToFile("plain\\out.ini"));
  EXPECT_EQ(h.LogCount("Warning : Can't create file ==> plain\\out.ini."), 1u);
}

// The command, driven as the app drives it but with the module linked in: one frame is the
// lighting tick and the main pass's upload of the queued lights.
TEST(LightsCommand, RunsTheSampleLightFileAndSavesIt) {
  TempDir out;
  LightsOptions options;
  const std::string samples = std::string(FOOTLIGHT_SOURCE_DIR) + "/samples";
  const std::string sample = "resource/ini/scene/light/1.ini";
  fs::create_directories(out.path / "resource/ini/scene/light");
  fs::copy_file(samples + "/" + sample, out.path / sample);
  std::string error;
  ASSERT_TRUE(ParseLightsOptions({sample, "--time", "1000", "--tick", "100", "--save", "saved.ini", "--resource",
                                  out.path.string()},
                                 &options, &error))
      << error;
  EXPECT_EQ(options.time, 1000);
  EXPECT_EQ(options.tick, 100);

  testing_support::ModuleHost module;
  auto services = std::make_unique<LightsServices>(module.host, options);
  module.host.LoadModule(&DMAInterface);
  CLightingSystem* sys = CLightingSystem::NewArray(1);
  ASSERT_TRUE(sys->Init(nullptr));
  LightsTarget target;
  target.system = sys;
  int frames = 0;
  target.frame = [&](int32_t ms) {
    ++frames;
    sys->Update(ms);
    sys->ApplyLights();
  };
  char* buffer = nullptr;
  size_t size = 0;
  std::FILE* report = open_memstream(&buffer, &size);
  const int status = RunLightsCommand(module.host, *services, options, target, report, stderr);
  std::fclose(report);
  const std::string text(buffer, size);
  free(buffer);
  EXPECT_EQ(status, 0) << text;
  EXPECT_EQ(frames, 10);
  EXPECT_NE(text.find("loaded " + sample + ": 9 lights, 3 groups\n"), std::string::npos) << text;
  EXPECT_NE(text.find("== 1000 ms ==\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("== 900 ms =="), std::string::npos);
  EXPECT_NE(text.find("light 0 \"sun\" type 1 on slot 0\n"), std::string::npos) << text;
  EXPECT_NE(text.find("light 1 \"spotLeft\" type 3 on slot 1\n"), std::string::npos) << text;
  EXPECT_NE(text.find("light 2 \"spotRight\" type 3 on slot 2\n"), std::string::npos) << text;
  EXPECT_NE(text.find("light 6 \"lampAmber\" type 2 on slot"), std::string::npos) << text;
  EXPECT_NE(text.find("light 3 \"lampRed\" type 2 off slot"), std::string::npos) << text;
  EXPECT_NE(text.find("light 7 \"floorGlow\" type 7 on\n"), std::string::npos) << text;
  EXPECT_NE(text.find("group 0 \"show\" on\n"), std::string::npos) << text;
  EXPECT_NE(text.find("group 1 \"chase\" on\n"), std::string::npos) << text;
  EXPECT_NE(text.find("group 2 \"strobe\" off\n"), std::string::npos) << text;
  EXPECT_NE(text.find("wrote " + (out.path / "saved.ini").string() + "\n"), std::string::npos) << text;

  // What was saved loads back into the same lights and groups.
  CLightingSystem* again = CLightingSystem::NewArray(1);
  ASSERT_TRUE(again->Init(nullptr));
  again->LoadFromFile(services->savePath().c_str());
  ExpectSameSystem(sys, again);
  CLightingSystem::DeleteArray(again);
  CLightingSystem::DeleteArray(sys);
  services.reset();
  EXPECT_EQ(module.host.Allocator().LiveBlocks(), 0u);
}

TEST(LightsCommand, BadInput) {
  LightsOptions options;
  std::string error;
  EXPECT_FALSE(ParseLightsOptions({"a.ini", "--tick", "0"}, &options, &error));
  EXPECT_EQ(error, "option --tick takes a whole number from 1, got \"0\"");
  EXPECT_FALSE(ParseLightsOptions({"/a.ini"}, &options, &error));
  TempDir dir;
  ASSERT_TRUE(ParseLightsOptions({"--every", "a.ini", "--resource", dir.path.string()}, &options, &error)) << error;
  EXPECT_TRUE(options.every);
  EXPECT_EQ(options.resource, dir.path.string());

  // A light file that does not open: one error line, status 1, nothing run.
  ASSERT_TRUE(ParseLightsOptions({"missing.ini", "--resource", dir.path.string()}, &options, &error));
  testing_support::ModuleHost module;
  LightsServices services(module.host, options);
  module.host.LoadModule(&DMAInterface);
  CLightingSystem* sys = CLightingSystem::NewArray(1);
  sys->Init(nullptr);
  int frames = 0;
  LightsTarget target{sys, [&](int32_t) { ++frames; }};
  char* buffer = nullptr;
  size_t size = 0;
  std::FILE* err = open_memstream(&buffer, &size);
  EXPECT_EQ(RunLightsCommand(module.host, services, options, target, stdout, err), 1);
  std::fclose(err);
  EXPECT_EQ(std::string(buffer, size), "footlight: cannot open missing.ini below the resource root \"" +
                                           dir.path.string() + "\": no such file\n");
  free(buffer);
  EXPECT_EQ(frames, 0);
  EXPECT_EQ(RunLightsCommand(module.host, services, options, LightsTarget{}, stdout, stderr), 2);
  CLightingSystem::DeleteArray(sys);
}

// The texture names inside a light file are resource paths below --resource, wherever the
// command runs from, and never reach outside it.
TEST(LightFile, TheLightsCommandFindsTexturesBelowTheResourceFolder) {
  TempDir dir;
  fs::create_directories(dir.path / "root" / "Tex");
  const char tga[18 + 4] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 32, 0x28, 1, 2, 3, 4};
  std::ofstream(dir.path / "root" / "Tex" / "star.tga", std::ios::binary).write(tga, sizeof tga);
  std::ofstream(dir.path / "outside.tga", std::ios::binary).write(tga, sizeof tga);
  std::ofstream(dir.path / "root" / "lights.ini", std::ios::binary)
      << "[in]\ntype=8\nbillboardName=tex\\STAR.tga\n"
      << "[out]\ntype=8\nbillboardName=..\\outside.tga\n";
  LightsOptions options;
  std::string error;
  ASSERT_TRUE(ParseLightsOptions({"lights.ini", "--resource", (dir.path / "root").string()}, &options, &error)) << error;
  testing_support::ModuleHost module;
  auto services = std::make_unique<LightsServices>(module.host, options);
  module.host.LoadModule(&DMAInterface);
  CLightingSystem* sys = CLightingSystem::NewArray(1);
  ASSERT_TRUE(sys->Init(nullptr));
  sys->LoadFromFile(services->filePath().c_str());
  ASSERT_EQ(sys->GetLightCount(), 2);
  host::Renderer& renderer = services->renderer();
  EXPECT_EQ(renderer.LiveTextures(), 1u);
  EXPECT_EQ(renderer.TextureName(sys->GetLight(0)->billboardTexture), "tex\\STAR.tga");
  EXPECT_EQ(sys->GetLight(1)->billboardTexture, -1);
  CLightingSystem::DeleteArray(sys);
  services.reset();
  EXPECT_EQ(module.host.Allocator().LiveBlocks(), 0u);
}

// The command line's host hands the module a real host model for a model light, not a
// recording stand-in that the module would take for one.
TEST(LightFile, AModelLightInTheStandardHostGetsAHostModel) {
  TempDir dir;
  std::ofstream(dir.path / "lights.ini", std::ios::binary) << "[lamp]\ntype=4\nmodel=lamp.x\nActive=1\n";
  host::StandardHost standard(dir.path.string());
  standard.host.LoadModule(&DMAInterface);
  CLightingSystem* sys = CLightingSystem::NewArray(1);
  ASSERT_TRUE(sys->Init(nullptr));
  sys->LoadFromFile("lights.ini");
  ASSERT_EQ(sys->GetLightCount(), 1);
  EXPECT_TRUE(sys->GetLight(0)->IsActive());
  ASSERT_EQ(standard.objects->models->Created(), 1u);
  EXPECT_EQ(standard.objects->models->Last()->ModelName(), "lamp.x");
  CLightingSystem::DeleteArray(sys);
  standard.host.DestroyAll();
  EXPECT_EQ(standard.host.Allocator().LiveBlocks(), 0u);
}

}  // namespace

namespace {

// ---- What a save cannot hold --------------------------------------------------------------

TEST(LightFile, ObjectsWhoseSectionsWouldClashOrNotReadBackAreLeftOutWithAWarning) {
  FileHost h;
  CLightingSystem* sys = h.System();
  CLight* twin = nullptr;
  sys->CreateLight("twin", &twin);
  twin->SetType(kLightPoint);
  CLight* renamed = nullptr;
  sys->CreateLight("other", &renamed);
  renamed->SetName("TWIN");  // folds to the first light's section
  CLight* bracket = nullptr;
  sys->CreateLight("a]b", &bracket);
  CLight* padded = nullptr;
  sys->CreateLight(" padded", &padded);
  CLight* kept = nullptr;
  sys->CreateLight("kept", &kept);
  CLightGroup* group = nullptr;
  sys->CreateLightGroup("Twin", &group);  // lights are written first: the group clashes
  CLightGroup* show = nullptr;
  sys->CreateLightGroup("show", &show);
  show->AddLightToStep(1, 0, true);  // the renamed light, which has no section of its own
  show->AddLightToStep(4, 0, true);

  EXPECT_FALSE(sys->SaveToFile("out.ini"));
  EXPECT_EQ(h.LogCount("is left out"), 4u);
  EXPECT_EQ(h.LogCount("light \"TWIN\" is left out"), 1u);
  EXPECT_EQ(h.LogCount("light group \"Twin\" is left out"), 1u);
  EXPECT_EQ(h.LogCount("light \"a]b\" is left out"), 1u);
  EXPECT_EQ(h.LogCount("light \" padded\" is left out"), 1u);

  // The rest is saved and loads back: the first "twin" with its type, the show naming only
  // the light that has a section.
  CLightingSystem* again = h.System();
  again->LoadFromFile("out.ini");
  ASSERT_EQ(again->GetLightCount(), 2);
  EXPECT_STREQ(again->GetLight(0)->GetName(), "twin");
  EXPECT_EQ(again->GetLight(0)->GetType(), kLightPoint);
  EXPECT_STREQ(again->GetLight(1)->GetName(), "kept");
  ASSERT_EQ(again->GetLightGroupCount(), 1);
  CLightGroup* loaded = again->GetLightGroup(0);
  EXPECT_STREQ(loaded->GetName(), "show");
  ASSERT_EQ(loaded->GetStepCount(), 1);
  ASSERT_EQ(loaded->steps[0].lights.size(), 1u);
  EXPECT_STREQ(loaded->steps[0].lights[0].light->GetName(), "kept");
}

TEST(LightFile, ASaveThatDoesNotReachTheDiskIsFalse) {
  FileHost h;
  CLightingSystem* sys = h.System();
  for (int i = 0; i < 50; ++i) sys->CreateLight(("light" + std::to_string(i)).c_str(), nullptr);
  EXPECT_FALSE(testing_support::WithFullDevice(512, [&] { return sys->SaveToFile("full.ini"); }));
  EXPECT_FALSE(fs::exists(h.dir.path / "full.ini"));
  EXPECT_EQ(h.LogCount("Warning : Can't write file ==> full.ini."), 1u);
  EXPECT_EQ(std::distance(fs::directory_iterator(h.dir.path), fs::directory_iterator()), 0);
}

TEST(LightFile, KeysInAnyOrderLoadAsTheyWouldOneByOne) {
  // A group that has steps takes a second section's keys, shuffled and with repeats: the file and
  // the same calls one by one leave the same steps, entries and references.
  FileHost h;
  h.Write("first.ini", "[a]\ntype=2\n[b]\ntype=2\n[g]\ntype=6\nactive=1\nkey=0,a,100,1\nkey=0,b,300,1\n");
  struct Entry {
    int kind, key, on;
    const char* name;
  };
  std::vector<Entry> entries;
  std::mt19937 random(7);
  for (int i = 0; i < 60; ++i)
    entries.push_back(Entry{random() % 4 == 0 ? 1 : 0, static_cast<int>(random() % 25) * 20,
                            static_cast<int>(random() % 2), random() % 2 != 0 ? "a" : "b"});
  std::string second = "[g]\ntype=6\nactive=1\n";
  for (Entry& e : entries) {
    if (e.kind == 1) e.name = "sub";
    second += "key=" + std::to_string(e.kind) + "," + e.name + "," + std::to_string(e.key) + "," +
              std::to_string(e.on) + "\n";
  }
  h.Write("second.ini", second);
  CLightingSystem* loaded = h.System();
  CLightingSystem* called = h.System();
  for (CLightingSystem* sys : {loaded, called}) sys->LoadFromFile("first.ini");
  loaded->LoadFromFile("second.ini");
  CLightGroup* g = called->GetLightGroup(0);
  for (const Entry& e : entries) {
    if (e.kind == 0) {
      g->AddLightToStep(called->FindLight(e.name), e.key, e.on != 0);
    } else {
      CLightGroup* sub = nullptr;
      g->AddGroupToStep(called->CreateLightGroup(e.name, &sub), e.key, e.on != 0);
    }
  }
  // Each step's key and entries in their order, then the references they hold.
  auto view = [](CLightingSystem* sys) {
    std::string v;
    for (const CLightGroup::Step& s : sys->GetLightGroup(0)->steps) {
      v += std::to_string(s.key) + ":";
      for (const auto& e : s.lights) v += std::string(e.light->GetName()) + std::to_string(e.on) + ",";
      for (const auto& e : s.groups) v += std::string(e.group->GetName()) + std::to_string(e.on) + ",";
    }
    for (int32_t i = 0; i < 2; ++i) v += " " + std::to_string(sys->GetLight(i)->groupRefs[0].count);
    return v + " " + std::to_string(sys->GetLightGroup(1)->parentRefs[0].count);
  };
  EXPECT_EQ(view(loaded), view(called));
}

TEST(LightFile, TwoSectionsOfOneNameAreEachReadInTurn) {
  FileHost h;
  h.Write("twice.ini",
          "[lamp]\ntype=2\nrange=0,0,0,5.0\nLifeTime=100\n"
          "[lamp]\ntype=2\nrange=0,0,500,9.0\n");
  CLightingSystem* sys = h.System();
  sys->LoadFromFile("twice.ini");
  ASSERT_EQ(sys->GetLightCount(), 1);
  CLight* lamp = sys->GetLight(0);
  // Each section adds its own keys to the one light; a key the later section lacks takes
  // its default there.
  ASSERT_EQ(lamp->GetRangeKeyCount(), 2u);
  int32_t t = -1;
  EXPECT_FLOAT_EQ(lamp->GetRangeKey(0, &t), 5.0f);
  EXPECT_EQ(t, 0);
  EXPECT_FLOAT_EQ(lamp->GetRangeKey(1, &t), 9.0f);
  EXPECT_EQ(t, 500);
  EXPECT_EQ(lamp->GetLifeTime(), 0);
}

// A locale whose decimal separator is a comma, built for the test; false when the machine
// cannot build one.
bool CommaLocale(const fs::path& dir) {
  const std::string command = "localedef -i de_DE -f UTF-8 '" + (dir / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0 && !fs::exists(dir / "de_DE.UTF-8")) return false;
  setenv("LOCPATH", dir.c_str(), 1);
  return std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
}

TEST(LightFile, TrackLinesAreTheSameUnderAnyLocale) {
  TempDir locales;
  if (!CommaLocale(locales.path)) GTEST_SKIP() << "no comma-decimal locale can be built here";
  {
    FileHost h;
    h.Write("in.ini", "[r]\ntype=2\nrange=2,0, 0,+10.0,500,  25.0\nposition=0,0,0,1.5,-2.25,3e1\n");
    CLightingSystem* sys = h.System();
    sys->LoadFromFile("in.ini");
    ASSERT_EQ(sys->GetLightCount(), 1);
    CLight* r = sys->GetLight(0);
    int32_t t = 0;
    EXPECT_FLOAT_EQ(r->GetRangeKey(1, &t), 25.0f);
    const D3DXVECTOR3 p = r->GetPositionKey(0, &t);
    EXPECT_FLOAT_EQ(p.x, 1.5f);
    EXPECT_FLOAT_EQ(p.y, -2.25f);
    EXPECT_FLOAT_EQ(p.z, 30.0f);
    ASSERT_TRUE(sys->SaveToFile("out.ini"));
    const std::string text = h.Read("out.ini");
    EXPECT_NE(text.find("\r\nrange=2,0,0,10.000000,500,25.000000\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nposition=0,0,0,1.500000,-2.250000,30.000000\r\n"), std::string::npos) << text;
  }
  std::setlocale(LC_ALL, "C");
  unsetenv("LOCPATH");
}

TEST(LightFile, SavedKeysComeInTheFilesOwnOrderAndSpelling) {
  FileHost h;
  CLightingSystem* sys = h.System();
  CLight* l = nullptr;
  sys->CreateLight("all", &l);
  l->SetType(kLightSpot);
  for (int32_t t : {0, 500}) {
    l->AddColorKey(t, D3DXCOLOR(1, 1, 1, 1));
    l->AddPositionKey(t, D3DXVECTOR3(1, 2, 3));
    l->AddAttenuationKey(t, D3DXVECTOR3(1, 0, 0));
    l->AddDirectionKey(t, D3DXQUATERNION(0, 0, 0, 1));
    l->AddRangeKey(t, 5.0f);
    l->AddFalloffKey(t, 1.0f);
    l->AddThetaKey(t, 0.2f);
    l->AddPhiKey(t, 0.4f);
  }
  CLightGroup* g = nullptr;
  sys->CreateLightGroup("g", &g);
  g->AddLightToStep(0, 0, true);
  ASSERT_TRUE(sys->SaveToFile("keys.ini"));
  std::vector<std::string> keys;
  std::istringstream in(h.Read("keys.ini"));
  for (std::string line; std::getline(in, line);)
    if (line.find('=') != std::string::npos) keys.push_back(line.substr(0, line.find('=')));
  const std::vector<std::string> expected = {
      // the light: strings, switches and the rate, the keys the reader also takes, the tracks
      "lightSpot", "lightHull", "model", "texture", "animation", "socket", "effect", "directionController",
      "directionAniName", "type", "alwaysupdate", "active", "InfluenceScene", "lifetime", "rate", "GlobalLight",
      "distortionMap", "billboardName", "BillboardScaleSpeed", "BillboardRawSize", "BillboardMagSize", "color",
      "position", "range", "phi", "theta", "falloff", "attenuation", "direction",
      // the group
      "type", "active", "lifetime", "rate", "numKeyFrames", "key"};
  EXPECT_EQ(keys, expected);
}

}  // namespace
