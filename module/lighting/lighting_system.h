// The lighting manager of a scene: it owns the lights and light groups, ticks them, keeps the
// ambient colour, hands out the eight hardware light slots and reads and writes light files.
#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "d3d8/d3d8.h"
#include "d3dx8/d3dx8math.h"

class CLight;
class CLightGroup;
class CSceneSystem;
class IIniFile;
class IRenderer;

class ILightingSystem {
 public:
  virtual ~ILightingSystem() = default;                                            // slot 0
  virtual void SetRendererLightingMode() = 0;                                      // slot 1
  virtual void ResetRendererLightingMode() = 0;                                    // slot 2
  virtual void Update(int32_t elapsedMs) = 0;                                      // slot 3
  virtual void Render(const D3DXVECTOR3* viewer) = 0;                              // slot 4
  virtual uint32_t SetAmbientColor(uint32_t argb) = 0;                             // slot 5
  virtual int32_t Stub6() = 0;                                                     // slot 6
  virtual int32_t CreateLight(const char* name, CLight** out) = 0;                 // slot 7
  virtual CLight* GetLight(uint32_t index) = 0;                                    // slot 8
  virtual CLight* GetLightByName(const char* name) = 0;                            // slot 9
  virtual void DeleteLight(const char* name) = 0;                                  // slot 10
  virtual void DeleteAll() = 0;                                                    // slot 11
  virtual int32_t GetLightCount() = 0;                                             // slot 12
  virtual int32_t CreateLightGroup(const char* name, CLightGroup** out) = 0;       // slot 13
  virtual CLightGroup* GetLightGroup(uint32_t index) = 0;                          // slot 14
  virtual CLightGroup* GetLightGroupByName(const char* name) = 0;                  // slot 15
  virtual void DeleteLightGroup(const char* name) = 0;                             // slot 16
  virtual void DeleteAllLights() = 0;                                              // slot 17
  virtual int32_t GetLightGroupCount() = 0;                                        // slot 18
  virtual bool SetEnabled(bool enabled) = 0;                                       // slot 19
  virtual bool IsEnabled() = 0;                                                    // slot 20
  virtual bool HasActiveSpotLights() = 0;                                          // slot 21
  virtual void AddHardwareLight(CLight* light) = 0;                                // slot 22
  virtual bool CopyLightGroup(const char* newName, const char* sourceName) = 0;    // slot 23
  virtual int32_t Stub24(uint32_t a, uint32_t b) = 0;                              // slot 24
  virtual CLight* FindLightBySocket(const char* socket) = 0;                       // slot 25
  virtual bool SaveToFile(const char* path) = 0;                                   // slot 26
  virtual void LoadFromFile(const char* path) = 0;                                 // slot 27
  virtual void AddHardwareLightRecord(const D3DLIGHT8* record) = 0;                // slot 28
};

class CLightingSystem : public ILightingSystem {
 public:
  CLightingSystem();
  ~CLightingSystem() override;
  CLightingSystem(const CLightingSystem&) = delete;
  CLightingSystem& operator=(const CLightingSystem&) = delete;

  void SetRendererLightingMode() override;
  void ResetRendererLightingMode() override;
  void Update(int32_t elapsedMs) override;
  void Render(const D3DXVECTOR3* viewer) override;
  uint32_t SetAmbientColor(uint32_t argb) override;
  int32_t Stub6() override;
  int32_t CreateLight(const char* name, CLight** out) override;
  CLight* GetLight(uint32_t index) override;
  CLight* GetLightByName(const char* name) override;
  void DeleteLight(const char* name) override;
  void DeleteAll() override;
  int32_t GetLightCount() override;
  int32_t CreateLightGroup(const char* name, CLightGroup** out) override;
  CLightGroup* GetLightGroup(uint32_t index) override;
  CLightGroup* GetLightGroupByName(const char* name) override;
  void DeleteLightGroup(const char* name) override;
  void DeleteAllLights() override;
  int32_t GetLightGroupCount() override;
  bool SetEnabled(bool enabled) override;
  bool IsEnabled() override;
  bool HasActiveSpotLights() override;
  void AddHardwareLight(CLight* light) override;
  bool CopyLightGroup(const char* newName, const char* sourceName) override;
  int32_t Stub24(uint32_t a, uint32_t b) override;
  CLight* FindLightBySocket(const char* socket) override;
  bool SaveToFile(const char* path) override;
  void LoadFromFile(const char* path) override;
  void AddHardwareLightRecord(const D3DLIGHT8* record) override;

  // Fetches the renderer and makes this the current lighting system of the module.
  bool Init(CSceneSystem* scene);
  void ApplyLights();
  void ReleaseAllHardwareLights();
  bool ComputePointInfluence(const D3DXVECTOR3* point, D3DLIGHT8* out);
  bool FillD3DLight(CLight* light, D3DLIGHT8* out);
  void AllocHardwareLight(int32_t lightIndex);
  // One system in a counted host block; DeleteArray destroys and frees it.
  static CLightingSystem* NewArray(uint32_t count);
  static void DeleteArray(CLightingSystem* systems);

  struct HardwareSlot {
    uint8_t dynamic;
    int32_t lightIndex;
  };

  uint32_t ambientColor = 0xFFFFFFFFu;
  bool enabled = true;
  std::vector<CLightGroup*> groups;
  std::vector<CLight*> lights;
  IRenderer* renderer = nullptr;
  HardwareSlot hardwareSlots[8];
  std::vector<CLight*> pendingHardwareLights;
  std::string socketSearchName;
  uint32_t socketSearchIndex = 0;
  int32_t activeSpotCount = 0;
  CSceneSystem* scene = nullptr;
  // Set by the first named socket search: a search without a name continues only after one.
  bool socketSearchStarted = false;

  // Called by a light or group of this system whose name changed, so lookups by name find it.
  void NamesChanged();
  // The position of the first light or group of that name (case ignored), or -1.
  int32_t FindLight(const char* name);
  int32_t FindGroup(const char* name);

 private:
  // Folded name -> the first position that carries it, for lights and for groups. Rebuilt
  // after a deletion or a rename; kept up by creation.
  std::unordered_map<std::string, int32_t> lightNames_;
  std::unordered_map<std::string, int32_t> groupNames_;
  // The largest index handed out since the lights or groups were last emptied.
  int32_t lightIndexHandedOut_ = -1;
  int32_t groupIndexHandedOut_ = -1;

  // The position of an element in its vector, or -1.
  int32_t PositionOfLight(const CLight* light) const;
  int32_t PositionOfGroup(const CLightGroup* group) const;
  // Takes a light out of the queue and gives back (switched off) the slot pinned to it.
  void ForgetHardwareLight(CLight* light);
  // The light file's sections (light_file.cpp).
  void ParseLight(int32_t type, const char* section, IIniFile* ini);
  void ParseLightGroup(const char* section, IIniFile* ini);
};

// The module-wide references that the last CLightingSystem::Init published; cleared when that
// system is destroyed.
extern IRenderer* g_pLightingRenderer;
extern CLightingSystem* g_pLightingSystem;
extern CSceneSystem* g_pLightingScene;
