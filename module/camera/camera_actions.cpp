// Scripted camera work: camera actions read from their INI files, played section by section and
// step by step on an animation of the host's animation service, and the simpler road of one
// animation set by name. The animation reports each finished track through the camera's sink.
#include <climits>
#include <cstdlib>
#include <cstring>

#include "camera/base_camera.h"
#include "frame/exception.h"
#include "frame/host_blocks.h"
#include "frame/module_globals.h"
#include "frame/renderer.h"
#include "math/random.h"
#include "scene/scene_system.h"

namespace {
constexpr char kActionFolder[] = "Resource\\ini\\Brivanta\\common\\";
constexpr int kIniTextSize = 260;
constexpr float kActionFov = 0.8985130f;

// Splits at ',' and ';' as strtok does: runs of separators count as one, leading ones are
// skipped.
std::vector<std::string> Tokens(const char* text) {
  std::vector<std::string> tokens;
  const char* p = text;
  while (*p != '\0') {
    while (*p == ',' || *p == ';') ++p;
    const char* start = p;
    while (*p != '\0' && *p != ',' && *p != ';') ++p;
    if (p > start) tokens.emplace_back(start, p);
  }
  return tokens;
}
}  // namespace

uint32_t CameraSectionHash(const char* name) {
  uint32_t h = 0;
  for (const char* p = name; *p != '\0'; ++p) {
    h = (h << 4) + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*p)));
    const uint32_t g = h & 0xF0000000u;
    if (g != 0) {
      h ^= g >> 24;
      h ^= g;
    }
  }
  return h;
}

bool ParseCameraActionStep(const char* value, std::string* track, int32_t* durationMs) {
  const std::vector<std::string> tokens = Tokens(value != nullptr ? value : "");
  if (tokens.empty()) return false;
  *track = tokens[0];
  *durationMs = 0;
  if (tokens.size() > 1 && tokens[1][0] >= '0' && tokens[1][0] <= '9') {
    // A duration past what the countdown holds is taken as the longest it holds.
    const long long ms = std::strtoll(tokens[1].c_str(), nullptr, 10);
    *durationMs = static_cast<int32_t>(ms > INT32_MAX ? INT32_MAX : ms);
  }
  return true;
}

D3DXMATRIX CameraNodeView(const D3DMATRIX& w) {
  float r[3][3];
  const int rows[3] = {0, 2, 1};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r[i][j] = -w.m[rows[i]][j];
  const float t[3] = {w.m[3][0], w.m[3][1], w.m[3][2]};
  D3DXMATRIX view;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) view.m[i][j] = r[j][i];
    view.m[i][3] = 0.0f;
  }
  for (int j = 0; j < 3; ++j) view.m[3][j] = -(t[0] * r[j][0] + t[1] * r[j][1] + t[2] * r[j][2]);
  view.m[3][3] = 1.0f;
  return view;
}

IAnimationController* CBaseCamera::ControllerOf(IAnimation* animation) {
  return animation != nullptr ? animation->GetController(0) : nullptr;
}

void CBaseCamera::ReleaseDirectAnimation() {
  if (directAnimation == nullptr) return;
  directAnimation->Release();
  directAnimation = nullptr;
  cameraNodeName.clear();
}

void CBaseCamera::SetUpAnimation(IAnimation* animation) {
  animation->SetCounter(animation->GetCounter() + 1);
  animation->SetOwner(static_cast<CComponentBase*>(this), 0);
  animation->SetSwitchA(0);
  animation->SetSwitchB(1);
  animation->AddEventListener(4, static_cast<EventSink*>(this));
  animation->AddEventListener(6, static_cast<EventSink*>(this));
}

