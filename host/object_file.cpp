#include "host/object_file.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "host/ini_file.h"
#include "host/ini_service.h"

namespace host {
namespace {

constexpr char kSection[] = "object";
constexpr int kLineSize = 4096;

std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return std::string(s.substr(b, e - b));
}

// Splits at commas; every field trimmed.
std::vector<std::string> Fields(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    out.push_back(Trim(std::string_view(text).substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return out;
}

bool Number(const std::string& text, float* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  const float v = std::strtof(text.c_str(), &end);
  if (end == text.c_str() || *end != '\0' || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

bool Numbers(const std::vector<std::string>& fields, size_t first, size_t count, float* out) {
  if (fields.size() != first + count) return false;
  for (size_t i = 0; i < count; ++i)
    if (!Number(fields[first + i], &out[i])) return false;
  return true;
}

bool Values(IIniFile* ini, const char* key, std::vector<std::string>* out) { return ReadKeyLines(ini, kSection, key, out); }

bool Fail(std::string* error, const std::string& why) {
  if (error != nullptr) *error = why;
  return false;
}

std::string Format(float v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(v));
  return text;
}

}  // namespace

bool ReadKeyLines(IIniFile* ini, const char* section, const char* key, std::vector<std::string>* out) {
  char line[kLineSize];
  if (!ini->GetString(section, key, line, kLineSize, "")) return true;
  for (;;) {
    if (std::string(line).size() >= static_cast<size_t>(kLineSize - 1)) return false;
    out->push_back(line);
    if (!ini->GetNextString(section, key, line, kLineSize)) return true;
  }
}

bool ReadObjectFile(IIniFile* ini, ObjectFile* out, std::string* error) {
  if (ini == nullptr) return Fail(error, "no file");
  ObjectFile file;
  char line[kLineSize];
  if (!ini->GetString(kSection, "height", line, kLineSize, "") || !Number(Trim(line), &file.height) || file.height < 0.0f)
    return Fail(error, "height missing or not a number of 0 or more");
  float box[6];
  if (!ini->GetString(kSection, "box", line, kLineSize, "") || !Numbers(Fields(line), 0, 6, box))
    return Fail(error, "box missing or not six numbers");
  for (int i = 0; i < 3; ++i) {
    file.boxMin[i] = box[i];
    file.boxMax[i] = box[i + 3];
    if (box[i] > box[i + 3]) return Fail(error, "box minimum above its maximum");
  }
  if (!ini->GetString(kSection, "radius", line, kLineSize, "") || !Number(Trim(line), &file.radius) || file.radius < 0.0f)
    return Fail(error, "radius missing or not a number of 0 or more");

  std::vector<std::string> lines;
  if (!Values(ini, "part", &lines)) return Fail(error, "a part line is too long");
  for (const std::string& part : lines) {
    if (Trim(part).empty()) return Fail(error, "a part without a name");
    file.parts.push_back(Trim(part));
  }
  lines.clear();
  if (!Values(ini, "bone", &lines)) return Fail(error, "a bone line is too long");
  for (const std::string& text : lines) {
    const std::vector<std::string> fields = Fields(text);
    ObjectBone bone;
    bone.name = fields[0];
    float m[16];
    if (bone.name.empty() || !Numbers(fields, 1, 16, m)) return Fail(error, "a bone is not a name and sixteen numbers");
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c) bone.matrix.m[r][c] = m[r * 4 + c];
    file.bones.push_back(bone);
  }
  lines.clear();
  if (!Values(ini, "parameter", &lines)) return Fail(error, "a parameter line is too long");
  for (const std::string& text : lines) {
    const size_t comma = text.find(',');
    ObjectParameter parameter;
    parameter.key = Trim(std::string_view(text).substr(0, comma));
    if (comma == std::string::npos || parameter.key.empty()) return Fail(error, "a parameter is not a key and a value");
    parameter.value = Trim(std::string_view(text).substr(comma + 1));
    file.parameters.push_back(parameter);
  }
  *out = std::move(file);
  return true;
}

bool ParseObjectFile(std::string_view text, ObjectFile* out, std::string* error) {
  auto document = std::make_shared<const IniDocument>(IniDocument::Parse(text));
  IniFile ini(std::make_shared<IniServiceCore>(), "object", document);
  return ReadObjectFile(&ini, out, error);
}

std::string WriteObjectFile(const ObjectFile& file) {
  std::string text = "[object]\r\nheight=" + Format(file.height) + "\r\nbox=";
  for (int i = 0; i < 6; ++i) text += (i ? "," : "") + Format(i < 3 ? file.boxMin[i] : file.boxMax[i - 3]);
  text += "\r\nradius=" + Format(file.radius) + "\r\n";
  for (const std::string& part : file.parts) text += "part=" + part + "\r\n";
  for (const ObjectBone& bone : file.bones) {
    text += "bone=" + bone.name;
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c) text += "," + Format(bone.matrix.m[r][c]);
    text += "\r\n";
  }
  for (const ObjectParameter& parameter : file.parameters) text += "parameter=" + parameter.key + "," + parameter.value + "\r\n";
  return text;
}

}  // namespace host
