// The light file: one INI section per light and per light group, read and written through the
// host's INI service.
#include <algorithm>
#include <array>
#include <charconv>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "frame/host_blocks.h"
#include "frame/module_globals.h"
#include "lighting/light.h"
#include "lighting/light_group.h"
#include "lighting/light_hull.h"
#include "lighting/lighting_system.h"

namespace {

constexpr int32_t kTypeGroup = 6;
// Values are read whole: a buffer that a value fills is doubled and the value read again, up
// to this size. A value that fills even this is cut (and treated as cut where that matters).
constexpr size_t kFirstBuffer = 2048;
constexpr size_t kLargestBuffer = size_t{1} << 20;
// Section names are walked through one buffer of this size.
constexpr size_t kSectionBuffer = size_t{1} << 16;

void Log(const char* format, ...) FL_PRINTF(1, 2);
void Log(const char* format, ...) {
  if (g_pHost == nullptr) return;
  char line[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof(line), format, args);
  va_end(args);
  g_pHost->Log("%s", line);
}

void Appendf(std::string* out, const char* format, ...) FL_PRINTF(2, 3);
void Appendf(std::string* out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (n > 0) {
    const size_t at = out->size();
    out->resize(at + static_cast<size_t>(n) + 1);
    std::vsnprintf(out->data() + at, static_cast<size_t>(n) + 1, format, again);
    out->resize(at + static_cast<size_t>(n));
  }
  va_end(again);
}

// The value of a key (or the default). *cut tells that it did not fit the largest buffer.
std::string ReadString(IIniFile* ini, const char* section, const char* key, const char* defaultText,
                       bool* cut = nullptr) {
  std::vector<char> buffer(kFirstBuffer);
  for (;;) {
    buffer[0] = '\0';
    ini->GetString(section, key, buffer.data(), static_cast<int>(buffer.size()), defaultText);
    const size_t length = strnlen(buffer.data(), buffer.size());
    const bool full = length + 1 >= buffer.size();
    if (!full || buffer.size() >= kLargestBuffer) {
      if (cut != nullptr) *cut = full;
      return std::string(buffer.data(), std::min(length, buffer.size() - 1));
    }
    buffer.assign(buffer.size() * 2, '\0');
  }
}

// Every value of a multi-valued key, in file order. Values that do not fit the largest
// buffer are left out.
std::vector<std::string> ReadAllValues(IIniFile* ini, const char* section, const char* key) {
  std::vector<char> buffer(kFirstBuffer);
  for (;;) {
    std::vector<std::string> values;
    bool anyFull = false;
    const int size = static_cast<int>(buffer.size());
    buffer[0] = '\0';
    bool more = ini->GetString(section, key, buffer.data(), size, "");
    while (more) {
      const size_t length = strnlen(buffer.data(), buffer.size());
      if (length + 1 >= buffer.size()) {
        anyFull = true;
      } else {
        values.emplace_back(buffer.data(), length);
      }
      buffer[0] = '\0';
      more = ini->GetNextString(section, key, buffer.data(), size);
    }
    if (!anyFull || buffer.size() >= kLargestBuffer) return values;
    buffer.assign(buffer.size() * 2, '\0');
  }
}

// The fields of a list, as the C library's tokeniser gives them: runs of separators count
// as one and empty fields do not appear.
std::vector<std::string> Fields(const std::string& text, char separator) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && text[i] == separator) ++i;
    if (i >= text.size()) break;
    const size_t end = text.find(separator, i);
    const size_t stop = end == std::string::npos ? text.size() : end;
    out.push_back(text.substr(i, stop - i));
    i = stop;
  }
  return out;
}

