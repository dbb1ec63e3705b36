// The lighting system driven through the module as the host loads it: lights and groups by
// name and index, the eight hardware light slots over ticks and passes, point influence and
// the module-wide references.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "frame/host_blocks.h"
#include "frame/module_globals.h"
#include "host/renderer.h"
#include "lighting/light.h"
#include "lighting/light_group.h"
#include "lighting/lighting_system.h"
#include "support/module_host.h"

namespace {

struct SystemHost {
  testing_support::ModuleHost module;
  host::Renderer renderer;
  size_t blocksBefore = 0;
  CLightingSystem* sys = nullptr;

  SystemHost() {
    module.host.AddService("dx8render", static_cast<IRenderer*>(&renderer));
    blocksBefore = module.host.Allocator().LiveBlocks();
    sys = CLightingSystem::NewArray(1);
    sys->Init(nullptr);
  }
  ~SystemHost() { CLightingSystem::DeleteArray(sys); }

  // A light of a hardware type, switched on or off, with a colour so that its record is full.
  CLight* Light(const char* name, int32_t type, bool on) {
    CLight* light = nullptr;
    sys->CreateLight(name, &light);
    light->SetType(type);
    light->AddColorKey(0, D3DXCOLOR(0.5f, 0.25f, 1.0f, 1.0f));
    D3DXVECTOR3 down(0.0f, -1.0f, 0.0f);
    light->SetDirection(&down);
    light->SetActive(on, 0);
    return light;
  }

  int32_t PinnedSlotOf(CLight* light) const {
    for (int s = 0; s < 8; ++s)
      if (sys->hardwareSlots[s].dynamic == 0 && sys->hardwareSlots[s].lightIndex == light->GetIndex()) return s;
    return -1;
  }

