// The strip stage of the stripifier: adjacency, strips grown from sampled seeds, the best set of
// experiments committed, then cut to the simulated cache and ordered for it.
#include <algorithm>
#include <cstdio>

#include "visibility/stripifier.h"
#include "visibility/vertex_cache_model.h"

namespace {

constexpr int kSamplesPerPass = 10;
constexpr int kExperimentsPerSeed = 6;

}  // namespace

Stripifier::Stripifier() = default;

Stripifier::~Stripifier() { ReleaseAll(); }

void Stripifier::ReleaseAll() {
  m_strips.clear();     // each piece frees the fake faces it holds
  m_committed.clear();
  for (StripFace* face : m_leftovers)
    if (face->fake) delete face;
  m_leftovers.clear();
}

void Stripifier::Run(const std::vector<uint16_t>& indices, int cacheSize, int minimumStripLength,
                     uint16_t maxIndex) {
  ReleaseAll();
  m_meshJump = 0.0f;
  m_firstSeed = true;
  m_cacheSize = std::max(1, cacheSize - 6);
  m_minimumStripLength = minimumStripLength;
  m_nextStripId = 0;
  m_nextExperimentId = 0;

  BuildStripifyInfo(indices, maxIndex);
  GrowAllStrips(kSamplesPerPass);
  SplitAndOrder();

  // The pieces now hold every face of the committed strips.
  m_committed.clear();
  m_heads.clear();
  m_edges.clear();
}

void Stripifier::BuildStripifyInfo(const std::vector<uint16_t>& indices, uint16_t maxIndex) {
  m_faces.clear();
  m_listed.clear();
  m_edges.clear();
  m_heads.assign(size_t(maxIndex) + 1, nullptr);
  m_seenStamp.assign(size_t(maxIndex) + 1, 0);
  m_seenGeneration = 0;

  for (size_t k = 0; k + 3 <= indices.size(); k += 3) {
    const uint16_t a = indices[k], b = indices[k + 1], c = indices[k + 2];
    if (IsDegenerate(a, b, c)) continue;
    StripFace& face = m_faces.emplace_back(a, b, c);
    const int edges[3][2] = {{a, b}, {b, c}, {c, a}};
    StripEdge* updated[3] = {};
    int updatedCount = 0;
    bool newEdge = false;
    for (int k = 0; k < 3; ++k) {
      const int* e = edges[k];
      StripEdge* edge = FindEdge(e[0], e[1]);
      if (!edge) {
        StripEdge& made = m_edges.emplace_back();
        face.edges[k] = &made;
        made.face0 = &face;
        made.e0 = e[0];
        made.e1 = e[1];
        made.nextE0 = m_heads[size_t(e[0])];
        m_heads[size_t(e[0])] = &made;
        made.nextE1 = m_heads[size_t(e[1])];
        m_heads[size_t(e[1])] = &made;
        newEdge = true;
      } else if (edge->face1) {
        face.edges[k] = edge;
        std::fputs("BuildStripifyInfo: > 2 triangles on an edge... uncertain consequences\n", stdout);
      } else {
        face.edges[k] = edge;
        edge->face1 = &face;
        updated[updatedCount++] = edge;
      }
    }
    if (!newEdge && FaceListed(face)) {
      for (int u = 0; u < updatedCount; ++u) updated[u]->face1 = nullptr;
      m_faces.pop_back();
      continue;
    }
    m_listed.insert(FaceKey{a, b, c});
  }
  m_openFrom.resize(m_faces.size() + 1);
  for (size_t n = 0; n < m_openFrom.size(); ++n) m_openFrom[n] = int(n);
}

StripEdge* Stripifier::FindEdge(int a, int b) const {
  if (a < 0 || size_t(a) >= m_heads.size()) return nullptr;
  StripEdge* edge = m_heads[size_t(a)];
  while (edge) {
    if (edge->e0 == a) {
      if (edge->e1 == b) return edge;
      edge = edge->nextE0;
    } else {
      if (edge->e0 == b) return edge;
      edge = edge->nextE1;
    }
  }
  return nullptr;
}

StripEdge* Stripifier::EdgeOf(const StripFace* face, int a, int b) const {
  StripEdge* edge = face ? face->EdgeJoining(a, b) : nullptr;
  return edge ? edge : FindEdge(a, b);
}

StripFace* Stripifier::FaceAcrossEdge(int a, int b, const StripFace* face) const {
  const StripEdge* edge = EdgeOf(face, a, b);
  if (!edge) return nullptr;
  return edge->face0 == face ? edge->face1 : edge->face0;
}

