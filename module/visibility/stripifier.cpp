// The stripifier's settings, entry points and output groups.
#include "visibility/stripifier.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

struct Settings {
  int vertexCacheSize = 16;
  bool joinStrips = true;
  int minimumStripLength = 0;
  bool listsOnly = false;
  bool restart = false;
  int restartValue = 0;
};

Settings g_settings;

using Triangle = std::array<uint16_t, 3>;

// Input triangles binned by their first index, for the output check.
class TriangleBins {
 public:
  explicit TriangleBins(const std::vector<uint16_t>& indices) {
    for (size_t k = 0; k + 3 <= indices.size(); k += 3)
      m_bins[indices[k] % kBins].push_back({indices[k], indices[k + 1], indices[k + 2]});
  }
  // Found when one of the bins of its three indices holds the triangle or one of its rotations.
  bool Holds(const Triangle& t) const {
    for (const uint16_t v : t)
      for (const Triangle& candidate : m_bins[v % kBins])
        if (Stripifier::IsSameTriangle(candidate.data(), t.data())) return true;
    return false;
  }

 private:
  static constexpr int kBins = 100;
  std::array<std::vector<Triangle>, kBins> m_bins;
};

}  // namespace

bool Stripifier::GroupsMatchInput(const std::vector<uint16_t>& input, const StripOutput* groups,
                                  uint16_t groupCount) {
  const bool restart = g_settings.restart;
  const uint16_t restartValue = uint16_t(g_settings.restartValue);
  const TriangleBins bins(input);
  const auto check = [&](uint16_t a, uint16_t b, uint16_t c) {
    return Stripifier::IsDegenerate(a, b, c) || bins.Holds({a, b, c});
  };
  for (uint16_t g = 0; g < groupCount; ++g) {
    const StripOutput& group = groups[g];
    const uint16_t* i = group.indices;
    if (group.type == StripOutput::kList) {
      for (uint32_t k = 0; k + 3 <= group.count; k += 3)
        if (!check(i[k], i[k + 1], i[k + 2])) return false;
      continue;
    }
    // A restart value begins a new strip with its own winding.
    uint32_t begin = 0;
    bool flip = false;
    for (uint32_t j = 0; j < group.count; ++j) {
      if (restart && i[j] == restartValue) {
        begin = j + 1;
        flip = false;
        continue;
      }
      if (j < begin + 2) continue;
      const bool found = flip ? check(i[j - 2], i[j], i[j - 1]) : check(i[j - 2], i[j - 1], i[j]);
      if (!found) return false;
      flip = !flip;
    }
  }
  return true;
}

int Stripifier::SetVertexCacheSize(int size) { return g_settings.vertexCacheSize = size; }
bool Stripifier::SetJoinStrips(bool join) { return g_settings.joinStrips = join; }
int Stripifier::SetMinimumStripLength(int faces) { return g_settings.minimumStripLength = faces; }
bool Stripifier::SetOutputListsOnly(bool listsOnly) { return g_settings.listsOnly = listsOnly; }
int Stripifier::EnablePrimitiveRestart(int value) {
  g_settings.restart = true;
  return g_settings.restartValue = value;
}
void Stripifier::DisablePrimitiveRestart() { g_settings.restart = false; }
void Stripifier::ResetSettings() { g_settings = Settings{}; }