  bool LogHas(const std::string& text) const {
    for (const auto& line : module.host.LogLines())
      if (line.find(text) != std::string::npos) return true;
    return false;
  }
};

D3DLIGHT8 DirectionalRecord(float dx, float dy, float dz) {
  D3DLIGHT8 r{};
  r.Type = D3DLIGHT_DIRECTIONAL;
  r.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
  r.Direction = {dx, dy, dz};
  return r;
}

TEST(LightingSystem, InitPublishesTheReferencesAndDestructionClearsOnlyItsOwn) {
  SystemHost h;
  EXPECT_EQ(g_pLightingSystem, h.sys);
  EXPECT_EQ(g_pLightingRenderer, static_cast<IRenderer*>(&h.renderer));
  EXPECT_EQ(h.sys->ambientColor, 0xFF4A4A4Au);
  EXPECT_EQ(h.sys->Stub6(), -1);
  EXPECT_EQ(h.sys->Stub24(1, 2), 0);

  // A second scene's system becomes the current one; the first going away leaves it so.
  CLightingSystem* second = CLightingSystem::NewArray(1);
  ASSERT_TRUE(second->Init(nullptr));
  EXPECT_EQ(g_pLightingSystem, second);
  CLightingSystem::DeleteArray(h.sys);
  h.sys = nullptr;
  EXPECT_EQ(g_pLightingSystem, second);
  EXPECT_EQ(g_pLightingRenderer, static_cast<IRenderer*>(&h.renderer));
  CLightingSystem::DeleteArray(second);
  EXPECT_EQ(g_pLightingSystem, nullptr);
  EXPECT_EQ(g_pLightingRenderer, nullptr);
  EXPECT_EQ(h.module.host.Allocator().LiveBlocks(), h.blocksBefore);
}

TEST(LightingSystem, InitWithoutRendererFails) {
  testing_support::ModuleHost module;
  CLightingSystem* sys = CLightingSystem::NewArray(1);
  ASSERT_NE(sys, nullptr);
  EXPECT_EQ(HostBlockCount(sys), 1u);
  EXPECT_FALSE(sys->Init(nullptr));
  CLightingSystem::DeleteArray(sys);
  EXPECT_EQ(module.host.Allocator().LiveBlocks(), 0u);
}

TEST(LightingSystem, LightsByNameAndIndex) {
  SystemHost h;
  CLight* a = nullptr;
  EXPECT_EQ(h.sys->CreateLight("Lamp", &a), 0);
  CLight* again = nullptr;
  EXPECT_EQ(h.sys->CreateLight("LAMP", &again), 0);  // the same light in another letter case
  EXPECT_EQ(again, a);
  EXPECT_EQ(a->system, h.sys);
  CLight* b = nullptr;
  CLight* c = nullptr;
  h.sys->CreateLight("b", &b);
  h.sys->CreateLight("c", &c);
  EXPECT_EQ(h.sys->GetLightCount(), 3);
  EXPECT_EQ(h.sys->GetLightByName("B"), b);
  EXPECT_EQ(h.sys->GetLightByName("none"), nullptr);

  h.module.host.ClearLog();
  EXPECT_EQ(h.sys->GetLight(static_cast<uint32_t>(-1)), nullptr);
  EXPECT_TRUE(h.LogHas("[WARNING] CLightingSystem::GetLight: index out of range."));

  // The last light moves into the freed place and keeps its index...
  h.sys->DeleteLight("lamp");
  EXPECT_EQ(h.sys->GetLightCount(), 2);
  EXPECT_EQ(h.sys->GetLight(0), c);
  EXPECT_EQ(c->GetIndex(), 2);
  // ...and a new light gets an index that no light holds.
  CLight* d = nullptr;
  EXPECT_EQ(h.sys->CreateLight("d", &d), 2);
  EXPECT_NE(d->GetIndex(), c->GetIndex());
  EXPECT_NE(d->GetIndex(), b->GetIndex());
  h.sys->DeleteLight("not there");
  EXPECT_EQ(h.sys->GetLightCount(), 3);

  h.sys->DeleteAllLights();
  EXPECT_EQ(h.sys->GetLightCount(), 0);
}

TEST(LightingSystem, GroupsByNameAndIndex) {
  SystemHost h;
  CLightGroup* g = nullptr;
  EXPECT_EQ(h.sys->CreateLightGroup("Chase", &g), 0);
  CLightGroup* same = nullptr;
  EXPECT_EQ(h.sys->CreateLightGroup("chase", &same), 0);
  EXPECT_EQ(same, g);
  EXPECT_EQ(g->system, h.sys);
  h.sys->CreateLightGroup("two", nullptr);
  EXPECT_EQ(h.sys->GetLightGroupCount(), 2);
  EXPECT_EQ(h.sys->GetLightGroupByName("TWO"), h.sys->GetLightGroup(1));
  h.module.host.ClearLog();
  EXPECT_EQ(h.sys->GetLightGroup(2), nullptr);
  EXPECT_TRUE(h.LogHas("[WARNING] CLightingSystem::GetLightGroup: index out of range."));
  h.sys->DeleteLightGroup("CHASE");
  EXPECT_EQ(h.sys->GetLightGroupCount(), 1);
  EXPECT_STREQ(h.sys->GetLightGroup(0)->GetName(), "two");
}

TEST(LightingSystem, QueuedLightsPinTheirSlotAcrossTicks) {
  SystemHost h;
  CLight* sun = h.Light("sun", kLightDirectional, true);
  CLight* lamp = h.Light("lamp", kLightPoint, false);
  h.sys->SetAmbientColor(0xFF102030u);
  h.sys->AddHardwareLight(sun);
  h.sys->AddHardwareLight(sun);  // queued once
  h.sys->AddHardwareLight(lamp);
  h.sys->AddHardwareLight(nullptr);
  EXPECT_EQ(h.sys->pendingHardwareLights.size(), 2u);
  h.sys->Update(16);
  h.sys->ApplyLights();
  EXPECT_TRUE(h.sys->pendingHardwareLights.empty());
  EXPECT_EQ(h.renderer.GetRenderState(139), 0xFF102030u);
  EXPECT_EQ(h.PinnedSlotOf(sun), 0);
  EXPECT_EQ(h.PinnedSlotOf(lamp), 1);
  EXPECT_TRUE(h.renderer.LightEnabled(0));
  EXPECT_FALSE(h.renderer.LightEnabled(1));  // a queued light that is off pins its slot switched off
  ASSERT_NE(h.renderer.Light(0), nullptr);
  EXPECT_EQ(h.renderer.Light(0)->Type, D3DLIGHT_DIRECTIONAL);
  EXPECT_FLOAT_EQ(h.renderer.Light(0)->Diffuse.g, 0.25f);
  EXPECT_FLOAT_EQ(h.renderer.Light(0)->Direction.y, -1.0f);

  // Next tick: the lamp comes on and is queued again; it keeps its slot and the sun's stays.
  lamp->SetActive(true, 0);
  h.sys->Update(16);
  h.sys->AddHardwareLight(lamp);
  h.sys->ApplyLights();
  EXPECT_EQ(h.PinnedSlotOf(lamp), 1);
  EXPECT_EQ(h.PinnedSlotOf(sun), 0);
  EXPECT_TRUE(h.renderer.LightEnabled(1));
  ASSERT_NE(h.renderer.Light(1), nullptr);
  EXPECT_EQ(h.renderer.Light(1)->Type, D3DLIGHT_POINT);
  EXPECT_FLOAT_EQ(h.renderer.Light(1)->Range, lamp->GetRange());

  // A disabled system applies nothing.
  h.sys->SetEnabled(false);
  EXPECT_FALSE(h.sys->IsEnabled());
  lamp->SetActive(false, 0);
  h.sys->AddHardwareLight(lamp);
  h.sys->ApplyLights();
  EXPECT_TRUE(h.renderer.LightEnabled(1));
  h.sys->SetRendererLightingMode();
  EXPECT_EQ(h.renderer.LightingMode(), TRUE);
  h.sys->SetEnabled(true);
  h.sys->SetRendererLightingMode();
  EXPECT_EQ(h.renderer.LightingMode(), FALSE);

  // Unloading gives every slot back.
  h.sys->DeleteAll();
  for (int s = 0; s < 8; ++s) {
    EXPECT_EQ(h.sys->hardwareSlots[s].dynamic, 1);
    EXPECT_EQ(h.sys->hardwareSlots[s].lightIndex, -1);
    EXPECT_FALSE(h.renderer.LightEnabled(static_cast<DWORD>(s)));
  }
}

TEST(LightingSystem, SlotsLentDuringADrawComeBackAndPinnedOnesStay) {
  SystemHost h;
  CLight* sun = h.Light("sun", kLightDirectional, true);
  h.sys->AddHardwareLight(sun);
  h.sys->ApplyLights();
  ASSERT_EQ(h.PinnedSlotOf(sun), 0);

  // One object: its own light record and a tint from a nearby type-7 light.
  const D3DLIGHT8 own = DirectionalRecord(1.0f, 0.0f, 0.0f);
  h.sys->AddHardwareLightRecord(&own);
  h.sys->AddHardwareLightRecord(nullptr);
  CLight* tint = h.Light("tint", kLightTint, true);
  D3DXVECTOR3 at(0.0f, 0.0f, 0.0f);
  tint->SetPosition(&at);
  tint->SetRange(10.0f);
  h.sys->Update(16);
  D3DXVECTOR3 point(3.0f, 4.0f, 0.0f);  // 5 from the tint light
  D3DLIGHT8 influence{};
  ASSERT_TRUE(h.sys->ComputePointInfluence(&point, &influence));
  EXPECT_EQ(h.sys->hardwareSlots[1].lightIndex, 0);  // lent
  EXPECT_EQ(h.sys->hardwareSlots[2].lightIndex, 0);
  EXPECT_TRUE(h.renderer.LightEnabled(1));
  EXPECT_TRUE(h.renderer.LightEnabled(2));
  EXPECT_FLOAT_EQ(h.renderer.Light(1)->Direction.x, 1.0f);
  EXPECT_FLOAT_EQ(h.renderer.Light(2)->Direction.x, 0.5f * 0.6f);

  h.sys->ReleaseAllHardwareLights();
  EXPECT_TRUE(h.renderer.LightEnabled(0));
  EXPECT_FALSE(h.renderer.LightEnabled(1));
  EXPECT_FALSE(h.renderer.LightEnabled(2));
  EXPECT_EQ(h.sys->hardwareSlots[1].lightIndex, -1);
  EXPECT_EQ(h.PinnedSlotOf(sun), 0);

  // A directional record without a direction is never handed to the device.
  const D3DLIGHT8 none = DirectionalRecord(0.0f, 0.0f, 0.0f);
  h.sys->AddHardwareLightRecord(&none);
  EXPECT_EQ(h.sys->hardwareSlots[1].lightIndex, -1);

  // Seven lent slots fill the free ones; an eighth record finds none.
  for (int i = 0; i < 8; ++i) h.sys->AddHardwareLightRecord(&own);
  for (int s = 1; s < 8; ++s) EXPECT_EQ(h.sys->hardwareSlots[s].lightIndex, 0);
  EXPECT_EQ(h.PinnedSlotOf(sun), 0);
  h.sys->ReleaseAllHardwareLights();
}

TEST(LightingSystem, DeletingALightFreesItsPinnedSlotAndItsPlaceInTheQueue) {
  SystemHost h;
  CLight* a = h.Light("a", kLightPoint, true);
  CLight* b = h.Light("b", kLightPoint, true);
  h.sys->AddHardwareLight(a);
  h.sys->AddHardwareLight(b);
  h.sys->ApplyLights();
  ASSERT_EQ(h.PinnedSlotOf(b), 1);
  ASSERT_TRUE(h.renderer.LightEnabled(1));

  h.sys->AddHardwareLight(b);
  h.sys->DeleteLight("b");
  EXPECT_TRUE(h.sys->pendingHardwareLights.empty());  // no pointer to the freed light is left
  EXPECT_EQ(h.sys->hardwareSlots[1].dynamic, 1);
  EXPECT_EQ(h.sys->hardwareSlots[1].lightIndex, -1);
  EXPECT_FALSE(h.renderer.LightEnabled(1));
  h.sys->ApplyLights();  // would read the freed light if it were still queued

  // The freed slot goes to the next light that needs one.
  CLight* c = h.Light("c", kLightSpot, true);
  h.sys->AddHardwareLight(c);
  h.sys->AddHardwareLight(a);
  h.sys->ApplyLights();
  EXPECT_EQ(h.PinnedSlotOf(c), 1);
  EXPECT_EQ(h.PinnedSlotOf(a), 0);
  EXPECT_EQ(h.renderer.Light(1)->Type, D3DLIGHT_SPOT);

  // Deleting every light empties the queue and the pinned slots too.
  h.sys->AddHardwareLight(a);
  h.sys->DeleteAllLights();
  EXPECT_TRUE(h.sys->pendingHardwareLights.empty());
  EXPECT_EQ(h.sys->hardwareSlots[0].dynamic, 1);
  EXPECT_FALSE(h.renderer.LightEnabled(0));
}

TEST(LightingSystem, MoreThanEightQueuedLightsSkipThoseWithoutASlot) {
  SystemHost h;
  std::vector<CLight*> lights;
  for (int i = 0; i < 10; ++i) lights.push_back(h.Light(("l" + std::to_string(i)).c_str(), kLightPoint, true));
  for (CLight* l : lights) h.sys->AddHardwareLight(l);
  h.sys->ApplyLights();
  for (int i = 0; i < 8; ++i) EXPECT_EQ(h.PinnedSlotOf(lights[static_cast<size_t>(i)]), i);
  EXPECT_EQ(h.PinnedSlotOf(lights[8]), -1);
  EXPECT_EQ(h.PinnedSlotOf(lights[9]), -1);
  EXPECT_TRUE(h.sys->pendingHardwareLights.empty());

  // A lent slot is not taken over by a queued light.
  h.sys->DeleteLight("l3");
  const D3DLIGHT8 own = DirectionalRecord(0.0f, 1.0f, 0.0f);
  h.sys->AddHardwareLightRecord(&own);
  EXPECT_EQ(h.sys->hardwareSlots[3].dynamic, 1);
  EXPECT_EQ(h.sys->hardwareSlots[3].lightIndex, 0);
  h.sys->AddHardwareLight(lights[8]);
  h.sys->ApplyLights();
  EXPECT_EQ(h.PinnedSlotOf(lights[8]), -1);
  h.sys->ReleaseAllHardwareLights();
  h.sys->AddHardwareLight(lights[8]);
  h.sys->ApplyLights();
  EXPECT_EQ(h.PinnedSlotOf(lights[8]), 3);
}

TEST(LightingSystem, FillD3DLightByType) {
  SystemHost h;
  CLight* spot = h.Light("spot", kLightSpot, true);
  D3DXVECTOR3 p(1.0f, 2.0f, 3.0f);
  spot->SetPosition(&p);
  spot->SetRange(7.0f);
  spot->SetPhi(0.75f);
  h.sys->Update(16);
  D3DLIGHT8 r{};
  r.Theta = -5.0f;
  ASSERT_TRUE(h.sys->FillD3DLight(spot, &r));
  EXPECT_EQ(r.Type, D3DLIGHT_SPOT);
  EXPECT_FLOAT_EQ(r.Diffuse.r, 0.5f);
  EXPECT_FLOAT_EQ(r.Specular.g, 1.0f);
  EXPECT_FLOAT_EQ(r.Ambient.a, 0.0f);
  EXPECT_FLOAT_EQ(r.Position.z, 3.0f);
  EXPECT_FLOAT_EQ(r.Range, 7.0f);
  EXPECT_FLOAT_EQ(r.Phi, 0.75f);
  EXPECT_FLOAT_EQ(r.Theta, spot->theta);
  EXPECT_FLOAT_EQ(r.Attenuation1, spot->attenuation.y);
  EXPECT_FLOAT_EQ(r.Direction.y, -1.0f);

  D3DLIGHT8 untouched{};
  untouched.Range = 42.0f;
  CLight* point = h.Light("point", kLightPoint, true);
  ASSERT_TRUE(h.sys->FillD3DLight(point, &untouched));
  EXPECT_EQ(untouched.Type, D3DLIGHT_POINT);
  CLight* dir = h.Light("dir", kLightDirectional, true);
  D3DLIGHT8 d{};
  d.Range = 42.0f;
  ASSERT_TRUE(h.sys->FillD3DLight(dir, &d));
  EXPECT_FLOAT_EQ(d.Range, 42.0f);  // members a directional light does not name stay
  CLight* tint = h.Light("tint", kLightTint, true);
  EXPECT_FALSE(h.sys->FillD3DLight(tint, &d));
}

TEST(LightingSystem, PointInfluenceOfTintLights) {
  SystemHost h;
  D3DLIGHT8 out{};
  D3DXVECTOR3 origin(0.0f, 0.0f, 0.0f);
  EXPECT_FALSE(h.sys->ComputePointInfluence(&origin, &out));  // no light at all

  CLight* tint = h.Light("tint", kLightTint, true);
  CLight* off = h.Light("off", kLightTint, false);
  CLight* point = h.Light("point", kLightPoint, true);
  for (CLight* l : {tint, off, point}) {
    l->SetPosition(&origin);
    l->SetRange(10.0f);
  }
  h.sys->Update(16);

  // Exactly at the range: nothing; the record is left as it was.
  out.Range = 99.0f;
  D3DXVECTOR3 edge(10.0f, 0.0f, 0.0f);
  EXPECT_FALSE(h.sys->ComputePointInfluence(&edge, &out));
  EXPECT_FLOAT_EQ(out.Range, 99.0f);

  D3DXVECTOR3 near(0.0f, 0.0f, -2.5f);
  ASSERT_TRUE(h.sys->ComputePointInfluence(&near, &out));
  EXPECT_EQ(out.Type, D3DLIGHT_DIRECTIONAL);
  EXPECT_FLOAT_EQ(out.Range, 0.0f);  // cleared
  EXPECT_FLOAT_EQ(out.Diffuse.r, 0.75f * 0.5f);
  EXPECT_FLOAT_EQ(out.Diffuse.b, 0.75f);
  EXPECT_FLOAT_EQ(out.Diffuse.a, 1.0f);
  EXPECT_FLOAT_EQ(out.Direction.z, -0.75f);
  h.sys->ReleaseAllHardwareLights();

  // At the light's own position there is no direction: the colour counts, the direction term
  // is skipped (no division by zero) and the directionless record is not lent a slot.
  D3DLIGHT8 centre{};
  ASSERT_TRUE(h.sys->ComputePointInfluence(&origin, &centre));
  EXPECT_FLOAT_EQ(centre.Diffuse.b, 1.0f);
  EXPECT_FALSE(std::isnan(centre.Direction.x));
  EXPECT_FLOAT_EQ(centre.Direction.x, 0.0f);
  for (int s = 0; s < 8; ++s) EXPECT_EQ(h.sys->hardwareSlots[s].lightIndex, -1);
}

TEST(LightingSystem, SocketSearch) {
  SystemHost h;
  EXPECT_EQ(h.sys->FindLightBySocket(nullptr), nullptr);  // nothing to continue yet
  CLight* a = h.Light("a", kLightPoint, false);
  CLight* b = h.Light("b", kLightPoint, false);
  CLight* c = h.Light("c", kLightPoint, false);
  EXPECT_EQ(h.sys->FindLightBySocket(nullptr), nullptr);
  a->socketName = "Hand";
  c->socketName = "hand";
  b->socketName = "foot";
  EXPECT_EQ(h.sys->FindLightBySocket("HAND"), a);
  EXPECT_EQ(h.sys->FindLightBySocket(nullptr), c);
  EXPECT_EQ(h.sys->FindLightBySocket(nullptr), nullptr);
  EXPECT_EQ(h.sys->FindLightBySocket(nullptr), nullptr);
  EXPECT_EQ(h.sys->FindLightBySocket("foot"), b);
  EXPECT_EQ(h.sys->FindLightBySocket("none"), nullptr);
  EXPECT_EQ(h.sys->FindLightBySocket(nullptr), nullptr);
}

TEST(LightingSystem, UpdateTicksGroupsBeforeLights) {
  SystemHost h;
  CLight* a = h.Light("a", kLightPoint, false);
  CLightGroup* g = nullptr;
  h.sys->CreateLightGroup("g", &g);
  g->AddLightToStep(0, 0, true);
  g->SetActive(true, 0);  // a single step: fires at the group's first tick
  h.sys->Update(40);
  EXPECT_TRUE(a->IsActive());
  EXPECT_FALSE(g->IsActive());
  // The light was switched on before its own tick: it starts exactly at its start time.
  EXPECT_EQ(a->timeMs, 0);
  EXPECT_TRUE(a->updatedThisFrame);
  EXPECT_TRUE(g->updated);
  h.sys->Update(40);
  EXPECT_EQ(a->timeMs, 40);

  h.sys->SetEnabled(false);
  h.sys->Update(40);
  EXPECT_EQ(a->timeMs, 40);
}

TEST(LightingSystem, CopyLightGroupCopiesStepsAndKeepsReferencesBalanced) {
  SystemHost h;
  CLight* a = h.Light("a", kLightPoint, false);
  CLight* b = h.Light("b", kLightPoint, false);
  CLightGroup* sub = nullptr;
  h.sys->CreateLightGroup("sub", &sub);
  CLightGroup* src = nullptr;
  h.sys->CreateLightGroup("src", &src);
  src->AddLightToStep(0, 0, true);
  src->AddLightToStep(1, 500, false);
  src->AddGroupToStep(0, 500, true);
  src->SetLifeTime(3000);
  src->SetRate(2.0f);

  EXPECT_FALSE(h.sys->CopyLightGroup("x", "missing"));
  EXPECT_FALSE(h.sys->CopyLightGroup("SUB", "src"));
  ASSERT_TRUE(h.sys->CopyLightGroup("copy", "src"));
  CLightGroup* copy = h.sys->GetLightGroupByName("copy");
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->system, h.sys);
  EXPECT_EQ(copy->GetLifeTime(), 3000);
  EXPECT_FLOAT_EQ(copy->GetRate(), 1.0f);  // the life time is copied, the rate is not
  EXPECT_EQ(copy->GetStepCount(), 2);
  int32_t key = 0;
  EXPECT_EQ(copy->GetStep(1, &key), 1);
  EXPECT_EQ(key, 500);
  EXPECT_EQ(copy->GetStepGroupCount(1, &key), 1);
  int32_t index = -1;
  uint8_t on = 9;
  copy->GetStepLight(1, 0, &index, &on);
  EXPECT_EQ(index, b->GetIndex());
  EXPECT_EQ(on, 0);
  EXPECT_EQ(a->groupRefs.size(), 2u);
  EXPECT_EQ(sub->parentRefs.size(), 2u);

