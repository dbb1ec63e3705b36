// Helper points (named placement frames in named groups, edited by the game and kept in the
// scene's helper-point file) and light sockets (read-only frames the lights attach to).
//
// Indices handed in are checked: a bad one changes nothing and answers "", 0, false or null.
// Points in use come from the scene's model nodes: they are never changed, removed one by one or
// saved. Names the helper-point file could not give back unchanged are refused, so that every
// point the game adds survives a save and a load.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "frame/host_blocks.h"
#include "frame/host_services.h"
#include "frame/module_globals.h"
#include "scene/scene_system.h"
#include "win32/crt_string.h"

namespace {

// Large enough for any value the writer makes from a name of a few thousand characters: the
// reader takes the whole line, where fixed small buffers used to cut long names and numbers.
constexpr int kValueBuffer = 65536;
constexpr int kSectionBuffer = 4096;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A point name goes before the first ';' of its value, which the INI trims at its start.
bool PointNameFits(const char* name) {
  if (name == nullptr || name[0] == '\0' || IsBlank(name[0])) return false;
  return std::strpbrk(name, ";\r\n") == nullptr;
}

// A group name becomes a section name: no ']', no line break, no blanks at either end.
bool GroupNameFits(const char* name) {
  if (name == nullptr || name[0] == '\0') return false;
  const size_t n = std::strlen(name);
  if (IsBlank(name[0]) || IsBlank(name[n - 1])) return false;
  return std::strpbrk(name, "]\r\n") == nullptr;
}

// The non-empty pieces of `text` between separators, as strtok gives them.
std::vector<std::string> Tokens(const std::string& text, char separator) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = text.find(separator, at);
    const size_t stop = end == std::string::npos ? text.size() : end;
    if (stop > at) out.push_back(text.substr(at, stop - at));
    at = stop + 1;
  }
  return out;
}

// A point value: the name up to the first ';', then up to three groups of four numbers, the
// frame's columns 0-2 read down the rows. What a value leaves out keeps the identity's numbers.
void ParsePointValue(const std::string& value, std::string* name, D3DXMATRIX* frame) {
  const size_t semicolon = value.find(';');
  *name = value.substr(0, semicolon);
  D3DXMATRIX rows;
  D3DXMatrixIdentity(&rows);
  if (semicolon != std::string::npos) {
    const std::vector<std::string> groups = Tokens(value.substr(semicolon + 1), ';');
    for (size_t g = 0; g < groups.size() && g < 3; ++g) {
      const std::vector<std::string> numbers = Tokens(groups[g], ',');
      for (size_t i = 0; i < numbers.size() && i < 4; ++i)
        rows.m[g][i] = static_cast<float>(std::atof(numbers[i].c_str()));
    }
  }
  D3DXMatrixTranspose(frame, &rows);
}

std::string FormatPointValue(const HelperPoint& point) {
  D3DXMATRIX t;
  D3DXMatrixTranspose(&t, &point.frame);
  const char* format = "%s;%f,%f,%f,%f;%f,%f,%f,%f;%f,%f,%f,%f";
  auto print = [&](char* buffer, size_t size) {
    return std::snprintf(buffer, size, format, point.name.c_str(), t.m[0][0], t.m[0][1], t.m[0][2], t.m[0][3],
                         t.m[1][0], t.m[1][1], t.m[1][2], t.m[1][3], t.m[2][0], t.m[2][1], t.m[2][2], t.m[2][3]);
  };
  const int needed = print(nullptr, 0);
  if (needed <= 0) return std::string();
  std::string text(static_cast<size_t>(needed) + 1, '\0');
  print(text.data(), text.size());
  text.resize(static_cast<size_t>(needed));
  return text;
}

}  // namespace