// A leading decimal integer as atol reads it, held to the 32-bit range; 0 without digits.
int32_t ToInt(const std::string& field) {
  errno = 0;
  const long long v = std::strtoll(field.c_str(), nullptr, 10);
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

// A leading decimal number as atof reads it in the C locale, whatever locale the process
// runs under: blanks and one '+' skipped, then the longest number; 0 without one.
// Doubles beyond the float range become infinite, as atof's result does when cast.
float ToFloat(const std::string& field) {
  const char* p = field.c_str();
  const char* end = p + field.size();
  while (p < end && (*p == ' ' || (*p >= '\t' && *p <= '\r'))) ++p;
  if (p < end && *p == '+') ++p;
  double value = 0.0;
  const auto result = std::from_chars(p, end, value, std::chars_format::general);
  if (result.ec != std::errc()) return 0.0f;  // no number, or one beyond the double range
  return static_cast<float>(value);
}

// "%f" of the C locale: six decimals, fixed notation.
void AppendFixed(std::string* out, double value) {
  char text[400];
  const auto r = std::to_chars(text, text + sizeof(text), value, std::chars_format::fixed, 6);
  out->append(text, r.ec == std::errc() ? r.ptr : text);
}

void AppendInt(std::string* out, int32_t value) {
  char text[16];
  const auto r = std::to_chars(text, text + sizeof(text), value);
  out->append(text, r.ptr);
}

// One track of a light as the file names it, with the light's operations on it.
struct TrackIo {
  const char* key;
  int values;
  void (*setModes)(CLight*, int32_t interpolation, int32_t wrap);
  void (*addKey)(CLight*, int32_t time, const float* v);
  uint32_t (*count)(CLight*);
  int32_t (*getKey)(CLight*, uint32_t index, float* v);  // the key's time
  int32_t (*interpolation)(CLight*);
  int32_t (*wrap)(CLight*);
};

const TrackIo kColor{
    "color", 4,
    [](CLight* l, int32_t i, int32_t w) { l->SetColorInterpolation(i); l->SetColorWrap(w); },
    [](CLight* l, int32_t t, const float* v) { l->AddColorKey(t, D3DXCOLOR(v[0], v[1], v[2], v[3])); },
    [](CLight* l) { return l->GetColorKeyCount(); },
    [](CLight* l, uint32_t k, float* v) {
      int32_t t = 0;
      const D3DXCOLOR c = l->GetColorKey(k, &t);
      v[0] = c.r; v[1] = c.g; v[2] = c.b; v[3] = c.a;
      return t;
    },
    [](CLight* l) { return l->GetColorInterpolation(); }, [](CLight* l) { return l->GetColorWrap(); }};

const TrackIo kPosition{
    "position", 3,
    [](CLight* l, int32_t i, int32_t w) { l->SetPositionInterpolation(i); l->SetPositionWrap(w); },
    [](CLight* l, int32_t t, const float* v) { l->AddPositionKey(t, D3DXVECTOR3(v[0], v[1], v[2])); },
    [](CLight* l) { return l->GetPositionKeyCount(); },
    [](CLight* l, uint32_t k, float* v) {
      int32_t t = 0;
      const D3DXVECTOR3 p = l->GetPositionKey(k, &t);
      v[0] = p.x; v[1] = p.y; v[2] = p.z;
      return t;
    },
    [](CLight* l) { return l->GetPositionInterpolation(); }, [](CLight* l) { return l->GetPositionWrap(); }};

const TrackIo kAttenuation{
    "attenuation", 3,
    [](CLight* l, int32_t i, int32_t w) { l->SetAttenuationInterpolation(i); l->SetAttenuationWrap(w); },
    [](CLight* l, int32_t t, const float* v) { l->AddAttenuationKey(t, D3DXVECTOR3(v[0], v[1], v[2])); },
    [](CLight* l) { return l->GetAttenuationKeyCount(); },
    [](CLight* l, uint32_t k, float* v) {
      int32_t t = 0;
      const D3DXVECTOR3 p = l->GetAttenuationKey(k, &t);
      v[0] = p.x; v[1] = p.y; v[2] = p.z;
      return t;
    },
    [](CLight* l) { return l->GetAttenuationInterpolation(); },
    [](CLight* l) { return l->GetAttenuationWrap(); }};

const TrackIo kDirection{
    "direction", 4,
    [](CLight* l, int32_t i, int32_t w) { l->SetDirectionInterpolation(i); l->SetDirectionWrap(w); },
    [](CLight* l, int32_t t, const float* v) { l->AddDirectionKey(t, D3DXQUATERNION(v[0], v[1], v[2], v[3])); },
    [](CLight* l) { return l->GetDirectionKeyCount(); },
    [](CLight* l, uint32_t k, float* v) {
      int32_t t = 0;
      const D3DXQUATERNION q = l->GetDirectionKey(k, &t);
      v[0] = q.x; v[1] = q.y; v[2] = q.z; v[3] = q.w;
      return t;
    },
    [](CLight* l) { return l->GetDirectionInterpolation(); }, [](CLight* l) { return l->GetDirectionWrap(); }};

#define FLOAT_TRACK(NAME, KEY)                                                                 \
  const TrackIo k##NAME{                                                                       \
      KEY, 1,                                                                                  \
      [](CLight* l, int32_t i, int32_t w) { l->Set##NAME##Interpolation(i); l->Set##NAME##Wrap(w); }, \
      [](CLight* l, int32_t t, const float* v) { l->Add##NAME##Key(t, v[0]); },                \
      [](CLight* l) { return l->Get##NAME##KeyCount(); },                                      \
      [](CLight* l, uint32_t k, float* v) {                                                    \
        int32_t t = 0;                                                                         \
        v[0] = l->Get##NAME##Key(k, &t);                                                       \
        return t;                                                                              \
      },                                                                                       \
      [](CLight* l) { return l->Get##NAME##Interpolation(); },                                 \
      [](CLight* l) { return l->Get##NAME##Wrap(); }};
FLOAT_TRACK(Range, "range")
FLOAT_TRACK(Falloff, "falloff")
FLOAT_TRACK(Theta, "theta")
FLOAT_TRACK(Phi, "phi")
#undef FLOAT_TRACK

// The order in which the reader takes the tracks, and the order in which the writer puts them.
const TrackIo* const kReadOrder[] = {&kColor, &kPosition, &kAttenuation, &kDirection,
                                     &kRange, &kFalloff, &kTheta, &kPhi};
const TrackIo* const kWriteOrder[] = {&kColor, &kPosition, &kRange, &kPhi,
                                      &kTheta, &kFalloff, &kAttenuation, &kDirection};

// Reads one track line into the light: "interpolation,wrap" then per key its time and values.
void ReadTrack(IIniFile* ini, const char* section, const TrackIo& track, CLight* light) {
  bool cut = false;
  const std::string line = ReadString(ini, section, track.key, "", &cut);
  std::vector<std::string> fields = Fields(line, ',');
  if (fields.empty()) return;  // no keys: the track stays as it is
  if (fields.size() < 2) {
    Log("[WARNING] CLightingSystem::LoadFromFile: [%s] \"%s\" has no wrap mode; the track is skipped.", section,
        track.key);
    return;
  }
  // The last field of a line cut at the largest buffer may be a number cut short.
  if (cut) fields.pop_back();
  track.setModes(light, ToInt(fields[0]), ToInt(fields[1]));
  const size_t perKey = 1 + static_cast<size_t>(track.values);
  size_t i = 2;
  for (; i + perKey <= fields.size(); i += perKey) {
    std::array<float, 4> v{};
    for (int c = 0; c < track.values; ++c) v[static_cast<size_t>(c)] = ToFloat(fields[i + 1 + static_cast<size_t>(c)]);
    track.addKey(light, ToInt(fields[i]), v.data());
  }
  if (i < fields.size())
    Log("[WARNING] CLightingSystem::LoadFromFile: [%s] \"%s\" ends in a key short of values; that key is skipped.",
        section, track.key);
}

// The text of a track: "%d,%d" and per key its time and values.
std::string TrackLine(const TrackIo& track, CLight* light) {
  std::string line;
  AppendInt(&line, track.interpolation(light));
  line += ',';
  AppendInt(&line, track.wrap(light));
  const uint32_t n = track.count(light);
  for (uint32_t k = 0; k < n; ++k) {
    float v[4] = {0, 0, 0, 0};
    const int32_t time = track.getKey(light, k, v);
    line += ',';
    AppendInt(&line, time);
    for (int c = 0; c < track.values; ++c) {
      line += ',';
      AppendFixed(&line, static_cast<double>(v[c]));
    }
  }
  return line;
}

// A group's "key" values for one step, kind and switch: names joined by ";", split over as
// many values as keep each near the length a reader's buffer takes.
// False when a name had to be left out.
bool WriteStepEntries(IIniFile* ini, const char* section, int kind, const std::vector<std::string>& names,
                      int32_t key, int on) {
  constexpr size_t kValueLength = 255;
  std::string tail;
  Appendf(&tail, ",%d,%d", key, on);
  std::string value;
  auto flush = [&]() {
    if (value.empty()) return;
    const std::string text = std::to_string(kind) + "," + value + tail;
    ini->AddString(section, "key", text.c_str());
    value.clear();
  };
  bool whole = true;
  for (const std::string& name : names) {
    if (name.empty() || name.find_first_of(",;") != std::string::npos) {
      Log("[WARNING] CLightingSystem::SaveToFile: \"%s\" cannot be listed in a step of [%s]; it is left out.",
          name.c_str(), section);
      whole = false;
      continue;
    }
    const size_t length = 2 + value.size() + 1 + name.size() + tail.size();
    if (!value.empty() && length > kValueLength) flush();
    if (!value.empty()) value += ';';
    value += name;
  }
  flush();
  return whole;
}

// A load makes a group when it first meets its name: at its own section, or earlier, in a step
// of a group read before it, and the groups keep that order. Written in the order a load meets
// them (each group, then the new groups its steps name, step by step, those switched on before
// those switched off, as the lines are written), the groups load back in the order they were
// saved in, so a file saved again comes out the same.
std::vector<CLightGroup*> InLoadOrder(const std::vector<CLightGroup*>& groups,
                                     const std::unordered_set<const void*>& saved) {
  std::vector<CLightGroup*> ordered;
  std::unordered_set<const CLightGroup*> placed;
  auto place = [&](CLightGroup* g) {
    if (saved.count(g) != 0 && placed.insert(g).second) ordered.push_back(g);
  };
  for (CLightGroup* root : groups) {
    const size_t first = ordered.size();
    place(root);
    for (size_t i = first; i < ordered.size(); ++i) {
      for (const CLightGroup::Step& step : ordered[i]->steps) {
        for (const CLightGroup::GroupEntry& e : step.groups)
          if (e.on != 0) place(e.group);
        for (const CLightGroup::GroupEntry& e : step.groups)
          if (e.on == 0) place(e.group);
      }
    }
  }
  return ordered;
}

// Why a light or group name cannot be a section the INI reads back as written, or null.
const char* UnholdableName(const std::string& name) {
  if (name.empty()) return "it is empty";
  if (name.front() == ' ' || name.front() == '\t' || name.back() == ' ' || name.back() == '\t')
    return "it has blanks at an end";
  if (name.find_first_of("]\r\n") != std::string::npos) return "it holds ']' or a line break";
  return nullptr;
}

std::string FoldedName(const char* name) {
  std::string out = name != nullptr ? name : "";
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

const char* Text(const char* s) { return s != nullptr ? s : ""; }

}  // namespace

// ---- Reading --------------------------------------------------------------------------------

void CLightingSystem::LoadFromFile(const char* path) {
  if (g_pIniService == nullptr) return;
  IIniFile* ini = g_pIniService->OpenIni(path, 0);
  if (ini == nullptr) return;
  // Each section is read while the walk stands on it, so of two sections of one name each is
  // read in its turn.
  std::vector<char> name(kSectionBuffer);
  const int size = static_cast<int>(name.size());
  for (bool more = ini->GetFirstSection(name.data(), size); more; more = ini->GetNextSection(name.data(), size)) {
    const size_t length = strnlen(name.data(), name.size());
    if (length + 1 >= name.size()) {
      Log("[WARNING] CLightingSystem::LoadFromFile: a section name of %zu characters or more is skipped.", length);
      continue;
    }
    const std::string section(name.data(), length);
    const int32_t type = ini->GetInt(section.c_str(), "type", 0);
    if (type == kTypeGroup) {
      ParseLightGroup(section.c_str(), ini);
    } else {
      ParseLight(type, section.c_str(), ini);
    }
  }
  ReleaseIniFile(ini);
}

void CLightingSystem::ParseLight(int32_t type, const char* section, IIniFile* ini) {
  CLight* light = nullptr;
  CreateLight(section, &light);
  if (light == nullptr) return;
  light->SetType(type);
  for (const TrackIo* track : kReadOrder) ReadTrack(ini, section, *track, light);

  if (light->GetType() == kLightSpot) {
    const std::string distortionMap = ReadString(ini, section, "distortionMap", "");
    light->CreateHull(kHullCrossedPlanes, 3, 0.2f, distortionMap.c_str());
    const std::string spot = ReadString(ini, section, "lightSpot", "");
    const std::string hull = ReadString(ini, section, "lightHull", "");
    light->SetSpotAndHull(spot.c_str(), hull.c_str());
  }
  light->SetGlobalLight(ini->GetInt(section, "GlobalLight", 0) > 0);
  light->SetAlwaysUpdate(ini->GetInt(section, "AlwaysUpdate", 0) > 0);
  light->SetInfluenceScene(ini->GetInt(section, "InfluenceScene", 0) > 0);
  const std::string model = ReadString(ini, section, "model", "");
  const std::string texture = ReadString(ini, section, "texture", "");
  const std::string animation = ReadString(ini, section, "animation", "");
  light->LoadModel(model.c_str(), texture.c_str(), animation.c_str());
  light->SetLifeTime(ini->GetInt(section, "LifeTime", 0));
  light->SetEffect(ReadString(ini, section, "Effect", "").c_str());
  light->SetSocket(ReadString(ini, section, "Socket", "").c_str());
  light->SetRate(ini->GetFloat(section, "Rate", 1.0f));
  light->SetActive(ini->GetInt(section, "Active", 0) > 0, 0);
  const std::string controller = ReadString(ini, section, "directionController", "");
  const std::string aniName = ReadString(ini, section, "directionAniName", "all");
  light->SetDirectionAnimation(controller.c_str(), aniName.c_str());
  const std::string billboard = ReadString(ini, section, "billboardName", "");
  const float magSize = ini->GetFloat(section, "BillboardMagSize", 0.0f);
  const float rawSize = ini->GetFloat(section, "BillboardRawSize", 0.0f);
  const float scaleSpeed = ini->GetFloat(section, "BillboardScaleSpeed", 0.0f);
  light->SetBillboard(billboard.c_str(), scaleSpeed, rawSize, magSize);
}

void CLightingSystem::ParseLightGroup(const char* section, IIniFile* ini) {
  CLightGroup* group = nullptr;
  CreateLightGroup(section, &group);
  if (group == nullptr) return;
  ini->GetInt(section, "numKeyFrames", 0);  // kept in the file for other readers; not needed here

  group->FillSteps([&] {
    for (const std::string& value : ReadAllValues(ini, section, "key")) {
      const std::vector<std::string> fields = Fields(value, ',');
      if (fields.size() < 4) {
        Log("[WARNING] CLightingSystem::LoadFromFile: [%s] \"key\" value \"%s\" lacks a field; it is skipped.",
            section, value.c_str());
        continue;
      }
      const int32_t kind = ToInt(fields[0]);
      const int32_t step = ToInt(fields[2]);
      const bool on = ToInt(fields[3]) > 0;
      for (const std::string& name : Fields(fields[1], ';')) {
        if (kind == 0) {
          const int32_t position = FindLight(name.c_str());
          if (position < 0) continue;  // no such light: skipped
          group->AddLightToStep(position, step, on);
        } else {
          // A group not read yet is made empty here; its own section fills it later.
          CLightGroup* sub = nullptr;
          const int32_t position = CreateLightGroup(name.c_str(), &sub);
          if (sub != nullptr) group->AddGroupToStep(position, step, on);
        }
      }
    }
  });
  group->SetLifeTime(ini->GetInt(section, "lifetime", 0));
  group->SetActive(ini->GetInt(section, "active", 0) > 0, 0);
  group->SetRate(ini->GetFloat(section, "Rate", 1.0f));
}

// ---- Writing --------------------------------------------------------------------------------

bool CLightingSystem::SaveToFile(const char* path) {
  IIniFile* ini = g_pIniService != nullptr ? g_pIniService->CreateIni(path, 0) : nullptr;
  if (ini == nullptr) {
    Log("Warning : Can't create file ==> %s.", Text(path));
    return false;
  }

  // One section per object: a name the INI cannot hold, or one that folds to the section of an
  // object already written (lights first), is left out with a warning, and the save fails.
  bool whole = true;
  std::unordered_set<std::string> sections;
  std::unordered_set<const void*> saved;
  auto take = [&](const void* object, const char* kind, const char* name) {
    const char* why = UnholdableName(Text(name));
    if (why == nullptr && !sections.insert(FoldedName(name)).second) why = "an earlier section has that name";
    if (why != nullptr) {
      Log("[WARNING] CLightingSystem::SaveToFile: %s \"%s\" is left out: %s.", kind, Text(name), why);
      whole = false;
      return false;
    }
    saved.insert(object);
    return true;
  };
  std::vector<CLight*> savedLights;
  for (CLight* light : lights)
    if (!light->IsRuntimeOnly() && take(light, "light", light->GetName())) savedLights.push_back(light);
  std::vector<CLightGroup*> savedGroups;
  for (CLightGroup* group : groups)
    if (!group->IsRuntimeOnly() && take(group, "light group", group->GetName())) savedGroups.push_back(group);
  savedGroups = InLoadOrder(savedGroups, saved);

  for (CLight* light : savedLights) {
    const char* section = light->GetName();
    const char* spot = nullptr;
    const char* hull = nullptr;
    light->GetSpotAndHull(&spot, &hull);
    const char* model = nullptr;
    const char* texture = nullptr;
    const char* animation = nullptr;
    light->GetModelNames(&model, &texture, &animation);
    const char* effect = nullptr;
    light->GetEffect(&effect);
    const char* controller = nullptr;
    const char* aniName = nullptr;
    light->GetDirectionAnimation(&controller, &aniName);
    int32_t hullType = 0, segments = 0;
    float startRadius = 0.0f;
    const char* distortionMap = nullptr;
    light->GetHullParams(&hullType, &segments, &startRadius, &distortionMap);
    float scaleSpeed = 0.0f, rawSize = 0.0f, magSize = 0.0f;
    const char* billboard = light->GetBillboard(&scaleSpeed, &rawSize, &magSize);

    // The keys in the order and spelling the light file has always had; the reader matches
    // keys without regard to case. Then the settings the reader takes that this list lacks.
    ini->WriteString(section, "lightSpot", Text(spot));
    ini->WriteString(section, "lightHull", Text(hull));
    ini->WriteString(section, "model", Text(model));
    ini->WriteString(section, "texture", Text(texture));
    ini->WriteString(section, "animation", Text(animation));
    ini->WriteString(section, "socket", Text(light->GetSocket()));
    ini->WriteString(section, "effect", Text(effect));
    ini->WriteString(section, "directionController", Text(controller));
    ini->WriteString(section, "directionAniName", Text(aniName));
    ini->WriteInt(section, "type", light->GetType());
    ini->WriteInt(section, "alwaysupdate", light->IsAlwaysUpdate() ? 1 : 0);
    ini->WriteInt(section, "active", light->IsActive() ? 1 : 0);
    ini->WriteInt(section, "InfluenceScene", light->influenceScene ? 1 : 0);
    ini->WriteInt(section, "lifetime", light->GetLifeTime());
    ini->WriteFloat(section, "rate", light->GetRate());

    ini->WriteInt(section, "GlobalLight", light->IsGlobalLight() ? 1 : 0);
    ini->WriteString(section, "distortionMap", Text(distortionMap));
    ini->WriteString(section, "billboardName", Text(billboard));
    ini->WriteFloat(section, "BillboardScaleSpeed", scaleSpeed);
    ini->WriteFloat(section, "BillboardRawSize", rawSize);
    ini->WriteFloat(section, "BillboardMagSize", magSize);

    for (const TrackIo* track : kWriteOrder)
      if (track->count(light) > 0) ini->WriteString(section, track->key, TrackLine(*track, light).c_str());
  }

  for (CLightGroup* group : savedGroups) {
    const char* section = group->GetName();
    ini->WriteInt(section, "type", kTypeGroup);
    ini->WriteInt(section, "active", group->IsActive() ? 1 : 0);
    ini->WriteInt(section, "lifetime", group->GetLifeTime());
    ini->WriteFloat(section, "rate", group->GetRate());
    ini->WriteInt(section, "numKeyFrames", group->GetStepCount());
    for (const CLightGroup::Step& step : group->steps) {
      // Entries name only objects that have a section of their own.
      std::vector<std::string> lightsOn, lightsOff, groupsOn, groupsOff;
      for (const CLightGroup::LightEntry& e : step.lights)
        if (saved.count(e.light) != 0) (e.on != 0 ? lightsOn : lightsOff).emplace_back(e.light->GetName());
      for (const CLightGroup::GroupEntry& e : step.groups)
        if (saved.count(e.group) != 0) (e.on != 0 ? groupsOn : groupsOff).emplace_back(e.group->GetName());
      whole = WriteStepEntries(ini, section, 0, lightsOn, step.key, 1) && whole;
      whole = WriteStepEntries(ini, section, 0, lightsOff, step.key, 0) && whole;
      whole = WriteStepEntries(ini, section, 1, groupsOn, step.key, 1) && whole;
      whole = WriteStepEntries(ini, section, 1, groupsOff, step.key, 0) && whole;
    }
  }

  // The file counts as saved only when its bytes reached the disk.
  const bool committed = ini->Commit();
  ReleaseIniFile(ini);
  if (!committed) Log("Warning : Can't write file ==> %s.", Text(path));
  return committed && whole;
}