bool CBaseCamera::PlayAction(const char* name) {
  ReleaseDirectAnimation();
  if (name == nullptr || *name == '\0') return false;
  currentAction = -1;
  for (size_t i = 0; i < actions.size(); ++i)
    if (actions[i].name == name) {
      currentAction = static_cast<int32_t>(i);
      return true;
    }
  auto* service = static_cast<IAnimationService*>(g_pHost->GetService("AnimationServiceImp"));
  if (service == nullptr || g_pIniService == nullptr) return false;
  const std::string path = std::string(kActionFolder) + name + ".ini";
  IIniFile* ini = g_pIniService->OpenIni(path.c_str(), 0);
  if (ini == nullptr) {
    currentAction = -1;
    return false;
  }
  actions.emplace_back();
  currentAction = static_cast<int32_t>(actions.size() - 1);
  char text[kIniTextSize] = {};
  ini->GetString(nullptr, "defaultPaths", text, kIniTextSize, "");
  IAnimation* animation = service->LoadAnimation(text, 0);
  if (animation == nullptr) {
    actions.pop_back();
    ReleaseIniFile(ini);
    currentAction = -1;
    return false;
  }
  CameraActionRecord& record = actions.back();
  record.animation = animation;
  SetUpAnimation(animation);
  record.name = name;
  // The steps are read while the walk stands on their section, so that two sections of one
  // name each keep their own.
  char section[kIniTextSize] = {};
  for (bool more = ini->GetFirstSection(section, kIniTextSize); more; more = ini->GetNextSection(section, kIniTextSize)) {
    CameraActionSection s;
    s.name = section;
    s.nameHash = CameraSectionHash(section);
    for (bool value = ini->GetString(section, "action", text, kIniTextSize, ""); value;
         value = ini->GetNextString(section, "action", text, kIniTextSize)) {
      std::string track;
      int32_t duration = 0;
      if (!ParseCameraActionStep(text, &track, &duration)) continue;
      s.tracks.push_back(track);
      s.durations.push_back(duration);
    }
    record.sections.push_back(std::move(s));
  }
  ReleaseIniFile(ini);
  return true;
}

bool CBaseCamera::SetAnimation(const char* name) {
  ReleaseDirectAnimation();
  currentAction = -1;
  if (name == nullptr || *name == '\0') return true;
  auto* service = static_cast<IAnimationService*>(g_pHost->GetService("AnimationServiceImp"));
  if (service == nullptr) return true;
  directAnimation = service->LoadAnimation(name, 0);
  if (directAnimation != nullptr) SetUpAnimation(directAnimation);
  return true;
}

void CBaseCamera::ModeSwitch(uint8_t deferred) {
  if (deferred) {
    controllable = 0;
    pendingMode = kCameraAction;
  } else {
    controllable = 1;
    mode = kCameraAction;
  }
}

void CBaseCamera::PlayActionSection(const char* section, const D3DXMATRIX* base, float playSpeed, uint8_t loop,
                                    uint8_t deferred, uint8_t applyNode) {
  actionLoop = loop;
  applyCameraNode = applyNode;
  actionViewPending = 0;
  stepCountdown = 0;
  if (base != nullptr) actionBase = *base;
  else D3DXMatrixIdentity(&actionBase);
  if (currentAction >= 0 && static_cast<size_t>(currentAction) < actions.size()) {
    CameraActionRecord& record = actions[static_cast<size_t>(currentAction)];
    const int32_t count = static_cast<int32_t>(record.sections.size());
    if (count == 0) return;
    int32_t chosen = -1;
    if (section != nullptr && *section != '\0') {
      const uint32_t hash = CameraSectionHash(section);
      for (int32_t i = 0; i < count && chosen < 0; ++i)
        if (record.sections[static_cast<size_t>(i)].nameHash == hash && record.sections[static_cast<size_t>(i)].name == section)
          chosen = i;
    }
    if (chosen < 0) {
      chosen = static_cast<int32_t>(RandomFloat(static_cast<float>(count)));
      if (chosen >= count || chosen < 0) chosen = 0;
    }
    actionSpeed = playSpeed;
    ModeSwitch(deferred);
    record.sections[static_cast<size_t>(chosen)].step = -1;
    record.currentSection = chosen;
    // The stop's finished event starts the first step.
    if (IAnimationController* controller = ControllerOf(record.animation)) controller->Stop(0);
    return;
  }
  if (directAnimation != nullptr) {
    ModeSwitch(deferred);
    if (IAnimationController* controller = ControllerOf(directAnimation)) {
      controller->Select(nullptr, 0, 1);
      controller->Select(section, 0, 0);
      controller->SetSpeed(playSpeed, 0);
      controller->SetLooping(loop, 0);
      controller->Start(0);
    }
    cameraNodeName = section != nullptr ? section : "";
  }
}

