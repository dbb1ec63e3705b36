// Scene loading: the scene's INI set read into the scene system, the model records with their
// host model objects, scene creation, the weather switch, the unload and the preload set.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "camera/base_camera.h"
#include "frame/exception.h"
#include "frame/host_blocks.h"
#include "frame/host_services.h"
#include "frame/module_globals.h"
#include "frame/renderer.h"
#include "lighting/lighting_system.h"
#include "scene/scene_class_objects.h"
#include "scene/scene_system.h"
#include "scene/tex_coord_modifiers.h"
#include "win32/crt_string.h"
#include "win32/win32.h"

namespace {

constexpr const char* kDefaultRoot = "resource\\ini\\scene";
constexpr const char* kDefaultWeatherConfig = "RESOURCE\\ini\\weather.ini";
constexpr int kSectionSize = 260;
// Model sections are walked with room for names far longer than a record keeps.
constexpr size_t kWholeSectionSize = 4096;
// The record's name field holds 255 characters and its terminator.
constexpr size_t kNameLimit = 255;

struct Keyword {
  const char* text;
  int32_t code;
};

constexpr Keyword kFogModes[] = {{"Vertex_Exp", 1},  {"Vertex_Exp2", 2},   {"Pixel_Exp", 3},
                                 {"Pixel_Exp2", 4},  {"Vertex_Linear", 5}, {"Pixel_Linear", 6}};

constexpr Keyword kRenderStyles[] = {
    {"normal", 1},        {"blend", 2},          {"blendadd", 3},       {"transparency", 4},
    {"lightmap", 5},      {"videoTexture", 7},   {"alphasahder", 6},    {"bumpmap", 8},
    {"decalnormal", 9},   {"decalmodulate", 10}, {"decaladd", 11},      {"lightmapblend", 12},
    {"lightmapblendoverlay", 13}, {"mirror", 14}, {"reflection", 15},   {"diffaddref", 16},
    {"all", 0}};

template <size_t N>
int32_t KeywordCode(const Keyword (&table)[N], const char* text, int32_t otherwise) {
  for (const Keyword& k : table)
    if (_stricmp(text, k.text) == 0) return k.code;
  return otherwise;
}

// An INI reader released when it goes out of scope, also when an exception passes.
struct IniDeleter {
  void operator()(IIniFile* file) const { ReleaseIniFile(file); }
};
using IniReader = std::unique_ptr<IIniFile, IniDeleter>;

IniReader OpenIni(const std::string& path) {
  return IniReader(g_pIniService != nullptr ? g_pIniService->OpenIni(path.c_str(), 0) : nullptr);
}

void Release(IniReader& file) { file.reset(); }

std::string GetText(IIniFile* ini, const char* section, const char* key, const char* fallback) {
  char buffer[256] = {};
  ini->GetString(section, key, buffer, sizeof buffer, fallback);
  return buffer;
}

void CopyText(char (&field)[256], const std::string& text) {
  std::snprintf(field, sizeof field, "%s", text.c_str());
}

// "r,g,b" as an opaque ARGB word; components missing from a short text keep the default's.
uint32_t ReadColour(IIniFile* ini, const char* key, int r, int g, int b) {
  const std::string text = GetText(ini, nullptr, key, "128,128,128");
  std::sscanf(text.c_str(), "%d,%d,%d", &r, &g, &b);
  return 0xFF000000u | ((static_cast<uint32_t>(r) | 0xFFFFFF00u) << 16) | (static_cast<uint32_t>(g) << 8) |
         static_cast<uint32_t>(b);
}

// "x,y,z"; components missing from a short text keep the default's (zero).
D3DXVECTOR3 ReadVector(IIniFile* ini, const char* key) {
  float v[3] = {0.0f, 0.0f, 0.0f};
  const std::string text = GetText(ini, nullptr, key, "0,0,0");
  std::sscanf(text.c_str(), "%f,%f,%f", &v[0], &v[1], &v[2]);
  return D3DXVECTOR3(v[0], v[1], v[2]);
}

void* Pointer(const ComponentHandle& handle) { return g_pHost->GetObject(&handle); }

}  // namespace

std::string CSceneSystem::SceneFolder() const { return rootFolder.empty() ? kDefaultRoot : rootFolder; }

