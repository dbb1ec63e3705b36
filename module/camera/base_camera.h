// The view of the scene: the camera component with its seven modes, its input from the host
// window and its scripted camera actions. It writes the view and the projection through the
// renderer; the scene system hands it its eye adjuster and the two mouse-look points.
//
// base_camera.cpp holds the component, the input and the Enter operations; camera_modes.cpp the
// per-tick movement of each mode; camera_actions.cpp the camera actions and animations.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "d3dx8/d3dx8math.h"
#include "frame/component_base.h"
#include "frame/host_services.h"

class ISceneSystem;
class IRenderer;

// out = a x b for row-major 4 x 4 matrices, written element by element: out must be neither a
// nor b.
void Matrix4Multiply(D3DXMATRIX* out, const D3DXMATRIX* a, const D3DXMATRIX* b);
float Vec3Dot(const D3DXVECTOR3* a, const D3DXVECTOR3* b);
D3DXVECTOR3* MakeVector3(D3DXVECTOR3* out, float x, float y, float z);

// The Direct3D yaw-pitch-roll rotation with a translation in row 3: row 2 is the forward
// direction (sin yaw cos pitch, -sin pitch, cos yaw cos pitch), row 0 the right one.
void BuildCameraMatrix(D3DXMATRIX* out, float pitch, float yaw, float roll, float tx, float ty, float tz);

// The heading of d in the camera's own measure: atan(d.z / d.x), plus pi when d.x <= 0; +-pi/2
// when d.x is within 1e-6 of 0 (the sign of d.z).
float CameraHeading(const D3DXVECTOR3& d);

// The view of a camera node's world matrix W: R = rows (-W0, -W2, -W1), t = W3, the rigid
// inverse of (R, t).
D3DXMATRIX CameraNodeView(const D3DMATRIX& w);

// The ELF hash of a section name, each character taken as a signed 8-bit value.
uint32_t CameraSectionHash(const char* name);

// The camera's pair tables: a key already there gets the new value, else the pair is appended;
// a removed pair takes the last one's place (order is not kept); unknown keys are ignored.
template <class Key, class Value>
void SetCameraPair(std::vector<std::pair<Key, Value>>* table, Key key, Value value) {
  for (auto& pair : *table)
    if (pair.first == key) {
      pair.second = value;
      return;
    }
  table->emplace_back(key, value);
}
template <class Key, class Value>
void RemoveCameraPair(std::vector<std::pair<Key, Value>>* table, Key key) {
  for (auto& pair : *table)
    if (pair.first == key) {
      std::swap(pair, table->back());
      table->pop_back();
      return;
    }
}

// Receives every animation event of the camera: callback(context, a1, a2, a3, code).
using CameraEventCallback = void (*)(void* context, intptr_t a1, intptr_t a2, intptr_t a3, int32_t code);

enum CameraMode : int32_t {
  kCameraFreeFly = 1,
  kCameraFirstPerson = 2,
  kCameraOrbit = 3,
  kCameraAutoShots = 4,
  kCameraAction = 5,
  kCameraMouseLook = 6,
  kCameraTargetOrbit = 7,
};

// One section of a camera action: its steps, each a track (and camera node) with a duration.
struct CameraActionSection {
  std::string name;
  uint32_t nameHash = 0;
  int32_t step = -1;
  std::vector<std::string> tracks;
  std::vector<int32_t> durations;
};

// One loaded camera action: its file's animation and sections.
struct CameraActionRecord {
  std::string name;
  IAnimation* animation = nullptr;
  std::vector<CameraActionSection> sections;
  int32_t currentSection = -1;
};

// One "action" value split into its track and duration: false when it names no track.
bool ParseCameraActionStep(const char* value, std::string* track, int32_t* durationMs);

// The module-wide state of the automatic shots, shared by every camera.
struct CameraShotState {
  uint8_t freeFlyButtonWasDown = 0;
  uint8_t autoShotStartPending = 0;
  int32_t autoShotPauseTimer = 0;
  int32_t autoShotCount = 1;
  int32_t autoShotRounds = 0;
  int32_t lastShotIndex = -1;
  int32_t shotOrder[27] = {};
  float shotSpread = 1.0471976f;
};
extern CameraShotState g_cameraShots;

class CBaseCamera : public CComponentBase, public IAnimationEventSink {
 public:
  // The second base: what the camera's animations tell it.
  using EventSink = IAnimationEventSink;

  CBaseCamera();
  ~CBaseCamera() override;  // slot 11

  bool Init() override;                                                          // slot 0
  void Destroy() override;                                                       // slot 1
  void Execute(uint32_t elapsedMs) override;                                     // slot 2
  void Realize(uint32_t arg) override;                                           // slot 3
  int OnEvent(IEventArgs* args) override;                                        // slot 6
  void OnSystemMessage(uint32_t message, uint32_t wParam, uint32_t lParam) override;  // slot 7