bool Stripifier::FaceListed(const StripFace& face) const {
  return m_listed.count(FaceKey{face.i0, face.i1, face.i2}) != 0;
}

int Stripifier::FindBorderFace() const {
  int best = -1, bestCount = 0;
  for (size_t n = 0; n < m_faces.size(); ++n) {
    const StripFace& f = m_faces[n];
    const int count = int(!FaceAcrossEdge(f.i0, f.i1, &f)) + int(!FaceAcrossEdge(f.i1, f.i2, &f)) +
                      int(!FaceAcrossEdge(f.i2, f.i0, &f));
    if (count > bestCount) {
      bestCount = count;
      best = int(n);
    }
  }
  return best;
}

int Stripifier::NextSeedFace() {
  if (m_faces.empty()) return -1;
  int start = -1;
  if (m_firstSeed) {
    m_firstSeed = false;
    start = FindBorderFace();
  }
  if (start < 0) start = int(float(m_faces.size() - 1) * m_meshJump);

  const int count = int(m_faces.size());
  int seed = OpenFaceFrom(start);
  if (seed >= count) seed = OpenFaceFrom(0);
  if (seed >= count) seed = -1;
  m_meshJump += 0.1f;
  if (m_meshJump > 1.0f) m_meshJump = 0.05f;
  return seed;
}

int Stripifier::OpenFaceFrom(int n) {
  const int count = int(m_faces.size());
  if (m_openFrom.size() != size_t(count) + 1) {
    m_openFrom.resize(size_t(count) + 1);
    for (int k = 0; k <= count; ++k) m_openFrom[size_t(k)] = k;
  }
  // A committed face stays committed: once seen it is skipped for good, and runs of them are
  // jumped in one step.
  int open = n;
  while (open < count && (m_openFrom[size_t(open)] != open || m_faces[size_t(open)].committedStrip >= 0)) {
    if (m_openFrom[size_t(open)] == open) m_openFrom[size_t(open)] = open + 1;
    open = m_openFrom[size_t(open)];
  }
  while (n != open) {
    const int next = m_openFrom[size_t(n)];
    m_openFrom[size_t(n)] = open;
    n = next;
  }
  return open;
}

void Stripifier::GrowAllStrips(int samples) {
  using Experiment = std::vector<std::unique_ptr<StripPath>>;
  bool lastPass = false;
  while (!lastPass) {
    std::vector<Experiment> experiments;
    experiments.reserve(size_t(kExperimentsPerSeed * samples));
    std::vector<int> seeds;
    for (int sample = 0; sample < samples; ++sample) {
      const int seed = NextSeedFace();
      if (seed < 0) {
        lastPass = true;
        break;
      }
      if (std::find(seeds.begin(), seeds.end(), seed) != seeds.end()) continue;
      seeds.push_back(seed);
      StripFace* face = &m_faces[size_t(seed)];
      for (StripEdge* edge : face->edges) {
        for (const bool towardE1 : {true, false}) {
          StripStart start{face, edge, towardE1};
          experiments.emplace_back().push_back(
              std::make_unique<StripPath>(start, m_nextStripId++, m_nextExperimentId++));
        }
      }
    }

    for (Experiment& experiment : experiments) {
      experiment.front()->Grow(*this);
      StripStart start;
      while (FindNextStart(*experiment.back(), start)) {
        const int experimentId = experiment.back()->experimentId;
        experiment.push_back(std::make_unique<StripPath>(start, m_nextStripId++, experimentId));
        experiment.back()->Grow(*this);
      }
    }

    double bestScore = 0.0;
    size_t best = 0;
    for (size_t n = 0; n < experiments.size(); ++n) {
      const double score = MeanStripLength(experiments[n]);
      if (score > bestScore) {
        bestScore = score;
        best = n;
      }
    }
    if (!experiments.empty()) Commit(experiments[best]);
    // The rejected experiments free their paths and with them their fake faces.
  }
}

bool Stripifier::FindNextStart(const StripPath& path, StripStart& start) const {
  const int v = path.start.towardE1 ? path.start.edge->e1 : path.start.edge->e0;
  if (v < 0 || size_t(v) >= m_heads.size()) return false;
  for (StripEdge* edge = m_heads[size_t(v)]; edge; edge = edge->e0 == v ? edge->nextE0 : edge->nextE1) {
    StripFace* face = nullptr;
    if (edge->face0 && !path.IsInPath(edge->face0) && edge->face1 && !path.IsTaken(edge->face1))
      face = edge->face1;
    else if (edge->face1 && !path.IsInPath(edge->face1) && edge->face0 && !path.IsTaken(edge->face0))
      face = edge->face0;
    if (!face) continue;
    start.face = face;
    start.edge = edge;
    start.towardE1 = path.TouchesFace(*this, face) ? edge->e0 == v : edge->e1 == v;
    return true;
  }
  return false;
}

