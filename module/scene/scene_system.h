// The dance scene: the component that owns one 3D scene, its model records, the handles of its
// scene objects, its camera, lighting system, flags, projector, gizmo, shadow map, video texture
// managers, fog and weather state, helper points, light sockets and navigation mesh.
//
// The table of operations is binding: the recording variant derives from this class and replaces
// slots by their place. Every slot stands in its place; those whose work comes with a later part
// of the scene (the frame update and the render passes) answer neutrally until then, as the
// README lists.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "d3d8/d3d8types.h"
#include "d3dx8/d3dx8math.h"
#include "frame/component_base.h"
#include "objects/scene_base_obj.h"
#include "scene/debug_gizmo.h"
#include "scene/dynamic_flag_system.h"
#include "scene/scene_object_index.h"
#include "scene/scene_records.h"
#include "scene/shadow_map.h"
#include "scene/texture_projector.h"
#include "video/video_texture_manager.h"

class CBaseCamera;
class CLightingSystem;
class CSceneBaseObj;
class IDirect3DTexture8;
class IGeometryService;
class IHostModel;
class IIniFile;
struct HostModelGeometry;
struct HostModelLight;
struct HostModelNode;
class IRenderer;
class ITerrainEdit;
struct NavMesh;

namespace Playback {
class Recorder;
class Player;
class MovieData;
struct MovieInfo;
}  // namespace Playback
namespace boost {
template <class T>
class shared_ptr;
}  // namespace boost

// Turns a text into the form scene objects show; module-wide, set through slot 126.
using TextConverter = const char* (*)(const char* text);

// What PickScenePoint hands back: the hit point and the picked scene object (null when none).
struct ScenePick {
  float x, y, z;
  CSceneBaseObj* object;
};

// A layer that adds only its own destructor.
class CSceneComponent : public CComponentBase {
 public:
  ~CSceneComponent() override;
};

// The scene as terrain and scene objects see it.
class ISceneSystem : public CSceneComponent {
 public:
  virtual ITerrainEdit* GetTerrain() = 0;                                                            // slot 12
  virtual bool IntersectSegment(const D3DXVECTOR3* start, const D3DXVECTOR3* end, D3DXVECTOR3* hit) = 0;  // slot 13
};

class CSceneSystem : public ISceneSystem {
 public:
  CSceneSystem();
  ~CSceneSystem() override;  // slot 11

  bool Init() override;                      // slot 0
  void Destroy() override;                   // slot 1
  void Execute(uint32_t elapsedMs) override;  // slot 2
  void Realize(uint32_t arg) override;       // slot 3
  void RealizeBlend(uint32_t arg) override;  // slot 4
  void RealizePost(uint32_t arg) override;   // slot 5
  int OnEvent(IEventArgs* args) override;    // slot 6
  // The film player's answers: 0x401 (the film can be opened) and 0x16f0 (the player failed).
  void OnSystemMessage(uint32_t message, uint32_t wParam, uint32_t lParam) override;  // slot 7

