// One light of a scene: a hardware light (directional, point, spot) or one of the module's own
// kinds (model light, tint-only light, billboard), whose properties are key-frame tracks played on
// the light's own clock.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "d3dx8/d3dx8math.h"
#include "frame/component_handle.h"
#include "lighting/key_tracks.h"

class IAnimation;
class IHostModel;
class IRenderer;
class CSceneSystem;
class CLightHull;
class CLightGroup;
class CLightingSystem;

// Light types.
constexpr int32_t kLightDirectional = 1;
constexpr int32_t kLightPoint = 2;
constexpr int32_t kLightSpot = 3;
constexpr int32_t kLightModel = 4;
constexpr int32_t kLightTint = 7;
constexpr int32_t kLightBillboard = 8;

class ILight {
 public:
  // Position track
  virtual void SetPositionWrap(int32_t mode) = 0;  // slot 0
  virtual int32_t GetPositionWrap() = 0;  // slot 1
  virtual void SetPositionInterpolation(int32_t mode) = 0;  // slot 2
  virtual int32_t GetPositionInterpolation() = 0;  // slot 3
  virtual void SetPositionKeys(const CVec3KeyTrack* source) = 0;  // slot 4
  virtual int32_t AddPositionKey(int32_t timeMs, const D3DXVECTOR3& value) = 0;  // slot 5
  virtual D3DXVECTOR3 GetPositionKey(uint32_t index, int32_t* timeMs) = 0;  // slot 6
  virtual void RemovePositionKey(uint32_t index) = 0;  // slot 7
  virtual uint32_t GetPositionKeyCount() = 0;  // slot 8
  // Color track
  virtual void SetColorWrap(int32_t mode) = 0;  // slot 9
  virtual int32_t GetColorWrap() = 0;  // slot 10
  virtual void SetColorInterpolation(int32_t mode) = 0;  // slot 11
  virtual int32_t GetColorInterpolation() = 0;  // slot 12
  virtual void SetColorKeys(const CColorKeyTrack* source) = 0;  // slot 13
  virtual void AddColorKeyARGB(int32_t timeMs, uint32_t argb) = 0;  // slot 14
  virtual int32_t AddColorKey(int32_t timeMs, const D3DXCOLOR& value) = 0;  // slot 15
  virtual D3DXCOLOR GetColorKey(uint32_t index, int32_t* timeMs) = 0;  // slot 16
  virtual void RemoveColorKey(uint32_t index) = 0;  // slot 17
  virtual uint32_t GetColorKeyCount() = 0;  // slot 18
  // Attenuation track
  virtual void SetAttenuationWrap(int32_t mode) = 0;  // slot 19
  virtual int32_t GetAttenuationWrap() = 0;  // slot 20
  virtual void SetAttenuationInterpolation(int32_t mode) = 0;  // slot 21
  virtual int32_t GetAttenuationInterpolation() = 0;  // slot 22
  virtual void SetAttenuationKeys(const CVec3KeyTrack* source) = 0;  // slot 23
  virtual int32_t AddAttenuationKey(int32_t timeMs, const D3DXVECTOR3& value) = 0;  // slot 24
  virtual D3DXVECTOR3 GetAttenuationKey(uint32_t index, int32_t* timeMs) = 0;  // slot 25
  virtual void RemoveAttenuationKey(uint32_t index) = 0;  // slot 26
  virtual uint32_t GetAttenuationKeyCount() = 0;  // slot 27
  // Direction track
  virtual void SetDirectionWrap(int32_t mode) = 0;  // slot 28
  virtual int32_t GetDirectionWrap() = 0;  // slot 29
  virtual void SetDirectionInterpolation(int32_t mode) = 0;  // slot 30
  virtual int32_t GetDirectionInterpolation() = 0;  // slot 31
  virtual void SetDirectionKeys(const CQuatKeyTrack* source) = 0;  // slot 32
  virtual int32_t AddDirectionKey(int32_t timeMs, const D3DXQUATERNION& value) = 0;  // slot 33
  virtual D3DXQUATERNION GetDirectionKey(uint32_t index, int32_t* timeMs) = 0;  // slot 34
  virtual void RemoveDirectionKey(uint32_t index) = 0;  // slot 35
  virtual uint32_t GetDirectionKeyCount() = 0;  // slot 36
  // Range track
  virtual void SetRangeWrap(int32_t mode) = 0;  // slot 37
  virtual int32_t GetRangeWrap() = 0;  // slot 38
  virtual void SetRangeInterpolation(int32_t mode) = 0;  // slot 39
  virtual int32_t GetRangeInterpolation() = 0;  // slot 40
  virtual void SetRangeKeys(const CFloatKeyTrack* source) = 0;  // slot 41
  virtual int32_t AddRangeKey(int32_t timeMs, float value) = 0;  // slot 42
  virtual float GetRangeKey(uint32_t index, int32_t* timeMs) = 0;  // slot 43
  virtual void RemoveRangeKey(uint32_t index) = 0;  // slot 44
  virtual uint32_t GetRangeKeyCount() = 0;  // slot 45
  // Falloff track
  virtual void SetFalloffWrap(int32_t mode) = 0;  // slot 46
  virtual int32_t GetFalloffWrap() = 0;  // slot 47
  virtual void SetFalloffInterpolation(int32_t mode) = 0;  // slot 48
  virtual int32_t GetFalloffInterpolation() = 0;  // slot 49
  virtual void SetFalloffKeys(const CFloatKeyTrack* source) = 0;  // slot 50
  virtual int32_t AddFalloffKey(int32_t timeMs, float value) = 0;  // slot 51
  virtual float GetFalloffKey(uint32_t index, int32_t* timeMs) = 0;  // slot 52
  virtual void RemoveFalloffKey(uint32_t index) = 0;  // slot 53
  virtual uint32_t GetFalloffKeyCount() = 0;  // slot 54
  // Theta track
  virtual void SetThetaWrap(int32_t mode) = 0;  // slot 55
  virtual int32_t GetThetaWrap() = 0;  // slot 56
  virtual void SetThetaInterpolation(int32_t mode) = 0;  // slot 57
  virtual int32_t GetThetaInterpolation() = 0;  // slot 58
  virtual void SetThetaKeys(const CFloatKeyTrack* source) = 0;  // slot 59
  virtual int32_t AddThetaKey(int32_t timeMs, float value) = 0;  // slot 60
  virtual float GetThetaKey(uint32_t index, int32_t* timeMs) = 0;  // slot 61
  virtual void RemoveThetaKey(uint32_t index) = 0;  // slot 62
  virtual uint32_t GetThetaKeyCount() = 0;  // slot 63
  // Phi track
  virtual void SetPhiWrap(int32_t mode) = 0;  // slot 64
  virtual int32_t GetPhiWrap() = 0;  // slot 65
  virtual void SetPhiInterpolation(int32_t mode) = 0;  // slot 66
  virtual int32_t GetPhiInterpolation() = 0;  // slot 67
  virtual void SetPhiKeys(const CFloatKeyTrack* source) = 0;  // slot 68
  virtual int32_t AddPhiKey(int32_t timeMs, float value) = 0;  // slot 69
  virtual float GetPhiKey(uint32_t index, int32_t* timeMs) = 0;  // slot 70
  virtual void RemovePhiKey(uint32_t index) = 0;  // slot 71
  virtual uint32_t GetPhiKeyCount() = 0;  // slot 72
  // State
  virtual const D3DXVECTOR3* GetPosition() = 0;  // slot 73
  virtual uint32_t GetColorARGB() = 0;  // slot 74
  virtual const D3DXVECTOR4* GetColor() = 0;  // slot 75
  virtual float GetPhi() = 0;  // slot 76
  virtual void SetPhi(float phi) = 0;  // slot 77
  virtual void SetWorldMatrix(const D3DXMATRIX* world) = 0;  // slot 78
  virtual void SetDirection(const D3DXVECTOR3* direction) = 0;  // slot 79
  virtual const D3DXVECTOR3* GetDirection() = 0;  // slot 80
  virtual float GetRange() = 0;  // slot 81
  virtual void SetColor(const D3DXVECTOR4* color) = 0;  // slot 82
  virtual const D3DXMATRIX* GetWorldMatrix() = 0;  // slot 83
  virtual void SetRange(float range) = 0;  // slot 84
  virtual bool SetSpotAndHull(const char* spot, const char* hull) = 0;  // slot 85
  virtual void GetSpotAndHull(const char** spot, const char** hull) = 0;  // slot 86
  virtual bool LoadModel(const char* model, const char* texture, const char* animation) = 0;  // slot 87
  virtual const ComponentHandle* GetModelHandle() = 0;  // slot 88
  virtual void GetModelNames(const char** model, const char** texture, const char** animation) = 0;  // slot 89
  virtual void SetType(int32_t type) = 0;  // slot 90
  virtual int32_t GetType() = 0;  // slot 91
  virtual int GetSpotTexture() = 0;  // slot 92
  virtual bool IsActive() = 0;  // slot 93
  virtual void SetActive(bool on, int32_t startTimeMs) = 0;  // slot 94
  virtual void SetRate(float rate) = 0;  // slot 95
  virtual float GetRate() = 0;  // slot 96
  virtual bool CreateHull(int32_t hullType, int32_t segments, float startRadius, const char* distortionMap) = 0;  // slot 97
  virtual void GetHullParams(int32_t* hullType, int32_t* segments, float* startRadius, const char** distortionMap) = 0;  // slot 98
  virtual int32_t GetIndex() = 0;  // slot 99
  virtual void SetGlobalLight(bool on) = 0;  // slot 100
  virtual bool IsGlobalLight() = 0;  // slot 101
  virtual void SetAlwaysUpdate(bool on) = 0;  // slot 102
  virtual bool IsAlwaysUpdate() = 0;  // slot 103
  virtual void SetInfluenceScene(bool on) = 0;  // slot 104
  virtual void SetLifeTime(int32_t ms) = 0;  // slot 105
  virtual int32_t GetLifeTime() = 0;  // slot 106
  virtual void SetPosition(const D3DXVECTOR3* position) = 0;  // slot 107
  virtual void SetEffect(const char* name) = 0;  // slot 108
  virtual void GetEffect(const char** name) = 0;  // slot 109
  virtual void SetSocket(const char* name) = 0;  // slot 110
  virtual const char* GetSocket() = 0;  // slot 111
  virtual void SetName(const char* name) = 0;  // slot 112
  virtual const char* GetName() = 0;  // slot 113
  virtual void SetRuntimeOnly(bool on) = 0;  // slot 114
  virtual bool IsRuntimeOnly() = 0;  // slot 115
  virtual bool SetDirectionAnimation(const char* controller, const char* animationName) = 0;  // slot 116
  virtual IAnimation* GetDirectionAnimation(const char** controller, const char** animationName) = 0;  // slot 117
  virtual void SetBillboard(const char* name, float scaleSpeed, float rawSize, float magSize) = 0;  // slot 118
  virtual const char* GetBillboard(float* scaleSpeed, float* rawSize, float* magSize) = 0;  // slot 119
  virtual ~ILight() = default;  // slot 120
};

