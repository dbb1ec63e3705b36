// Light groups: steps in key order, the cycle and its schedules, nesting, and the references
// that keep groups and lights consistent as either side goes.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "host/renderer.h"
#include "lighting/light.h"
#include "lighting/light_group.h"
#include "lighting/lighting_system.h"
#include "support/module_host.h"

namespace {

struct GroupHost {
  testing_support::ModuleHost module;
  host::Renderer renderer;
  CLightingSystem* sys = nullptr;

  GroupHost() {
    module.host.AddService("dx8render", static_cast<IRenderer*>(&renderer));
    sys = CLightingSystem::NewArray(1);
    sys->Init(nullptr);
  }
  ~GroupHost() {
    CLightingSystem::DeleteArray(sys);
    EXPECT_EQ(module.host.Allocator().LiveBlocks(), 0u);
  }

  CLight* Light(const char* name) {
    CLight* light = nullptr;
    sys->CreateLight(name, &light);
    light->SetType(kLightPoint);
    return light;
  }
  CLightGroup* Group(const char* name) {
    CLightGroup* group = nullptr;
    sys->CreateLightGroup(name, &group);
    return group;
  }
  int32_t Pos(CLight* light) const {
    for (size_t i = 0; i < sys->lights.size(); ++i)
      if (sys->lights[i] == light) return static_cast<int32_t>(i);
    return -1;
  }
  int32_t Pos(CLightGroup* group) const {
    for (size_t i = 0; i < sys->groups.size(); ++i)
      if (sys->groups[i] == group) return static_cast<int32_t>(i);
    return -1;
  }
  bool LogHas(const std::string& text) const {
    for (const auto& line : module.host.LogLines())
      if (line.find(text) != std::string::npos) return true;
    return false;
  }
};

std::vector<int32_t> Keys(CLightGroup* g) {
  std::vector<int32_t> keys;
  for (int32_t i = 0; i < g->GetStepCount(); ++i) {
    int32_t key = 0;
    g->GetStep(i, &key);
    keys.push_back(key);
  }
  return keys;
}

// Runs one tick and tells, per light, the start time it was switched on at in that tick (-1:
// not switched on). Every light is switched off again afterwards, so that each switch of the
// next tick shows.
struct Switches {
  GroupHost& h;
  std::vector<CLight*> lights;
  std::vector<int32_t> Tick(int32_t ms) {
    h.sys->Update(ms);
    std::vector<int32_t> out;
    for (CLight* l : lights) {
      out.push_back(l->IsActive() ? l->timeMs : -1);
      l->SetActive(false, -1);
    }
    return out;
  }
};

using V = std::vector<int32_t>;

TEST(LightGroup, StepsStayInKeyOrderAndEntriesAreUnique) {
  GroupHost h;
  CLight* a = h.Light("a");
  CLight* b = h.Light("b");
  CLightGroup* g = h.Group("g");
  g->AddLightToStep(h.Pos(a), 0, true);
  g->AddLightToStep(h.Pos(a), 100, true);
  g->AddLightToStep(h.Pos(a), 200, true);
  g->AddLightToStep(h.Pos(b), 50, true);
  EXPECT_EQ(Keys(g), (V{0, 50, 100, 200}));
  g->AddLightToStep(h.Pos(a), 50, false);
  g->AddLightToStep(h.Pos(a), 50, true);  // listed already: the first switch stays
  int32_t key = 0;
  EXPECT_EQ(g->GetStep(1, &key), 2);
  int32_t index = -1;
  uint8_t on = 7;
  g->GetStepLight(1, 1, &index, &on);
  EXPECT_EQ(index, a->GetIndex());
  EXPECT_EQ(on, 0);
  ASSERT_EQ(a->groupRefs.size(), 1u);
  EXPECT_EQ(a->groupRefs[0].count, 4);

  // Out of range: -1 and no entries.
  g->GetStepLight(9, 0, &index, &on);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(on, 0);
  g->GetStepLight(0, 5, &index, &on);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(g->GetStep(-1, &key), 0);
  EXPECT_EQ(key, -1);
  EXPECT_EQ(g->GetStepGroupCount(4, &key), 0);
  g->GetStepGroup(0, 0, &index, &on);
  EXPECT_EQ(index, -1);

  // An unknown light index: the lighting system's warning and no change.
  h.module.host.ClearLog();
  g->AddLightToStep(17, 300, true);
  EXPECT_TRUE(h.LogHas("[WARNING] CLightingSystem::GetLight: index out of range."));
  EXPECT_EQ(g->GetStepCount(), 4);
}

TEST(LightGroup, SortedStepsFireOverTheirWholeCycle) {
  // Keys 0, 100, 200 and then 50: the cycle is 200 and every step comes round.
  GroupHost h;
  CLight* a = h.Light("a");
  CLight* b = h.Light("b");
  CLight* c = h.Light("c");
  CLight* d = h.Light("d");
  CLightGroup* g = h.Group("g");
  g->AddLightToStep(h.Pos(a), 0, true);
  g->AddLightToStep(h.Pos(b), 100, true);
  g->AddLightToStep(h.Pos(c), 200, true);
  g->AddLightToStep(h.Pos(d), 50, true);
  h.sys->Update(0);
  g->SetActive(true, 0);
  Switches s{h, {a, b, c, d}};
  EXPECT_EQ(s.Tick(50), (V{-1, -1, -1, 0}));
  EXPECT_EQ(s.Tick(50), (V{-1, 0, -1, -1}));
  EXPECT_EQ(s.Tick(50), (V{-1, -1, -1, -1}));
  EXPECT_EQ(s.Tick(50), (V{0, -1, -1, -1}));  // clock 200: t 0, the start of the next cycle
  EXPECT_EQ(s.Tick(50), (V{-1, -1, -1, 0}));
  EXPECT_EQ(s.Tick(70), (V{-1, 20, -1, -1}));  // clock 320: t 120
}

TEST(LightGroup, WorkedScheduleWithHundredMillisecondTicks) {
  GroupHost h;
  CLight* a = h.Light("a");
  CLight* b = h.Light("b");
  CLight* c = h.Light("c");
  CLightGroup* g = h.Group("g");
  g->AddLightToStep(h.Pos(c), 1000, true);
  g->AddLightToStep(h.Pos(a), 0, true);
  g->AddLightToStep(h.Pos(b), 500, true);
  h.sys->Update(16);      // the group's own tick of this frame is over...
  g->SetActive(true, 0);  // ...so no tick is skipped
  EXPECT_FALSE(g->skipOnce);
  Switches s{h, {a, b, c}};
  std::vector<V> seen;
  for (int i = 0; i < 21; ++i) seen.push_back(s.Tick(100));
  EXPECT_EQ(seen[0], (V{100, -1, -1}));   // clock 100: step 0 at offset 100
  EXPECT_EQ(seen[1], (V{-1, -1, -1}));
  EXPECT_EQ(seen[4], (V{-1, 0, -1}));     // clock 500: exact hit on step 1
  EXPECT_EQ(seen[9], (V{0, -1, -1}));     // clock 1000: t 0, exact hit on step 0...
  EXPECT_EQ(seen[10], (V{-1, -1, -1}));   // ...and the step keyed 1000 is not applied
  EXPECT_EQ(seen[14], (V{-1, 0, -1}));
  EXPECT_EQ(seen[19], (V{0, -1, -1}));
  for (const V& v : seen) EXPECT_EQ(v[2], -1);
  EXPECT_EQ(g->clock, 2100);
}

// Ticks are capped at 100 ms, so the group's clock moves 150 ms a tick at rate 1.5.
TEST(LightGroup, WorkedScheduleWithHundredFiftyMillisecondSteps) {
  GroupHost h;
  CLight* a = h.Light("a");
  CLight* b = h.Light("b");
  CLight* c = h.Light("c");
  CLightGroup* g = h.Group("g");
  g->AddLightToStep(h.Pos(a), 0, true);
  g->AddLightToStep(h.Pos(b), 500, true);
  g->AddLightToStep(h.Pos(c), 1000, true);
  g->SetRate(1.5f);
  h.sys->Update(16);
  g->SetActive(true, 0);
  Switches s{h, {a, b, c}};
  std::vector<V> seen;
  for (int i = 0; i < 14; ++i) seen.push_back(s.Tick(150));  // 150 ms, capped at 100
  EXPECT_EQ(seen[0], (V{150, -1, -1}));   // clock 150
  EXPECT_EQ(seen[1], (V{-1, -1, -1}));
  EXPECT_EQ(seen[3], (V{-1, 100, -1}));   // clock 600: step 1 passed 100 ms ago
  EXPECT_EQ(seen[6], (V{50, -1, 50}));    // clock 1050 (t 50): step 1000, then step 0
  EXPECT_EQ(seen[7], (V{-1, -1, -1}));
  EXPECT_EQ(seen[9], (V{-1, 0, -1}));     // clock 1500
  EXPECT_EQ(seen[13], (V{100, -1, 100}));  // clock 2100 (t 100)
  EXPECT_EQ(g->currentStep, 0);
}

TEST(LightGroup, ElapsedIsCappedAndScaledByRate) {
  GroupHost h;
  CLight* a = h.Light("a");
  CLightGroup* g = h.Group("g");
  g->AddLightToStep(h.Pos(a), 0, true);
  g->AddLightToStep(h.Pos(a), 10000, false);
  h.sys->Update(0);
  g->SetActive(true, 0);
  h.sys->Update(250);
  EXPECT_EQ(g->clock, 100);
  g->SetRate(0.5f);
  h.sys->Update(250);
  EXPECT_EQ(g->clock, 150);
  h.sys->Update(15);  // 7.5 truncated
  EXPECT_EQ(g->clock, 157);
  g->SetRate(1e30f);  // far beyond the clock's range: held at its end, never undefined
  h.sys->Update(100);
  EXPECT_EQ(g->clock, INT32_MAX);
}

TEST(LightGroup, ParentTickingFirstMakesTheChildSkipItsTickOfThatFrame) {
  for (bool parentFirst : {true, false}) {
    SCOPED_TRACE(parentFirst ? "parent ticks first" : "parent ticks after the child");
    GroupHost h;
    CLight* a = h.Light("a");
    CLightGroup* first = h.Group("first");
    CLightGroup* second = h.Group("second");
    CLightGroup* parent = parentFirst ? first : second;
    CLightGroup* child = parentFirst ? second : first;
    child->AddLightToStep(h.Pos(a), 0, true);
    child->AddLightToStep(h.Pos(a), 1000, false);
    parent->AddGroupToStep(h.Pos(child), 0, true);  // one step: fires once
    h.sys->Update(0);
    parent->SetActive(true, 0);
    h.sys->Update(100);
    EXPECT_FALSE(parent->IsActive());
    EXPECT_TRUE(child->IsActive());
    EXPECT_EQ(child->clock, 0);
    EXPECT_EQ(child->skipOnce, false);  // used up (parent first) or never set (parent after)
    h.sys->Update(100);
    EXPECT_EQ(child->clock, 100);
  }
}

TEST(LightGroup, LifeTimeFreezesTheGroupAndJumpsApplyEverySkippedStep) {
  GroupHost h;
  CLight* a = h.Light("a");
  CLight* b = h.Light("b");
  CLight* c = h.Light("c");
  CLight* d = h.Light("d");
  CLightGroup* g = h.Group("g");
  g->AddLightToStep(h.Pos(a), 0, true);
  g->AddLightToStep(h.Pos(b), 100, true);
  g->AddLightToStep(h.Pos(c), 200, true);
  g->AddLightToStep(h.Pos(d), 1000, true);
  h.sys->Update(0);
  g->SetActive(true, 0);
  g->SetRate(2.5f);
  Switches s{h, {a, b, c, d}};
  EXPECT_EQ(s.Tick(100), (V{250, 150, 50, -1}));  // clock 250: three steps, each its own offset

  g->SetRate(1.0f);
  g->SetLifeTime(300);
  EXPECT_EQ(s.Tick(100), (V{-1, -1, -1, -1}));  // clock 350 > 300: frozen...
  EXPECT_TRUE(g->IsActive());                  // ...but still on
  for (int i = 0; i < 10; ++i) s.Tick(100);
  EXPECT_EQ(g->clock, 1350);
  EXPECT_EQ(g->currentStep, 2);
}

TEST(LightGroup, AtExactlyItsLifeTimeAGroupStillSwitches) {
  GroupHost h;
  CLight* a = h.Light("a");
  CLight* b = h.Light("b");
  CLight* c = h.Light("c");
  CLightGroup* g = h.Group("g");
  g->AddLightToStep(h.Pos(a), 0, true);
  g->AddLightToStep(h.Pos(b), 300, true);
  g->AddLightToStep(h.Pos(c), 1000, true);
  g->SetLifeTime(300);
  h.sys->Update(0);
  g->SetActive(true, 0);
  Switches s{h, {a, b, c}};
  EXPECT_EQ(s.Tick(100), (V{100, -1, -1}));
  EXPECT_EQ(s.Tick(100), (V{-1, -1, -1}));
  EXPECT_EQ(s.Tick(100), (V{-1, 0, -1}));   // clock 300, the life time itself: the step at 300
  EXPECT_EQ(s.Tick(100), (V{-1, -1, -1}));  // clock 400: past it, frozen
  EXPECT_TRUE(g->IsActive());
}

TEST(LightGroup, ACycleOfNoLengthAppliesNothing) {
  GroupHost h;
  CLight* a = h.Light("a");
  CLight* b = h.Light("b");
  CLightGroup* g = h.Group("g");
  g->AddLightToStep(h.Pos(a), -100, true);
  g->AddLightToStep(h.Pos(b), 0, true);
  h.sys->Update(0);
  g->SetActive(true, 0);
  for (int i = 0; i < 5; ++i) h.sys->Update(100);
  EXPECT_FALSE(a->IsActive());
  EXPECT_FALSE(b->IsActive());
  EXPECT_TRUE(g->IsActive());
}

TEST(LightGroup, NestedGroupsSwitchOnAndOffAndTickBeforeSwitchingOff) {
  GroupHost h;
  CLight* a = h.Light("a");
  CLight* b = h.Light("b");
  CLightGroup* outer = h.Group("outer");
  CLightGroup* inner = h.Group("inner");
  inner->AddLightToStep(h.Pos(a), 0, true);
  inner->AddLightToStep(h.Pos(b), 300, true);
  inner->AddLightToStep(h.Pos(a), 600, false);
  outer->AddGroupToStep(h.Pos(inner), 0, true);
  outer->AddGroupToStep(h.Pos(inner), 350, false);
  outer->AddLightToStep(h.Pos(a), 1000, false);
  ASSERT_EQ(inner->parentRefs.size(), 1u);
  EXPECT_EQ(inner->parentRefs[0].count, 2);

  h.sys->Update(0);
  outer->SetActive(true, 0);
  h.sys->Update(100);  // outer: t 100, applies step 0 -> inner on at offset 100
  EXPECT_TRUE(inner->IsActive());
  EXPECT_EQ(inner->clock, 100);
  h.sys->Update(100);  // inner ticks in its own place after outer: t 200
  EXPECT_TRUE(a->IsActive());
  EXPECT_FALSE(b->IsActive());
  h.sys->Update(100);  // outer 300; inner 300: b on
  EXPECT_TRUE(b->IsActive());
  // outer 400 passes 350: inner first ticks once more (to 400), then goes off.
  h.sys->Update(100);
  EXPECT_FALSE(inner->IsActive());
  EXPECT_EQ(inner->clock, 50);  // switched off at the step's offset
  EXPECT_TRUE(a->IsActive());
}

TEST(LightGroup, AGroupCannotContainItself) {
  GroupHost h;
  CLightGroup* a = h.Group("a");
  CLightGroup* b = h.Group("b");
  CLightGroup* c = h.Group("c");
  CLightGroup* d = h.Group("d");
  h.module.host.ClearLog();
  a->AddGroupToStep(h.Pos(a), 0, false);
  EXPECT_EQ(a->GetStepCount(), 0);
  EXPECT_TRUE(h.LogHas("cannot contain itself"));
  a->AddGroupToStep(h.Pos(b), 0, false);
  b->AddGroupToStep(h.Pos(c), 0, false);
  c->AddGroupToStep(h.Pos(a), 0, false);  // a -> b -> c -> a
  EXPECT_EQ(c->GetStepCount(), 0);
  EXPECT_TRUE(a->parentRefs.empty());
  b->AddGroupToStep(h.Pos(d), 100, true);
  b->ReplaceGroup(h.Pos(d), h.Pos(a));  // would make b hold a, which holds b
  int32_t index = -1;
  uint8_t on = 0;
  b->GetStepGroup(1, 0, &index, &on);
  EXPECT_EQ(index, d->GetIndex());
  // A diamond is no cycle: d under both b and c is fine.
  c->AddGroupToStep(h.Pos(d), 0, true);
  EXPECT_EQ(c->GetStepCount(), 1);
  EXPECT_EQ(d->parentRefs.size(), 2u);
}

TEST(LightGroup, RemovingAndReplacingKeepBothSidesBalanced) {
  GroupHost h;
  CLight* a = h.Light("a");
  CLight* b = h.Light("b");
  CLight* c = h.Light("c");
  CLightGroup* g = h.Group("g");
  CLightGroup* sub = h.Group("sub");
  g->AddLightToStep(h.Pos(a), 0, true);
  g->AddLightToStep(h.Pos(b), 0, false);
  g->AddLightToStep(h.Pos(a), 500, false);
  g->AddLightToStep(h.Pos(c), 700, true);
  g->AddGroupToStep(h.Pos(sub), 700, true);

  g->RemoveLightFromStep(a, 500);  // the step is left empty and goes
  EXPECT_EQ(Keys(g), (V{0, 700}));
  ASSERT_EQ(a->groupRefs.size(), 1u);
  EXPECT_EQ(a->groupRefs[0].count, 1);
  g->RemoveLightFromStep(a, 123);
  g->RemoveLightFromStep(nullptr, 0);
  EXPECT_EQ(Keys(g), (V{0, 700}));

  // Replacing a with b where the step lists both keeps both entries, each with its switch,
  // and b holds a reference for each.
  g->ReplaceLight(h.Pos(a), h.Pos(b));
  int32_t key = 0;
  EXPECT_EQ(g->GetStep(0, &key), 2);
  int32_t index = -1;
  uint8_t on = 0;
  g->GetStepLight(0, 0, &index, &on);
  EXPECT_EQ(index, b->GetIndex());
  EXPECT_EQ(on, 1);
  g->GetStepLight(0, 1, &index, &on);
  EXPECT_EQ(index, b->GetIndex());
  EXPECT_EQ(on, 0);
  EXPECT_TRUE(a->groupRefs.empty());
  ASSERT_EQ(b->groupRefs.size(), 1u);
  EXPECT_EQ(b->groupRefs[0].count, 2);
  g->ReplaceLight(h.Pos(c), h.Pos(a));
  g->GetStepLight(1, 0, &index, &on);
  EXPECT_EQ(index, a->GetIndex());
  EXPECT_EQ(on, 1);
  EXPECT_TRUE(c->groupRefs.empty());

  // The step at 700 keeps its group entry after its light goes.
  g->RemoveLight(a);
  EXPECT_EQ(Keys(g), (V{0, 700}));
  EXPECT_EQ(g->GetStep(1, &key), 0);
  EXPECT_EQ(g->GetStepGroupCount(1, &key), 1);
  g->RemoveGroup(sub);
  EXPECT_EQ(Keys(g), (V{0}));
  EXPECT_TRUE(sub->parentRefs.empty());
  g->RemoveGroupFromStep(sub, 700);

  // A light deleted through the system leaves every group that listed it.
  g->AddLightToStep(h.Pos(c), 900, true);
  h.sys->DeleteLight("b");
  EXPECT_EQ(Keys(g), (V{900}));
  // A sub-group deleted through the system leaves its parents, and a parent deleted leaves
  // its sub-groups' references.
  g->AddGroupToStep(h.Pos(sub), 900, true);
  CLightGroup* top = h.Group("top");
  top->AddGroupToStep(h.Pos(g), 0, true);
  h.sys->DeleteLightGroup("g");
  EXPECT_EQ(top->GetStepCount(), 0);
  EXPECT_TRUE(sub->parentRefs.empty());
  EXPECT_TRUE(c->groupRefs.empty());
}

TEST(LightGroup, CopiesOfNestedGroupsUnloadWithoutDanglingReferences) {
  GroupHost h;
  CLight* a = h.Light("a");
  CLight* b = h.Light("b");
  CLightGroup* inner = h.Group("inner");
  CLightGroup* outer = h.Group("outer");
  inner->AddLightToStep(h.Pos(a), 0, true);
  inner->AddLightToStep(h.Pos(b), 200, true);
  outer->AddGroupToStep(h.Pos(inner), 0, true);
  outer->AddLightToStep(h.Pos(b), 400, false);
  ASSERT_TRUE(h.sys->CopyLightGroup("outer2", "outer"));
  ASSERT_TRUE(h.sys->CopyLightGroup("inner2", "inner"));
  CLightGroup* outer2 = h.sys->GetLightGroupByName("outer2");
  h.sys->Update(0);
  outer2->SetActive(true, 0);
  for (int i = 0; i < 6; ++i) h.sys->Update(100);
  EXPECT_TRUE(a->IsActive());
  // Each group goes in turn, the copies last; the lights stay behind with no reference.
  h.sys->DeleteLightGroup("outer");
  h.sys->DeleteLightGroup("inner");
  EXPECT_EQ(outer2->GetStepCount(), 1);
  EXPECT_EQ(b->groupRefs.size(), 2u);  // inner2 and outer2
  h.sys->DeleteLightGroup("inner2");
  h.sys->DeleteLightGroup("outer2");
  EXPECT_TRUE(a->groupRefs.empty());
  EXPECT_TRUE(b->groupRefs.empty());
  h.sys->Update(100);
  h.sys->DeleteAll();
}

TEST(LightGroup, AStepKeyedAtTheBottomOfTheClockRangeSwitchesWithAHeldOffset) {
  GroupHost h;
  CLight* early = h.Light("early");
  CLight* late = h.Light("late");
  CLightGroup* g = h.Group("g");
  g->AddLightToStep(h.Pos(early), INT32_MIN, true);
  g->AddLightToStep(h.Pos(late), 1000, true);
  g->SetActive(true, 0);
  h.sys->Update(100);  // skips its first tick: switched on before it
  h.sys->Update(100);  // clock 100: the step keyed INT32_MIN was passed 2^31 + 100 ms ago
  EXPECT_TRUE(early->IsActive());
  EXPECT_EQ(early->timeMs, INT32_MAX);  // held to the clock range
  EXPECT_FALSE(late->IsActive());
}

TEST(LightGroup, NestingStopsAtSixtyFourLevels) {
  GroupHost h;
  std::vector<CLightGroup*> chain;
  for (int i = 0; i < 66; ++i) chain.push_back(h.Group(("g" + std::to_string(i)).c_str()));
  // Top down: g0 lists g1, ..., g62 lists g63 (64 levels); g63 may not list g64.
  for (int i = 0; i < 63; ++i) chain[i]->AddGroupToStep(h.Pos(chain[i + 1]), 0, true);
  EXPECT_FALSE(h.LogHas("nest"));
  chain[63]->AddGroupToStep(h.Pos(chain[64]), 0, true);
  EXPECT_EQ(chain[63]->GetStepCount(), 0);
  EXPECT_TRUE(h.LogHas("[WARNING] CLightGroup::AddGroupToStep: light groups cannot nest more than 64 deep."));
  // A two-level group does not fit under the 63rd level, but replaces it.
  CLightGroup* pair = h.Group("pair");
  CLightGroup* leaf = h.Group("leaf");
  pair->AddGroupToStep(h.Pos(leaf), 0, true);
  chain[62]->AddGroupToStep(h.Pos(pair), 500, true);  // 63 + 2 levels
  EXPECT_EQ(chain[62]->GetStepCount(), 1);
  chain[61]->ReplaceGroup(h.Pos(chain[62]), h.Pos(pair));  // 62 + 2 levels
  EXPECT_EQ(chain[61]->steps[0].groups[0].group, pair);
  chain[60]->ReplaceGroup(h.Pos(chain[61]), h.Pos(chain[63]));  // 61 + 1: allowed
  EXPECT_EQ(chain[60]->steps[0].groups[0].group, chain[63]);
  chain[60]->ReplaceGroup(h.Pos(chain[63]), h.Pos(chain[61]));  // back: 61 + 3
  EXPECT_EQ(chain[60]->steps[0].groups[0].group, chain[61]);
  // One tick runs down the whole chain, g0 .. g61, pair, to leaf (64 levels).
  chain[0]->SetActive(true, 0);
  h.sys->Update(16);
  EXPECT_TRUE(leaf->IsActive());
}

// The nesting counts each group keeps, against a count from scratch over every step of every
// group after each of a long run of random edits; and a group is refused as a sub-group exactly
// when it would then contain its parent.
TEST(LightGroup, NestingCountsStayExactThroughEveryEdit) {
  GroupHost h;
  std::mt19937 random(43);
  auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
  int made = 0;
  auto fresh = [&] { return h.Group(("g" + std::to_string(made++)).c_str()); };
  for (int i = 0; i < 12; ++i) fresh();
  const std::vector<CLightGroup*>& groups = h.sys->groups;
  auto listed = [](const CLightGroup* parent, const CLightGroup* sub) {
    for (const CLightGroup::Step& step : parent->steps)
      for (const CLightGroup::GroupEntry& e : step.groups)
        if (e.group == sub) return true;
    return false;
  };
  std::map<const CLightGroup*, int32_t> belowKnown, aboveKnown;  // from scratch each round
  auto below = [&](auto&& self, const CLightGroup* g) -> int32_t {
    if (belowKnown.count(g) != 0) return belowKnown[g];
    int32_t levels = 1;
    for (const CLightGroup::Step& step : g->steps)
      for (const CLightGroup::GroupEntry& e : step.groups) levels = std::max(levels, self(self, e.group) + 1);
    return belowKnown[g] = levels;
  };
  auto above = [&](auto&& self, const CLightGroup* g) -> int32_t {
    if (aboveKnown.count(g) != 0) return aboveKnown[g];
    int32_t levels = 1;
    for (const CLightGroup* p : groups)
      if (listed(p, g)) levels = std::max(levels, self(self, p) + 1);
    return aboveKnown[g] = levels;
  };
  auto reaches = [&](const CLightGroup* from, const CLightGroup* to) {
    std::vector<const CLightGroup*> pending{from}, seen;
    while (!pending.empty()) {
      const CLightGroup* g = pending.back();
      pending.pop_back();
      if (g == to) return true;
      if (std::find(seen.begin(), seen.end(), g) != seen.end()) continue;
      seen.push_back(g);
      for (const CLightGroup::Step& step : g->steps)
        for (const CLightGroup::GroupEntry& e : step.groups) pending.push_back(e.group);
    }
    return false;
  };
  for (int edit = 0; edit < 3000; ++edit) {
    CLightGroup* a = groups[pick(groups.size())];
    CLightGroup* b = groups[pick(groups.size())];
    const int32_t key = static_cast<int32_t>(pick(3)) * 100;
    switch (pick(10)) {
      case 0:
      case 1:
      case 2:
      case 3: {
        const bool refused = reaches(b, a);
        const size_t entries = a->steps.size();
        a->AddGroupToStep(h.Pos(b), key, pick(2) == 0);
        if (refused) ASSERT_EQ(a->steps.size(), entries) << "a group was let contain itself";
        else ASSERT_TRUE(listed(a, b)) << "a group that does not contain its parent was refused";
        break;
      }
      case 4: a->RemoveGroupFromStep(b, key); break;
      case 5: a->RemoveGroup(b); break;
      case 6: a->ReplaceGroup(h.Pos(b), h.Pos(groups[pick(groups.size())])); break;
      case 7: {
        const std::string name = a->name;
        h.sys->DeleteLightGroup(name.c_str());
        fresh();
        break;
      }
      case 8:
        if (groups.size() < 20) h.sys->CopyLightGroup(("g" + std::to_string(made++)).c_str(), a->name.c_str());
        break;
      default: a->RemoveGroup(b); a->AddGroupToStep(h.Pos(b), key, true); break;
    }
    belowKnown.clear();
    aboveKnown.clear();
    for (const CLightGroup* g : groups) {
      ASSERT_EQ(g->depthBelow, below(below, g)) << "edit " << edit;
      ASSERT_EQ(g->depthAbove, above(above, g)) << "edit " << edit;
    }
  }
}

}  // namespace