  ITerrainEdit* GetTerrain() override;                                                              // slot 12
  bool IntersectSegment(const D3DXVECTOR3* start, const D3DXVECTOR3* end, D3DXVECTOR3* hit) override;  // slot 13
  virtual CLightingSystem* GetLightingSystem();                                                     // slot 14
  virtual uint8_t LoadScene(uint32_t sceneId);                                                      // slot 15
  virtual void UnloadSceneThunk();                                                                  // slot 16
  virtual const char* GetStateString();                                                             // slot 17
  virtual void SetStateString(const char* state, int32_t a, int32_t b);                             // slot 18
  virtual void SendSoundValue(int32_t channel, float value);                                        // slot 19
  virtual void SendSoundCommand(int32_t command);                                                   // slot 20
  virtual uint32_t GetSceneObjectCount();                                                           // slot 21
  virtual CSceneBaseObj* GetSceneObject(uint32_t index);                                            // slot 22
  virtual bool RemoveSceneObjectAt(uint32_t index);                                                 // slot 23
  virtual bool LoadHelperPoints(const char* path);                                                  // slot 24
  virtual bool SaveHelperPoints(const char* path);                                                  // slot 25
  virtual int32_t GetHelperGroupCount();                                                            // slot 26
  virtual const char* GetHelperGroupName(int32_t group);                                            // slot 27
  virtual int32_t GetHelperPointCount(int32_t group);                                               // slot 28
  virtual const char* GetHelperPointName(int32_t group, int32_t point);                             // slot 29
  virtual bool SetHelperPointByName(int32_t group, const char* point, const D3DXMATRIX* frame);      // slot 30
  virtual bool AddHelperPoint(const char* group, const char* point, const D3DXMATRIX* frame);       // slot 31
  virtual bool SetHelperPointMatrix(int32_t group, int32_t point, const D3DXMATRIX* frame);         // slot 32
  virtual bool RemoveHelperPoint(int32_t group, int32_t point);                                     // slot 33
  virtual bool RemoveHelperPointByName(const char* group, const char* point);                       // slot 34
  virtual bool RemoveHelperGroup(int32_t group);                                                    // slot 35
  virtual bool RemoveHelperGroupByName(const char* group);                                          // slot 36
  virtual int32_t FindHelperGroup(const char* name);                                                // slot 37
  virtual int32_t FindHelperPoint(int32_t* group, const char* name);                                // slot 38
  virtual D3DXMATRIX* GetHelperPointMatrix(int32_t group, int32_t point);                           // slot 39
  virtual void SetWeather(int32_t weatherType);                                                     // slot 40
  virtual CSceneBaseObj* CreateSceneObject(const uint32_t* idPair);                                 // slot 41
  virtual CSceneBaseObj* FindSceneObjectById(const uint32_t* idPair);                               // slot 42
  virtual bool DestroySceneObject(const uint32_t* idPair);                                          // slot 43
  virtual void SetFilmWhere(int32_t where);                                                         // slot 44
  virtual void PlayFilm(const char* sourceName);                                                    // slot 45
  virtual void SetFilmSourceName(const char* name);                                                 // slot 46
  virtual CBaseCamera* GetCamera();                                                                 // slot 47
  virtual const char* GetRandomStateAction(int32_t record, int32_t index);                          // slot 48
  virtual bool PickScenePoint(ScenePick* out, int32_t screenX, int32_t screenY, int32_t mode);      // slot 49
  // 0 on a hit (the height written into position->y), 1 on a miss.
  virtual uint8_t GetGroundHeight(D3DXVECTOR3* position, uint32_t unused);                         // slot 50
  virtual void RenderScenePlanform(int32_t width, int32_t height, float eyeHeight, const char* path);  // slot 51
  virtual bool GenerateHeightMap(int32_t width, int32_t height, const char* mapPath, const char* headerPath);  // slot 52
  virtual bool GenerateWalkMap(int32_t width, int32_t height, const char* mapPath, const char* headerPath);    // slot 53
  virtual void SetPendingStateName(const char* folder);                                             // slot 54
  virtual const char* GetPendingStateName();                                                        // slot 55
  virtual void SetNameB(const char* name);                                                          // slot 56
  virtual const char* GetNameB();                                                                   // slot 57
  virtual void SetNameC(const char* name);                                                          // slot 58
  virtual const char* GetNameC();                                                                   // slot 59
  virtual void SetGizmoVisible(uint8_t visible);                                                    // slot 60
  virtual uint8_t IsGizmoVisible();                                                                 // slot 61
  virtual void SetGizmoPosition(const D3DXVECTOR3* position);                                       // slot 62
  virtual bool SendObjectCommand(const char* names, const D3DXVECTOR3* position);                   // slot 63
  virtual bool SendObjectCommands(const char* names, const D3DXVECTOR3* position, const D3DXVECTOR3* angles);  // slot 64
  virtual const char* GetLightSocket(int32_t index, D3DMATRIX* frame);                              // slot 65
  // The frame of the first light socket of that name (compared without regard to case); false
  // and the matrix left as it is when there is none.
  virtual bool FindLightSocket(const char* name, D3DMATRIX* frame);                                 // slot 66
  virtual int32_t GetLightSocketCount();                                                            // slot 67
  virtual void SetFogMode(int32_t mode);                                                            // slot 68
  virtual void SetFogParams(uint32_t colour, float density, float start, float end);                // slot 69
  virtual uint8_t GetFogEnable();                                                                   // slot 70
  virtual uint8_t SetFogEnable(uint8_t enable);                                                     // slot 71
  virtual int32_t GetFogMode();                                                                     // slot 72
  virtual void GetFogParams(uint32_t* colour, float* density, float* start, float* end);            // slot 73
  virtual void AddVideoListener(VideoListener callback, void* context);                             // slot 74
  virtual void RemoveVideoListener(VideoListener callback);                                         // slot 75
  virtual bool SetVideoInTexture(const wchar_t* source, const wchar_t* outputPin, int32_t x, int32_t y,
                                 int32_t width, int32_t height, const wchar_t* audioPin);          // slot 76
  virtual void CloseVideo();                                                                        // slot 77
  virtual void SetVideoPlaying(uint8_t playing);                                                    // slot 78
  virtual void SetFilmVideoTexture(const ComponentHandle* handle);                                  // slot 79
  virtual void PlayFilmVideo();                                                                     // slot 80
  virtual void PauseFilmVideo();                                                                    // slot 81
  virtual void StopFilmVideo();                                                                     // slot 82
  virtual void CreateVideoTextureManager(ComponentHandle* out);                                     // slot 83
  virtual void DestroyObjectHandle(const ComponentHandle* handle);                                  // slot 84
  virtual bool OpenVideoOf(const ComponentHandle* handle, const wchar_t* source, const wchar_t* outputPin,
                           const wchar_t* audioPin);                                               // slot 85
  virtual double GetVideoDurationOf(const ComponentHandle* handle);                                 // slot 86
  virtual double GetVideoPositionOf(const ComponentHandle* handle);                                 // slot 87
  virtual void PlayVideoOf(const ComponentHandle* handle);                                          // slot 88
  virtual void PauseVideoOf(const ComponentHandle* handle);                                         // slot 89
  virtual void StopVideoOf(const ComponentHandle* handle);                                          // slot 90
  virtual IDirect3DTexture8* LockVideoTextureOf(const ComponentHandle* handle, const D3DMATRIX** matrix);  // slot 91
  virtual void UnlockVideoTextureOf(const ComponentHandle* handle);                                 // slot 92
  virtual void AddVideoListenerOf(const ComponentHandle* handle, VideoListener callback, void* context);  // slot 93
  virtual void RemoveVideoListenerOf(const ComponentHandle* handle, VideoListener callback);       // slot 94
  virtual void RemoveDeadObjects();                                                                 // slot 95
  virtual void SetRenderEnabled(uint8_t enabled);                                                   // slot 96
  virtual uint8_t GetRenderEnabled();                                                               // slot 97
  virtual bool FindPath(CSceneBaseObj* object, WaypointCallback callback, uint32_t context,
                        const D3DXVECTOR3* from, const D3DXVECTOR3* to);                           // slot 98
  virtual void SetSceneFactor(float factor);                                                        // slot 99
  virtual void SetFocusObject(CSceneBaseObj* object);                                               // slot 100
  virtual CSceneBaseObj* GetFocusObject();                                                          // slot 101
  virtual int32_t SetModelOption(int32_t value);                                                    // slot 102
  virtual int32_t GetModelOption();                                                                 // slot 103
  virtual uint8_t GetProjectorEnabled();                                                            // slot 104
  virtual uint8_t SetProjectorEnabled(uint8_t enabled);                                             // slot 105
  virtual void SetTextureFilters(int32_t mag, int32_t min, int32_t mip);                            // slot 106
  virtual uint8_t GetFilmEnabled();                                                                 // slot 107
  virtual void SetFilmEnabled(uint8_t enabled);                                                     // slot 108
  virtual void SetSortedObjectLimit(int32_t limit);                                                 // slot 109
  virtual int32_t GetSortedObjectLimit();                                                           // slot 110
  virtual void SetLitObjectLimit(int32_t limit);                                                    // slot 111
  virtual int32_t GetLitObjectLimit();                                                              // slot 112
  virtual float SetGamma(float gamma);                                                              // slot 113
  virtual float GetGamma();                                                                         // slot 114
  // The playback interface: the recording variant replaces all seven; here each logs that it
  // was not replaced.
  virtual Playback::Recorder* StartRecording();                                                     // slot 115
  virtual void StopRecording(Playback::Recorder* recorder);                                         // slot 116
  virtual Playback::Player* StartPlaying();                                                         // slot 117
  virtual void StopPlaying(Playback::Player* player);                                               // slot 118
  virtual bool SaveMovie(const boost::shared_ptr<Playback::MovieData>& movie, const std::string* path);  // slot 119
  virtual bool LoadMovie(boost::shared_ptr<Playback::MovieData>* out, const std::string* path);     // slot 120
  virtual bool GetMovieInfo(const boost::shared_ptr<Playback::MovieData>& movie, Playback::MovieInfo* out);  // slot 121
  virtual D3DXVECTOR3* GetScreenCenter(D3DXVECTOR3* out);                                           // slot 122
  virtual D3DXVECTOR3* GetScreenNormal(D3DXVECTOR3* out);                                           // slot 123
  virtual float GetScreenWidth();                                                                   // slot 124
  virtual int32_t GetCurrentSceneId();                                                              // slot 125
  virtual void SetTextCodePage(TextConverter converter, int32_t codePage);                          // slot 126
  virtual bool GetOrCreateNamedObject(const char* name);                                            // slot 127
  virtual void ReleaseNamedObject(const char* name);                                                // slot 128
  virtual void ReleaseAllNamedObjects();                                                            // slot 129
  virtual const char* GetVisStateName(int32_t record);                                              // slot 130
  virtual int32_t GetVisStateActionCount(int32_t record);                                           // slot 131
  virtual void GetVisStateRandom(int32_t record, int32_t* base, int32_t* interval);                 // slot 132
  virtual bool AddProjectorReceiver(CSceneBaseObj* object);                                         // slot 133
  virtual bool RemoveProjectorReceiver(CSceneBaseObj* object);                                      // slot 134
  virtual void SetMirrorRendering(uint8_t on);                                                      // slot 135
  virtual uint8_t GetMirrorRendering();                                                             // slot 136
  virtual uint8_t IsInMirrorPass();                                                                 // slot 137