void CBaseCamera::StopAction() {
  if (currentAction >= 0 && static_cast<size_t>(currentAction) < actions.size()) {
    CameraActionRecord& record = actions[static_cast<size_t>(currentAction)];
    record.currentSection = -1;
    if (IAnimationController* controller = ControllerOf(record.animation)) controller->Stop(0);
  } else if (directAnimation != nullptr) {
    if (IAnimationController* controller = ControllerOf(directAnimation)) controller->Stop(0);
  }
}

void CBaseCamera::AddEventCallback(CameraEventCallback callback, void* context) {
  SetCameraPair(&eventCallbacks, callback, context);
}
void CBaseCamera::RemoveEventCallback(CameraEventCallback callback) { RemoveCameraPair(&eventCallbacks, callback); }

const D3DMATRIX* CBaseCamera::BindCameraNode(IAnimation* animation, const char* node, bool transformOnly) {
  IAnimationNodeTree* tree = animation->GetNodeTree();
  IAnimationNode* found = tree != nullptr ? tree->FindNode(node) : nullptr;
  if (found == nullptr) return nullptr;
  animation->BindNode(transformOnly || found->GetKind() == 2 ? found->GetTransformSource() : found->GetAlternateSource());
  return animation->GetBoundMatrix(0);
}

void CBaseCamera::SinkIgnore(intptr_t, intptr_t, intptr_t, int32_t) {}

void CBaseCamera::Event(intptr_t a1, intptr_t a2, intptr_t a3, int32_t code) {
  Guard("CBaseCamera::Event", [&] { EventBody(a1, a2, a3, code); });
}

void CBaseCamera::EventBody(intptr_t a1, intptr_t a2, intptr_t a3, int32_t code) {
  // A callback may add or remove callbacks: the table is walked as it stood.
  const auto callbacks = eventCallbacks;
  for (const auto& [callback, context] : callbacks) callback(context, a1, a2, a3, code);
  if (code != 4) return;
  if (actionViewPending) {
    actionViewPending = 0;
    if (renderer != nullptr) renderer->SetTransform(D3DTS_VIEW, &actionView);
  }
  if (currentAction >= 0 && static_cast<size_t>(currentAction) < actions.size()) {
    CameraActionRecord& record = actions[static_cast<size_t>(currentAction)];
    if (record.currentSection >= 0 && static_cast<size_t>(record.currentSection) < record.sections.size()) {
      CameraActionSection& section = record.sections[static_cast<size_t>(record.currentSection)];
      const int32_t n = static_cast<int32_t>(section.tracks.size());
      if (n == 0 || (section.step >= n - 1 && !actionLoop)) {
        record.currentSection = -1;
        return;
      }
      const int32_t next = (section.step + 1) % n;
      section.step = next;
      const std::string& track = section.tracks[static_cast<size_t>(next)];
      if (applyCameraNode && record.animation != nullptr)
        if (const D3DMATRIX* w = BindCameraNode(record.animation, track.c_str(), false)) {
          actionView = CameraNodeView(*w);
          actionViewPending = 1;
        }
      const int32_t d = section.durations[static_cast<size_t>(next)];
      if (stepCountdown < 0 && d > 0) {
        // The overshoot of the step before is taken off this one.
        stepCountdown += d;
        if (stepCountdown < 1) stepCountdown = 1;
      } else {
        stepCountdown = d;
      }
      if (IAnimationController* controller = ControllerOf(record.animation)) {
        controller->Select(nullptr, 0, 1);
        controller->Select(track.c_str(), 0, 0);
        controller->SetSpeed(actionSpeed, 0);
        controller->SetLooping(stepCountdown > 0 ? 1 : 0, 0);
        controller->Start(0);
      }
      return;
    }
  }
  if (directAnimation != nullptr && applyCameraNode)
    if (const D3DMATRIX* w = BindCameraNode(directAnimation, cameraNodeName.c_str(), false)) {
      actionView = D3DXMATRIX(*w);
      const D3DXMATRIX view = CameraNodeView(*w);
      if (renderer != nullptr) renderer->SetTransform(D3DTS_VIEW, &view);
    }
}