double Stripifier::MeanStripLength(const std::vector<std::unique_ptr<StripPath>>& experiment) {
  if (experiment.empty()) return 0.0;
  double total = 0.0;
  for (const auto& path : experiment) total += double(path->faces.size()) - double(path->degenerateCount);
  return total / double(experiment.size());
}

void Stripifier::Commit(std::vector<std::unique_ptr<StripPath>>& experiment) {
  for (auto& path : experiment) {
    path->experimentId = -1;
    for (StripFace* face : path->faces) path->MarkFace(face);
    m_committed.push_back(std::move(path));
  }
  experiment.clear();
}

void Stripifier::CutStrip(StripPath& strip, std::vector<std::unique_ptr<StripPath>>& pieces) {
  // The strip's faces move into the pieces; a fake face left at a piece border is freed.
  std::vector<StripFace*> faces;
  faces.swap(strip.faces);
  const size_t size = faces.size();
  const auto newPiece = [&]() -> StripPath& {
    return *pieces.emplace_back(std::make_unique<StripPath>(strip.start, 0, -1));
  };
  const auto drop = [](StripFace* face) {
    if (face->fake) delete face;
  };

  const int threshold = m_cacheSize;
  int real = 0;
  for (const StripFace* face : faces) real += face->IsDegenerate() ? 0 : 1;
  size_t pos = 0;
  if (real <= threshold) {
    newPiece().faces = std::move(faces);
    return;
  }
  const int times = real / threshold;
  int leftover = real % threshold;
  int d = 0;
  for (int j = 0; j < times; ++j) {
    StripPath& piece = newPiece();
    bool noRealFace = true;
    const bool last = j == times - 1;
    for (pos = size_t(j * threshold + d); pos < size && int(pos) < (j + 1) * threshold + d; ++pos) {
      StripFace* face = faces[pos];
      if (!face->IsDegenerate()) {
        piece.faces.push_back(face);
        noRealFace = false;
        continue;
      }
      ++d;
      const bool notAtBorder = int(pos) + 1 != (j + 1) * threshold + d;
      if (!noRealFace && (notAtBorder || (last && leftover >= 1 && leftover <= 3)))
        piece.faces.push_back(face);
      else
        drop(face);
    }
    if (last && leftover >= 1 && leftover <= 3) {
      int taken = 0;
      for (; pos < size && taken < leftover; ++pos) {
        piece.faces.push_back(faces[pos]);
        if (faces[pos]->IsDegenerate())
          ++d;
        else
          ++taken;
      }
      leftover = 0;
    }
  }
  if (leftover > 0) {
    StripPath& piece = newPiece();
    int taken = 0;
    for (pos = size_t(times * threshold + d); pos < size && taken < leftover; ++pos) {
      StripFace* face = faces[pos];
      if (!face->IsDegenerate()) {
        ++taken;
        piece.faces.push_back(face);
      } else if (taken > 0) {
        piece.faces.push_back(face);
      } else {
        drop(face);
      }
    }
  }
  for (; pos < size; ++pos) drop(faces[pos]);
}

