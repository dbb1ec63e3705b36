// The strip stage of the stripifier: adjacency, strips grown from sampled seeds, the best set of
// experiments committed, then cut to the simulated cache and ordered for it.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <set>
#include <span>
#include <utility>

#include "visibility/stripifier.h"
#include "visibility/vertex_cache_model.h"

namespace {

constexpr int kSamplesPerPass = 10;
constexpr int kExperimentsPerSeed = 6;

// Per vertex, the items (ordered pieces or loose faces) whose faces use it and how many times, so
// that a vertex entering or leaving the cache changes the hit counts of just those items.
class VertexUses {
 public:
  struct Use {
    int item;
    int times;
  };

  // faces(n) gives item n's faces.
  template <class Faces>
  VertexUses(size_t items, Faces faces) {
    int top = -1;
    for (size_t n = 0; n < items; ++n)
      for (const StripFace* f : faces(n)) top = std::max({top, f->i0, f->i1, f->i2});
    m_first.assign(size_t(top + 2), 0);
    for (size_t n = 0; n < items; ++n)
      for (const StripFace* f : faces(n))
        for (const int v : {f->i0, f->i1, f->i2}) ++m_first[size_t(v) + 1];
    for (size_t v = 1; v < m_first.size(); ++v) m_first[v] += m_first[v - 1];
    std::vector<size_t> end(m_first.begin(), m_first.end() - 1);
    m_uses.resize(m_first.back());
    // Items go in ascending order, so an item's repeated uses of a vertex sit side by side.
    for (size_t n = 0; n < items; ++n)
      for (const StripFace* f : faces(n))
        for (const int v : {f->i0, f->i1, f->i2}) {
          size_t& at = end[size_t(v)];
          if (at > m_first[size_t(v)] && m_uses[at - 1].item == int(n))
            ++m_uses[at - 1].times;
          else
            m_uses[at++] = Use{int(n), 1};
        }
    m_end = std::move(end);
  }

  template <class Change>
  void ForEach(int vertex, Change change) const {
    if (vertex < 0 || size_t(vertex) + 1 >= m_first.size()) return;
    for (size_t k = m_first[size_t(vertex)]; k < m_end[size_t(vertex)]; ++k) change(m_uses[k]);
  }

 private:
  std::vector<size_t> m_first, m_end;
  std::vector<Use> m_uses;
};

// Adds the face's vertices to the cache as VertexCacheModel::AddFace does, telling `change` each
// vertex that enters (+1) and each one that drops out (-1).
template <class Change>
void AddFaceTelling(VertexCacheModel& cache, const StripFace& face, Change change) {
  for (const int v : {face.i0, face.i1, face.i2}) {
    if (cache.Contains(v)) continue;
    const int oldest = cache.Entries().back();
    cache.Add(v);
    change(v, 1);
    if (oldest >= 0) change(oldest, -1);
  }
}

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
  m_openLog.clear();
  m_openGeneration = 1;
  m_crowdedEdges = 0;

