// Build inputs for the tree's off-line builds, written through the host's writer: vertices of
// any format code laid out field by field, records of given triangles, and generated meshes.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "d3dx8/d3dx8math.h"
#include "host/build_input_writer.h"

namespace abt_build_testing {

// Byte offsets of a format code's fields, computed here from the layout rule (position; w'
// weights and an index word when w is above 0; normal; diffuse; t + 1 coordinate pairs).
struct Layout {
  uint32_t weights, stride, normal, diffuse, texture;
  explicit Layout(uint32_t code) {
    const uint32_t t = code & 3, w = (code >> 2) & 15;
    weights = w > 1 ? w - 1 : w;
    normal = 12 + (weights > 0 ? 4 * weights + 4 : 0);
    diffuse = normal + 12;
    texture = diffuse + 4;
    stride = texture + 8 * (t + 1);
  }
};

struct VertexFields {
  D3DXVECTOR3 position{0.0f, 0.0f, 0.0f};
  D3DXVECTOR3 normal{0.0f, 1.0f, 0.0f};
  uint32_t colour = 0xFFFFFFFFu;
  float u = 0.0f, v = 0.0f;
  uint8_t fill = 0;  // every other byte: weights, index word, further pairs
};

inline void PutFloat(std::vector<uint8_t>& out, size_t at, float f) { std::memcpy(&out[at], &f, 4); }
inline float FloatAt(const uint8_t* p) {
  float f;
  std::memcpy(&f, p, 4);
  return f;
}
inline uint32_t U32At(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline std::vector<uint8_t> Vertex(uint32_t code, const VertexFields& f) {
  const Layout l(code);
  std::vector<uint8_t> out(l.stride, f.fill);
  for (int k = 0; k < 3; ++k) PutFloat(out, 4 * k, (&f.position.x)[k]);
  for (int k = 0; k < 3; ++k) PutFloat(out, l.normal + 4 * k, (&f.normal.x)[k]);
  for (int k = 0; k < 4; ++k) out[l.diffuse + k] = static_cast<uint8_t>(f.colour >> (8 * k));
  PutFloat(out, l.texture, f.u);
  PutFloat(out, l.texture + 4, f.v);
  return out;
}

struct InputBuilder {
  host::BuildInput in;

  InputBuilder() { in.materials.push_back(host::MakeBuildMaterial(-1)); }

  // A record of these vertices and triangles appended to `buffer` (a new buffer of `code` when
  // it is -1 or past the end); its index.
  uint32_t Add(const std::vector<VertexFields>& vertices, const std::vector<uint16_t>& triangles, uint32_t code = 0,
               int buffer = -1, uint32_t material = 0) {
    if (buffer < 0 || static_cast<size_t>(buffer) >= in.buffers.size()) {
      in.buffers.push_back(host::BuildInputBuffer{code, {}});
      buffer = static_cast<int>(in.buffers.size() - 1);
    }
    host::BuildInputBuffer& b = in.buffers[buffer];
    host::BuildInputRecord r;
    r.buffer = static_cast<uint32_t>(buffer);
    r.triangleCount = static_cast<uint32_t>(triangles.size() / 3);
    r.firstTriangle = static_cast<uint32_t>(in.triangles.size() / 3);
    r.vertexCount = static_cast<uint32_t>(vertices.size());
    r.firstVertex = static_cast<uint32_t>(b.bytes.size() / Layout(b.code).stride);
    r.material = material;
    for (const VertexFields& v : vertices) {
      const std::vector<uint8_t> bytes = Vertex(b.code, v);
      b.bytes.insert(b.bytes.end(), bytes.begin(), bytes.end());
    }
    in.triangles.insert(in.triangles.end(), triangles.begin(), triangles.end());
    in.records.push_back(r);
    return static_cast<uint32_t>(in.records.size() - 1);
  }

  // Size and centre from the box of every triangle corner of every record.
  void Frame() {
    float lo[3] = {3.4e38f, 3.4e38f, 3.4e38f}, hi[3] = {-3.4e38f, -3.4e38f, -3.4e38f};
    for (const host::BuildInputRecord& r : in.records) {
      const host::BuildInputBuffer& b = in.buffers[r.buffer];
      const uint32_t stride = Layout(b.code).stride;
      for (uint32_t i = 0; i < 3 * r.triangleCount; ++i) {
        const uint8_t* p = &b.bytes[(r.firstVertex + in.triangles[3 * r.firstTriangle + i]) * stride];
        for (int k = 0; k < 3; ++k) {
          lo[k] = std::min(lo[k], FloatAt(p + 4 * k));
          hi[k] = std::max(hi[k], FloatAt(p + 4 * k));
        }
      }
    }
    for (int k = 0; k < 3; ++k) {
      in.size[k] = hi[k] - lo[k];
      in.centre[k] = (hi[k] + lo[k]) * 0.5f;
    }
  }

  std::vector<uint8_t> Bytes() {
    Frame();
    return host::WriteBuildInput(in);
  }
};

// A flat sheet in the x-z plane at height y: columns x rows quads of `cell` units from (x0, z0),
// two triangles each, shared corners; its vertices and triangles.
inline void Sheet(int columns, int rows, float cell, float x0, float z0, float y, std::vector<VertexFields>* vertices,
                  std::vector<uint16_t>* triangles) {
  const auto base = static_cast<uint16_t>(vertices->size());
  for (int r = 0; r <= rows; ++r)
    for (int c = 0; c <= columns; ++c) {
      VertexFields v;
      v.position = D3DXVECTOR3(x0 + cell * static_cast<float>(c), y, z0 + cell * static_cast<float>(r));
      v.u = static_cast<float>(c);
      v.v = static_cast<float>(r);
      vertices->push_back(v);
    }
  auto at = [&](int c, int r) { return static_cast<uint16_t>(base + r * (columns + 1) + c); };
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c) {
      triangles->insert(triangles->end(), {at(c, r), at(c, r + 1), at(c + 1, r + 1)});
      triangles->insert(triangles->end(), {at(c, r), at(c + 1, r + 1), at(c + 1, r)});
    }
}

// n separate small triangles along x, each its own three vertices, one unit apart.
inline void Scatter(int n, std::vector<VertexFields>* vertices, std::vector<uint16_t>* triangles, float y = 0.0f) {
  for (int i = 0; i < n; ++i) {
    const auto base = static_cast<uint16_t>(vertices->size());
    const float x = static_cast<float>(i);
    for (const D3DXVECTOR3& p : {D3DXVECTOR3(x, y, 0), D3DXVECTOR3(x, y, 0.5f), D3DXVECTOR3(x + 0.5f, y, 0.5f)}) {
      VertexFields v;
      v.position = p;
      vertices->push_back(v);
    }
    triangles->insert(triangles->end(), {base, static_cast<uint16_t>(base + 1), static_cast<uint16_t>(base + 2)});
  }
}

}  // namespace abt_build_testing