bool Stripifier::BuildPrimitives(const uint16_t* indices, uint32_t indexCount, StripOutput** groups,
                                 uint16_t* groupCount, bool validate, uint32_t* crowded) {
  const Settings settings = g_settings;
  // Only whole triangles: a trailing one or two indices are ignored.
  const std::vector<uint16_t> working(indices, indices + (indexCount - indexCount % 3));
  const uint16_t maxIndex = working.empty() ? 0 : *std::max_element(working.begin(), working.end());

  Stripifier run;
  run.Run(working, settings.vertexCacheSize, settings.minimumStripLength, maxIndex);
  if (crowded != nullptr)
    *crowded = run.CrowdedEdges();
  else if (run.CrowdedEdges() > 0)
    std::printf("BuildStripifyInfo: > 2 triangles on an edge... uncertain consequences (%u times)\n",
                run.CrowdedEdges());
  const auto& strips = run.Strips();
  const auto& leftovers = run.Leftovers();

  StripOutput* out = nullptr;
  uint16_t count = 0;
  if (!settings.listsOnly) {
    std::vector<int> list;
    int separate = 0;
    EmitIndices(strips, list, settings.joinStrips, separate, settings.restart, settings.restartValue);
    // Only with join and restart both off do separators cut the list; otherwise a restart value
    // of -1 would end the one group at the first strip.
    if (!MakeStripGroups(list, separate, !settings.joinStrips && !settings.restart, leftovers, &out, &count)) {
      *groups = nullptr;
      *groupCount = 0;
      return false;
    }
  } else {
    // Swap faces are degenerate: they have no place in a list, wherever they ended up.
    std::vector<const StripFace*> faces;
    for (const auto& strip : strips)
      for (const StripFace* face : strip->faces)
        if (!face->IsDegenerate()) faces.push_back(face);
    for (const StripFace* face : leftovers)
      if (!face->IsDegenerate()) faces.push_back(face);
    count = 1;
    out = new StripOutput[1];
    out[0].Allocate(StripOutput::kList, uint32_t(3 * faces.size()));
    uint32_t k = 0;
    for (const StripFace* face : faces) {
      out[0].indices[k++] = uint16_t(face->i0);
      out[0].indices[k++] = uint16_t(face->i1);
      out[0].indices[k++] = uint16_t(face->i2);
    }
  }
  *groups = out;
  *groupCount = count;

  if (validate)
    return GroupsMatchInput(working, out, count);
  return true;
}

bool Stripifier::MakeStripGroups(const std::vector<int>& list, int separateStrips, bool cutAtSeparators,
                                 const std::vector<StripFace*>& leftovers, StripOutput** groups,
                                 uint16_t* groupCount) {
  *groups = nullptr;
  *groupCount = 0;
  const size_t count = size_t(separateStrips) + (leftovers.empty() ? 0 : 1);
  if (count > UINT16_MAX) return false;
  auto* out = new StripOutput[count];
  size_t pos = 0;
  for (int s = 0; s < separateStrips; ++s) {
    size_t begin = 0, end = list.size();
    if (cutAtSeparators) {
      begin = pos;
      end = size_t(std::find(list.begin() + std::ptrdiff_t(begin), list.end(), -1) - list.begin());
      pos = end + 1;
    }
    out[s].Allocate(StripOutput::kStrip, uint32_t(end - begin));
    for (size_t k = begin; k < end; ++k) out[s].indices[k - begin] = uint16_t(list[k]);
  }
  if (!leftovers.empty()) {
    StripOutput& group = out[count - 1];
    group.Allocate(StripOutput::kList, uint32_t(3 * leftovers.size()));
    uint32_t k = 0;
    for (const StripFace* face : leftovers) {
      group.indices[k++] = uint16_t(face->i0);
      group.indices[k++] = uint16_t(face->i1);
      group.indices[k++] = uint16_t(face->i2);
    }
  }
  *groups = out;
  *groupCount = uint16_t(count);
  return true;
}

void Stripifier::RemapToCacheOrder(const StripOutput* groups, uint16_t groupCount, uint16_t vertexCount,
                                   StripOutput** remapped) {
  *remapped = nullptr;
  for (uint16_t g = 0; g < groupCount; ++g)
    for (uint32_t k = 0; k < groups[g].count; ++k)
      if (groups[g].indices[k] >= vertexCount) return;

  std::vector<int> table(vertexCount, -1);
  int next = 0;
  auto* out = new StripOutput[groupCount];
  for (uint16_t g = 0; g < groupCount; ++g) {
    out[g].Allocate(groups[g].type, groups[g].count);
    for (uint32_t k = 0; k < groups[g].count; ++k) {
      int& entry = table[groups[g].indices[k]];
      if (entry < 0) entry = next++;
      out[g].indices[k] = uint16_t(entry);
    }
  }
  *remapped = out;
}

