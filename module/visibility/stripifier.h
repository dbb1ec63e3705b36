// Turns an indexed triangle list (16-bit indices, three per triangle) into triangle strips, or
// into one triangle list, ordered for a simulated vertex cache.
//
// The facility is module-wide: its settings are globals read at every call, and one call of
// BuildPrimitives builds its working structures, produces the output groups and frees everything
// but the groups. An instance of Stripifier is the working state of one such call; its stages are
// public so that each can be exercised on its own.
#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <unordered_set>
#include <vector>

#include "visibility/strip_output.h"
#include "visibility/strip_path.h"

class Stripifier {
 public:
  // Settings. Each setter stores its argument unchecked and returns it.
  static int SetVertexCacheSize(int size);
  static bool SetJoinStrips(bool join);
  static int SetMinimumStripLength(int faces);
  static bool SetOutputListsOnly(bool listsOnly);
  static int EnablePrimitiveRestart(int value);
  static void DisablePrimitiveRestart();
  // Back to the defaults: cache 16, join on, minimum length 0, lists only off, restart off (0).
  static void ResetSettings();

  // Builds the output groups into a new array (array-new; the caller frees it with array-delete)
  // and its group count. False when validation is asked for and fails, and when the strips
  // would need more groups than the 16-bit count holds (join off): then there are no groups.
  // Both outputs are set in every case.
  // Faces found on an edge that has two already are not linked to it; a call prints one line
  // saying how often that happened, or with `crowded` given stores the count there instead.
  static bool BuildPrimitives(const uint16_t* indices, uint32_t indexCount, StripOutput** groups,
                              uint16_t* groupCount, bool validate, uint32_t* crowded = nullptr);
  // Renumbers the vertices of the groups in first-use order across all groups into a new array.
  // An index at or above vertexCount gives no groups (null).
  static void RemapToCacheOrder(const StripOutput* groups, uint16_t groupCount, uint16_t vertexCount,
                                StripOutput** remapped);

  // Writes the strips into one index list: strips joined by repeated indices, cut by the restart
  // value, or separated by -1. Yields the number of separate strips.
  static void EmitIndices(const std::vector<std::unique_ptr<StripPath>>& strips, std::vector<int>& out,
                          bool join, int& separateStrips, bool restart, int restartValue);
  // One strip group per separate strip of the emitted list (the whole list, or with
  // cutAtSeparators the values up to each -1), then one list group of the leftover faces. False,
  // with no groups, when there would be more than 65,535.
  static bool MakeStripGroups(const std::vector<int>& list, int separateStrips, bool cutAtSeparators,
                              const std::vector<StripFace*>& leftovers, StripOutput** groups, uint16_t* groupCount);
  static bool IsSameTriangle(const uint16_t* a, const uint16_t* b);
  // The check of the validate flag: every non-degenerate triangle of the groups (strips read
  // with alternating winding, each restart value beginning a new strip when restart is on) is an
  // input triangle in some rotation.
  static bool GroupsMatchInput(const std::vector<uint16_t>& input, const StripOutput* groups, uint16_t groupCount);

  // Small tests on faces and indices.
  // The first vertex of b, in b's order, that is not a vertex of a; -1 if none.
  static int VertexNotIn(const StripFace& a, const StripFace& b);
  // The first and second vertex of b, in b's order, that are vertices of a; -1 where none.
  static void SharedVertices(const StripFace& a, const StripFace& b, int& first, int& second);
  // (a, b) follows the face's own winding.
  static bool IsFrontOrder(int a, int b, const StripFace& face);
  static bool IsDegenerate(uint16_t a, uint16_t b, uint16_t c);
  static bool IsEvenCount(int n) { return (n & 1) == 0; }
  // The first of the face's vertices that is neither of the last two scratch indices; -1 if none.
  static int GetNextIndex(const std::vector<int>& scratch, const StripFace& face);
  // GetNextIndex's two lines for a face that holds only one of the last two indices.
  static void ReportDerailed();
  // The strip's first face with its vertices ordered as the strip starts: the one not shared
  // with the second face first, the one shared with the third face last.
  static StripFace OrderFirstFace(const StripPath& strip, bool degenerateSecondFace);

  Stripifier();
  ~Stripifier();
  Stripifier(const Stripifier&) = delete;
  Stripifier& operator=(const Stripifier&) = delete;

  // The strip stage: faces and edges, strips grown and committed, cut to the cache and ordered.
  // The results stay in Strips() and Leftovers() until the instance is destroyed.
  void Run(const std::vector<uint16_t>& indices, int cacheSize, int minimumStripLength, uint16_t maxIndex);

  void BuildStripifyInfo(const std::vector<uint16_t>& indices, uint16_t maxIndex);
  // How often BuildStripifyInfo met an edge that had two faces already.
  uint32_t CrowdedEdges() const { return m_crowdedEdges; }
  StripEdge* FindEdge(int a, int b) const;
  // The edge (a, b) of the face's own table, else as FindEdge finds it.
  StripEdge* EdgeOf(const StripFace* face, int a, int b) const;
  StripFace* FaceAcrossEdge(int a, int b, const StripFace* face) const;
  bool FaceListed(const StripFace& face) const;
  int FindBorderFace() const;
  int NextSeedFace();
  // The first face at or after n that no committed strip holds; the face count if none.
  int OpenFaceFrom(int n);
  void GrowAllStrips(int samples);
  bool FindNextStart(const StripPath& path, StripStart& start) const;
  static double MeanStripLength(const std::vector<std::unique_ptr<StripPath>>& experiment);
  void Commit(std::vector<std::unique_ptr<StripPath>>& experiment);
  void SplitAndOrder();
  void SplitOffShortStrips(std::vector<std::unique_ptr<StripPath>>& pieces,
                           std::vector<std::unique_ptr<StripPath>>& kept, std::vector<StripFace*>& leftovers);
  int NeighbourCount(const StripFace& face) const;

