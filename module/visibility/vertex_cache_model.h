// A first-in first-out vertex cache: the stripifier rates faces and strips against it.
#pragma once
#include <cstdint>
#include <vector>

struct StripFace;
class StripPath;

class VertexCacheModel {
 public:
  explicit VertexCacheModel(int size);

  bool Contains(int vertex) const;
  // A vertex already held changes nothing (hits never move an entry); a new one enters at the
  // front and the oldest drops out.
  void Add(int vertex);
  void AddFace(const StripFace& face);
  void AddStrip(const StripPath& strip);
  // How many of the face's three vertices are held (0-3).
  int FaceHits(const StripFace& face) const;
  // Held vertices over the strip's faces, per face; the cache is not changed.
  float StripHitRate(const StripPath& strip) const;

  const std::vector<int>& Entries() const { return m_entries; }

 private:
  std::vector<int> m_entries;  // entry 0 is the newest
  // Per vertex, whether an entry holds it: the entries never repeat a vertex, so this answers
  // Contains without scanning them.
  std::vector<uint8_t> m_held;
};
