// A character or prop placed in the scene. The table of operations is complete and in its binding
// order, since the recording variant and every caller reach the operations by their place in it.
// The object holds its model in a host "Renderable" and drives it with typed messages; the
// members stand in the order the object's full state is recorded.
#pragma once
#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "d3d8/d3d8types.h"
#include "d3dx8/d3dx8math.h"
#include "frame/component_base.h"
#include "frame/renderable.h"
#include "scene/nav_mesh.h"

class IRenderer;
class IGeometryService;

// Called for each waypoint of a path instead of walking to it (the first argument is 0).
using WaypointCallback = void (*)(int32_t zero, const D3DXVECTOR3* objectPosition,
                                  const D3DXVECTOR3* waypointPosition);

// Effects started together under one name; the ids are those the effect object gave.
struct SceneEffectRecord {
  uint8_t allocator = 0;
  std::vector<int32_t> effectIds;
  int32_t remainingMs = 0;
  std::string name;
};

// A part state that is reset when its time runs out.
struct ScenePartStateRecord {
  std::string part;
  int32_t remainingMs = 0;
};

// An effect asked for while the model was loading; played with the time left once it is ready.
struct PendingEffectRequest {
  std::string name;
  std::string effectList;
  uint32_t startTime = 0;  // timeGetTime when asked
  int32_t durationMs = 0;
  int32_t mode = 0;
};

// A corner of the drawn bounding box.
struct SceneBoxVertex {
  D3DXVECTOR3 position{0.0f, 0.0f, 0.0f};
  uint32_t colour = 0xFFFFFFFFu;
};

// Waits for the renderables of scene objects to finish loading and tells the owning object
// (its OnRenderableComplete) once none is pending.
class SceneObjectCompleteListener final : public IRenderableCompleteListener {
 public:
  SceneObjectCompleteListener() = default;
  void OnNotify(IRenderableInterface* source) override;  // slot 0
  ~SceneObjectCompleteListener() override;               // slot 1

  void Bind(const ComponentHandle* owner);
  // Watches the main renderable of `object`: registers on its interface and keeps it pending.
  void OnComplete(const ComponentHandle* object, uint8_t flag);
  // Unregisters from every pending renderable and forgets them.
  void Reset();

  struct WatchRecord {
    ComponentHandle object;
    uint8_t flag;
  };
  std::vector<ComponentHandle> pending;
  std::vector<WatchRecord> watches;
  ComponentHandle owner{};

 private:
  void Unregister(const ComponentHandle& renderable);
};

// The angle the shine turns by, shared by every object; grows with each GetHeadBillboard.
extern float g_shineSpinAngle;

class CSceneBaseObj : public CComponentBase {
 public:
  CSceneBaseObj();

  bool Init() override;                                                        // slot 0
  void Destroy() override;                                                     // slot 1
  void Execute(uint32_t elapsedMs) override;                                   // slot 2
  // Slots 3-5 are the object's Render, RenderAfterImages and RenderPass3: the scene's passes
  // call them with the frame's elapsed milliseconds.
  void Realize(uint32_t elapsedMs) override;                                   // slot 3
  void RealizeBlend(uint32_t elapsedMs) override;                              // slot 4
  void RealizePost(uint32_t arg) override;                                     // slot 5
  // Slot 10 is the object's OnModelReady.
  uint32_t Slot10(uint32_t cookie) override;                                   // slot 10
  ~CSceneBaseObj() override;                                                   // slot 11