  // Whether the path may not take the face. A face found open is logged: a trial's result depends
  // only on which of the faces it asked about were open.
  bool TakenBy(const StripPath& path, const StripFace* face) const;
  // Starts a new log of the faces found open, each face once.
  void ClearOpenLog();

  // The vertices of the seen faces while a strip grows backward.
  void ClearSeen();
  void SeeFace(const StripFace& face);
  bool HasUnseenVertex(const StripFace& face) const;

  // Storage that growing strips reuses from one strip to the next.
  struct GrowStorage {
    std::vector<StripFace*> forward, backward;
    std::vector<int> scratch;
  };
  GrowStorage& Storage() { return m_growStorage; }

  const std::deque<StripFace>& Faces() const { return m_faces; }
  StripFace& Face(size_t n) { return m_faces[n]; }
  const std::vector<std::unique_ptr<StripPath>>& Committed() const { return m_committed; }
  const std::vector<std::unique_ptr<StripPath>>& Strips() const { return m_strips; }
  const std::vector<StripFace*>& Leftovers() const { return m_leftovers; }
  float MeshJump() const { return m_meshJump; }
  int EffectiveCacheSize() const { return m_cacheSize; }
  void SetEffectiveCacheSize(int size) { m_cacheSize = size; }

 private:
  struct FaceKey {
    bool operator==(const FaceKey&) const = default;
    int i0, i1, i2;
  };
  struct FaceKeyHash {
    size_t operator()(const FaceKey& k) const {
      return (size_t(uint32_t(k.i0)) * 0x9E3779B1u) ^ (size_t(uint32_t(k.i1)) << 16) ^ size_t(uint32_t(k.i2));
    }
  };

  void ReleaseAll();
  void CutStrip(StripPath& strip, std::vector<std::unique_ptr<StripPath>>& pieces);

  int m_cacheSize = 10;
  int m_minimumStripLength = 0;
  float m_meshJump = 0.0f;
  bool m_firstSeed = true;
  int m_nextStripId = 0;
  int m_nextExperimentId = 0;

  std::deque<StripFace> m_faces;       // the face list, in input order
  std::unordered_set<FaceKey, FaceKeyHash> m_listed;
  std::deque<StripEdge> m_edges;
  std::vector<StripEdge*> m_heads;     // one edge list per vertex
  std::vector<int> m_openFrom;          // per face: no open face before this one from here on
  std::vector<uint32_t> m_seenStamp;   // per vertex: m_seenGeneration when seen
  uint32_t m_seenGeneration = 0;
  mutable std::vector<int> m_openLog;          // faces found open since ClearOpenLog
  uint32_t m_openGeneration = 0;
  uint32_t m_crowdedEdges = 0;
  GrowStorage m_growStorage;

  std::vector<std::unique_ptr<StripPath>> m_committed;
  std::vector<std::unique_ptr<StripPath>> m_strips;
  std::vector<StripFace*> m_leftovers;  // owns the fake faces among them
};

// Inline: growing strips asks these for every face it crosses.
inline StripEdge* Stripifier::EdgeOf(const StripFace* face, int a, int b) const {
  StripEdge* edge = face ? face->EdgeJoining(a, b) : nullptr;
  return edge ? edge : FindEdge(a, b);
}

inline StripFace* Stripifier::FaceAcrossEdge(int a, int b, const StripFace* face) const {
  if (face) {
    const int k = face->EdgeSlot(a, b);
    if (k >= 0 && face->edges[k]) return face->across[k];
  }
  const StripEdge* edge = FindEdge(a, b);
  if (!edge) return nullptr;
  return edge->face0 == face ? edge->face1 : edge->face0;
}

inline bool Stripifier::TakenBy(const StripPath& path, const StripFace* face) const {
  if (face->committedStrip >= 0) return true;  // for good: no need to log it
  if (face->index >= 0 && face->openStamp != m_openGeneration) {
    face->openStamp = m_openGeneration;
    m_openLog.push_back(face->index);
  }
  return path.IsTaken(face);
}

inline void Stripifier::SeeFace(const StripFace& face) {
  for (const int v : {face.i0, face.i1, face.i2})
    if (v >= 0 && size_t(v) < m_seenStamp.size()) m_seenStamp[size_t(v)] = m_seenGeneration;
}

inline bool Stripifier::HasUnseenVertex(const StripFace& face) const {
  for (const int v : {face.i0, face.i1, face.i2})
    if (v < 0 || size_t(v) >= m_seenStamp.size() || m_seenStamp[size_t(v)] != m_seenGeneration) return true;
  return false;
}

inline int Stripifier::GetNextIndex(const std::vector<int>& scratch, const StripFace& face) {
  const int p = scratch[scratch.size() - 2];
  const int q = scratch.back();
  const int v[3] = {face.i0, face.i1, face.i2};
  for (int n = 0; n < 3; ++n) {
    if (v[n] == p || v[n] == q) continue;
    const int o1 = v[(n + 1) % 3], o2 = v[(n + 2) % 3];
    if ((o1 != p && o1 != q) || (o2 != p && o2 != q)) ReportDerailed();
    return v[n];
  }
  if (face.i0 == face.i1 || face.i0 == face.i2) return face.i0;
  if (face.i1 == face.i2) return face.i1;
  return -1;
}