  // Starts the stop command line of the external film player, which ends the running one.
  void KillFilmPlayer();
  // Starts the external film player for the film source name.
  void StartFilmPlayer();

  // ---- The frame update and the render passes (scene_passes.cpp) ----
  // Culls the scene objects against four side planes, keys and sorts the list nearest first and
  // limits what is drawn.
  void DrawSortedObjects(const D3DXPLANE* planes);
  // The left, right, top and bottom planes of a view; a sphere is outside when n . c - d > r.
  static void ComputeSidePlanes(D3DXPLANE* out, const D3DXMATRIX* view, const D3DXMATRIX* projection);
  // What the passes did in the last frame, for the command line's report.
  struct PassCounts {
    uint32_t mainDraws = 0;    // model, class and object draws of Realize (the nested ones aside)
    uint32_t blendDraws = 0;
    uint32_t postDraws = 0;
    uint32_t mirrorDraws = 0;  // everything drawn inside the mirrors' reflected views
    uint32_t mirrors = 0;
    uint32_t sorted = 0;       // objects keyed and sorted
    uint32_t hidden = 0;       // objects culled or over the limit
    uint32_t lightsLent = 0;   // lights handed to the lighting system's hardware slots
  };
  PassCounts passCounts;

  // ---- Scene loading (scene_load.cpp) ----
  // Reads the scene's INI set; false only when the scene file does not open.
  bool LoadSceneFromINI(int32_t sceneId);
  // Makes the scene's host objects, the default light and fog, the environment map and the
  // records' model objects; false only when weather is on and "WEATHER" cannot be made.
  bool CreateScene();
  // Takes the loaded scene down; safe when none is loaded and safe twice.
  void UnloadScene();
  // Drops the preloaded models and textures, then makes those of the root's "preload.ini".
  void ReleasePreload();
  // Index of the first record of that name (any case), -1 when none.
  int32_t FindModelRecord(const char* name);
  // The model object of the record of that name, or null.
  IHostModel* GetModelPtr(const char* name);
  // (Re)makes a record's model object and what goes with it; false for a null record or a
  // model object that does not resolve after creation.
  bool ResetSceneModel(SceneModelRecord* record);
  // Reads the vertex colours of light set `lightSet` into every visible model of type 1 or 2.
  void UpdateScene(int32_t lightSet, bool day);
  void ChangeModelLight(SceneModelRecord* record, const char* folder, int32_t lightSet);
  // The plane through the first three vertices of the model's first sub-mesh; false (and the
  // plane left as it is) when the model has no part, controller or lockable buffer.
  static bool MirrorPlaneFromModel(IHostModel* model, D3DXPLANE* plane);
  // Suns, tinting lights, characters, light sockets, flag corners and helper points of the
  // models that carry them.
  void LoadStaticResFromModel(IIniFile* npcFile, IIniFile* materialFile);
  // Replaces the navigation mesh by one built from a part's mesh (its hostMesh); null only drops
  // it. Every scene object's path is stopped and forgotten first: none outlives its triangles.
  void ResetNavMesh(HostModelGeometry* part);
  // The ELF hash of a text, its characters taken as signed 8-bit values.
  static uint32_t ElfHash(const char* text);
  // The scene root folder of the load: the stored one, else "resource\ini\scene".
  std::string SceneFolder() const;

