// The working records of the stripifier's strip stage: faces, undirected edges, strip starts and
// the strips (paths) grown over them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

class Stripifier;
struct StripEdge;

// One working triangle. Ids are -1 when unset.
struct StripFace {
  StripFace() = default;
  StripFace(int a, int b, int c) : i0(a), i1(b), i2(c) {}

  bool IsDegenerate() const { return i0 == i1 || i1 == i2 || i2 == i0; }
  // The face's own edge joining a and b (either way round); null for a pair that is not one of
  // them and for a face that has no edges (a fake one).
  StripEdge* EdgeJoining(int a, int b) const { const int k = EdgeSlot(a, b); return k < 0 ? nullptr : edges[k]; }
  // Which of the face's edges joins a and b (either way round); -1 if none.
  int EdgeSlot(int a, int b) const;

  // Trial strips make and drop fake faces by the thousand: their memory is recycled per thread.
  static void* operator new(std::size_t size);
  static void operator delete(void* block, std::size_t size) noexcept;

  // Growing a strip reads the vertices, the marks and the faces across; they come first, to
  // share a cache line.
  int i0 = -1, i1 = -1, i2 = -1;
  int committedStrip = -1;  // committed strip that owns the face
  int trialStrip = -1;      // trial strip that took it during an experiment
  int experiment = -1;      // experiment that took it
  int index = -1;           // place in the face list; -1 for a face outside it
  // Stripifier::TakenBy's stamp: the face is in its log of open faces when this is the log's.
  mutable uint32_t openStamp = 0;
  // The other face on each edge, as the edge names it, so that crossing an edge does not load it.
  StripFace* across[3] = {};
  StripEdge* edges[3] = {};  // (i0, i1), (i1, i2), (i2, i0), set when the face is listed
  // A degenerate face a strip inserted to swap its direction; the strip holding it owns it.
  bool fake = false;
};

// One undirected edge, linked into the lists of both of its vertices.
struct StripEdge {
  StripFace* face0 = nullptr;
  StripFace* face1 = nullptr;
  int e0 = -1, e1 = -1;  // in the order of the face that created the edge
  StripEdge* nextE0 = nullptr;
  StripEdge* nextE1 = nullptr;
};

inline int StripFace::EdgeSlot(int a, int b) const {
  if (!IsDegenerate()) {
    // Three distinct vertices: a and b name an edge when they are two different ones of them,
    // and the two bits of their places give the edge.
    static constexpr int kSlot[8] = {-1, -1, -1, 0, -1, 2, 1, -1};
    const int at = int(i0 == a) | int(i1 == a) << 1 | int(i2 == a) << 2;
    const int bt = int(i0 == b) | int(i1 == b) << 1 | int(i2 == b) << 2;
    return kSlot[at | bt];
  }
  const int v[3] = {i0, i1, i2};
  for (int k = 0; k < 3; ++k) {
    const int p = v[k], q = v[(k + 1) % 3];
    if ((p == a && q == b) || (p == b && q == a)) return k;
  }
  return -1;
}

struct StripStart {
  StripFace* face = nullptr;
  StripEdge* edge = nullptr;
  bool towardE1 = false;  // the strip runs from e0 to e1 when set, else from e1 to e0
};

class StripPath {
 public:
  StripPath(const StripStart& start, int stripId, int experimentId);
  // Frees the fake faces still in the face list: whoever takes faces out of a path also takes
  // their ownership.
  ~StripPath();
  StripPath(const StripPath&) = delete;
  StripPath& operator=(const StripPath&) = delete;
  // Frees the fake faces and empties the face list, keeping its storage for the next path.
  void Clear();
  // Begins again as a new path, on the storage of this one.
  void Reuse(const StripStart& start, int stripId, int experimentId);

  bool IsExperiment() const { return experimentId >= 0; }
  // Taken: committed to any strip, or taken by this path's own experiment.
  bool IsTaken(const StripFace* face) const;
  bool IsInPath(const StripFace* face) const;
  void MarkFace(StripFace* face);
  bool TouchesFace(const Stripifier& stripifier, const StripFace* face) const;

  // Grows both halves from the start and joins them into the face list.
  void Grow(Stripifier& stripifier);
  void JoinHalves(const std::vector<StripFace*>& forward, const std::vector<StripFace*>& backward);

  // Faces that are not degenerate.
  int RealFaceCount() const;

  StripStart start;
  std::vector<StripFace*> faces;
  int stripId;
  int experimentId;
  bool visited = false;
  int degenerateCount = 0;

 private:
  // One half of the strip: crosses from face to face along (s0, s1), swapping with a fake face
  // where that keeps the strip going. Both halves see the vertices of the faces they cross (the
  // forward half those of its swap faces too); the backward half stops at a face that adds no
  // vertex.
  void GrowHalf(Stripifier& stripifier, std::vector<int>& scratch, StripFace* from,
                std::vector<StripFace*>& out, bool backward);
};