  for (size_t k = 0; k + 3 <= indices.size(); k += 3) {
    const uint16_t a = indices[k], b = indices[k + 1], c = indices[k + 2];
    if (IsDegenerate(a, b, c)) continue;
    StripFace& face = m_faces.emplace_back(a, b, c);
    face.index = int(m_faces.size() - 1);
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
        ++m_crowdedEdges;
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
  for (StripFace& face : m_faces)
    for (int k = 0; k < 3; ++k)
      if (const StripEdge* edge = face.edges[k]) face.across[k] = edge->face0 == &face ? edge->face1 : edge->face0;
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
  // An experiment from a seed edge depends only on which of the faces it asked about were open,
  // and a committed face stays committed: an experiment is kept from pass to pass, and grown
  // again only once a face it found open has been committed. The seeds of one pass mostly come
  // back in the next, so on meshes cut into many strips most experiments are grown once.
  struct Kept {
    Experiment paths;
    std::vector<int> open;  // the faces it found open
    bool valid = false;
  };
  constexpr int kPerSeed = 6;
  std::vector<int> blockOf(m_faces.size(), -1);  // per seed face, its block of kPerSeed experiments
  std::vector<Kept> kept;
  // Paths of dropped experiments keep their storage for the next ones.
  std::vector<std::unique_ptr<StripPath>> spare;
  const auto newPath = [&](const StripStart& start, int stripId, int experimentId) {
    if (spare.empty()) return std::make_unique<StripPath>(start, stripId, experimentId);
    std::unique_ptr<StripPath> path = std::move(spare.back());
    spare.pop_back();
    path->Reuse(start, stripId, experimentId);
    return path;
  };
  const auto drop = [&](Kept& experiment) {
    for (auto& path : experiment.paths) {
      path->Clear();
      spare.push_back(std::move(path));
    }
    experiment.paths.clear();
    experiment.valid = false;
  };
  // Per face, whether it is committed: the check of a kept experiment reads this small array
  // rather than the faces.
  std::vector<uint8_t> committed(m_faces.size(), 0);
  for (size_t f = 0; f < m_faces.size(); ++f) committed[f] = m_faces[f].committedStrip >= 0;
  const auto stillValid = [&](const Kept& experiment) {
    if (!experiment.valid) return false;
    for (const int face : experiment.open)
      if (committed[size_t(face)]) return false;
    return true;
  };
  const auto grow = [&](int slot, const StripStart& first) {
    Kept& experiment = kept[size_t(slot)];
    drop(experiment);
    ClearOpenLog();
    Experiment& paths = experiment.paths;
    const int experimentId = m_nextExperimentId++;
    paths.push_back(newPath(first, m_nextStripId++, experimentId));
    paths.back()->Grow(*this);
    StripStart start;
    while (FindNextStart(*paths.back(), start)) {
      paths.push_back(newPath(start, m_nextStripId++, experimentId));
      paths.back()->Grow(*this);
    }
    experiment.open.swap(m_openLog);  // the log goes on in the storage of the one it replaces
    experiment.valid = true;
  };

  std::vector<int> seeds, slots;
  bool lastPass = false;
  while (!lastPass) {
    seeds.clear();
    slots.clear();
    for (int sample = 0; sample < samples; ++sample) {
      const int seed = NextSeedFace();
      if (seed < 0) {
        lastPass = true;
        break;
      }
      if (std::find(seeds.begin(), seeds.end(), seed) != seeds.end()) continue;
      seeds.push_back(seed);
      if (blockOf[size_t(seed)] < 0) {
        blockOf[size_t(seed)] = int(kept.size());
        kept.resize(kept.size() + kPerSeed);
      }
      StripFace* face = &m_faces[size_t(seed)];
      int slot = blockOf[size_t(seed)];
      for (StripEdge* edge : face->edges) {
        for (const bool towardE1 : {true, false}) {
          if (!stillValid(kept[size_t(slot)])) grow(slot, StripStart{face, edge, towardE1});
          slots.push_back(slot++);
        }
      }
    }
    if (slots.empty()) continue;

    double bestScore = 0.0;
    int best = slots.front();
    for (const int slot : slots) {
      const double score = MeanStripLength(kept[size_t(slot)].paths);
      if (score > bestScore) {
        bestScore = score;
        best = slot;
      }
    }
    const size_t firstNew = m_committed.size();
    Commit(kept[size_t(best)].paths);
    kept[size_t(best)].valid = false;
    // A committed face is never a seed again.
    for (size_t n = firstNew; n < m_committed.size(); ++n)
      for (const StripFace* face : m_committed[n]->faces) {
        if (face->index < 0) continue;
        committed[size_t(face->index)] = 1;
        if (blockOf[size_t(face->index)] >= 0)
          for (int k = 0; k < kPerSeed; ++k) drop(kept[size_t(blockOf[size_t(face->index)] + k)]);
      }
  }
}

void Stripifier::ClearOpenLog() {
  m_openLog.clear();
  if (++m_openGeneration == 0) {
    for (const StripFace& face : m_faces) face.openStamp = 0;
    m_openGeneration = 1;
  }
}

bool Stripifier::FindNextStart(const StripPath& path, StripStart& start) const {
  const int v = path.start.towardE1 ? path.start.edge->e1 : path.start.edge->e0;
  if (v < 0 || size_t(v) >= m_heads.size()) return false;
  for (StripEdge* edge = m_heads[size_t(v)]; edge; edge = edge->e0 == v ? edge->nextE0 : edge->nextE1) {
    StripFace* face = nullptr;
    if (edge->face0 && !path.IsInPath(edge->face0) && edge->face1 && !TakenBy(path, edge->face1))
      face = edge->face1;
    else if (edge->face1 && !path.IsInPath(edge->face1) && edge->face0 && !TakenBy(path, edge->face0))
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
  // Each round takes the piece of the best cache hit rate; among equals the last one whose first
  // face runs the wanted way, else the first. Hit counts follow the cache as it changes, and the
  // unvisited pieces wait in one ranking per winding, best rate first, then by position.
  const size_t count = kept.size();
  std::vector<int> hits(count, 0);
  std::vector<float> rate(count, 0.0f);
  std::vector<uint8_t> runsFront(count);
  const auto ranked = [](const std::pair<float, int>& a, const std::pair<float, int>& b) {
    return a.first != b.first ? a.first > b.first : a.second < b.second;
  };
  std::set<std::pair<float, int>, decltype(ranked)> waiting[2] = {std::set<std::pair<float, int>, decltype(ranked)>(ranked),
                                                                   std::set<std::pair<float, int>, decltype(ranked)>(ranked)};
  for (size_t n = 0; n < count; ++n) {
    const StripFace t = OrderFirstFace(*kept[n], false);
    runsFront[n] = IsFrontOrder(t.i0, t.i1, *kept[n]->faces.front());
    if (n != first) waiting[runsFront[n]].insert({0.0f, int(n)});
  }
  const VertexUses uses(count, [&](size_t n) -> const std::vector<StripFace*>& { return kept[n]->faces; });
  VertexCacheModel cache(m_cacheSize);
  std::vector<size_t> order;
  order.reserve(count);
  const auto take = [&](size_t n) {
    kept[n]->visited = true;
    order.push_back(n);
    for (const StripFace* face : kept[n]->faces)
      AddFaceTelling(cache, *face, [&](int vertex, int sign) {
        uses.ForEach(vertex, [&](const VertexUses::Use& use) {
          const size_t p = size_t(use.item);
          if (kept[p]->visited) return;
          auto& ranking = waiting[runsFront[p]];
          ranking.erase({rate[p], use.item});
          hits[p] += sign * use.times;
          rate[p] = float(hits[p]) / float(kept[p]->faces.size());
          ranking.insert({rate[p], use.item});
        });
      });
  };
  take(first);
  bool wantedWinding = IsEvenCount(int(kept[first]->faces.size()));
  for (;;) {
    auto& wanted = waiting[wantedWinding ? 1 : 0];
    auto& other = waiting[wantedWinding ? 0 : 1];
    if (wanted.empty() && other.empty()) break;
    const float best = std::max(wanted.empty() ? -1.0f : wanted.begin()->first,
                                other.empty() ? -1.0f : other.begin()->first);
    size_t chosen;
    if (!wanted.empty() && wanted.begin()->first == best) {
      chosen = size_t(std::prev(wanted.lower_bound({best, INT_MAX}))->second);
      wanted.erase({best, int(chosen)});
    } else {
      chosen = size_t(other.begin()->second);
      other.erase(other.begin());
    }
    take(chosen);
    if (!IsEvenCount(int(kept[chosen]->faces.size()))) wantedWinding = !wantedWinding;
  }
  for (const size_t n : order) m_strips.push_back(std::move(kept[n]));
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

  // Each round takes the first of the faces with the most vertices in the cache; the faces wait in
  // one set per hit count (0-3), in input order, and move as the cache changes.
  std::vector<int> hits(loose.size(), 0);
  std::vector<uint8_t> taken(loose.size(), 0);
  std::set<int> byHits[4];
  for (size_t n = 0; n < loose.size(); ++n) byHits[0].insert(int(n));
  const VertexUses uses(loose.size(), [&](size_t n) { return std::span<StripFace* const>(&loose[n], 1); });
  VertexCacheModel cache(m_cacheSize);
  for (size_t round = 0; round < loose.size(); ++round) {
    int most = 3;
    while (byHits[most].empty()) --most;
    const int chosen = *byHits[most].begin();
    byHits[most].erase(byHits[most].begin());
    taken[size_t(chosen)] = 1;
    leftovers.push_back(loose[size_t(chosen)]);
    AddFaceTelling(cache, *loose[size_t(chosen)], [&](int vertex, int sign) {
      uses.ForEach(vertex, [&](const VertexUses::Use& use) {
        const size_t f = size_t(use.item);
        if (taken[f]) return;
        byHits[hits[f]].erase(use.item);
        hits[f] += sign * use.times;
        byHits[hits[f]].insert(use.item);
      });
    });
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

void Stripifier::ReportDerailed() {
  std::fputs("GetNextIndex: Triangle doesn't have all of its vertices\n", stdout);
  std::fputs("GetNextIndex: Duplicate triangle probably got us derailed\n", stdout);
}