  // The source goes; the copy still works and nothing points at the freed group.
  h.sys->DeleteLightGroup("src");
  EXPECT_EQ(a->groupRefs.size(), 1u);
  EXPECT_EQ(a->groupRefs[0].group, copy);
  EXPECT_EQ(sub->parentRefs.size(), 1u);
  copy->SetActive(true, 0);
  h.sys->Update(100);
  h.sys->Update(100);
  EXPECT_TRUE(a->IsActive());
  // Deleting the lights and then unloading leaves no reference to anything freed.
  h.sys->DeleteLight("a");
  EXPECT_EQ(copy->GetStepCount(), 1);
  EXPECT_EQ(copy->GetStep(0, &key), 1);
  EXPECT_EQ(key, 500);
  h.sys->DeleteAll();
  EXPECT_EQ(h.sys->GetLightGroupCount(), 0);
}

TEST(LightingSystem, NameLookupsFollowRenamesAndDeletions) {
  SystemHost h;
  for (int i = 0; i < 5; ++i) h.sys->CreateLight(("L" + std::to_string(i)).c_str(), nullptr);
  h.sys->GetLight(1)->SetName("Renamed");
  EXPECT_EQ(h.sys->GetLightByName("l1"), nullptr);
  EXPECT_EQ(h.sys->GetLightByName("RENAMED"), h.sys->GetLight(1));
  // A second light renamed to a taken name: the first in position order is the one found.
  h.sys->GetLight(3)->SetName("renamed");
  EXPECT_EQ(h.sys->GetLightByName("Renamed"), h.sys->GetLight(1));
  h.sys->DeleteLight("renamed");  // position 1 goes; the last light moves into it
  EXPECT_EQ(h.sys->GetLightByName("renamed"), h.sys->GetLight(3));
  EXPECT_STREQ(h.sys->GetLightByName("l4")->GetName(), "L4");
  EXPECT_EQ(h.sys->GetLight(1), h.sys->GetLightByName("L4"));
  CLight* again = nullptr;
  EXPECT_EQ(h.sys->CreateLight("l0", &again), 0);  // an existing name is reused

  CLightGroup* g = nullptr;
  h.sys->CreateLightGroup("show", &g);
  g->SetName("finale");
  EXPECT_EQ(h.sys->GetLightGroupByName("show"), nullptr);
  EXPECT_EQ(h.sys->GetLightGroupByName("FINALE"), g);
  h.sys->DeleteAll();
  EXPECT_EQ(h.sys->GetLightByName("l0"), nullptr);
  EXPECT_EQ(h.sys->GetLightGroupByName("finale"), nullptr);
}

}  // namespace