void CBaseCamera::UpdateActionTimer(uint32_t elapsedMs) {
  if (stepCountdown <= 0) return;
  stepCountdown -= static_cast<int32_t>(elapsedMs);
  if (stepCountdown <= 0 && currentAction > -1 && static_cast<size_t>(currentAction) < actions.size())
    if (IAnimationController* controller = ControllerOf(actions[static_cast<size_t>(currentAction)].animation))
      controller->Stop(0);
}

void CBaseCamera::ViewFromAnimation(IAnimation* animation, bool adjust) {
  const D3DMATRIX* bound = animation->GetBoundMatrix(0);
  if (bound == nullptr) return;
  const D3DXMATRIX b(*bound);
  D3DXMATRIX w;
  Matrix4Multiply(&w, &b, &actionBase);
  D3DXVECTOR3 t(w._41, w._42, w._43);
  lookAt = D3DXVECTOR3(actionBase._41, actionBase._42 + 1.0f, actionBase._43);
  if (adjust) AdjustEye(t, lookAt, &t);
  eye = t;
  w._41 = t.x;
  w._42 = t.y;
  w._43 = t.z;
  const D3DXMATRIX view = CameraNodeView(w);
  if (renderer != nullptr) renderer->SetTransform(D3DTS_VIEW, &view);
}

void CBaseCamera::UpdatePathPlayback(uint32_t elapsedMs) {
  if (transitionRemaining > 0) {
    UpdateTransition(transitionLookAt, elapsedMs);
    return;
  }
  if (currentAction >= 0 && static_cast<size_t>(currentAction) < actions.size() &&
      actions[static_cast<size_t>(currentAction)].animation != nullptr) {
    ViewFromAnimation(actions[static_cast<size_t>(currentAction)].animation, true);
  } else if (currentAction < 0 && directAnimation != nullptr) {
    ViewFromAnimation(directAnimation, false);
  }
}

void CBaseCamera::ApplyAnimatedCamera(const D3DXMATRIX* world) {
  IAnimation* animation = nullptr;
  if (currentAction >= 0 && static_cast<size_t>(currentAction) < actions.size() &&
      actions[static_cast<size_t>(currentAction)].animation != nullptr) {
    CameraActionRecord& record = actions[static_cast<size_t>(currentAction)];
    animation = record.animation;
    if (record.currentSection < 0 || static_cast<size_t>(record.currentSection) >= record.sections.size()) {
      animation->BindNode(nullptr);
    } else {
      const CameraActionSection& section = record.sections[static_cast<size_t>(record.currentSection)];
      if (section.step >= 0 && static_cast<size_t>(section.step) < section.tracks.size() &&
          !section.tracks[static_cast<size_t>(section.step)].empty())
        BindCameraNode(animation, section.tracks[static_cast<size_t>(section.step)].c_str(), true);
    }
  } else if (directAnimation != nullptr) {
    animation = directAnimation;
    if (cameraNodeName.empty()) animation->BindNode(nullptr);
    else BindCameraNode(animation, cameraNodeName.c_str(), true);
  } else {
    return;
  }
  const D3DMATRIX* bound = animation->GetBoundMatrix(0);
  if (bound == nullptr) return;
  const D3DXMATRIX b(*bound);
  D3DXMATRIX identity, w;
  D3DXMatrixIdentity(&identity);
  Matrix4Multiply(&w, &b, world != nullptr ? world : &identity);
  eye = D3DXVECTOR3(w._41, w._42, w._43);
  const D3DXMATRIX view = CameraNodeView(w);
  if (renderer != nullptr) renderer->SetTransform(D3DTS_VIEW, &view);
  SetProjection(kActionFov);
}