void Stripifier::SplitAndOrder() {
  std::vector<std::unique_ptr<StripPath>> pieces;
  for (auto& strip : m_committed) CutStrip(*strip, pieces);
  std::erase_if(pieces, [](const std::unique_ptr<StripPath>& piece) { return piece->faces.empty(); });

  std::vector<std::unique_ptr<StripPath>> kept;
  SplitOffShortStrips(pieces, kept, m_leftovers);

  m_strips.clear();
  if (kept.empty()) return;
  size_t first = 0;
  float lowest = 10000.0f;
  for (size_t n = 0; n < kept.size(); ++n) {
    int neighbours = 0;
    for (const StripFace* face : kept[n]->faces) neighbours += NeighbourCount(*face);
    const float cost = float(neighbours) / float(kept[n]->faces.size());
    if (cost < lowest) {
      lowest = cost;
      first = n;
    }
  }
  VertexCacheModel cache(m_cacheSize);
  std::vector<StripPath*> order;
  order.reserve(kept.size());
  const auto take = [&](StripPath* piece) {
    cache.AddStrip(*piece);
    order.push_back(piece);
    piece->visited = true;
  };
  take(kept[first].get());
  bool wantedWinding = IsEvenCount(int(kept[first]->faces.size()));
  for (;;) {
    float best = -1.0f;
    StripPath* chosen = nullptr;
    for (const auto& piece : kept) {
      if (piece->visited) continue;
      const float rate = cache.StripHitRate(*piece);
      if (rate > best) {
        best = rate;
        chosen = piece.get();
      } else if (rate == best) {
        const StripFace t = OrderFirstFace(*piece, false);
        if (wantedWinding == IsFrontOrder(t.i0, t.i1, *piece->faces.front())) {
          best = rate;
          chosen = piece.get();
        }
      }
    }
    if (!chosen) break;
    take(chosen);
    if (!IsEvenCount(int(chosen->faces.size()))) wantedWinding = !wantedWinding;
  }
  // The out list takes ownership in the chosen order.
  for (StripPath* piece : order) {
    for (auto& owned : kept)
      if (owned.get() == piece) {
        m_strips.push_back(std::move(owned));
        break;
      }
  }
}

void Stripifier::SplitOffShortStrips(std::vector<std::unique_ptr<StripPath>>& pieces,
                                     std::vector<std::unique_ptr<StripPath>>& kept,
                                     std::vector<StripFace*>& leftovers) {
  kept.clear();
  for (StripFace* face : leftovers)
    if (face->fake) delete face;
  leftovers.clear();
  std::vector<StripFace*> loose;
  for (auto& piece : pieces) {
    if (int(piece->faces.size()) < m_minimumStripLength) {
      loose.insert(loose.end(), piece->faces.begin(), piece->faces.end());
      piece->faces.clear();  // the leftover list owns them now
      piece.reset();
    } else {
      kept.push_back(std::move(piece));
    }
  }
  pieces.clear();
  if (loose.empty()) return;

  VertexCacheModel cache(m_cacheSize);
  std::vector<bool> taken(loose.size(), false);
  for (size_t round = 0; round < loose.size(); ++round) {
    int best = -1;
    size_t chosen = 0;
    for (size_t n = 0; n < loose.size(); ++n) {
      if (taken[n]) continue;
      const int hits = cache.FaceHits(*loose[n]);
      if (hits > best) {
        best = hits;
        chosen = n;
      }
    }
    taken[chosen] = true;
    cache.AddFace(*loose[chosen]);
    leftovers.push_back(loose[chosen]);
  }
}

int Stripifier::NeighbourCount(const StripFace& face) const {
  return int(FaceAcrossEdge(face.i0, face.i1, &face) != nullptr) +
         int(FaceAcrossEdge(face.i1, face.i2, &face) != nullptr) +
         int(FaceAcrossEdge(face.i2, face.i0, &face) != nullptr);
}

void Stripifier::ClearSeen() {
  if (++m_seenGeneration == 0) {
    std::fill(m_seenStamp.begin(), m_seenStamp.end(), 0);
    m_seenGeneration = 1;
  }
}

void Stripifier::SeeFace(const StripFace& face) {
  for (const int v : {face.i0, face.i1, face.i2})
    if (v >= 0 && size_t(v) < m_seenStamp.size()) m_seenStamp[size_t(v)] = m_seenGeneration;
}

bool Stripifier::HasUnseenVertex(const StripFace& face) const {
  for (const int v : {face.i0, face.i1, face.i2})
    if (v < 0 || size_t(v) >= m_seenStamp.size() || m_seenStamp[size_t(v)] != m_seenGeneration) return true;
  return false;
}

int Stripifier::GetNextIndex(const std::vector<int>& scratch, const StripFace& face) {
  const int p = scratch[scratch.size() - 2];
  const int q = scratch.back();
  const int v[3] = {face.i0, face.i1, face.i2};
  for (int n = 0; n < 3; ++n) {
    if (v[n] == p || v[n] == q) continue;
    const int o1 = v[(n + 1) % 3], o2 = v[(n + 2) % 3];
    if ((o1 != p && o1 != q) || (o2 != p && o2 != q)) {
      std::fputs("GetNextIndex: Triangle doesn't have all of its vertices\n", stdout);
      std::fputs("GetNextIndex: Duplicate triangle probably got us derailed\n", stdout);
    }
    return v[n];
  }
  if (face.i0 == face.i1 || face.i0 == face.i2) return face.i0;
  if (face.i1 == face.i2) return face.i1;
  return -1;
}