bool CSceneSystem::LoadHelperPoints(const char* path) {
  if (path == nullptr || g_pIniService == nullptr) return false;
  IIniFile* ini = g_pIniService->OpenIni(path, 0);
  if (ini == nullptr) return false;
  std::vector<char> section(kSectionBuffer), value(kValueBuffer);
  for (bool more = ini->GetFirstSection(section.data(), kSectionBuffer); more;
       more = ini->GetNextSection(section.data(), kSectionBuffer)) {
    const std::string group(section.data());
    bool have = ini->GetString(group.c_str(), "point", value.data(), kValueBuffer, "");
    while (have) {
      std::string name;
      D3DXMATRIX frame;
      ParsePointValue(value.data(), &name, &frame);
      // A point the file cannot give (a name it cannot hold, a group another group's case twin
      // holds saved points, a point a model fixes) would otherwise go unnoticed.
      if (!AddHelperPoint(group.c_str(), name.c_str(), &frame))
        g_pHost->Log("[WARNING] CSceneSystem::LoadHelperPoints: %s: point \"%s\" of group \"%s\" is left out.", path,
                     name.c_str(), group.c_str());
      have = ini->GetNextString(group.c_str(), "point", value.data(), kValueBuffer);
    }
  }
  ReleaseIniFile(ini);
  return true;
}

bool CSceneSystem::SaveHelperPoints(const char* path) {
  if (path == nullptr || g_pIniService == nullptr) return false;
  IIniFile* ini = g_pIniService->CreateIni(path, 0);
  if (ini == nullptr) {
    g_pHost->Log("Warning : Can't create file ==> %s.", path);
    return false;
  }
  for (const HelperPointGroup& group : helperGroups)
    for (const HelperPoint& point : group.points)
      if (point.inUse == 0) ini->AddString(group.name.c_str(), "point", FormatPointValue(point).c_str());
  // The file counts as saved only when its bytes reached the disk.
  const bool committed = ini->Commit();
  ReleaseIniFile(ini);
  if (!committed) g_pHost->Log("Warning : Can't write file ==> %s.", path);
  return committed;
}

int32_t CSceneSystem::GetHelperGroupCount() { return static_cast<int32_t>(helperGroups.size()); }

HelperPointGroup* CSceneSystem::HelperGroupAt(int32_t group) {
  if (group < 0 || static_cast<size_t>(group) >= helperGroups.size()) return nullptr;
  return &helperGroups[static_cast<size_t>(group)];
}

HelperPoint* CSceneSystem::HelperPointAt(int32_t group, int32_t point) {
  HelperPointGroup* g = HelperGroupAt(group);
  if (g == nullptr || point < 0 || static_cast<size_t>(point) >= g->points.size()) return nullptr;
  return &g->points[static_cast<size_t>(point)];
}

// The file finds sections without regard to case: two groups whose names differ only in case
// would be merged by a save when both hold points that are saved.
bool CSceneSystem::CaseTwinSaved(const HelperPointGroup* self, const char* name) const {
  for (const HelperPointGroup& g : helperGroups) {
    if (&g == self || _stricmp(g.name.c_str(), name) != 0) continue;
    for (const HelperPoint& p : g.points)
      if (p.inUse == 0) return true;
  }
  return false;
}

const char* CSceneSystem::GetHelperGroupName(int32_t group) {
  const HelperPointGroup* g = HelperGroupAt(group);
  return g != nullptr ? g->name.c_str() : "";
}

int32_t CSceneSystem::GetHelperPointCount(int32_t group) {
  const HelperPointGroup* g = HelperGroupAt(group);
  return g != nullptr ? static_cast<int32_t>(g->points.size()) : 0;
}

const char* CSceneSystem::GetHelperPointName(int32_t group, int32_t point) {
  const HelperPoint* p = HelperPointAt(group, point);
  return p != nullptr ? p->name.c_str() : "";
}

bool CSceneSystem::SetHelperPointByName(int32_t group, const char* point, const D3DXMATRIX* frame) {
  HelperPointGroup* g = HelperGroupAt(group);
  if (g == nullptr || point == nullptr || frame == nullptr) return false;
  for (HelperPoint& p : g->points) {
    if (p.name != point) continue;
    if (p.inUse != 0) return false;
    p.frame = *frame;
    return true;
  }
  if (!PointNameFits(point) || !GroupNameFits(g->name.c_str()) || CaseTwinSaved(g, g->name.c_str())) return false;
  g->points.push_back(HelperPoint{point, *frame, 0});
  return true;
}