StripFace Stripifier::OrderFirstFace(const StripPath& strip, bool degenerateSecondFace) {
  const StripFace& first = *strip.faces.front();
  StripFace t(first.i0, first.i1, first.i2);
  if (strip.faces.size() > 1) {
    const int alone = VertexNotIn(*strip.faces[1], t);
    if (alone == t.i1)
      std::swap(t.i0, t.i1);
    else if (alone == t.i2)
      std::swap(t.i0, t.i2);
  }
  if (strip.faces.size() > 2) {
    const StripFace& second = *strip.faces[1];
    if (degenerateSecondFace && second.IsDegenerate() && t.i1 == second.i1) {
      std::swap(t.i1, t.i2);
    } else {
      int shared0 = -1, shared1 = -1;
      SharedVertices(*strip.faces[2], t, shared0, shared1);
      if (shared0 >= 0 && shared1 < 0 && shared0 == t.i1) std::swap(t.i1, t.i2);
    }
  }
  return t;
}

void Stripifier::EmitIndices(const std::vector<std::unique_ptr<StripPath>>& strips, std::vector<int>& out,
                             bool join, int& separateStrips, bool restart, int restartValue) {
  separateStrips = 0;
  int separators = 0;
  for (size_t s = 0; s < strips.size(); ++s) {
    const StripPath& strip = *strips[s];
    const StripFace& first = *strip.faces.front();
    const StripFace t = OrderFirstFace(strip, true);
    const bool front = IsFrontOrder(t.i0, t.i1, first);
    if (s == 0 || !join || restart) {
      if (!front) out.push_back(t.i0);
    } else {
      out.push_back(t.i0);  // the second repeated index of the join
      if (IsEvenCount(int(out.size()) - separators) != front) out.push_back(t.i0);
    }
    out.push_back(t.i0);
    out.push_back(t.i1);
    out.push_back(t.i2);
    StripFace last = t;
    for (size_t k = 1; k < strip.faces.size(); ++k) {
      const StripFace& face = *strip.faces[k];
      const int u = VertexNotIn(last, face);
      if (u >= 0) {
        out.push_back(u);
        last = StripFace(last.i1, last.i2, u);
      } else {
        // A swap face: its last vertex turns the strip.
        out.push_back(face.i2);
        last = StripFace(face.i0, face.i1, face.i2);
      }
    }
    if (join && !restart) {
      if (s + 1 < strips.size()) out.push_back(last.i2);  // the first repeated index of the join
    } else if (restart) {
      out.push_back(restartValue);
    } else {
      out.push_back(-1);
      ++separators;
      ++separateStrips;
    }
  }
  if (join || restart) separateStrips = 1;
}

bool Stripifier::IsSameTriangle(const uint16_t* a, const uint16_t* b) {
  return (a[0] == b[0] && a[1] == b[1] && a[2] == b[2]) || (a[0] == b[1] && a[1] == b[2] && a[2] == b[0]) ||
         (a[0] == b[2] && a[1] == b[0] && a[2] == b[1]);
}

int Stripifier::VertexNotIn(const StripFace& a, const StripFace& b) {
  for (const int v : {b.i0, b.i1, b.i2})
    if (v != a.i0 && v != a.i1 && v != a.i2) return v;
  return -1;
}

void Stripifier::SharedVertices(const StripFace& a, const StripFace& b, int& first, int& second) {
  first = second = -1;
  for (const int v : {b.i0, b.i1, b.i2}) {
    if (v != a.i0 && v != a.i1 && v != a.i2) continue;
    if (first < 0)
      first = v;
    else if (second < 0)
      second = v;
  }
}

bool Stripifier::IsFrontOrder(int a, int b, const StripFace& face) {
  return (face.i0 == a && face.i1 == b) || (face.i1 == a && face.i2 == b) || (face.i2 == a && face.i0 == b);
}

bool Stripifier::IsDegenerate(uint16_t a, uint16_t b, uint16_t c) { return a == b || b == c || c == a; }
