#include "visibility/vertex_cache_model.h"

#include <algorithm>

#include "visibility/strip_path.h"

VertexCacheModel::VertexCacheModel(int size) : m_entries(static_cast<size_t>(std::max(size, 1)), -1) {}

bool VertexCacheModel::Contains(int vertex) const {
  if (vertex < 0) return std::find(m_entries.begin(), m_entries.end(), vertex) != m_entries.end();
  return size_t(vertex) < m_held.size() && m_held[size_t(vertex)];
}

void VertexCacheModel::Add(int vertex) {
  if (Contains(vertex)) return;
  const int oldest = m_entries.back();
  if (oldest >= 0) m_held[size_t(oldest)] = 0;
  std::move_backward(m_entries.begin(), m_entries.end() - 1, m_entries.end());
  m_entries[0] = vertex;
  if (vertex < 0) return;
  if (size_t(vertex) >= m_held.size()) m_held.resize(size_t(vertex) + 1, 0);
  m_held[size_t(vertex)] = 1;
}

void VertexCacheModel::AddFace(const StripFace& face) {
  Add(face.i0);
  Add(face.i1);
  Add(face.i2);
}

void VertexCacheModel::AddStrip(const StripPath& strip) {
  for (const StripFace* face : strip.faces) AddFace(*face);
}

int VertexCacheModel::FaceHits(const StripFace& face) const {
  return int(Contains(face.i0)) + int(Contains(face.i1)) + int(Contains(face.i2));
}

float VertexCacheModel::StripHitRate(const StripPath& strip) const {
  if (strip.faces.empty()) return 0.0f;
  int hits = 0;
  for (const StripFace* face : strip.faces) hits += FaceHits(*face);
  return float(hits) / float(strip.faces.size());
}