class CLight : public ILight {
 public:
  CLight();
  ~CLight() override;
  CLight(const CLight&) = delete;
  CLight& operator=(const CLight&) = delete;

  void SetPositionWrap(int32_t mode) override;
  int32_t GetPositionWrap() override;
  void SetPositionInterpolation(int32_t mode) override;
  int32_t GetPositionInterpolation() override;
  void SetPositionKeys(const CVec3KeyTrack* source) override;
  int32_t AddPositionKey(int32_t timeMs, const D3DXVECTOR3& value) override;
  D3DXVECTOR3 GetPositionKey(uint32_t index, int32_t* timeMs) override;
  void RemovePositionKey(uint32_t index) override;
  uint32_t GetPositionKeyCount() override;
  void SetColorWrap(int32_t mode) override;
  int32_t GetColorWrap() override;
  void SetColorInterpolation(int32_t mode) override;
  int32_t GetColorInterpolation() override;
  void SetColorKeys(const CColorKeyTrack* source) override;
  void AddColorKeyARGB(int32_t timeMs, uint32_t argb) override;
  int32_t AddColorKey(int32_t timeMs, const D3DXCOLOR& value) override;
  D3DXCOLOR GetColorKey(uint32_t index, int32_t* timeMs) override;
  void RemoveColorKey(uint32_t index) override;
  uint32_t GetColorKeyCount() override;
  void SetAttenuationWrap(int32_t mode) override;
  int32_t GetAttenuationWrap() override;
  void SetAttenuationInterpolation(int32_t mode) override;
  int32_t GetAttenuationInterpolation() override;
  void SetAttenuationKeys(const CVec3KeyTrack* source) override;
  int32_t AddAttenuationKey(int32_t timeMs, const D3DXVECTOR3& value) override;
  D3DXVECTOR3 GetAttenuationKey(uint32_t index, int32_t* timeMs) override;
  void RemoveAttenuationKey(uint32_t index) override;
  uint32_t GetAttenuationKeyCount() override;
  void SetDirectionWrap(int32_t mode) override;
  int32_t GetDirectionWrap() override;
  void SetDirectionInterpolation(int32_t mode) override;
  int32_t GetDirectionInterpolation() override;
  void SetDirectionKeys(const CQuatKeyTrack* source) override;
  int32_t AddDirectionKey(int32_t timeMs, const D3DXQUATERNION& value) override;
  D3DXQUATERNION GetDirectionKey(uint32_t index, int32_t* timeMs) override;
  void RemoveDirectionKey(uint32_t index) override;
  uint32_t GetDirectionKeyCount() override;
  void SetRangeWrap(int32_t mode) override;
  int32_t GetRangeWrap() override;
  void SetRangeInterpolation(int32_t mode) override;
  int32_t GetRangeInterpolation() override;
  void SetRangeKeys(const CFloatKeyTrack* source) override;
  int32_t AddRangeKey(int32_t timeMs, float value) override;
  float GetRangeKey(uint32_t index, int32_t* timeMs) override;
  void RemoveRangeKey(uint32_t index) override;
  uint32_t GetRangeKeyCount() override;
  void SetFalloffWrap(int32_t mode) override;
  int32_t GetFalloffWrap() override;
  void SetFalloffInterpolation(int32_t mode) override;
  int32_t GetFalloffInterpolation() override;
  void SetFalloffKeys(const CFloatKeyTrack* source) override;
  int32_t AddFalloffKey(int32_t timeMs, float value) override;
  float GetFalloffKey(uint32_t index, int32_t* timeMs) override;
  void RemoveFalloffKey(uint32_t index) override;
  uint32_t GetFalloffKeyCount() override;
  void SetThetaWrap(int32_t mode) override;
  int32_t GetThetaWrap() override;
  void SetThetaInterpolation(int32_t mode) override;
  int32_t GetThetaInterpolation() override;
  void SetThetaKeys(const CFloatKeyTrack* source) override;
  int32_t AddThetaKey(int32_t timeMs, float value) override;
  float GetThetaKey(uint32_t index, int32_t* timeMs) override;
  void RemoveThetaKey(uint32_t index) override;
  uint32_t GetThetaKeyCount() override;
  void SetPhiWrap(int32_t mode) override;
  int32_t GetPhiWrap() override;
  void SetPhiInterpolation(int32_t mode) override;
  int32_t GetPhiInterpolation() override;
  void SetPhiKeys(const CFloatKeyTrack* source) override;
  int32_t AddPhiKey(int32_t timeMs, float value) override;
  float GetPhiKey(uint32_t index, int32_t* timeMs) override;
  void RemovePhiKey(uint32_t index) override;
  uint32_t GetPhiKeyCount() override;
  const D3DXVECTOR3* GetPosition() override;
  uint32_t GetColorARGB() override;
  const D3DXVECTOR4* GetColor() override;
  float GetPhi() override;
  void SetPhi(float phi) override;
  void SetWorldMatrix(const D3DXMATRIX* world) override;
  void SetDirection(const D3DXVECTOR3* direction) override;
  const D3DXVECTOR3* GetDirection() override;
  float GetRange() override;
  void SetColor(const D3DXVECTOR4* color) override;
  const D3DXMATRIX* GetWorldMatrix() override;
  void SetRange(float range) override;
  bool SetSpotAndHull(const char* spot, const char* hull) override;
  void GetSpotAndHull(const char** spot, const char** hull) override;
  bool LoadModel(const char* model, const char* texture, const char* animation) override;
  const ComponentHandle* GetModelHandle() override;
  void GetModelNames(const char** model, const char** texture, const char** animation) override;
  void SetType(int32_t type) override;
  int32_t GetType() override;
  int GetSpotTexture() override;
  bool IsActive() override;
  void SetActive(bool on, int32_t startTimeMs) override;
  void SetRate(float rate) override;
  float GetRate() override;
  bool CreateHull(int32_t hullType, int32_t segments, float startRadius, const char* distortionMap) override;
  void GetHullParams(int32_t* hullType, int32_t* segments, float* startRadius, const char** distortionMap) override;
  int32_t GetIndex() override;
  void SetGlobalLight(bool on) override;
  bool IsGlobalLight() override;
  void SetAlwaysUpdate(bool on) override;
  bool IsAlwaysUpdate() override;
  void SetInfluenceScene(bool on) override;
  void SetLifeTime(int32_t ms) override;
  int32_t GetLifeTime() override;
  void SetPosition(const D3DXVECTOR3* position) override;
  void SetEffect(const char* name) override;
  void GetEffect(const char** name) override;
  void SetSocket(const char* name) override;
  const char* GetSocket() override;
  void SetName(const char* name) override;
  const char* GetName() override;
  void SetRuntimeOnly(bool on) override;
  bool IsRuntimeOnly() override;
  bool SetDirectionAnimation(const char* controller, const char* animationName) override;
  IAnimation* GetDirectionAnimation(const char** controller, const char** animationName) override;
  void SetBillboard(const char* name, float scaleSpeed, float rawSize, float magSize) override;
  const char* GetBillboard(float* scaleSpeed, float* rawSize, float* magSize) override;