  virtual void SetFieldOfView(float degrees);                                    // slot 12
  virtual float GetFieldOfView();                                                // slot 13
  virtual ComponentHandle* GetTargetHandle();                                    // slot 14
  virtual void GetViewMatrix(D3DXMATRIX* out);                                   // slot 15
  virtual void GetLookAt(D3DXVECTOR3* eye, D3DXVECTOR3* at);                     // slot 16
  virtual void EnterFreeFly();                                                   // slot 17
  virtual void EnterFirstPerson(int32_t unused);                                 // slot 18
  virtual void EnterOrbit(const ComponentHandle* object, float height, uint8_t resolve, uint8_t placeBehind);  // slot 19
  virtual void EnterAutoShots(const ComponentHandle* object, int32_t delayMs);   // slot 20
  virtual void EnterMouseLook();                                                 // slot 21
  virtual void SetViewMatrix(const D3DXMATRIX* view);                            // slot 22
  virtual void SetLookAt(const D3DXVECTOR3* eye, const D3DXVECTOR3* at);         // slot 23
  virtual void SetControllable(uint8_t controllable);                            // slot 24
  virtual void ApplyAnimatedCamera(const D3DXMATRIX* world);                     // slot 25
  virtual bool PlayAction(const char* name);                                     // slot 26
  virtual void PlayActionSection(const char* section, const D3DXMATRIX* base, float speed, uint8_t loop,
                                 uint8_t deferred, uint8_t applyNode);           // slot 27
  virtual void StopAction();                                                     // slot 28
  virtual int32_t GetMode();                                                     // slot 29
  // Keeps the scene whose IntersectSegment pulls the eye in front of geometry.
  virtual void SetEyeAdjuster(ISceneSystem* scene);                              // slot 30
  virtual void AddEventCallback(CameraEventCallback callback, void* context);    // slot 31
  virtual void RemoveEventCallback(CameraEventCallback callback);                // slot 32
  virtual void SetNamedValue(uint32_t key, uint32_t value);                      // slot 33
  virtual void RemoveNamedValue(uint32_t key);                                   // slot 34
  virtual bool SetAnimation(const char* name);                                   // slot 35
  virtual int32_t StartTransition(const D3DXVECTOR3* eye, const D3DXVECTOR3* at, int32_t durationMs);  // slot 36
  virtual void SetOrbitOffsets(float side, float rise);                          // slot 37
  virtual void SetOrbitTarget(const D3DXVECTOR3* point);                         // slot 38
  virtual void SetYaw(float yaw);                                                // slot 39
  virtual void SetPitch(float pitch);                                            // slot 40
  // Keeps both pointers, never the points: they belong to the scene system.
  virtual void SetMouseLookPoints(const D3DXVECTOR3* eye, const D3DXVECTOR3* at);  // slot 41

  // The sink (second base).
  void SinkIgnore(intptr_t a1, intptr_t a2, intptr_t a3, int32_t code) override;  // sink slot 1
  void Event(intptr_t a1, intptr_t a2, intptr_t a3, int32_t code) override;       // sink slot 2

  // Per-tick work (camera_modes.cpp, camera_actions.cpp).
  void UpdateTransition(const D3DXVECTOR3& centre, uint32_t elapsedMs);
  void UpdateFreeFly(uint32_t elapsedMs);
  void UpdateFirstPerson();
  void UpdateOrbit(uint32_t elapsedMs);
  void UpdateTargetOrbit(uint32_t elapsedMs);
  void UpdateMouseLook(uint32_t elapsedMs);
  void UpdateAutoShots(uint32_t elapsedMs);
  void StartAutoShots();
  void BuildShotPoints();
  void PickRandomShot();
  void UpdateActionTimer(uint32_t elapsedMs);
  void UpdatePathPlayback(uint32_t elapsedMs);