  // The AdjustH value of a scene object's name; 0.0 for an unknown or null name.
  float GetAdjustHeight(const char* name);
  // The film video texture manager's volume; 0 when the manager is gone.
  int32_t GetFilmVolume();

  // ---- Members, in declaration order ----
  std::vector<HelperPointGroup> helperGroups;
  CShadowMap shadowMap;
  // weather
  char weatherConfigPath[256] = {};
  int32_t weatherType = 0;
  uint8_t seaPresent = 0;
  uint8_t weatherOn = 0;
  // ambient light of the scene file, given to the lighting system without weather
  uint32_t ambientColor = 0;
  // fog
  uint8_t fogEnable = 0;
  int32_t fogMode = 0;
  uint32_t fogColor = 0;
  float fogDensity = 0.0f, fogStart = 0.0f, fogEnd = 0.0f;
  // fourteen host objects; the rest are made by scene creation
  ComponentHandle weatherHandle{};
  ComponentHandle particlesHandle{};
  ComponentHandle soundHandle{};
  ComponentHandle activeEffectHandle{};
  // made by scene creation and loading
  ComponentHandle seaHandle{};
  ComponentHandle dynLightHandle{};
  ComponentHandle animalsParticlesHandle{};
  ComponentHandle animalsHandle{};
  ComponentHandle effectActionHandle{};
  ComponentHandle effectRoomHandle{};
  ComponentHandle sailHandle{};
  ComponentHandle ropeHandle{};
  ComponentHandle flagHandle{};
  ComponentHandle vantHandle{};
  // scene content
  std::vector<SceneModelRecord> modelRecords;
  // Whatever changes the list other than CreateSceneObject invalidates objectIndex.
  std::vector<ComponentHandle> sceneObjects;
  SceneObjectIndex objectIndex;
  std::string stateString;
  char envMapName[256] = {};
  // component handles
  ComponentHandle terrainHandle{};
  ComponentHandle cameraHandle{};
  ComponentHandle shadowHandle{};
  ComponentHandle videoManager0{};
  ComponentHandle filmVideoHandle{};
  ComponentHandle videoManager1{};
  ComponentHandle videoManager2{};
  ComponentHandle videoManager3{};
  uint8_t perObjectLighting = 0;
  // named models of the loaded scene
  IHostModel* walkPatch = nullptr;
  IHostModel* cameraPatch = nullptr;
  int32_t opaqueGround = -1;
  int32_t translucentGround = -1;
  int32_t filmWhere = 0;
  std::vector<VisStateRecord> visStates;
  CLightingSystem* lighting = nullptr;
  // the scene root folder (slots 54/55) and two further names
  std::string rootFolder;
  std::string nameB;
  std::string nameC;
  CDebugGizmo gizmo;
  uint8_t gizmoShown = 0;
  CTextureProjector projector;
  int32_t sceneId = -1;
  std::vector<LightSocket> lightSockets;
  CDynamicFlagSystem flags;
  std::vector<CSceneBaseObj*> projectorReceivers;
  IGeometryService* geometry = nullptr;
  D3DXPLANE clipPlanes[4] = {};
  uint8_t renderEnabled = 0;
  NavMesh* navMesh = nullptr;
  float sceneFactor = 0.0f;
  CSceneBaseObj* focusObject = nullptr;
  // options
  uint8_t projectorEnabled = 1;
  int32_t modelOption = 0;
  int32_t sortedObjectLimit = 1024;
  int32_t litObjectLimit = 1024;
  uint8_t filmEnabled = 1;
  float gamma = 1.0f;
  // mirror pass
  uint8_t mirrorGuard = 0;
  uint8_t mirrorRendering = 0;
  // pick cache
  uint8_t pickDirty = 1;
  float pickPoint[3] = {0.0f, 0.0f, 0.0f};
  CSceneBaseObj* pickObject = nullptr;
  uint8_t pickHit = 0;
  // preload
  std::vector<ComponentHandle> preloadedModels;
  std::vector<int> preloadedTextures;
  // film source
  std::string filmSourceName;
  uint8_t videoPlaying = 0;
  // screen of the main scene file
  D3DXVECTOR3 screenCenter{0.0f, 0.0f, 0.0f};
  D3DXVECTOR3 screenNormal{0.0f, 0.0f, 0.0f};
  float screenWidth = 0.0f;
  // origin camera, handed to the camera by pointer
  D3DXVECTOR3 originCameraEye{0.0f, 0.0f, 0.0f};
  D3DXVECTOR3 originCameraTarget{0.0f, 0.0f, 0.0f};
  std::vector<std::string> stringList;
  std::map<std::string, ComponentHandle> namedObjects;
  int32_t filmVolume = 0;
  std::map<std::string, float> adjustHeights;
  uint8_t rootChanged = 0;