  // Advances the light's clock and evaluates its tracks (once per tick, from the lighting system).
  void Update(int32_t elapsedMs);
  // Draws the billboard, the model and the beam of an active light.
  void Render(const D3DXVECTOR3* viewer);
  // The groups whose steps list this light, with the number of such entries.
  void AddGroupRef(CLightGroup* group);
  void RemoveGroupRef(CLightGroup* group);
  void RemoveGroupRefAll(CLightGroup* group);
  // Lights live in counted host blocks: count objects (at least one), constructed in order.
  static CLight* NewArray(uint32_t count);
  // Runs the destructor of every element, then frees the block; null is accepted.
  static void DeleteArray(CLight* lights);

  struct GroupRef {
    CLightGroup* group;
    int32_t count;
  };

  // 1. Identity and switches
  int32_t lifeTimeMs = 0;
  int32_t type = 0;
  int spotTexture = -1;
  int hullTexture = -1;
  bool active = false;
  bool runtimeOnly = false;
  float rate = 1.0f;
  // 2. Model
  ComponentHandle model{};
  bool hasModel = false;
  // 3. Tracks
  CVec3KeyTrack positionTrack;
  CColorKeyTrack colorTrack;
  CVec3KeyTrack attenuationTrack;
  CFloatKeyTrack rangeTrack;
  CFloatKeyTrack falloffTrack;
  CFloatKeyTrack thetaTrack;
  CFloatKeyTrack phiTrack;
  CQuatKeyTrack directionTrack;
  // 4. The beam (owned)
  CLightHull* hull = nullptr;
  // 5. Current state
  D3DXVECTOR3 position{0, 0, 0};
  D3DXVECTOR3 direction{0, 0, 0};
  uint32_t colorARGB = 0xFFFFFFFFu;
  D3DXVECTOR4 color{0, 0, 0, 0};
  D3DXVECTOR3 attenuation{0, 1, 0};
  D3DXMATRIX world;  // identity from the constructor
  float range = 15.0f;
  float falloff = 1.0f;
  float theta = 0.1f;
  float phi = 0.1f;
  int32_t index = 0;
  // 6. Flags and clock
  bool globalLight = false;
  bool alwaysUpdate = false;
  bool needsUpdate = false;
  bool influenceScene = false;
  int32_t timeMs = 0;
  // 7. Names
  std::string effectName, socketName, lightSpotName, lightHullName, modelName, name, textureName,
      animationName, distortionMapName;
  // 8. Per-tick flags and the direction animation
  bool skipTimeOnce = false;
  bool updatedThisFrame = false;
  IAnimation* directionAnimation = nullptr;
  std::string directionController, directionAniName;
  // 9.
  D3DXMATRIX socketMatrix;  // identity from the constructor
  // 10. Billboard
  std::string billboardName;
  int billboardTexture = -1;
  float rawSize = 0.0f, magSize = 0.0f, scaleSpeed = 0.0f;
  float phase = 0.0f;
  // 11. Group references
  std::vector<GroupRef> groupRefs;
  // The lighting system that owns the light (the current one when it was made); may be null.
  CLightingSystem* system = nullptr;

 private:
  // The owner's renderer and scene; null without an owner.
  IRenderer* Renderer() const;
  CSceneSystem* Scene() const;
  // The model object while the light has one and it still exists.
  IHostModel* ModelObject() const;
  void ReleaseDirectionAnimation();
  // Switching off, by SetActive or when the life time has passed.
  void SwitchOff();
  void RenderBillboard(IRenderer* renderer);
};
