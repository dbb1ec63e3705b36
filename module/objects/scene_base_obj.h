// A character or prop placed in the scene. The table of operations is complete and in its binding
// order, since the recording variant and every caller reach the operations by their place in it.
// What stands here is what the scene system reads and writes of an object: the lights and sort key
// its passes fill, the caller's id pair, the user flag and the object folder. Loading, movement,
// animation, effects and drawing come with the scene objects themselves; until then those
// operations answer neutrally (false, 0, null, nothing).
#pragma once
#include <cstdint>
#include <string>

#include "d3d8/d3d8types.h"
#include "d3dx8/d3dx8math.h"
#include "frame/component_base.h"

struct NavPath;

// Called for each waypoint of a path instead of walking to it.
using WaypointCallback = void (*)(uint32_t context, const D3DXVECTOR3* point);

class CSceneBaseObj : public CComponentBase {
 public:
  CSceneBaseObj();
  ~CSceneBaseObj() override;  // slot 11

  // Slots 0-11 are the component's: 3-5 are the object's Render, RenderAfterImages and
  // RenderPass3, 10 its OnModelReady; they keep the component defaults until objects draw.

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
  virtual void SetRenderFlag(uint8_t flag);                                    // slot 22
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
  virtual void RemoveEffectsByName(const char* name);                          // slot 41
  virtual void RemoveAllEffects();                                             // slot 42
  virtual void SetPartState(const char* part, const char* value, int32_t durationMs);  // slot 43
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
  // Value C holds a light record (a D3DLIGHT8) the scene's passes lend a hardware slot, or 0.
  virtual intptr_t GetUserValueC();                                            // slot 61
  virtual void SetUserValueC(intptr_t value);                                  // slot 62
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

  // Written by the scene's main and blended passes.
  D3DLIGHT8 influenceLight{};
  uint8_t influenceReached = 0;
  D3DLIGHT8 ownLight{};
  uint8_t hasOwnLight = 0;
  float sortKey = 0.0f;

  uint8_t userFlag = 0;
  uint32_t userWords[2] = {0, 0};
  std::string objectFolder;  // empty: "resource\ini\objects"
};