  virtual void SetHeightOffset(float offset);                                  // slot 12
  virtual float GetHeightOffset();                                             // slot 13
  virtual void GetHandNumbers(uint32_t* left, uint32_t* right);                // slot 14
  virtual void UpdateNamePlate();                                              // slot 15
  virtual void SetHandNumbers(uint32_t left, uint32_t right);                  // slot 16
  virtual void SetLinkedHandle(const ComponentHandle* handle);                 // slot 17
  virtual void SetTag(int32_t tag);                                            // slot 18
  virtual int32_t GetTag();                                                    // slot 19
  virtual void Show(bool shown);                                               // slot 20
  virtual bool IsVisible();                                                    // slot 21
  // The renderable's answer to message 400007.
  virtual int SetRenderFlag(uint8_t flag);                                     // slot 22
  virtual void SetPositionAction(const D3DXVECTOR3* position, float yaw, int32_t action);  // slot 23
  virtual void SetTransform(const D3DXMATRIX* transform, int32_t action);     // slot 24
  virtual void SetPositionState(const D3DXVECTOR3* position, float yaw, int32_t action);  // slot 25
  virtual bool PlayAnimationRequest(const char* name, uint8_t loop, float speed, int32_t a, float b, float c,
                                    float d, int32_t e);                       // slot 26
  virtual void MoveTo(float x, float z, float yaw, float moveSpeed, float turnSpeed, int32_t action,
                      int32_t arrivalAction, float targetY);                   // slot 27
  virtual void GetPosition(D3DXVECTOR3* position, float* yaw);                 // slot 28
  virtual ComponentHandle* GetHandle();                                        // slot 29
  virtual ComponentHandle* GetSecondHandle();                                  // slot 30
  virtual void ApplyPosition();                                                // slot 31
  virtual void SetIdleSuppressed(uint8_t suppressed);                          // slot 32
  virtual const uint32_t* GetUserWords();                                      // slot 33
  virtual bool LoadSecondModel(uint32_t objectId, uint8_t flag);               // slot 34
  virtual bool LoadFromIni(uint32_t objectId, uint8_t flag, uint8_t waitForModel, float height);  // slot 35
  virtual void ShowBoundingBox(uint8_t shown);                                 // slot 36
  virtual void SetAlpha(float alpha);                                          // slot 37
  virtual void GetTargetPosition(D3DXVECTOR3* position, float* yaw);           // slot 38
  virtual const char* GetAnimationName();                                      // slot 39
  virtual bool PlayEffect(const char* name, const char* effectList, int32_t durationMs, int32_t mode);  // slot 40
  // True when something was removed.
  virtual bool RemoveEffectsByName(const char* name);                          // slot 41
  virtual void RemoveAllEffects();                                             // slot 42
  virtual bool SetPartState(const char* part, const char* value, int32_t durationMs);  // slot 43
  virtual void ResetPartState(const char* part);                               // slot 44
  virtual bool PlaySound(const char* name);                                    // slot 45
  virtual bool ReturnTrue(uint32_t arg);                                       // slot 46
  virtual void EnableShine();                                                  // slot 47
  virtual void DisableShine();                                                 // slot 48
  virtual int32_t GetChildId(uint32_t index);                                  // slot 49
  virtual void AddChildId(int32_t id);                                         // slot 50
  virtual void RemoveChildId(int32_t id);                                      // slot 51
  virtual uint32_t GetChildCount();                                            // slot 52
  virtual ComponentHandle* GetRootNodeHandle();                                // slot 53
  virtual const D3DXMATRIX* GetHeadMatrix();                                   // slot 54
  virtual bool GetWorldMatrix(D3DXMATRIX* out);                                // slot 55
  virtual const D3DXVECTOR3* GetHeadScreenPos();                               // slot 56
  virtual const D3DXVECTOR3* GetTopScreenPos();                                // slot 57
  virtual float GetScale();                                                    // slot 58
  virtual void SetScale(float scale);                                          // slot 59
  virtual void RegisterAnimationEvents();                                      // slot 60
  // Value C is a light record the scene's passes lend a hardware slot; null for none.
  virtual const D3DLIGHT8* GetUserValueC();                                    // slot 61
  virtual void SetUserValueC(const D3DLIGHT8* light);                          // slot 62
  // The user flag: the scene keeps such an object through unloads and id destruction, and
  // RemoveDeadObjects takes it away.
  virtual uint8_t GetUserFlag();                                               // slot 63
  virtual void SetUserFlag(uint8_t flag);                                      // slot 64
  virtual void SetHidden(uint8_t hidden);                                      // slot 65
  virtual uint8_t IsHidden();                                                  // slot 66
  virtual uint8_t IsAlphaEnabled();                                            // slot 67
  virtual void SetAlphaEnabled(uint8_t enabled);                               // slot 68
  virtual void SetTitle(const wchar_t* text, int32_t font, int32_t offsetY, uint8_t convert);  // slot 69
  virtual const wchar_t* GetTitle();                                           // slot 70
  virtual void SetUserValueA(int32_t value);                                   // slot 71
  virtual int32_t GetUserValueA();                                             // slot 72
  virtual void SetUserValueB(int32_t value);                                   // slot 73
  virtual int32_t GetUserValueB();                                             // slot 74
  virtual bool GetEyeTarget(D3DXVECTOR3* front, D3DXVECTOR3* head);            // slot 75
  virtual void SetEyeTarget(const D3DXVECTOR3* front, const D3DXVECTOR3* head, uint32_t word);  // slot 76
  virtual uint8_t GetSceneRenderFlag();                                        // slot 77
  virtual void SetSceneRenderFlag(uint8_t flag);                               // slot 78
  virtual uint8_t IsMoving();                                                  // slot 79
  virtual void SetTitleVisible(uint8_t visible);                               // slot 80
  virtual bool PlayAnimationSequence(const char** names, int32_t count, float speed, int32_t a, float b,
                                     float c, float d);                        // slot 81
  virtual int32_t GetTitleHalfWidth();                                         // slot 82
  virtual int32_t GetTitleOffsetY();                                           // slot 83
  virtual int32_t GetTitleHalfWidth2();                                        // slot 84
  virtual void SetHighlight(bool on);                                          // slot 85
  virtual void SetHighlightMode(int32_t mode);                                 // slot 86
  virtual void SetName(const char* name);                                      // slot 87
  virtual const char* GetName();                                               // slot 88
  virtual void PlayActiveEffect(int32_t mode);                                 // slot 89
  virtual void StopActiveEffect();                                             // slot 90
  virtual float GetUserFloat();                                                // slot 91
  virtual void SetUserFloat(float value);                                      // slot 92
  virtual void SetUserFlagA(uint8_t flag);                                     // slot 93
  virtual uint8_t GetUserFlagA();                                              // slot 94
  virtual void SetUserFlagB(uint8_t flag);                                     // slot 95
  virtual uint8_t GetUserFlagB();                                              // slot 96
  virtual void Raise(float dy);                                                // slot 97
  virtual void ResetRaise();                                                   // slot 98
  virtual int32_t CreateEffect(const char* name, int32_t mode);                // slot 99
  virtual void RemoveEffect(int32_t id);                                       // slot 100
  virtual void OnRenderableComplete();                                         // slot 101
  virtual void GetHeadCenter(D3DXVECTOR3* centre, uint32_t* word);             // slot 102
  // A ray pick: origin and direction (end minus origin) of the ray; the hit point on true.
  virtual bool HitTest(D3DXVECTOR3* hit, const D3DXVECTOR3* origin, const D3DXVECTOR3* direction,
                       uint8_t precise);                                       // slot 103
  virtual void SetUserWords(const uint32_t* words);                            // slot 104
  virtual void SetObjectFolder(const char* folder);                            // slot 105
  virtual void GetHeadBillboard(D3DXMATRIX* out, uint32_t elapsedMs);          // slot 106
  virtual int32_t GetShineTexture(uint32_t arg);                               // slot 107
  virtual int32_t ReturnMinusOne();                                            // slot 108
  virtual NavPath* GetPathData();                                              // slot 109
  virtual void StopPath();                                                     // slot 110
  virtual void SetPathCallback(WaypointCallback callback, uint32_t context);   // slot 111
  virtual void RefreshLighting();                                              // slot 112
  virtual uint32_t ForwardToRenderable(uint32_t value);                        // slot 113
  virtual void SetAdjustHeight(float adjust);                                  // slot 114

