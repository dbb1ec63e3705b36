#include "lighting/light_group.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <unordered_set>

#include "frame/host_blocks.h"
#include "frame/module_globals.h"
#include "lighting/light.h"
#include "lighting/lighting_system.h"

namespace {

constexpr int32_t kElapsedCap = 100;

// Sub-groups nest at most this deep: a group's tick runs its sub-groups' ticks inside it.
constexpr int kMaxNesting = 64;

// True when `from` is `target` or lists it in a step, directly or through sub-groups. A group on
// the way down to `target` has more levels below it than `target` and fewer above it, so the
// walk leaves every other group alone.
bool Reaches(const CLightGroup* from, const CLightGroup* target) {
  if (from == target) return true;
  auto mayLead = [target](const CLightGroup* g) {
    return g->depthBelow > target->depthBelow && g->depthAbove < target->depthAbove;
  };
  if (!mayLead(from)) return false;
  std::vector<const CLightGroup*> pending{from};
  std::unordered_set<const CLightGroup*> seen{from};
  while (!pending.empty()) {
    const CLightGroup* g = pending.back();
    pending.pop_back();
    for (const CLightGroup::Step& step : g->steps)
      for (const CLightGroup::GroupEntry& e : step.groups) {
        if (e.group == target) return true;
        if (mayLead(e.group) && seen.insert(e.group).second) pending.push_back(e.group);
      }
  }
  return false;
}

// True when listing `sub` in `parent` would chain more than kMaxNesting groups.
bool TooDeep(const CLightGroup* parent, const CLightGroup* sub) {
  return parent->depthAbove + sub->depthBelow > kMaxNesting;
}

// A step's switch offset: how long ago, in milliseconds, a key was passed, held to 32 bits.
int32_t Offset(int64_t ms) {
  return static_cast<int32_t>(std::clamp<int64_t>(ms, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

void Warn(const char* line) {
  if (g_pHost != nullptr) g_pHost->Log("%s", line);
}

}  // namespace

CLightGroup::CLightGroup() = default;

CLightGroup::~CLightGroup() {
  destroying_ = true;
  for (const Step& step : steps) {
    for (const LightEntry& e : step.lights) e.light->RemoveGroupRef(this);
    for (const GroupEntry& e : step.groups) e.group->RemoveParentRef(this);
  }
  steps.clear();
  // Each parent drops every entry that names this group, and with it its record here.
  while (!parentRefs.empty()) {
    CLightGroup* parent = parentRefs.back().parent;
    parent->RemoveGroup(this);
    RemoveParentRefAll(parent);  // in case the parent listed this group in no step
  }
}

CLightGroup* CLightGroup::NewArray(uint32_t count) {
  auto* groups = HostNewArray<CLightGroup>(count);
  if (groups == nullptr) return nullptr;
  const uint32_t n = HostBlockCount(groups);
  for (uint32_t i = 0; i < n; ++i) new (&groups[i]) CLightGroup();
  return groups;
}

void CLightGroup::DeleteArray(CLightGroup* groups) {
  if (groups == nullptr) return;
  const uint32_t n = HostBlockCount(groups);
  for (uint32_t i = 0; i < n; ++i) groups[i].~CLightGroup();
  HostDeleteArray(groups);
}

CLightingSystem* CLightGroup::System() const { return system != nullptr ? system : g_pLightingSystem; }

// ---- Parent references ----------------------------------------------------------------------

void CLightGroup::AddParentRef(CLightGroup* parent) {
  for (ParentRef& r : parentRefs)
    if (r.parent == parent) {
      ++r.count;
      return;
    }
  parentRefs.push_back(ParentRef{parent, 1});
  RaiseDepthAbove(parent->depthAbove + 1);
  parent->RaiseDepthBelow(depthBelow + 1);
}

void CLightGroup::RemoveParentRef(CLightGroup* parent) {
  for (size_t i = 0; i < parentRefs.size(); ++i)
    if (parentRefs[i].parent == parent) {
      if (--parentRefs[i].count <= 0) DropParent(i);
      return;
    }
}

void CLightGroup::RemoveParentRefAll(CLightGroup* parent) {
  for (size_t i = 0; i < parentRefs.size(); ++i)
    if (parentRefs[i].parent == parent) {
      DropParent(i);
      return;
    }
}

void CLightGroup::DropParent(size_t i) {
  const CLightGroup* parent = parentRefs[i].parent;
  parentRefs[i] = parentRefs.back();
  parentRefs.pop_back();
  // Only a parent at the top of the count can lower it.
  if (parent->depthAbove + 1 >= depthAbove) RecountDepthAbove();
}

// ---- Nesting depths -------------------------------------------------------------------------
// Both counts are exact at every moment: a change travels from where an entry came or went to
// every group whose count it changes, and stops where a count stays as it was. Nesting is
// bounded, and so is every walk.

void CLightGroup::RaiseDepthBelow(int32_t levels) {
  if (levels <= depthBelow) return;
  depthBelow = levels;
  for (const ParentRef& r : parentRefs) r.parent->RaiseDepthBelow(levels + 1);
}

void CLightGroup::RaiseDepthAbove(int32_t levels) {
  if (levels <= depthAbove) return;
  depthAbove = levels;
  for (const Step& step : steps)
    for (const GroupEntry& e : step.groups) e.group->RaiseDepthAbove(levels + 1);
}

void CLightGroup::RecountDepthBelow() {
  if (destroying_) return;
  int32_t levels = 1;
  for (const Step& step : steps)
    for (const GroupEntry& e : step.groups) levels = std::max(levels, e.group->depthBelow + 1);
  if (levels == depthBelow) return;
  depthBelow = levels;
  for (const ParentRef& r : parentRefs) r.parent->RecountDepthBelow();
}

void CLightGroup::RecountDepthAbove() {
  if (destroying_) return;
  int32_t levels = 1;
  for (const ParentRef& r : parentRefs) levels = std::max(levels, r.parent->depthAbove + 1);
  if (levels == depthAbove) return;
  depthAbove = levels;
  for (const Step& step : steps)
    for (const GroupEntry& e : step.groups) e.group->RecountDepthAbove();
}

void CLightGroup::DroppedSubGroup(const CLightGroup* group) {
  if (group->depthBelow + 1 >= depthBelow) RecountDepthBelow();
}

// ---- Steps ----------------------------------------------------------------------------------

CLightGroup::Step* CLightGroup::FindStep(int32_t key) {
  if (filling_ != nullptr) {
    const auto found = filling_->find(key);
    return found == filling_->end() ? nullptr : &steps[found->second];
  }
  const auto at = std::lower_bound(steps.begin(), steps.end(), key, [](const Step& s, int32_t k) { return s.key < k; });
  return at != steps.end() && at->key == key ? &*at : nullptr;
}

CLightGroup::Step* CLightGroup::StepForKey(int32_t key) {
  if (Step* found = FindStep(key)) return found;
  if (filling_ != nullptr) {
    filling_->emplace(key, steps.size());
    return &steps.emplace_back(Step{key, {}, {}});
  }
  const auto at = std::lower_bound(steps.begin(), steps.end(), key, [](const Step& s, int32_t k) { return s.key < k; });
  const auto i = static_cast<size_t>(at - steps.begin());
  steps.insert(at, Step{key, {}, {}});
  // The step last applied keeps its identity when a step goes in before it.
  if (currentStep >= static_cast<int32_t>(i)) ++currentStep;
  return &steps[i];
}

void CLightGroup::FillSteps(const std::function<void()>& fill) {
  std::unordered_map<int32_t, size_t> at;
  at.reserve(steps.size());
  for (size_t i = 0; i < steps.size(); ++i) at.emplace(steps[i].key, i);
  const bool hadCurrent = currentStep >= 0 && static_cast<size_t>(currentStep) < steps.size();
  const int32_t currentKey = hadCurrent ? steps[static_cast<size_t>(currentStep)].key : 0;
  filling_ = &at;
  fill();
  filling_ = nullptr;
  // Keys are unique: the order is total.
  std::sort(steps.begin(), steps.end(), [](const Step& a, const Step& b) { return a.key < b.key; });
  if (hadCurrent) currentStep = static_cast<int32_t>(FindStep(currentKey) - steps.data());
}

void CLightGroup::EraseStep(size_t i) {
  steps.erase(steps.begin() + static_cast<std::ptrdiff_t>(i));
  const int32_t at = static_cast<int32_t>(i);
  if (currentStep > at) {
    --currentStep;
  } else if (currentStep == at) {
    // The step before it in the cycle is now the last one in force.
    currentStep = at - 1;
    if (currentStep < 0 && !steps.empty()) currentStep = static_cast<int32_t>(steps.size()) - 1;
  }
  if (steps.empty()) currentStep = -1;
}

void CLightGroup::AddLightToStep(int32_t lightIndex, int32_t key, bool on) {
  CLightingSystem* sys = System();
  if (sys == nullptr) return;
  CLight* light = sys->GetLight(static_cast<uint32_t>(lightIndex));
  if (light == nullptr) return;
  if (const Step* listed = FindStep(key))
    for (const LightEntry& e : listed->lights)
      if (e.light == light) return;  // listed already: its switch stays as it was
  Step* step = StepForKey(key);
  step->lights.push_back(LightEntry{static_cast<uint8_t>(on ? 1 : 0), light});
  light->AddGroupRef(this);
}

void CLightGroup::AddGroupToStep(int32_t groupIndex, int32_t key, bool on) {
  CLightingSystem* sys = System();
  if (sys == nullptr) return;
  CLightGroup* group = sys->GetLightGroup(static_cast<uint32_t>(groupIndex));
  if (group == nullptr) return;
  if (Reaches(group, this)) {
    Warn("[WARNING] CLightGroup::AddGroupToStep: a light group cannot contain itself.");
    return;
  }
  if (TooDeep(this, group)) {
    Warn("[WARNING] CLightGroup::AddGroupToStep: light groups cannot nest more than 64 deep.");
    return;
  }
  if (const Step* listed = FindStep(key))
    for (const GroupEntry& e : listed->groups)
      if (e.group == group) return;
  Step* step = StepForKey(key);
  step->groups.push_back(GroupEntry{static_cast<uint8_t>(on ? 1 : 0), group});
  group->AddParentRef(this);
}

void CLightGroup::GetStepLight(int32_t step, int32_t entry, int32_t* outLightIndex, uint8_t* outOn) {
  int32_t index = -1;
  uint8_t on = 0;
  if (step >= 0 && static_cast<size_t>(step) < steps.size()) {
    const Step& s = steps[static_cast<size_t>(step)];
    if (entry >= 0 && static_cast<size_t>(entry) < s.lights.size()) {
      index = s.lights[static_cast<size_t>(entry)].light->GetIndex();
      on = s.lights[static_cast<size_t>(entry)].on;
    }
  }
  if (outLightIndex != nullptr) *outLightIndex = index;
  if (outOn != nullptr) *outOn = on;
}

void CLightGroup::GetStepGroup(int32_t step, int32_t entry, int32_t* outGroupIndex, uint8_t* outOn) {
  int32_t index = -1;
  uint8_t on = 0;
  if (step >= 0 && static_cast<size_t>(step) < steps.size()) {
    const Step& s = steps[static_cast<size_t>(step)];
    if (entry >= 0 && static_cast<size_t>(entry) < s.groups.size()) {
      index = s.groups[static_cast<size_t>(entry)].group->GetIndex();
      on = s.groups[static_cast<size_t>(entry)].on;
    }
  }
  if (outGroupIndex != nullptr) *outGroupIndex = index;
  if (outOn != nullptr) *outOn = on;
}

int32_t CLightGroup::GetStep(int32_t step, int32_t* outKey) {
  if (step < 0 || static_cast<size_t>(step) >= steps.size()) {
    if (outKey != nullptr) *outKey = -1;
    return 0;
  }
  const Step& s = steps[static_cast<size_t>(step)];
  if (outKey != nullptr) *outKey = s.key;
  return static_cast<int32_t>(s.lights.size());
}

int32_t CLightGroup::GetStepGroupCount(int32_t step, int32_t* outKey) {
  if (step < 0 || static_cast<size_t>(step) >= steps.size()) {
    if (outKey != nullptr) *outKey = -1;
    return 0;
  }
  const Step& s = steps[static_cast<size_t>(step)];
  if (outKey != nullptr) *outKey = s.key;
  return static_cast<int32_t>(s.groups.size());
}

void CLightGroup::RemoveLightFromStep(CLight* light, int32_t key) {
  if (light == nullptr) return;
  for (size_t i = 0; i < steps.size(); ++i) {
    Step& s = steps[i];
    if (s.key != key) continue;
    auto it = std::find_if(s.lights.begin(), s.lights.end(), [&](const LightEntry& e) { return e.light == light; });
    if (it == s.lights.end()) return;
    s.lights.erase(it);
    light->RemoveGroupRef(this);
    if (s.lights.empty() && s.groups.empty()) EraseStep(i);
    return;
  }
}

void CLightGroup::RemoveLight(CLight* light) {
  if (light == nullptr) return;
  for (size_t i = 0; i < steps.size();) {
    Step& s = steps[i];
    s.lights.erase(std::remove_if(s.lights.begin(), s.lights.end(), [&](const LightEntry& e) { return e.light == light; }),
                   s.lights.end());
    if (s.lights.empty() && s.groups.empty()) {
      EraseStep(i);  // the next step moves into this position
    } else {
      ++i;
    }
  }
  light->RemoveGroupRefAll(this);
}

void CLightGroup::RemoveGroupFromStep(CLightGroup* group, int32_t key) {
  if (group == nullptr) return;
  for (size_t i = 0; i < steps.size(); ++i) {
    Step& s = steps[i];
    if (s.key != key) continue;
    auto it = std::find_if(s.groups.begin(), s.groups.end(), [&](const GroupEntry& e) { return e.group == group; });
    if (it == s.groups.end()) return;
    s.groups.erase(it);
    group->RemoveParentRef(this);
    if (s.lights.empty() && s.groups.empty()) EraseStep(i);
    DroppedSubGroup(group);
    return;
  }
}

void CLightGroup::RemoveGroup(CLightGroup* group) {
  if (group == nullptr) return;
  for (size_t i = 0; i < steps.size();) {
    Step& s = steps[i];
    s.groups.erase(std::remove_if(s.groups.begin(), s.groups.end(), [&](const GroupEntry& e) { return e.group == group; }),
                   s.groups.end());
    if (s.lights.empty() && s.groups.empty()) {
      EraseStep(i);
    } else {
      ++i;
    }
  }
  group->RemoveParentRefAll(this);
  DroppedSubGroup(group);
}

void CLightGroup::ReplaceLight(int32_t oldLightIndex, int32_t newLightIndex) {
  CLightingSystem* sys = System();
  if (sys == nullptr) return;
  CLight* oldLight = sys->GetLight(static_cast<uint32_t>(oldLightIndex));
  CLight* newLight = sys->GetLight(static_cast<uint32_t>(newLightIndex));
  if (oldLight == nullptr || newLight == nullptr || oldLight == newLight) return;
  // Every entry keeps its place and switch; a step that listed both lights lists the new one
  // twice, each entry with its own reference.
  for (Step& s : steps)
    for (LightEntry& e : s.lights) {
      if (e.light != oldLight) continue;
      oldLight->RemoveGroupRef(this);
      e.light = newLight;
      newLight->AddGroupRef(this);
    }
}

void CLightGroup::ReplaceGroup(int32_t oldGroupIndex, int32_t newGroupIndex) {
  CLightingSystem* sys = System();
  if (sys == nullptr) return;
  CLightGroup* oldGroup = sys->GetLightGroup(static_cast<uint32_t>(oldGroupIndex));
  CLightGroup* newGroup = sys->GetLightGroup(static_cast<uint32_t>(newGroupIndex));
  if (oldGroup == nullptr || newGroup == nullptr || oldGroup == newGroup) return;
  bool listsOld = false;
  for (const Step& s : steps)
    for (const GroupEntry& e : s.groups) listsOld = listsOld || e.group == oldGroup;
  if (!listsOld) return;
  if (Reaches(newGroup, this)) {
    Warn("[WARNING] CLightGroup::ReplaceGroup: a light group cannot contain itself.");
    return;
  }
  if (TooDeep(this, newGroup)) {
    Warn("[WARNING] CLightGroup::ReplaceGroup: light groups cannot nest more than 64 deep.");
    return;
  }
  for (Step& s : steps)
    for (GroupEntry& e : s.groups) {
      if (e.group != oldGroup) continue;
      e.group = newGroup;
      oldGroup->RemoveParentRef(this);
      newGroup->AddParentRef(this);
    }
  DroppedSubGroup(oldGroup);
}

// ---- Plain fields ---------------------------------------------------------------------------

int32_t CLightGroup::GetIndex() { return index; }

void CLightGroup::SetActive(bool on, int32_t startClock) {
  active = on;
  clock = startClock;
  currentStep = -1;
  if (!updated) skipOnce = true;
}

bool CLightGroup::IsActive() { return active; }
void CLightGroup::SetLifeTime(int32_t ms) { lifeTime = ms; }
int32_t CLightGroup::GetLifeTime() { return lifeTime; }
int32_t CLightGroup::GetStepCount() { return static_cast<int32_t>(steps.size()); }
void CLightGroup::SetName(const char* text) {
  name = text != nullptr ? text : "";
  if (system != nullptr) system->NamesChanged();
}
const char* CLightGroup::GetName() { return name.c_str(); }
void CLightGroup::SetRate(float value) { rate = value; }
float CLightGroup::GetRate() { return rate; }
void CLightGroup::SetRuntimeOnly(bool on) { runtimeOnly = on; }
bool CLightGroup::IsRuntimeOnly() { return runtimeOnly; }

// ---- The tick -------------------------------------------------------------------------------

void CLightGroup::ApplyStep(size_t i, int32_t offset, int32_t elapsed) {
  // Copies: switching a sub-group can run its tick, which never edits this group, but the
  // entries are read after calls into other objects.
  const std::vector<LightEntry> lightEntries = steps[i].lights;
  const std::vector<GroupEntry> groupEntries = steps[i].groups;
  for (const LightEntry& e : lightEntries) e.light->SetActive(e.on != 0, offset);
  for (const GroupEntry& e : groupEntries) {
    if (e.on == 0) e.group->Update(elapsed);
    e.group->SetActive(e.on != 0, offset);
  }
}

void CLightGroup::Update(int32_t elapsedMs) {
  updated = true;
  if (!active || steps.empty()) return;
  if (steps.size() == 1) {
    const std::vector<LightEntry> lightEntries = steps[0].lights;
    const std::vector<GroupEntry> groupEntries = steps[0].groups;
    for (const LightEntry& e : lightEntries) e.light->SetActive(e.on != 0, 0);
    for (const GroupEntry& e : groupEntries) e.group->SetActive(e.on != 0, 0);
    active = false;
    return;
  }
  const int32_t elapsed = std::min(elapsedMs, kElapsedCap);
  if (skipOnce) {
    skipOnce = false;
  } else {
    const double next = static_cast<double>(clock) + static_cast<double>(elapsed) * static_cast<double>(rate);
    constexpr double kMax = static_cast<double>(std::numeric_limits<int32_t>::max());
    constexpr double kMin = static_cast<double>(std::numeric_limits<int32_t>::min());
    clock = std::isnan(next) ? clock : static_cast<int32_t>(std::clamp(std::trunc(next), kMin, kMax));
  }
  // The steps are in key order: the last key is the cycle length.
  const int32_t cycle = steps.back().key;
  if (cycle <= 0) return;
  const int32_t t = clock % cycle;
  if (lifeTime > 0 && clock > lifeTime) return;

  const int32_t count = static_cast<int32_t>(steps.size());
  int32_t stop = count;
  for (int32_t i = 0; i < count; ++i) {
    const int32_t key = steps[static_cast<size_t>(i)].key;
    if (key == t) {
      ApplyStep(static_cast<size_t>(i), 0, elapsed);
      currentStep = i;
      return;
    }
    if (key > t) {
      stop = i;
      break;
    }
  }
  if (stop == count) return;
  int32_t prev = stop - 1;
  if (currentStep < 0) {
    if (prev < 0) return;
  } else if (prev < 0) {
    prev = count - 1;  // t lies before the first key: the previous cycle's last step is in force
  }
  if (prev == currentStep) return;
  // Keys may lie anywhere in the 32-bit range: the offsets are reckoned in 64 bits.
  auto keyOf = [&](int32_t i) { return int64_t{steps[static_cast<size_t>(i)].key}; };
  const int64_t now = t;
  if (prev > currentStep) {
    for (int32_t j = currentStep + 1; j <= prev; ++j) {
      const int64_t key = keyOf(j);
      ApplyStep(static_cast<size_t>(j), Offset(key > now ? cycle - key + now : now - key), elapsed);
    }
  } else {
    int32_t j = (currentStep + 1) % count;
    while (j != prev) {
      const int64_t key = keyOf(j);
      ApplyStep(static_cast<size_t>(j), Offset(j > prev ? cycle - key + now : now - key), elapsed);
      j = (j + 1) % count;
    }
    ApplyStep(static_cast<size_t>(prev), Offset(now - keyOf(prev)), elapsed);
  }
  currentStep = prev;
}