uint32_t CSceneSystem::ElfHash(const char* text) {
  uint32_t h = 0;
  if (text == nullptr) return 0;
  for (const char* p = text; *p != '\0'; ++p) {
    const auto c = static_cast<int32_t>(static_cast<int8_t>(*p));
    h = (h << 4) + static_cast<uint32_t>(c);
    const uint32_t g = h & 0xF0000000u;
    if (g != 0) h = h ^ (g >> 24) ^ g;
  }
  return h;
}

// ---- LoadScene ------------------------------------------------------------------------------------

namespace {
// Set while a scene system of the module loads. A class object the load makes may load a scene
// from its Init (the terrain editor makes a scene system and loads one): inside a load that
// would make the object again, without end.
bool g_sceneLoadRunning = false;

bool RefusedInsideLoad(int32_t id) {
  if (!g_sceneLoadRunning) return false;
  g_pHost->Log("[WARNING] CSceneSystem::LoadScene: scene %d is not loaded while another scene loads.", id);
  return true;
}
}  // namespace

uint8_t CSceneSystem::LoadScene(uint32_t sceneId) {
  if (RefusedInsideLoad(static_cast<int32_t>(sceneId))) return 0;
  if (rootChanged) {
    ReleasePreload();
    rootChanged = 0;
  }
  return LoadSceneFromINI(static_cast<int32_t>(sceneId)) ? 1 : 0;
}

bool CSceneSystem::LoadSceneFromINI(int32_t id) {
  if (RefusedInsideLoad(id)) return false;
  struct Running {
    Running() { g_sceneLoadRunning = true; }
    ~Running() { g_sceneLoadRunning = false; }
  } running;
  return Guard("CSceneSystem::LoadSceneFromINI", [&] { return ReadScene(id); }, true);
}