  std::vector<std::pair<CameraEventCallback, void*>> eventCallbacks;
  std::vector<std::pair<uint32_t, uint32_t>> namedValues;
  float fieldOfViewDeg = 51.481f;
  ISceneSystem* eyeAdjuster = nullptr;
  int32_t mouseX = 0, mouseY = 0;
  int32_t wheelTarget = 0, wheelProgress = 0;
  uint8_t zoomIn = 0;
  uint8_t dragging = 0;
  int32_t dragStartX = 0, dragStartY = 0;
  IRenderer* renderer = nullptr;
  // The back buffer's centre in screen coordinates (SetCursorPos, GetCursorPos) and in client
  // coordinates (what WM_MOUSEMOVE reports).
  int32_t centreX = 0, centreY = 0;
  int32_t clientCentreX = 0, clientCentreY = 0;
  int32_t backBufferWidth = 0, backBufferHeight = 0;
  float yaw = 3.1415927f;
  float pitch = 0.0f;
  D3DXVECTOR3 eye{0.0f, 0.0f, 0.0f};
  D3DXVECTOR3 shotTarget{0.0f, 0.0f, 0.0f};
  D3DXVECTOR3 shotDirection{0.0f, 0.0f, 0.0f};
  D3DXVECTOR3 lookAt{0.0f, 0.0f, 0.0f};
  float shotRemaining = 0.0f;
  int32_t mode = kCameraFreeFly;
  int32_t pendingMode = 0;
  ComponentHandle followed{};
  float distance = 5.0f;
  float strafe = 0.0f;
  int32_t controllable = 0;
  float speed = 3.0f;
  uint8_t autoShotPause = 0;
  float minDistance = 1.0f, maxDistance = 6.0f;
  float maxPitch = 1.0471976f, minPitch = -1.0471976f;
  float followedYaw = 0.0f;
  uint8_t keyA = 0, keyS = 0, keyD = 0, keyW = 0, keyE = 0, keyC = 0;
  D3DXVECTOR3 shotPoints[27] = {};
  int32_t autoShotDelay = 0;
  uint8_t zoomKeyHeld = 0;
  D3DXMATRIX actionBase;
  int32_t stepCountdown = 0;
  float actionSpeed = 1.0f;
  uint8_t actionLoop = 0;
  int32_t currentAction = -1;
  float orbitHeight = 0.0f;
  uint8_t applyCameraNode = 0;
  D3DXMATRIX actionView;
  uint8_t actionViewPending = 0;
  uint8_t mouseLookActive = 0;
  float dragYaw = 3.1415927f, dragPitch = 0.0f;
  D3DXVECTOR3 transitionEye{0.0f, 0.0f, 0.0f}, transitionLookAt{0.0f, 0.0f, 0.0f};
  int32_t transitionRemaining = 0;
  const D3DXVECTOR3* mouseLookEye = nullptr;
  const D3DXVECTOR3* mouseLookAt = nullptr;
  std::vector<CameraActionRecord> actions;
  IAnimation* directAnimation = nullptr;
  std::string cameraNodeName;
  float orbitSideOffset = 0.0f;
  float orbitLookAtRise = 0.0f;
  D3DXVECTOR3 orbitTarget{0.0f, 0.0f, 0.0f};
  // The orbit's base point: the followed object's last known position, before any raise.
  D3DXVECTOR3 orbitBase{0.0f, 0.0f, 0.0f};
  // This camera hid the cursor for mouse look and owes the window a ShowCursor(TRUE).
  uint8_t cursorHidden = 0;

 private:
  // A perspective of fovY radians over the back buffer's aspect, near 0.1, far 3000.
  void SetProjection(float fovY);
  // The back buffer's size and the centre, in client and screen coordinates.
  void MeasureScreen();
  // The followed object's position and yaw; false (both untouched) when it does not resolve.
  bool FollowedPosition(D3DXVECTOR3* position, float* objectYaw);
  // Common to every Enter operation: the mode, controllable, no sideways move.
  void Enter(int32_t newMode);
  // Pulls `point` to the first obstacle on its way to `towards`; true on a hit.
  bool AdjustEye(const D3DXVECTOR3& from, const D3DXVECTOR3& towards, D3DXVECTOR3* out);
  // Orbit steps shared by modes 3 and 7: drag, zoom, pitch and distance limits; the unit
  // direction from the centre to the eye.
  D3DXVECTOR3 OrbitDirection(uint32_t elapsedMs);
  // The end of a free-fly or mouse-look tick: the view ahead, the cursor back to the screen
  // centre (the reading to readingX/Y) when asked, and the tick's moves spent.
  void EndSteeredTick(const D3DXVECTOR3& forward, bool recentre, int32_t readingX, int32_t readingY);
  // Yaw and pitch towards the mouse-look points.
  void FaceMouseLookPoints();
  void HandleLockedInput(uint32_t message, uint32_t wParam);
  // The action's animation controller, or null.
  IAnimationController* ControllerOf(IAnimation* animation);
  // Binds the named node; the node's world matrix, or null when it is not found.
  const D3DMATRIX* BindCameraNode(IAnimation* animation, const char* node, bool transformOnly);
  void SetUpAnimation(IAnimation* animation);
  void ReleaseDirectAnimation();
  void ModeSwitch(uint8_t deferred);
  void EventBody(intptr_t a1, intptr_t a2, intptr_t a3, int32_t code);
  // The view from W x base to the renderer, the eye pulled in front of geometry when asked.
  void ViewFromAnimation(IAnimation* animation, bool adjust);
};