bool CSceneSystem::AddHelperPoint(const char* group, const char* point, const D3DXMATRIX* frame) {
  if (group == nullptr || point == nullptr || group[0] == '\0' || point[0] == '\0' || frame == nullptr) return false;
  if (!GroupNameFits(group)) return false;
  int32_t index = FindHelperGroup(group);
  if (index < 0) {
    if (!PointNameFits(point)) return false;
    if (CaseTwinSaved(nullptr, group)) return false;
    helperGroups.push_back(HelperPointGroup{group, {}});
    index = static_cast<int32_t>(helperGroups.size()) - 1;
  }
  return SetHelperPointByName(index, point, frame);
}

bool CSceneSystem::SetHelperPointMatrix(int32_t group, int32_t point, const D3DXMATRIX* frame) {
  HelperPoint* p = HelperPointAt(group, point);
  if (p == nullptr || frame == nullptr || p->inUse != 0) return false;
  p->frame = *frame;
  return true;
}

bool CSceneSystem::RemoveHelperPoint(int32_t group, int32_t point) {
  HelperPoint* p = HelperPointAt(group, point);
  if (p == nullptr || p->inUse != 0) return false;
  std::vector<HelperPoint>& points = helperGroups[static_cast<size_t>(group)].points;
  // The last point takes the freed place.
  if (p != &points.back()) *p = std::move(points.back());
  points.pop_back();
  return true;
}

bool CSceneSystem::RemoveHelperPointByName(const char* group, const char* point) {
  const int32_t g = FindHelperGroup(group);
  if (g < 0) return false;
  int32_t index = g;
  const int32_t p = FindHelperPoint(&index, point);
  if (p < 0) return false;
  return RemoveHelperPoint(g, p);
}

bool CSceneSystem::RemoveHelperGroup(int32_t group) {
  HelperPointGroup* g = HelperGroupAt(group);
  if (g == nullptr) return false;
  if (g != &helperGroups.back()) *g = std::move(helperGroups.back());
  helperGroups.pop_back();
  return true;
}

bool CSceneSystem::RemoveHelperGroupByName(const char* group) {
  const int32_t g = FindHelperGroup(group);
  return g >= 0 && RemoveHelperGroup(g);
}

int32_t CSceneSystem::FindHelperGroup(const char* name) {
  if (name == nullptr) return -1;
  for (size_t i = 0; i < helperGroups.size(); ++i)
    if (helperGroups[i].name == name) return static_cast<int32_t>(i);
  return -1;
}

int32_t CSceneSystem::FindHelperPoint(int32_t* group, const char* name) {
  if (group == nullptr) return -1;
  auto find = [&](const HelperPointGroup& g) -> int32_t {
    if (name == nullptr) return -1;
    for (size_t i = 0; i < g.points.size(); ++i)
      if (g.points[i].name == name) return static_cast<int32_t>(i);
    return -1;
  };
  if (*group != -1) {
    const HelperPointGroup* g = HelperGroupAt(*group);
    return g != nullptr ? find(*g) : -1;
  }
  for (size_t i = 0; i < helperGroups.size(); ++i) {
    const int32_t p = find(helperGroups[i]);
    if (p >= 0) {
      *group = static_cast<int32_t>(i);
      return p;
    }
  }
  *group = -1;
  return -1;
}

D3DXMATRIX* CSceneSystem::GetHelperPointMatrix(int32_t group, int32_t point) {
  HelperPoint* p = HelperPointAt(group, point);
  return p != nullptr ? &p->frame : nullptr;
}

const char* CSceneSystem::GetLightSocket(int32_t index, D3DMATRIX* frame) {
  if (index < 0 || static_cast<size_t>(index) >= lightSockets.size() || frame == nullptr) return nullptr;
  const LightSocket& socket = lightSockets[static_cast<size_t>(index)];
  *frame = socket.frame;
  return socket.name.c_str();
}

bool CSceneSystem::FindLightSocket(const char* name, D3DMATRIX* frame) {
  if (name == nullptr || frame == nullptr) return false;
  for (const LightSocket& socket : lightSockets) {
    if (_stricmp(socket.name.c_str(), name) != 0) continue;
    *frame = socket.frame;
    return true;
  }
  return false;
}

int32_t CSceneSystem::GetLightSocketCount() { return static_cast<int32_t>(lightSockets.size()); }
