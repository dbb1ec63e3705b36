// The static resources that a scene's models carry: suns and tinting lights, non-player
// characters configured from the npc file, light sockets, flag corners and helper points.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "frame/exception.h"
#include "frame/host_services.h"
#include "frame/module_globals.h"
#include "frame/renderer.h"
#include "lighting/light.h"
#include "lighting/lighting_system.h"
#include "scene/scene_system.h"
#include "win32/crt_string.h"
#include "win32/win32.h"

namespace {

// The corners of one flag seen so far in one pass.
struct FlagCorners {
  std::string name;
  D3DXVECTOR3 corners[3];
  unsigned seen = 0;  // one bit per corner number
  bool built = false;
};

std::string GetText(IIniFile* ini, const char* section, const char* key) {
  char buffer[256] = {};
  ini->GetString(section, key, buffer, sizeof buffer, "");
  return buffer;
}

// A corner node's name is "<flag>_<corner>" with the corner 0, 1 or 2; false for anything else.
bool ParseCorner(const char* nodeName, std::string* flag, int* corner) {
  // strtok writes into what it splits: the node's own name stays as it is.
  std::string copy = nodeName != nullptr ? nodeName : "";
  std::vector<char> text(copy.begin(), copy.end());
  text.push_back('\0');
  char* save = nullptr;
  const char* first = strtok_r(text.data(), "_", &save);
  const char* second = strtok_r(nullptr, "_", &save);
  if (first == nullptr || second == nullptr) return false;
  if (std::strcmp(second, "0") != 0 && std::strcmp(second, "1") != 0 && std::strcmp(second, "2") != 0) return false;
  *flag = first;
  *corner = std::atoi(second);
  return true;
}

}  // namespace

void CSceneSystem::AddModelLight(const HostModelLight& entry) {
  if (lighting == nullptr) return;
  CLight* light = nullptr;
  lighting->CreateLight(entry.name, &light);
  if (light == nullptr) return;
  const D3DXVECTOR4 colour(entry.colour[0], entry.colour[1], entry.colour[2], 1.0f);
  const D3DXVECTOR3 direction(entry.direction[0], entry.direction[1], entry.direction[2]);
  if (_stricmp(entry.name, "sun") == 0 && entry.type == 2) {
    light->SetType(1);
    light->SetColor(&colour);
    light->SetDirection(&direction);
    light->SetGlobalLight(true);
    light->SetActive(true, 0);
    light->SetRuntimeOnly(true);
    if (auto* shadow = static_cast<IShadowObject*>(g_pHost->GetObject(&shadowHandle)))
      shadow->SetLightDirection(&direction);
    return;
  }
  const D3DXVECTOR3 position(entry.position[0], entry.position[1], entry.position[2]);
  light->SetColor(&colour);
  light->SetPosition(&position);
  light->SetType(7);
  if (entry.type == 1) {
    light->SetDirection(&direction);
    light->SetPhi(entry.outerCone);
  }
  light->SetRange(entry.range);
  light->SetRuntimeOnly(true);
  light->SetActive(true, 0);
}

