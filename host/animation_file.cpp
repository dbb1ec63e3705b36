#include "host/animation_file.h"

#include <charconv>
#include <cmath>
#include <sstream>

namespace host {

namespace {

D3DMATRIX Identity() {
  D3DMATRIX m{};
  for (int i = 0; i < 4; ++i) m.m[i][i] = 1.0f;
  return m;
}

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    size_t j = i;
    while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r') ++j;
    if (j > i) words.push_back(line.substr(i, j - i));
    i = j;
  }
  return words;
}

bool WholeNumber(const std::string& word, int32_t* out) {
  const char* end = word.data() + word.size();
  auto [p, ec] = std::from_chars(word.data(), end, *out);
  return ec == std::errc() && p == end;
}

bool FiniteNumber(const std::string& word, float* out) {
  const char* end = word.data() + word.size();
  auto [p, ec] = std::from_chars(word.data(), end, *out);
  return ec == std::errc() && p == end && std::isfinite(*out);
}

std::string Number(float v) {
  char buffer[32];
  auto [p, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
  return ec == std::errc() ? std::string(buffer, p) : std::string("0");
}

}  // namespace

int AnimationClip::FindNode(const std::string& name) const {
  for (size_t i = 0; i < nodes.size(); ++i)
    if (nodes[i].name == name) return static_cast<int>(i);
  return -1;
}

int AnimationClip::FindTrack(const std::string& name) const {
  for (size_t i = 0; i < tracks.size(); ++i)
    if (tracks[i].name == name) return static_cast<int>(i);
  return -1;
}

D3DMATRIX AnimationClip::Evaluate(int track, int node, float timeMs) const {
  if (track < 0 || static_cast<size_t>(track) >= tracks.size() || node < 0) return Identity();
  const AnimationTrack& t = tracks[static_cast<size_t>(track)];
  if (static_cast<size_t>(node) >= t.keys.size() || t.keys[static_cast<size_t>(node)].empty()) return Identity();
  const std::vector<AnimationKey>& keys = t.keys[static_cast<size_t>(node)];
  if (timeMs <= static_cast<float>(keys.front().timeMs)) return keys.front().matrix;
  if (timeMs >= static_cast<float>(keys.back().timeMs)) return keys.back().matrix;
  size_t next = 1;
  while (static_cast<float>(keys[next].timeMs) < timeMs) ++next;
  const AnimationKey& a = keys[next - 1];
  const AnimationKey& b = keys[next];
  const float span = static_cast<float>(b.timeMs - a.timeMs);
  const float f = span > 0.0f ? (timeMs - static_cast<float>(a.timeMs)) / span : 1.0f;
  D3DMATRIX m{};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) m.m[i][j] = a.matrix.m[i][j] + (b.matrix.m[i][j] - a.matrix.m[i][j]) * f;
  return m;
}

bool ParseAnimationText(const std::string& text, AnimationClip* out, std::string* error) {
  AnimationClip clip;
  std::istringstream in(text);
  std::string line;
  int number = 0;
  auto fail = [&](const std::string& why) {
    *error = "line " + std::to_string(number) + ": " + why;
    return false;
  };
  auto declareNode = [&](const std::string& name, int32_t kind) {
    clip.nodes.push_back(AnimationNodeInfo{name, kind});
    for (AnimationTrack& t : clip.tracks) t.keys.resize(clip.nodes.size());
    return static_cast<int>(clip.nodes.size() - 1);
  };
  while (std::getline(in, line)) {
    ++number;
    const std::vector<std::string> w = Words(line);
    if (w.empty() || w[0][0] == '#' || w[0][0] == ';') continue;
    if (w[0] == "node") {
      if (w.size() != 2 && w.size() != 3) return fail("node takes a name and an optional kind");
      int32_t kind = 2;
      if (w.size() == 3 && !WholeNumber(w[2], &kind)) return fail("the kind \"" + w[2] + "\" is not a whole number");
      if (clip.FindNode(w[1]) >= 0) return fail("the node \"" + w[1] + "\" is declared twice");
      declareNode(w[1], kind);
    } else if (w[0] == "track") {
      int32_t length = 0;
      if (w.size() != 3) return fail("track takes a name and a length");
      if (!WholeNumber(w[2], &length) || length <= 0)
        return fail("the length \"" + w[2] + "\" is not a whole number above 0");
      if (clip.FindTrack(w[1]) >= 0) return fail("the track \"" + w[1] + "\" is declared twice");
      clip.tracks.push_back(AnimationTrack{w[1], length, {}});
      clip.tracks.back().keys.resize(clip.nodes.size());
    } else if (w[0] == "key") {
      if (clip.tracks.empty()) return fail("a key before any track");
      if (w.size() != 19) return fail("key takes a time, a node and 16 numbers");
      AnimationTrack& track = clip.tracks.back();
      AnimationKey key;
      if (!WholeNumber(w[1], &key.timeMs) || key.timeMs < 0 || key.timeMs > track.lengthMs)
        return fail("the time \"" + w[1] + "\" is not a whole number from 0 to the track's length");
      for (int i = 0; i < 16; ++i)
        if (!FiniteNumber(w[3 + static_cast<size_t>(i)], &key.matrix.m[i / 4][i % 4]))
          return fail("\"" + w[3 + static_cast<size_t>(i)] + "\" is not a finite number");
      int node = clip.FindNode(w[2]);
      if (node < 0) node = declareNode(w[2], 2);
      std::vector<AnimationKey>& keys = clip.tracks.back().keys[static_cast<size_t>(node)];
      if (!keys.empty() && keys.back().timeMs >= key.timeMs) return fail("the keys of \"" + w[2] + "\" do not rise in time");
      keys.push_back(key);
    } else {
      return fail("unknown statement \"" + w[0] + "\"");
    }
  }
  *out = std::move(clip);
  return true;
}

std::string WriteAnimationText(const AnimationClip& clip) {
  std::string text;
  for (const AnimationNodeInfo& n : clip.nodes) text += "node " + n.name + " " + std::to_string(n.kind) + "\n";
  for (const AnimationTrack& t : clip.tracks) {
    text += "track " + t.name + " " + std::to_string(t.lengthMs) + "\n";
    for (size_t node = 0; node < t.keys.size() && node < clip.nodes.size(); ++node)
      for (const AnimationKey& k : t.keys[node]) {
        text += "key " + std::to_string(k.timeMs) + " " + clip.nodes[node].name;
        for (int i = 0; i < 16; ++i) text += " " + Number(k.matrix.m[i / 4][i % 4]);
        text += "\n";
      }
  }
  return text;
}

}  // namespace host
