// A named light sequencer: steps keyed in milliseconds that switch lights and nested groups on
// or off as the group's clock comes round.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

class CLight;
class CLightGroup;
class CLightingSystem;

class ILightGroup {
 public:
  virtual ~ILightGroup() = default;                                                    // slot 0
  virtual int32_t GetIndex() = 0;                                                      // slot 1
  virtual void AddLightToStep(int32_t lightIndex, int32_t key, bool on) = 0;           // slot 2
  virtual void GetStepLight(int32_t step, int32_t entry, int32_t* outLightIndex, uint8_t* outOn) = 0;  // slot 3
  virtual int32_t GetStep(int32_t step, int32_t* outKey) = 0;                          // slot 4
  virtual void RemoveLightFromStep(CLight* light, int32_t key) = 0;                    // slot 5
  virtual void RemoveLight(CLight* light) = 0;                                         // slot 6
  virtual void AddGroupToStep(int32_t groupIndex, int32_t key, bool on) = 0;           // slot 7
  virtual void GetStepGroup(int32_t step, int32_t entry, int32_t* outGroupIndex, uint8_t* outOn) = 0;  // slot 8
  virtual int32_t GetStepGroupCount(int32_t step, int32_t* outKey) = 0;                // slot 9
  virtual void RemoveGroupFromStep(CLightGroup* group, int32_t key) = 0;               // slot 10
  virtual void RemoveGroup(CLightGroup* group) = 0;                                    // slot 11
  virtual void SetActive(bool on, int32_t clock) = 0;                                  // slot 12
  virtual bool IsActive() = 0;                                                         // slot 13
  virtual void SetLifeTime(int32_t ms) = 0;                                            // slot 14
  virtual int32_t GetLifeTime() = 0;                                                   // slot 15
  virtual int32_t GetStepCount() = 0;                                                  // slot 16
  virtual void ReplaceLight(int32_t oldLightIndex, int32_t newLightIndex) = 0;         // slot 17
  virtual void ReplaceGroup(int32_t oldGroupIndex, int32_t newGroupIndex) = 0;         // slot 18
  virtual void SetName(const char* name) = 0;                                          // slot 19
  virtual const char* GetName() = 0;                                                   // slot 20
  virtual void SetRate(float rate) = 0;                                                // slot 21
  virtual float GetRate() = 0;                                                         // slot 22
  virtual void SetRuntimeOnly(bool on) = 0;                                            // slot 23
  virtual bool IsRuntimeOnly() = 0;                                                    // slot 24
};

class CLightGroup : public ILightGroup {
 public:
  CLightGroup();
  ~CLightGroup() override;
  CLightGroup(const CLightGroup&) = delete;
  CLightGroup& operator=(const CLightGroup&) = delete;

  int32_t GetIndex() override;
  void AddLightToStep(int32_t lightIndex, int32_t key, bool on) override;
  void GetStepLight(int32_t step, int32_t entry, int32_t* outLightIndex, uint8_t* outOn) override;
  int32_t GetStep(int32_t step, int32_t* outKey) override;
  void RemoveLightFromStep(CLight* light, int32_t key) override;
  void RemoveLight(CLight* light) override;
  void AddGroupToStep(int32_t groupIndex, int32_t key, bool on) override;
  void GetStepGroup(int32_t step, int32_t entry, int32_t* outGroupIndex, uint8_t* outOn) override;
  int32_t GetStepGroupCount(int32_t step, int32_t* outKey) override;
  void RemoveGroupFromStep(CLightGroup* group, int32_t key) override;
  void RemoveGroup(CLightGroup* group) override;
  void SetActive(bool on, int32_t clock) override;
  bool IsActive() override;
  void SetLifeTime(int32_t ms) override;
  int32_t GetLifeTime() override;
  int32_t GetStepCount() override;
  void ReplaceLight(int32_t oldLightIndex, int32_t newLightIndex) override;
  void ReplaceGroup(int32_t oldGroupIndex, int32_t newGroupIndex) override;
  void SetName(const char* name) override;
  const char* GetName() override;
  void SetRate(float rate) override;
  float GetRate() override;
  void SetRuntimeOnly(bool on) override;
  bool IsRuntimeOnly() override;

  // Runs `fill`, whose AddLightToStep and AddGroupToStep calls on this group act as ever, but
  // with the steps put in key order once at the end rather than at every new key: a file of many
  // keys in any order loads in time near linear in their number. `fill` only adds entries.
  void FillSteps(const std::function<void()>& fill);
  // Advances the clock and applies the steps whose keys it passed (once per tick).
  void Update(int32_t elapsedMs);
  // The groups whose steps list this group, with the number of such entries.
  void AddParentRef(CLightGroup* parent);
  void RemoveParentRef(CLightGroup* parent);
  void RemoveParentRefAll(CLightGroup* parent);
  // Groups live in counted host blocks: count objects (at least one); null when the allocation fails.
  static CLightGroup* NewArray(uint32_t count);
  static void DeleteArray(CLightGroup* groups);

  struct LightEntry {
    uint8_t on;
    CLight* light;
  };
  struct GroupEntry {
    uint8_t on;
    CLightGroup* group;
  };
  struct Step {
    int32_t key;
    std::vector<LightEntry> lights;
    std::vector<GroupEntry> groups;
  };
  struct ParentRef {
    CLightGroup* parent;
    int32_t count;
  };

  std::vector<ParentRef> parentRefs;
  int32_t index = 0;
  std::vector<Step> steps;  // kept sorted by key
  int32_t clock = 0;
  bool active = false;
  int32_t lifeTime = 0;
  int32_t currentStep = -1;
  std::string name;
  bool skipOnce = false;
  float rate = 1.0f;
  bool updated = false;
  bool runtimeOnly = false;
  // Levels of groups from this one down to its deepest sub-group and up to its outermost parent,
  // 1 for none, kept as entries come and go so that the nesting bound costs nothing to check.
  int32_t depthBelow = 1;
  int32_t depthAbove = 1;
  // The lighting system that owns the group (the current one when it was made); may be null.
  CLightingSystem* system = nullptr;

 private:
  // The owning lighting system, or the module's current one for a group made outside a system.
  CLightingSystem* System() const;
  // The step with this key, or null.
  Step* FindStep(int32_t key);
  // The step with this key, inserted in key order when there is none (at the end while filling).
  Step* StepForKey(int32_t key);
  // Erases a step; the index of the step last applied follows the shift.
  void EraseStep(size_t i);
  // Switches what step i lists, `offset` ms after its key was passed.
  void ApplyStep(size_t i, int32_t offset, int32_t elapsed);
  // Keeping depthBelow and depthAbove: raised when an entry comes, recounted when one goes.
  void RaiseDepthBelow(int32_t levels);
  void RaiseDepthAbove(int32_t levels);
  void RecountDepthBelow();
  void RecountDepthAbove();
  void DropParent(size_t i);
  void DroppedSubGroup(const CLightGroup* group);

  bool destroying_ = false;
  // While FillSteps runs: the position of each step by key.
  std::unordered_map<int32_t, size_t>* filling_ = nullptr;
};