  // How many times any object's user words were set since the module loaded; a scene's index of
  // its objects by their words compares it with the count it was built at.
  static uint64_t UserWordsChanges();

  // The operations the table's slots stand for and the steps they share; not in the table.
  void Render(uint32_t elapsedMs);             // slot 3
  void RenderAfterImages(uint32_t elapsedMs);  // slot 4
  void RenderPass3(uint32_t arg);              // slot 5
  void OnModelReady(uint32_t cookie);          // slot 10
  // 400003 with (x, y + height offset, z) and (0, yaw, 0).
  void SendTransform(float x, float y, float z, float yaw);
  // Turns and steps toward the walk target for dt milliseconds; true once arrived.
  bool StepTowardTarget(uint32_t dt);
  // Moves the current waypoint on by one (`step`) and then past every waypoint that a straight
  // walk makes needless.
  void AdvanceWaypoint(bool step);
  // The end of every placement: the action's animation when the action changes (its two
  // floats `cd`), and no walk or idle left.
  void TakePlacedAction(int32_t newAction, float cd);
  // Walks to the current waypoint, or hands it to the waypoint callback.
  void HeadForWaypoint();
  bool PlayAnimation(const char* name, uint8_t loop, float speed, int32_t a, float b, float c, float d, int32_t e);
  // Sets, replaces or clears (value null) a parameter of a renderable's table; the item's index.
  int32_t SetRenderableParameter(RenderableParameterTable* table, uint32_t keyId, const char* value);
  // Makes the hand model of one side "xxxx0NN" (left) or "xxxx1NN" (right) from the first four
  // characters of "lhandModel" / "rhandModel" and the number; false when nothing was written.
  // `apply` lets the renderable take its table at once.
  bool ChangeHandModel(bool left, uint32_t number, bool apply);
  void DrawBoundingBox();
  // The hand change an "lhand", "rhand" or "lrhand" event asks for: the side's hand model
  // becomes the stem of its current value and `number`; the renderable is not told yet.
  enum class HandChange { Written, Ended };
  HandChange ChangeHandNow(bool left, const char* number, const char* event);
  // The renderable's slot 10 with the object's cookie: it takes its parameter table.
  void ApplyRenderableParameters();
  // 600002 for each effect of the record.
  void RemoveEffectIds(const SceneEffectRecord& record);
  // Plays the effects asked for while the model loaded; the queue ends empty.
  void ReplayPendingEffects();
  // The "afterImage" event's tokens in order (interval, ring count, start alpha, duration,
  // colour; null where the event has none), from the animation and controller that sent it. The
  // duration is milliseconds, or "P%" of the length of the animation the controller plays (its
  // length in seconds over its speed and the animation's time scale). Starts an after-image run;
  // an event short of a token changes nothing.
  void ApplyAfterImageSettings(IAnimation* animation, int32_t controller, const char* const tokens[5]);
  // True when the after-image buffers exist and were made for `skeleton`'s bone count.
  bool AfterImageBuffersFit(IRenderableSkeleton* skeleton) const;
  // A world point on screen through the renderer's viewport, projection and view.
  D3DXVECTOR3 ProjectToScreen(const D3DXVECTOR3& point) const;
  // Callbacks the renderable calls; `context` is the object itself (the self pointer that
  // LoadFromIni and RegisterAnimationEvents hand the renderable).
  static void OnRenderableEvent(void* context, IAnimation* animation, int32_t x, int32_t y, int32_t code);
  static void ProcessAnimationEvent(void* context, IAnimation* animation, int32_t controller, const char* text);