 private:
  // Destroys the lighting system and clears the pointer.
  void DestroyLighting();
  // The group or point at an index, or null when the index is not valid.
  HelperPointGroup* HelperGroupAt(int32_t group);
  HelperPoint* HelperPointAt(int32_t group, int32_t point);
  // Whether a group other than `self` whose name equals `name` without regard to case holds a
  // point that is saved.
  bool CaseTwinSaved(const HelperPointGroup* self, const char* name) const;
  // The "ActiveEffect" messages of slots 63 and 64.
  void SendEffects(const char* names, const D3DXVECTOR3& position, const D3DXVECTOR3* angles);
  // The video texture manager a handle names, or null when it is gone.
  static CVideoTextureManager* Manager(const ComponentHandle* handle);
  // The scene object a handle names, or null when it is gone.
  static CSceneBaseObj* ObjectOf(const ComponentHandle& handle);
  // The eye of the scene camera; (0, 0, 0) when the camera does not resolve.
  D3DXVECTOR3 CameraEye();
  // Projects the receivers' shine and the active spot lights' textures onto a ground record.
  void ProjectOntoGround(int32_t groundIndex, uint32_t context);
  // Hands a light record to a free hardware light slot and counts it.
  void LendLight(const D3DLIGHT8* light);
  // Counts one draw in the pass that is running.
  void CountDraw(uint32_t PassCounts::*pass);
  // The blended records of RealizeBlend and the additive ones of RealizePost.
  void DrawBlendedRecord(SceneModelRecord& record, uint32_t context);
  void DrawAdditiveRecord(SceneModelRecord& record, uint32_t context);
  // The opaque and decal records of Realize.
  void DrawOpaqueRecord(SceneModelRecord& record, uint32_t context);
  void DrawDecalRecord(SceneModelRecord& record, uint32_t context);
  // Realize's loop over the scene objects with their own lights.
  void DrawObjectsWithLights(uint32_t context);
  // The mirror pass of Realize.
  void DrawMirrors(uint32_t context);
  // Reads the AdjustH of every section of the name adjustment file.
  void ReadAdjustHeights();
  // Light 0 as the default directional light, its direction to "Shadow", the ambient colour.
  void SetDefaultLight();
  // Body of LoadSceneFromINI.
  bool ReadScene(int32_t sceneId);
  // Reads one section of the scene file into a new record.
  void ReadModelRecord(IIniFile* scene, IIniFile* material, const char* section);
  // The scene's lights from a model's light entries.
  void AddModelLight(const HostModelLight& light);
  // A character from a node of kind "npcs".
  void AddNpc(IIniFile* npcFile, const HostModelNode& node);

  // Set while the mirror pass runs the nested slots in a reflected view.
  bool inReflection_ = false;
  // Set by Destroy, cleared by Init: Destroy's work runs once, however often it is called.
  bool destroyed_ = false;
};

// ---- Module globals of the scene ----
// The scene system that scene objects reach; set by the constructor.
void SetCurrentSceneSystem(CSceneSystem* scene);
CSceneSystem* GetCurrentSceneSystem();
// The renderer the scene draws with; set by Init.
extern IRenderer* g_pSceneRenderer;
// Seconds; advanced only by the frame update of a loaded scene.
extern float g_sceneClock;
// The video texture of the current draw (null outside a video draw).
extern IDirect3DTexture8* g_pLockedVideoTexture;
extern float g_bumpMapAngle;
extern uint32_t g_projectorColor;
// The environment map's texture handle, set by scene loading.
extern int g_envMapTexture;
// The text hook and code page of scene objects' text conversions.
extern TextConverter g_pTextConverter;
extern int32_t g_textCodePage;
// A text through the converter when one is set, unchanged otherwise.
const char* GetTextCodePage(const char* text);
// Forgets when the film was last opened, as at the module's start (for tests).
void ResetFilmClock();