bool CSceneSystem::ReadScene(int32_t id) {
  const std::string root = SceneFolder();
  const std::string number = std::to_string(id);

  // 1-2. The vis-state table.
  visStates.clear();
  if (IniReader visFile = OpenIni(root + "\\vis_state.ini")) {
    IIniFile* vis = visFile.get();
    char section[kSectionSize] = {};
    for (bool more = vis->GetFirstSection(section, kSectionSize); more;
         more = vis->GetNextSection(section, kSectionSize)) {
      VisStateRecord record;
      record.name = section;
      char action[256] = {};
      if (vis->GetString(section, "action", action, sizeof action, "")) {
        record.actions.emplace_back(action);
        while (vis->GetNextString(section, "action", action, sizeof action)) record.actions.emplace_back(action);
      }
      record.RandomBase = vis->GetInt(section, "RandomBase", 0);
      record.RandomInterval = vis->GetInt(section, "RandomInterval", 0);
      visStates.push_back(std::move(record));
    }
    Release(visFile);
  }

  // 3. The scene file.
  IniReader sceneFile = OpenIni(root + "\\" + number + ".ini");
  IIniFile* scene = sceneFile.get();
  if (scene == nullptr) return false;

  // 4. Weather.
  weatherOn = scene->GetBool(nullptr, "Weather", false) ? 1 : 0;
  if (weatherOn) CopyText(weatherConfigPath, GetText(scene, nullptr, "WeatherConfig", kDefaultWeatherConfig));

  // 5-6. Scene effects.
  ReleaseAllNamedObjects();
  if (scene->GetBool("SceneEffect", "effect", false)) {
    char effect[64] = {};
    if (scene->GetString("SceneEffect", "effect", effect, sizeof effect, "")) {
      do {
        GetOrCreateNamedObject(effect);
        std::memset(effect, 0, sizeof effect);
      } while (scene->GetNextString("SceneEffect", "effect", effect, sizeof effect));
    }
  }

  // 7. Ambient light, fog and the screen.
  ambientColor = ReadColour(scene, "Ambient", 128, 128, 128);
  fogMode = KeywordCode(kFogModes, GetText(scene, nullptr, "FogMode", "Vertex_Exp").c_str(), 0);
  fogColor = ReadColour(scene, "FogColor", 128, 128, 128);
  fogDensity = scene->GetFloat(nullptr, "FogDensity", 0.01f);
  fogStart = scene->GetFloat(nullptr, "FogStart", 0.01f);
  fogEnd = scene->GetFloat(nullptr, "FogEnd", 0.01f);
  fogEnable = scene->GetInt(nullptr, "FogEnable", 0) > 0 ? 1 : 0;
  screenCenter = ReadVector(scene, "ScreenCenter");
  screenNormal = ReadVector(scene, "ScreenNormal");
  screenWidth = scene->GetFloat(nullptr, "ScreenWidth", 0.0f);

  // 8-9. The camera.
  const float fov = scene->GetFloat(nullptr, "fov", 51.481f);
  if (CBaseCamera* camera = GetCamera()) camera->SetFieldOfView(fov);
  {
    float v[6] = {0, 0, 0, 0, 0, 0};
    const std::string text = GetText(scene, nullptr, "OriginCamera", "0,0,0;0,0,0");
    std::sscanf(text.c_str(), "%f,%f,%f;%f,%f,%f", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
    originCameraEye = D3DXVECTOR3(v[0], v[1], v[2]);
    originCameraTarget = D3DXVECTOR3(v[3], v[4], v[5]);
  }
  if (CBaseCamera* camera = GetCamera()) {
    camera->SetEyeAdjuster(this);
    camera->SetMouseLookPoints(&originCameraEye, &originCameraTarget);
  }

  // 10. The environment map.
  CopyText(envMapName, GetText(scene, nullptr, "EnvMap", "Brivanta\\Common\\scene\\cubemap.dds"));

  // 11-13. The model records.
  IniReader material = OpenIni(root + "\\material\\" + number + ".ini");
  {
    // The record keeps the first 255 characters of a longer name, but its keys and material
    // stand under the whole name, so the walk reads names whole. One that fills even this
    // buffer may have been cut: its keys cannot be found, and it is left out.
    std::vector<char> section(kWholeSectionSize);
    const int size = static_cast<int>(section.size());
    for (bool more = scene->GetFirstSection(section.data(), size); more;
         more = scene->GetNextSection(section.data(), size)) {
      if (std::strlen(section.data()) >= section.size() - 1) {
        g_pHost->Log("[WARNING] CSceneSystem::LoadSceneFromINI: a section name of %d characters or more is left out.",
                     size - 1);
        continue;
      }
      ReadModelRecord(scene, material.get(), section.data());
    }
  }
  Release(sceneFile);

  // 14. Host objects and the records' models.
  CreateScene();

  // 15. The special objects.
  struct Special {
    ComponentHandle* handle;
    const char* className;
    std::initializer_list<std::pair<const char*, int>> channels;
  };
  const Special specials[] = {
      {&sailHandle, "sail", {{"sails_trace", 10}, {"sun_trace", 10}, {"execute", 31}, {"sea_reflection", 3}}},
      {&ropeHandle, "rope", {{"execute", 32}}},
      {&flagHandle, "flag", {{"execute", 31}}},
      {&vantHandle, "vant", {{"execute", 31}}}};
  for (const Special& s : specials) {
    if (Pointer(*s.handle) != nullptr) continue;
    g_pHost->CreateObject(s.handle, s.className);
    for (const auto& [channel, order] : s.channels) g_pHost->Subscribe(channel, *s.handle, order);
  }

  // 16. Named models.
  walkPatch = GetModelPtr("walk_patch");
  cameraPatch = GetModelPtr("camera_patch");
  opaqueGround = FindModelRecord("opaqueGround");
  translucentGround = FindModelRecord("translucentGround");

  // 17. The state string again.
  if (!stateString.empty()) g_pHost->SendMessage(soundHandle, "ls", 77017, stateString.c_str());

  // 18-21. Static resources, helper points, lights.
  IniReader npc = OpenIni(root + "\\npc\\" + number + ".ini");
  LoadStaticResFromModel(npc.get(), material.get());
  LoadHelperPoints((root + "\\helperPoint\\" + number + ".ini").c_str());
  if (lighting != nullptr) lighting->LoadFromFile((root + "\\light\\" + number + ".ini").c_str());
  Release(material);
  Release(npc);

  // 22.
  sceneId = id;
  return true;
}

void CSceneSystem::ReadModelRecord(IIniFile* scene, IIniFile* material, const char* section) {
  SceneModelRecord record;
  std::memset(static_cast<void*>(&record), 0, sizeof record);
  CopyText(record.name, section);
  record.ModelType = scene->GetInt(section, "ModelType", 0);
  record.Visible = scene->GetInt(section, "Visible", 0) > 0;
  record.GrassType = scene->GetInt(section, "GrassType", -1);
  record.PlayRate = scene->GetFloat(section, "PlayRate", 1.0f);
  CopyText(record.TexPath1, GetText(scene, section, "TexPath1", ""));
  CopyText(record.TexPath2, GetText(scene, section, "TexPath2", ""));
  CopyText(record.TexPath3, GetText(scene, section, "TexPath3", ""));
  CopyText(record.ModelPath, GetText(scene, section, "ModelPath", ""));
  CopyText(record.ModelName, GetText(scene, section, "ModelName", ""));
  CopyText(record.MotiveName, GetText(scene, section, "MotiveName", ""));
  CopyText(record.ClassName, GetText(scene, section, "ClassName", ""));
  CopyText(record.Parameters, GetText(scene, section, "Parameters", ""));
  CopyText(record.AddLayer, GetText(scene, section, "AddLayer", ""));
  {
    char style[kSectionSize] = {};
    scene->GetString(section, "RenderStyle", style, sizeof style, "normal");
    record.RenderStyle = KeywordCode(kRenderStyles, style, 1);
  }
  CopyText(record.TechnicName, GetText(scene, section, "TechnicName", ""));
  CopyText(record.VideoFile, GetText(scene, section, "VideoFile", ""));
  CopyText(record.VideoOutputPin, GetText(scene, section, "VideoOutputPin", "Output"));
  record.SceneVideoPlayerID = scene->GetInt(section, "SceneVideoPlayerID", 0);
  record.ClampUCoord = scene->GetBool(section, "ClampUCoord", false);
  record.ClampVCoord = scene->GetBool(section, "ClampVCoord", false);
  if (scene->GetInt(section, "MtlAni", 0) > 0) {
    if (auto* block = HostNewArray<CTexCoordModifiers>(1)) {
      HostBlockCount(block) = 1;
      record.materialAnimation = new (block) CTexCoordModifiers();
      record.materialAnimation->LoadFromINI(material, section);
    }
  }
  record.AttachConfig = scene->GetInt(section, "AttachConfig", 0) > 0;
  record.alphaReference = 255;
  modelRecords.push_back(record);
}

// ---- Records -----------------------------------------------------------------------------------

int32_t CSceneSystem::FindModelRecord(const char* name) {
  if (name == nullptr) return -1;
  for (size_t i = 0; i < modelRecords.size(); ++i)
    if (_stricmp(modelRecords[i].name, name) == 0) return static_cast<int32_t>(i);
  return -1;
}

IHostModel* CSceneSystem::GetModelPtr(const char* name) {
  return Guard(
      "CSceneSystem::GetModelPtr",
      [&]() -> IHostModel* {
        const int32_t index = FindModelRecord(name);
        if (index < 0) return nullptr;
        return static_cast<IHostModel*>(Pointer(modelRecords[static_cast<size_t>(index)].modelObject));
      },
      nullptr);
}

bool CSceneSystem::ResetSceneModel(SceneModelRecord* record) {
  if (record == nullptr) return false;
  return Guard("CSceneSystem::ResetSceneModel", [&]() -> bool {
    SceneModelRecord& r = *record;
    // 1-2. The old model goes.
    if (void* old = Pointer(r.modelObject)) {
      g_pHost->SendMessage(soundHandle, "lp", 100000001, old);
      g_pHost->SendMessage(particlesHandle, "li", 100000001, r.modelObject);
      for (const ComponentHandle* h : {&dynLightHandle, &animalsParticlesHandle, &animalsHandle})
        g_pHost->SendMessage(*h, "lp", 100000001, old);
    }
    g_pHost->DestroyObject(r.modelObject);

    // 3-7. The new model, made in the geometry service's loading context.
    const std::string modelPath = std::string(r.ModelPath) + r.ModelName;
    if (geometry != nullptr) {
      if (r.RenderStyle == 8) geometry->Slot20(1, 1, 0);
      if (r.ModelType == 5) geometry->Slot22(1);
      if (r.RenderStyle != 15 && r.RenderStyle != 16) geometry->Slot35(1);
      geometry->SetTexturePaths(r.TexPath1, r.TexPath2, r.TexPath3);
    }
    r.modelObject.Clear();
    g_pHost->CreateObject(&r.modelObject, "modelr");
    g_pHost->SendMessage(r.modelObject, "ll", 20511, modelOption);
    g_pHost->SendMessage(r.modelObject, "lss", 20500, modelPath.c_str(), "");
    if (geometry != nullptr) {
      geometry->Slot35(0);
      geometry->SetTexturePaths("", nullptr, nullptr);
      if (r.RenderStyle == 8) geometry->Slot20(0, 1, 0);
      if (r.ModelType == 5) geometry->Slot22(0);
    }

    // 8.
    auto* model = static_cast<IHostModel*>(Pointer(r.modelObject));
    if (model == nullptr) return false;

    // 9. The effect technique.
    HostModelGeometry* part0 = model->GetGeometry(0);
    if (part0 != nullptr && r.TechnicName[0] != '\0' && g_pSceneRenderer != nullptr)
      part0->SetEffect(g_pSceneRenderer->GetEffect(r.TechnicName));

    // 10. The motion.
    if (r.MotiveName[0] != '\0') {
      const std::string motionPath = std::string(r.ModelPath) + r.MotiveName;
      if (auto* motive = static_cast<IMotiveService*>(g_pHost->GetService("MotiveServiceImp"))) {
        motive->SetMotionFolder(r.TexPath1);
        g_pHost->SendMessage(r.modelObject, "ls", 20510, motionPath.c_str());
        if (IMotionController* controller = model->GetMotionController(0)) {
          controller->SetPlayRate(r.PlayRate);
          controller->SetLooping(1);
          controller->Play();
        }
        motive->SetMotionFolder(nullptr);
      }
    }

    // 11. The navigation mesh.
    if (_stricmp(r.name, "navigation") == 0 && part0 != nullptr) ResetNavMesh(part0);

    // 12. Video and film.
    if (r.RenderStyle == 7 && filmEnabled) {
      if (r.VideoFile[0] != '\0') {
        const ComponentHandle* manager = &filmVideoHandle;
        if (r.SceneVideoPlayerID == 1) {
          manager = &videoManager1;
        } else if (r.SceneVideoPlayerID == 2) {
          manager = &videoManager2;
        } else if (r.SceneVideoPlayerID != 0) {
          g_pHost->Log("[warning] err videoPlayerID value > 2 ");
        }
        if (CVideoTextureManager* m = Manager(manager)) {
          wchar_t file[260] = {}, pin[260] = {};
          MultiByteToWideChar(CP_ACP, 0, r.VideoFile, -1, file, 260);
          MultiByteToWideChar(CP_ACP, 0, r.VideoOutputPin, -1, pin, 260);
          file[259] = pin[259] = L'\0';
          if (m->SetVideoInTexture(file, pin, 1, nullptr) == 0) {
            m->Play();
            videoPlaying = 1;
          }
        }
      } else if (!filmSourceName.empty()) {
        // Without a source the player would have nothing to show.
        g_pHost->Log("[Film OK] CreateProcess");
        StartFilmPlayer();
      }
    }

    // 13. The mirror.
    if (r.RenderStyle == 14 && MirrorPlaneFromModel(model, &r.mirrorPlane))
      D3DXMatrixReflect(&r.reflection, &r.mirrorPlane);

    // 14. The class object.
    if (r.ClassName[0] != '\0') MakeSceneClassObject(&r.classObject, r.ClassName);

    // 15. Extra channels: "channel:order" entries joined by ';'.
    if (r.AddLayer[0] != '\0') {
      char layers[256] = {};
      std::memcpy(layers, r.AddLayer, kNameLimit);
      char* save = nullptr;
      for (char* entry = strtok_r(layers, ";", &save); entry != nullptr; entry = strtok_r(nullptr, ";", &save)) {
        char* inner = nullptr;
        char* channel = strtok_r(entry, ":", &inner);
        char* order = strtok_r(nullptr, ":", &inner);
        if (channel != nullptr && order != nullptr)
          g_pHost->Subscribe(channel, r.modelObject, static_cast<int>(std::atol(order)));
      }
    }

    // 16. Announce the model.
    void* object = model;
    g_pHost->SendMessage(soundHandle, "lpl", 100000000, object, 1);
    g_pHost->SendMessage(particlesHandle, "lil", 100000000, r.modelObject, 1);
    for (const ComponentHandle* h : {&animalsParticlesHandle, &animalsHandle, &dynLightHandle})
      g_pHost->SendMessage(*h, "lpl", 100000000, object, 1);
    g_pHost->SendMessage(effectActionHandle, "lp", 100000000, object);
    return true;
  }, true);
}

bool CSceneSystem::MirrorPlaneFromModel(IHostModel* model, D3DXPLANE* plane) {
  if (model == nullptr || plane == nullptr || g_pSceneRenderer == nullptr) return false;
  HostModelGeometry* context = model->GetGeometry(0);
  if (context == nullptr || context->material == nullptr) return false;
  const int buffer = context->material->GetVertexBuffer(0);
  const uint32_t stride = context->material->GetVertexStride(0);
  if (stride < 12) return false;
  auto* bytes = static_cast<const uint8_t*>(g_pSceneRenderer->LockVertexBuffer(buffer, 0, 0, 0));
  if (bytes == nullptr) return false;
  D3DXVECTOR3 p[3];
  for (int i = 0; i < 3; ++i) std::memcpy(&p[i], bytes + i * stride, sizeof(D3DXVECTOR3));
  g_pSceneRenderer->UnlockVertexBuffer(buffer);
  D3DXPlaneFromPoints(plane, &p[0], &p[1], &p[2]);
  return true;
}

void CSceneSystem::UpdateScene(int32_t lightSet, bool day) {
  Guard("CSceneSystem::UpdateScene", [&] {
    for (SceneModelRecord& r : modelRecords) {
      if (!r.Visible) continue;
      std::string folder;
      if (r.ModelType == 1) {
        folder = r.ModelPath;
      } else if (r.ModelType == 2) {
        folder = std::string(r.ModelPath) + (day ? "day\\" : "night\\") + "3\\";
      } else {
        continue;
      }
      ChangeModelLight(&r, folder.c_str(), lightSet);
    }
  });
}

void CSceneSystem::ChangeModelLight(SceneModelRecord* record, const char* folder, int32_t lightSet) {
  Guard("CSceneSystem::ChangeModelLight", [&] {
    if (record == nullptr || folder == nullptr || g_pSceneRenderer == nullptr || g_pIniService == nullptr) return;
    auto* model = static_cast<IHostModel*>(Pointer(record->modelObject));
    if (model == nullptr) return;
    const std::string set = std::to_string(lightSet);
    for (int32_t k = 0;; ++k) {
      HostModelGeometry* part = model->GetGeometry(k);
      if (part == nullptr) break;
      std::string path = std::string("resource\\models\\") + folder + record->ModelName;
      if (k > 0) path += std::string("_") + part->GetName();
      path += "_" + set + ".col";
      HANDLE file = g_pIniService->OpenFile(path.c_str(), kFileAccessRead, kFileShareRead, kFileOpenExisting);
      if (file == nullptr || file == INVALID_HANDLE_VALUE) continue;
      if (part->mesh == nullptr) {
        g_pIniService->CloseFile(file);
        break;
      }
      bool ended = false;
      for (uint32_t s = 0; s < part->mesh->subMeshCount && !ended; ++s) {
        const HostSubMesh& sub = part->mesh->subMeshes[s];
        // A vertex without room for its colour after position and normal cannot take one.
        if (sub.stride < 28) continue;
        auto* bytes = static_cast<uint8_t*>(g_pSceneRenderer->LockVertexBuffer(sub.vertexBuffer, 0, 0, 0));
        if (bytes == nullptr) {
          ended = true;
          break;
        }
        for (uint32_t v = 0; v < sub.vertexCount; ++v) {
          uint32_t colour = 0, read = 0;
          // A file that ends early leaves the remaining colours as they were.
          if (!g_pIniService->ReadFile(file, &colour, 4, &read) || read != 4) {
            ended = true;
            break;
          }
          std::memcpy(bytes + static_cast<size_t>(v) * sub.stride + 24, &colour, 4);
        }
        g_pSceneRenderer->UnlockVertexBuffer(sub.vertexBuffer);
      }
      g_pIniService->CloseFile(file);
    }
  });
}

// ---- Creation ------------------------------------------------------------------------------------

void CSceneSystem::SetDefaultLight() {
  D3DLIGHT8 light{};
  light.Type = D3DLIGHT_DIRECTIONAL;
  light.Diffuse = {0.8f, 0.8f, 0.8f, 1.0f};
  light.Specular = {0.8f, 0.8f, 0.8f, 1.0f};
  light.Ambient = {0.0f, 0.0f, 0.0f, 1.0f};
  light.Direction = {0.0f, -1.0f, 1.0f};
  if (g_pSceneRenderer != nullptr) {
    g_pSceneRenderer->SetLight(0, &light);
    g_pSceneRenderer->LightEnable(0, TRUE);
  }
  if (auto* shadow = static_cast<IShadowObject*>(Pointer(shadowHandle))) shadow->SetLightDirection(&light.Direction);
  if (lighting != nullptr) lighting->SetAmbientColor(ambientColor);
}

bool CSceneSystem::CreateScene() {
  return Guard("CSceneSystem::CreateScene", [&]() -> bool {
    bool made = true;
    if (weatherOn) {
      if (Pointer(weatherHandle) == nullptr && !g_pHost->CreateObject(&weatherHandle, "WEATHER")) {
        g_pHost->Log("Can't create weather system for game!");
        // The scene goes on without weather, as it does without a sea; its models are still made.
        weatherOn = 0;
        made = false;
      }
    }
    if (!weatherOn) {
      SetDefaultLight();
      SetFogMode(fogMode);
      SetFogParams(fogColor, fogDensity, fogStart, fogEnd);
    }
    if (g_pSceneRenderer != nullptr) g_envMapTexture = g_pSceneRenderer->LoadTexture(envMapName, 0);

    if (weatherOn && Pointer(seaHandle) == nullptr) {
      if (!g_pHost->CreateObject(&seaHandle, "SEA")) g_pHost->Log("Can't create sea system for game!");
      g_pHost->Subscribe("sea_reflection", handle, 2);
    }

    const std::pair<ComponentHandle*, const char*> further[] = {{&dynLightHandle, "DynLightManager"},
                                                                {&animalsParticlesHandle, "AnimalsParticles"},
                                                                {&animalsHandle, "Animals"},
                                                                {&effectActionHandle, "EffectAction"},
                                                                {&effectRoomHandle, "EffectRoom"}};
    for (const auto& [h, className] : further)
      if (Pointer(*h) == nullptr) g_pHost->CreateObject(h, className);

    for (SceneModelRecord& r : modelRecords) {
      if (r.ModelType == 4 && r.GrassType >= 0) {
        g_pHost->SendMessage(effectActionHandle, "llss", 77702, r.GrassType, r.ModelPath, r.ModelName);
      } else if (r.ModelType == 1 || r.ModelType == 5) {
        ResetSceneModel(&r);
      } else if (r.ModelType == 3) {
        const D3DXVECTOR3 zero(0.0f, 0.0f, 0.0f);
        const ComponentHandle none{};
        g_pHost->SendMessage(activeEffectHandle, "lscciffls", 600000, static_cast<const char*>(r.ModelName), zero,
                             zero, none, 1.0, -1.0, -1, nullptr);
      }
    }
    return made;
  }, true);
}

void CSceneSystem::SetWeather(int32_t type) {
  IniReader config = OpenIni(weatherConfigPath);
  if (config == nullptr) return;
  const std::string section = std::to_string(type);
  seaPresent = config->GetBool(section.c_str(), "Sea", false) ? 1 : 0;
  weatherType = type;
  if (weatherOn) {
    if (type == -1) {
      SetDefaultLight();
      fogEnable = 0;
      SetFogMode(fogMode);
      SetFogParams(fogColor, fogDensity, fogStart, fogEnd);
      g_pHost->SendMessage(weatherHandle, "l", 900002);
    } else {
      fogEnable = 1;
      g_pHost->SendMessage(weatherHandle, "lsl", 900001, static_cast<const char*>(weatherConfigPath), type);
      g_pHost->SendMessage(seaHandle, "lsl", 20000001, static_cast<const char*>(weatherConfigPath), type);
    }
  }
  Release(config);
}

// ---- Unloading -----------------------------------------------------------------------------------

void CSceneSystem::UnloadSceneThunk() { UnloadScene(); }

void CSceneSystem::UnloadScene() {
  Guard("CSceneSystem::UnloadScene", [&] {
    // 1. A scene system whose Init failed has no lighting system.
    sceneFactor = 1.0f;
    if (lighting != nullptr) lighting->DeleteAll();
    // 2-3.
    g_pHost->SendMessage(soundHandle, "l", 77018);
    g_pHost->SendMessage(soundHandle, "l", 100000);
    if (weatherOn) g_pHost->DestroyObject(weatherHandle);
    // 4-6. The model records.
    for (SceneModelRecord& r : modelRecords) {
      if (void* object = Pointer(r.modelObject)) {
        for (const ComponentHandle* h : {&soundHandle, &dynLightHandle, &animalsParticlesHandle, &animalsHandle})
          g_pHost->SendMessage(*h, "lp", 100000001, object);
      }
      g_pHost->DestroyObject(r.modelObject);
      g_pHost->DestroyObject(r.classObject);
      if (r.materialAnimation != nullptr) {
        r.materialAnimation->~CTexCoordModifiers();
        HostDeleteArray(r.materialAnimation);
        r.materialAnimation = nullptr;
      }
    }
    g_pHost->SendMessage(particlesHandle, "l", 10006);
    modelRecords.clear();
    // 7-8.
    if (auto* particles = static_cast<IParticlesObject*>(Pointer(particlesHandle))) particles->ClearAll();
    for (const ComponentHandle* h : {&animalsHandle, &animalsParticlesHandle, &dynLightHandle, &effectActionHandle,
                                     &sailHandle, &ropeHandle, &flagHandle, &vantHandle})
      g_pHost->DestroyObject(*h);
    if (weatherOn) g_pHost->DestroyObject(seaHandle);
    // 9. Scene objects: those flagged to stay survive into the next scene.
    for (size_t i = 0; i < sceneObjects.size();) {
      CSceneBaseObj* object = ObjectOf(sceneObjects[i]);
      if (object != nullptr && object->GetUserFlag()) {
        ++i;
        continue;
      }
      if (object != nullptr) {
        RemoveProjectorReceiver(object);
        g_pHost->DestroyObject(sceneObjects[i]);
      }
      sceneObjects.erase(sceneObjects.begin() + static_cast<std::ptrdiff_t>(i));
      objectIndex.Invalidate();
    }
    // 10-12.
    opaqueGround = translucentGround = -1;
    walkPatch = cameraPatch = nullptr;
    stateString.clear();
    weatherType = 0;
    sceneId = -1;
    lightSockets.clear();
    // The fixed points the models brought go with them.
    helperGroups.clear();
    // 13-15.
    flags.Clear();
    if (CVideoTextureManager* film = Manager(&filmVideoHandle)) film->ReleaseGraph();
    ResetNavMesh(nullptr);
    focusObject = nullptr;
    // 16-18.
    if (g_envMapTexture >= 0 && g_pSceneRenderer != nullptr) g_pSceneRenderer->ReleaseTexture(g_envMapTexture);
    g_envMapTexture = -1;
    pickDirty = 1;
    videoPlaying = 0;
    if (g_pIniService != nullptr) g_pIniService->Flush();
  });
}

void CSceneSystem::ReleasePreload() {
  for (const ComponentHandle& model : preloadedModels) g_pHost->DestroyObject(model);
  preloadedModels.clear();
  if (g_pSceneRenderer != nullptr)
    for (int texture : preloadedTextures) g_pSceneRenderer->ReleaseTexture(texture);
  preloadedTextures.clear();

  IniReader preloadFile = OpenIni(SceneFolder() + "\\preload.ini");
  IIniFile* preload = preloadFile.get();
  if (preload == nullptr) return;
  char section[kSectionSize] = {};
  for (bool more = preload->GetFirstSection(section, kSectionSize); more;
       more = preload->GetNextSection(section, kSectionSize)) {
    const std::string tex1 = GetText(preload, section, "TexPath1", "");
    const std::string tex2 = GetText(preload, section, "TexPath2", "");
    const std::string tex3 = GetText(preload, section, "TexPath3", "");
    const std::string modelName = GetText(preload, section, "ModelName", "");
    if (!modelName.empty()) {
      if (geometry != nullptr) {
        geometry->SetTexturePaths(tex1.c_str(), tex2.c_str(), tex3.c_str());
        geometry->Slot35(1);
      }
      ComponentHandle made{};
      g_pHost->CreateObject(&made, "modelr");
      g_pHost->SendMessage(made, "ll", 20511, modelOption);
      g_pHost->SendMessage(made, "lss", 20500, modelName.c_str(), "");
      if (geometry != nullptr) {
        geometry->Slot35(0);
        geometry->SetTexturePaths("", nullptr, nullptr);
      }
      if (Pointer(made) != nullptr) {
        preloadedModels.push_back(made);
      } else {
        g_pHost->DestroyObject(made);
      }
    }
    const std::string texture = GetText(preload, section, "TextureName", "");
    if (!texture.empty() && g_pSceneRenderer != nullptr) {
      const int handle = g_pSceneRenderer->LoadTexture(texture.c_str(), 0);
      if (handle >= 0) preloadedTextures.push_back(handle);
    }
  }
  Release(preloadFile);
}