  // Resolving the object's host objects; null when they are gone.
  IRenderableObject* ResolveRenderable(const ComponentHandle& handle) const;
  IRenderableInterface* QueryInterface(const ComponentHandle& renderable) const;
  // 400006 for the root node into `out` (cleared first); the node when it resolves.
  IRenderableNode* FindRootNode(ComponentHandle* out) const;

  // Members in the order the object's state is laid out; defaults after construction and Init.
  // Written by the scene's main and blended passes.
  D3DLIGHT8 influenceLight{};
  uint8_t influenceReached = 0;
  D3DLIGHT8 ownLight{};
  uint8_t hasOwnLight = 0;
  float sortKey = 0.0f;

  uint8_t titleEnabled = 1;
  float scale = 1.0f;
  uint8_t sceneRenderFlag = 1;
  D3DXVECTOR3 frontPoint{0.0f, 0.0f, 0.0f};  // the eye pair: 1.5 units in front of the head
  D3DXVECTOR3 headPoint{0.0f, 0.0f, 0.0f};
  uint32_t eyeWord = 0;
  int32_t userValueA = -1;
  int32_t userValueB = 0;
  int32_t titleHalfWidth = 0;
  int32_t titleOffsetY = 0;
  int32_t titleFont = -1;  // -1: no title
  std::wstring titleText;
  std::wstring displayText;  // the title after the code-page round trip
  uint8_t hidden = 0;
  uint8_t userFlag = 0;
  int32_t tag = -1;
  const D3DLIGHT8* userValueC = nullptr;
  IGeometryService* geometryService = nullptr;
  uint32_t userWords[2] = {0, 0};
  std::vector<SceneEffectRecord> timedEffects;
  std::vector<SceneEffectRecord> keptEffects;  // effects started with mode -1
  std::vector<ScenePartStateRecord> timedPartStates;
  int32_t objectId = -1;
  IRenderer* renderer = nullptr;