void CSceneSystem::AddNpc(IIniFile* npc, const HostModelNode& node) {
  const char* section = node.name;
  const int model = npc->GetInt(section, "model", -1);
  if (model <= -1) return;
  const uint32_t hash = ElfHash(node.name);
  const uint32_t idPair[2] = {hash, hash};
  CSceneBaseObj* object = CreateSceneObject(idPair);
  if (object == nullptr) return;

  const std::string name = GetText(npc, section, "Name");
  wchar_t title[256] = {};
  MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, title, 256);
  title[255] = L'\0';
  const std::string fontName = GetText(npc, section, "fontName");
  const int fontHeight = npc->GetInt(section, "fontHeight", 0);
  const int font = g_pSceneRenderer != nullptr ? g_pSceneRenderer->GetFont(fontName.c_str()) : -1;
  object->SetTitle(title, font, fontHeight, 1);

  object->LoadFromIni(static_cast<uint32_t>(model), 1, 0, npc->GetFloat(section, "titleBoxHeight", 0.0f));
  const int state = npc->GetInt(section, "state", -1);
  D3DXMATRIX matrix;
  std::memcpy(&matrix, &node.matrix, sizeof matrix);
  object->SetTransform(&matrix, state);
  if (state < 0) object->SetIdleSuppressed(1);
  object->Show(true);
  object->SetTag(npc->GetInt(section, "type", -1));
  object->SetUserValueA(npc->GetInt(section, "DialogScript", -1));
  object->SetUserFlagA(npc->GetInt(section, "EnableMouseClick", 1) != 0 ? 1 : 0);
  object->SetUserFlagB(npc->GetInt(section, "EnableMouseIn", 1) != 0 ? 1 : 0);
  object->SetName(GetText(npc, section, "BindMotive").c_str());
  object->SetUserFloat(npc->GetFloat(section, "EffectActiveDistance", 5.0f));
  object->SetUserValueB(npc->GetInt(section, "ActionTrigger", -1));
  const std::string camera = GetText(npc, section, "DialogCamera");
  if (!camera.empty()) {
    float v[10] = {};
    const int read = std::sscanf(camera.c_str(), "%f,%f,%f;%f,%f,%f;%f,%f,%f;%f", &v[0], &v[1], &v[2], &v[3], &v[4],
                                 &v[5], &v[6], &v[7], &v[8], &v[9]);
    // Eye and target need six numbers; fewer would hand the object half-set vectors.
    if (read >= 6) {
      const D3DXVECTOR3 eye(v[0], v[1], v[2]);
      const D3DXVECTOR3 target(v[3], v[4], v[5]);
      object->SetEyeTarget(&eye, &target, 0);
    }
  }
  object->SetSceneRenderFlag(npc->GetInt(section, "EnableOptimization", 1) != 0 ? 1 : 0);
}

void CSceneSystem::LoadStaticResFromModel(IIniFile* npcFile, IIniFile* materialFile) {
  Guard("CSceneSystem::LoadStaticResFromModel", [&] {
    std::vector<FlagCorners> corners;
    for (size_t r = 0; r < modelRecords.size(); ++r) {
      if (!modelRecords[r].AttachConfig) continue;
      auto* model = static_cast<IHostModel*>(g_pHost->GetObject(&modelRecords[r].modelObject));
      if (model == nullptr) continue;
      HostModelGeometry* part = model->GetGeometry(0);
      IHostAttachments* attachments = part != nullptr ? part->attachments : nullptr;
      if (attachments == nullptr) continue;

      for (int32_t i = 0; i < attachments->GetLightCount(); ++i)
        if (const HostModelLight* light = attachments->GetLight(i)) AddModelLight(*light);

      for (int32_t i = 0; i < attachments->GetNodeCount(); ++i) {
        const HostModelNode* node = attachments->GetNode(i);
        if (node == nullptr) continue;
        D3DXMATRIX matrix;
        std::memcpy(&matrix, &node->matrix, sizeof matrix);
        if (_stricmp(node->kind, "npcs") == 0) {
          if (npcFile != nullptr) AddNpc(npcFile, *node);
        } else if (_stricmp(node->kind, "lightSockets") == 0) {
          LightSocket socket;
          socket.name = node->name;
          socket.frame = matrix;
          socket.hash = ElfHash(node->name);
          lightSockets.push_back(std::move(socket));
        } else if (_strnicmp(node->kind, "flag", 4) == 0) {
          std::string flag;
          int corner = 0;
          if (!ParseCorner(node->name, &flag, &corner)) continue;
          auto set = corners.begin();
          while (set != corners.end() && set->name != flag) ++set;
          if (set == corners.end()) {
            corners.push_back(FlagCorners{flag, {}, 0, false});
            set = corners.end() - 1;
          }
          // A repeated corner moves it; the flag is built once, when all three are known.
          set->corners[corner] = D3DXVECTOR3(node->matrix.m[3][0], node->matrix.m[3][1], node->matrix.m[3][2]);
          set->seen |= 1u << corner;
          if (set->seen == 7u && !set->built) {
            set->built = true;
            flags.AddFlag(set->name.c_str(), node->kind, &set->corners[0].x, &set->corners[1].x, &set->corners[2].x,
                          materialFile);
          }
        } else {
          HelperPoint point;
          point.name = node->name;
          point.frame = matrix;
          point.inUse = 1;
          auto group = helperGroups.begin();
          while (group != helperGroups.end() && group->name != node->kind) ++group;
          if (group == helperGroups.end()) {
            helperGroups.push_back(HelperPointGroup{node->kind, {}});
            group = helperGroups.end() - 1;
          }
          group->points.push_back(std::move(point));
        }
      }
    }
  });
}
