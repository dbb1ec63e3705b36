#include "visibility/strip_path.h"

#include "visibility/stripifier.h"

namespace {

// Blocks of freed faces, kept for the next ones up to a bound.
struct FreeFaces {
  static constexpr size_t kKept = 1 << 16;
  FreeFaces() = default;
  FreeFaces(const FreeFaces&) = delete;
  FreeFaces& operator=(const FreeFaces&) = delete;
  ~FreeFaces() {
    for (void* block : blocks) ::operator delete(block);
  }
  std::vector<void*> blocks;
};

thread_local FreeFaces t_freeFaces;

}  // namespace

void* StripFace::operator new(std::size_t size) {
  auto& blocks = t_freeFaces.blocks;
  if (size != sizeof(StripFace) || blocks.empty()) return ::operator new(size);
  void* block = blocks.back();
  blocks.pop_back();
  return block;
}

void StripFace::operator delete(void* block, std::size_t size) noexcept {
  auto& blocks = t_freeFaces.blocks;
  if (size == sizeof(StripFace) && blocks.size() < FreeFaces::kKept) {
    try {
      blocks.push_back(block);
      return;
    } catch (...) {
      // No room to keep it: it goes back to the heap.
    }
  }
  ::operator delete(block);
}

StripPath::StripPath(const StripStart& s, int id, int experiment)
    : start(s), stripId(id), experimentId(experiment) {}

StripPath::~StripPath() { Clear(); }

void StripPath::Clear() {
  for (StripFace* face : faces)
    if (face->fake) delete face;
  faces.clear();
}

void StripPath::Reuse(const StripStart& s, int id, int experiment) {
  Clear();
  start = s;
  stripId = id;
  experimentId = experiment;
  visited = false;
  degenerateCount = 0;
}

bool StripPath::IsTaken(const StripFace* face) const {
  return face->committedStrip >= 0 || (IsExperiment() && face->experiment == experimentId);
}

bool StripPath::IsInPath(const StripFace* face) const {
  return (IsExperiment() ? face->trialStrip : face->committedStrip) == stripId;
}

void StripPath::MarkFace(StripFace* face) {
  if (IsExperiment()) {
    face->experiment = experimentId;
    face->trialStrip = stripId;
  } else {
    face->experiment = -1;
    face->committedStrip = stripId;
  }
}

bool StripPath::TouchesFace(const Stripifier& stripifier, const StripFace* face) const {
  const int edges[3][2] = {{face->i0, face->i1}, {face->i1, face->i2}, {face->i2, face->i0}};
  for (const auto& e : edges) {
    const StripEdge* edge = stripifier.EdgeOf(face, e[0], e[1]);
    if (!edge) continue;
    if ((edge->face0 && IsInPath(edge->face0)) || (edge->face1 && IsInPath(edge->face1))) return true;
  }
  return false;
}

int StripPath::RealFaceCount() const {
  int real = 0;
  for (const StripFace* face : faces) real += face->IsDegenerate() ? 0 : 1;
  return real;
}

void StripPath::GrowHalf(Stripifier& stripifier, std::vector<int>& scratch, StripFace* from,
                         std::vector<StripFace*>& out, bool backward) {
  int s0 = scratch[scratch.size() - 2];
  int s1 = scratch.back();
  StripFace* next = stripifier.FaceAcrossEdge(s0, s1, from);
  while (next && !stripifier.TakenBy(*this, next)) {
    if (backward && !stripifier.HasUnseenVertex(*next)) break;
    int t0 = s1;
    const int t1 = Stripifier::GetNextIndex(scratch, *next);
    // No next vertex: the half ends here rather than put a vertex that does not exist in the strip.
    if (t1 < 0) break;
    const StripFace* after = stripifier.FaceAcrossEdge(t0, t1, next);
    if (!after || stripifier.TakenBy(*this, after)) {
      const StripFace* alt = stripifier.FaceAcrossEdge(s0, t1, next);
      if (alt && !stripifier.TakenBy(*this, alt)) {
        auto* swap = new StripFace(s0, s1, s0);
        swap->fake = true;
        out.push_back(swap);
        MarkFace(swap);
        if (!backward) stripifier.SeeFace(*swap);
        scratch.push_back(s0);
        t0 = s0;
        ++degenerateCount;
      }
    }
    out.push_back(next);
    MarkFace(next);
    stripifier.SeeFace(*next);
    scratch.push_back(t1);
    s0 = t0;
    s1 = t1;
    next = stripifier.FaceAcrossEdge(s0, s1, next);
  }
}

void StripPath::Grow(Stripifier& stripifier) {
  Stripifier::GrowStorage& storage = stripifier.Storage();
  std::vector<StripFace*>& forward = storage.forward;
  std::vector<StripFace*>& backward = storage.backward;
  std::vector<int>& scratch = storage.scratch;
  StripFace* first = start.face;
  forward.assign(1, first);
  backward.clear();
  MarkFace(first);
  const int a = start.towardE1 ? start.edge->e0 : start.edge->e1;
  const int b = start.towardE1 ? start.edge->e1 : start.edge->e0;
  scratch.assign({a, b});
  const int c = Stripifier::GetNextIndex(scratch, *first);
  if (c >= 0) {
    scratch.push_back(c);
    // The backward half stops at faces whose vertices are all seen: the forward half's faces are
    // seen as they are added, while they are at hand.
    stripifier.ClearSeen();
    stripifier.SeeFace(*first);
    GrowHalf(stripifier, scratch, first, forward, false);

    scratch.assign({c, b, a});
    GrowHalf(stripifier, scratch, first, backward, true);
  }
  JoinHalves(forward, backward);
}

void StripPath::JoinHalves(const std::vector<StripFace*>& forward, const std::vector<StripFace*>& backward) {
  faces.clear();
  faces.reserve(backward.size() + forward.size());
  faces.insert(faces.end(), backward.rbegin(), backward.rend());
  faces.insert(faces.end(), forward.begin(), forward.end());
}