  // Placement, animation and hands.
  D3DXVECTOR3 position{0.0f, 0.0f, 0.0f};
  float pitch = 0.0f;
  float yaw = 0.0f;  // radians in [0, 2pi)
  float roll = 0.0f;
  int32_t action = -1;
  int32_t idleDelay = 0;  // ms before the idle animation is played
  char idleAnimationName[256] = {};
  uint8_t idleSuppressed = 0;
  uint8_t moving = 0;
  int32_t walkAction = -1;
  int32_t arrivalAction = -1;  // played on arrival when 0 or more
  uint8_t sequencePending = 0;
  int32_t sequenceIndex = -1;
  int32_t sequenceCount = 0;
  char sequenceNames[8][128] = {};
  uint8_t leftHandPending = 0;
  uint8_t rightHandPending = 0;

  // After-images.
  int32_t storedCount = 0;
  int32_t ringCount = 0;
  int32_t captureTimer = 0;  // ms; 99999999: until the animation ends
  float fadeRate = 0.0f;     // alpha lost per millisecond
  float startAlpha = 0.0f;
  int32_t ringIndex = 0;
  int32_t captureInterval = 0;
  int32_t captureCountdown = 0;
  uint32_t afterImageColour = 0;
  uint8_t unlimited = 0;

  ComponentHandle renderableHandle{};
  ComponentHandle secondRenderableHandle{};
  ComponentHandle effectObjectHandle{};  // the host's "ActiveEffect"
  ComponentHandle rootNodeCopy{};
  ComponentHandle linkedHandle{};
  CSceneBaseObj* self = this;  // context of the renderable's callbacks
  std::string objectFolder;    // empty: "resource\ini\objects"

  SceneBoxVertex boxVertices[8];
  uint16_t boxEdges[24] = {};
  std::string animationName;
  std::vector<int32_t> childIds;
  ComponentHandle rootNodeHandle{};
  ComponentHandle secondRootHandle{};
  ComponentHandle linkedRootHandle{};
  uint8_t waitingForModel = 0;
  D3DXMATRIX headBoneMatrix;   // identity
  D3DXMATRIX headWorldMatrix;  // identity
  int32_t headBoneIndex = -1;

  // Walking.
  D3DXVECTOR3 walkTarget{0.0f, 0.0f, 0.0f};
  float moveSpeed = 3.0f;  // units per millisecond while walking
  float savedMoveSpeed = 3.0f;
  float targetYaw = 0.0f;
  float turnSpeed = 3.14f;  // radians per millisecond
  uint8_t shown = 0;
  float heightOffset = 0.0f;  // added to y in every transform message
  uint32_t leftHandNumber = 0;
  uint32_t rightHandNumber = 0;
  int32_t placedAction = 0;
  uint8_t boundingBoxShown = 0;
  int32_t spareIds[2] = {-1, -1};

  int shineTexture = -1;  // "shine001.tga" while shine is enabled
  D3DXMATRIX shineMatrix;  // identity
  uint8_t headPointDirty = 1;
  uint8_t topPointDirty = 1;
  uint8_t secondDirty = 1;
  D3DXVECTOR3 headScreenPoint{0.0f, 0.0f, 0.0f};
  D3DXVECTOR3 topScreenPoint{0.0f, 0.0f, 0.0f};
  float modelHeight = 0.0f;
  float adjustH = 0.0f;  // height adjustment of the current animation
  uint8_t alphaEnabled = 1;
  uint8_t baseModel = 0;  // the renderable's first part is "baseModel"
  uint8_t spare = 0;

  NavPath path;
  std::list<NavWaypoint>::iterator currentWaypoint;  // path.waypoints.end(): none
  WaypointCallback waypointCallback = nullptr;

  void* boneBuffers[16] = {};  // 16-byte aligned copies of the bone matrices
  D3DXMATRIX afterImageWorld[16];  // identity
  float afterImageAlpha[16];       // 1.0
  int32_t bytesPerBuffer = 0;      // bone count x 64
  int wireframeEffect = 0;
  int afterImageEffect = 0;
  int32_t highlightMode = 0;  // 0..5
  SceneObjectCompleteListener completeListener;
  std::vector<PendingEffectRequest> pendingEffects;
  uint8_t userFlagA = 1;
  uint8_t userFlagB = 1;
  std::string name;
  int32_t activeEffectId = -1;
  float userFloat = 0.0f;
  float raiseTotal = 0.0f;  // the sum of Raise amounts
};
