// Times the hot math kernels of the module against the same operations written with GLM, in
// one run, and prints per kernel the nanoseconds per operation of each and their ratio.
//
//   footlight_math_bench [benchmark options]
//
// Kernels: 4x4 multiply and inverse (the Direct3D-style functions and the module's matrix44),
// transforming an array of points, classifying boxes against a frustum, clipping polygons by a
// plane. GLM has no frustum test or polygon clipper; its columns run the same algorithm
// written with GLM's vector types.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#define GLM_FORCE_SILENT_WARNINGS
#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>

#include "bench/ratio_reporter.h"
#include "d3dx8/d3dx8math.h"
#include "math/bounds.h"
#include "math/matrix.h"
#include "math/planes.h"

namespace {

constexpr int kMatrices = 1024;
constexpr int kPoints = 4096;
constexpr int kBoxes = 4096;
constexpr int kPolygons = 1024;
constexpr int kPolygonSides = 8;

std::mt19937& Engine() {
  static std::mt19937 engine(1234);
  return engine;
}
float Uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(Engine()); }

D3DXMATRIX RandomAffine() {
  D3DXMATRIX r, s, t;
  const D3DXVECTOR3 axis(Uniform(-1, 1), Uniform(-1, 1), Uniform(-1, 1) + 2.0f);
  D3DXMatrixRotationAxis(&r, &axis, Uniform(-3, 3));
  D3DXMatrixScaling(&s, Uniform(0.5f, 2), Uniform(0.5f, 2), Uniform(0.5f, 2));
  D3DXMatrixTranslation(&t, Uniform(-10, 10), Uniform(-10, 10), Uniform(-10, 10));
  return s * r * t;
}

// The same 16 floats; GLM reads them as columns.
glm::mat4 ToGlm(const D3DXMATRIX& m) {
  glm::mat4 g;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) g[i][j] = m.m[i][j];
  return g;
}

struct Data {
  std::vector<D3DXMATRIX> a, b;
  std::vector<matrix44> ma, mb;
  std::vector<glm::mat4> ga, gb;
  std::vector<D3DXVECTOR3> points;
  std::vector<glm::vec3> gpoints;
  std::vector<AABB> boxes;
  D3DXMATRIX viewProjection;
  std::vector<D3DXVECTOR3> polygons;  // kPolygons x kPolygonSides
  std::vector<glm::vec3> gpolygons;
  Plane plane;

  Data() {
    for (int i = 0; i < kMatrices; ++i) {
      a.push_back(RandomAffine());
      b.push_back(RandomAffine());
      ma.push_back(FromD3DMatrix(a.back()));
      mb.push_back(FromD3DMatrix(b.back()));
      ga.push_back(ToGlm(a.back()));
      gb.push_back(ToGlm(b.back()));
    }
    for (int i = 0; i < kPoints; ++i) {
      points.emplace_back(Uniform(-50, 50), Uniform(-50, 50), Uniform(-50, 50));
      gpoints.emplace_back(points.back().x, points.back().y, points.back().z);
    }
    for (int i = 0; i < kBoxes; ++i) {
      const D3DXVECTOR3 c(Uniform(-100, 100), Uniform(-100, 100), Uniform(-100, 100));
      const D3DXVECTOR3 h(Uniform(0.5f, 10), Uniform(0.5f, 10), Uniform(0.5f, 10));
      boxes.emplace_back(c - h, c + h);
    }
    const D3DXVECTOR3 eye(0, 5, -20), at(0, 0, 50), up(0, 1, 0);
    D3DXMATRIX view, proj;
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    D3DXMatrixPerspectiveFovLH(&proj, 1.3089969f, 4.0f / 3.0f, 0.1f, 150.0f);
    viewProjection = view * proj;
    for (int i = 0; i < kPolygons; ++i) {
      const D3DXVECTOR3 c(Uniform(-2, 2), Uniform(-2, 2), 0);
      const float r = Uniform(1, 3);
      for (int k = 0; k < kPolygonSides; ++k) {
        const float t = 6.2831855f * k / kPolygonSides;
        polygons.emplace_back(c.x + r * std::cos(t), c.y + r * std::sin(t), 0.1f * k);
        gpolygons.emplace_back(polygons.back().x, polygons.back().y, polygons.back().z);
      }
    }
    plane = Plane(0.6f, 0.8f, 0.0f, -0.3f);
  }
};

const Data& Inputs() {
  static const Data data;
  return data;
}

void SetOps(benchmark::State& state, int perIteration) {
  state.counters["ops"] = perIteration;
  state.SetItemsProcessed(state.iterations() * perIteration);
}

// ---------------------------------------------------------------------------------------------

void MultiplyD3DX(benchmark::State& state) {
  const Data& d = Inputs();
  std::vector<D3DXMATRIX> out(kMatrices);
  for (auto _ : state) {
    for (int i = 0; i < kMatrices; ++i) D3DXMatrixMultiply(&out[i], &d.a[i], &d.b[i]);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  SetOps(state, kMatrices);
}

void MultiplyMatrix44(benchmark::State& state) {
  const Data& d = Inputs();
  std::vector<matrix44> out(kMatrices);
  for (auto _ : state) {
    for (int i = 0; i < kMatrices; ++i) Matrix4Multiply(&out[i], &d.ma[i], &d.mb[i]);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  SetOps(state, kMatrices);
}

void MultiplyGlm(benchmark::State& state) {
  const Data& d = Inputs();
  std::vector<glm::mat4> out(kMatrices);
  for (auto _ : state) {
    // Column-major: b * a is the row-major a x b.
    for (int i = 0; i < kMatrices; ++i) out[i] = d.gb[i] * d.ga[i];
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  SetOps(state, kMatrices);
}

void InverseD3DX(benchmark::State& state) {
  const Data& d = Inputs();
  std::vector<D3DXMATRIX> out(kMatrices);
  for (auto _ : state) {
    for (int i = 0; i < kMatrices; ++i) D3DXMatrixInverse(&out[i], nullptr, &d.a[i]);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  SetOps(state, kMatrices);
}

void InverseMatrix44(benchmark::State& state) {
  const Data& d = Inputs();
  std::vector<matrix44> out(kMatrices);
  for (auto _ : state) {
    for (int i = 0; i < kMatrices; ++i) d.ma[i].inverse(out[i]);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  SetOps(state, kMatrices);
}

void InverseGlm(benchmark::State& state) {
  const Data& d = Inputs();
  std::vector<glm::mat4> out(kMatrices);
  for (auto _ : state) {
    for (int i = 0; i < kMatrices; ++i) out[i] = glm::inverse(d.ga[i]);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  SetOps(state, kMatrices);
}

void TransformD3DX(benchmark::State& state) {
  const Data& d = Inputs();
  std::vector<D3DXVECTOR3> out(kPoints);
  const D3DXMATRIX m = d.a[0] * d.viewProjection;
  for (auto _ : state) {
    for (int i = 0; i < kPoints; ++i) D3DXVec3TransformCoord(&out[i], &d.points[i], &m);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  SetOps(state, kPoints);
}

void TransformGlm(benchmark::State& state) {
  const Data& d = Inputs();
  std::vector<glm::vec3> out(kPoints);
  const glm::mat4 m = ToGlm(d.a[0] * d.viewProjection);
  for (auto _ : state) {
    for (int i = 0; i < kPoints; ++i) {
      const glm::vec4 r = m * glm::vec4(d.gpoints[i], 1.0f);
      out[i] = glm::vec3(r) / r.w;
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  SetOps(state, kPoints);
}

void FrustumOurs(benchmark::State& state) {
  const Data& d = Inputs();
  Frustum f;
  f.ExtractFromMatrix(d.viewProjection);
  for (auto _ : state) {
    int sum = 0;
    for (int i = 0; i < kBoxes; ++i) sum += f.ClassifyAABB(d.boxes[i]);
    benchmark::DoNotOptimize(sum);
  }
  SetOps(state, kBoxes);
}

// The same far-corner / near-corner test with GLM's types.
struct GlmFrustum {
  glm::vec4 planes[6];
  int Classify(const glm::vec3& lo, const glm::vec3& hi) const {
    bool crossing = false;
    for (const glm::vec4& p : planes) {
      const glm::vec3 n(p);
      const glm::vec3 farCorner(n.x < 0 ? lo.x : hi.x, n.y < 0 ? lo.y : hi.y, n.z < 0 ? lo.z : hi.z);
      const glm::vec3 nearCorner(n.x < 0 ? hi.x : lo.x, n.y < 0 ? hi.y : lo.y, n.z < 0 ? hi.z : lo.z);
      if (glm::dot(n, farCorner) + p.w < 0.0f) return 0;
      if (glm::dot(n, nearCorner) + p.w < 0.0f) crossing = true;
    }
    return crossing ? 2 : 1;
  }
};

void FrustumGlm(benchmark::State& state) {
  const Data& d = Inputs();
  Frustum f;
  f.ExtractFromMatrix(d.viewProjection);
  GlmFrustum g;
  for (int i = 0; i < 6; ++i) g.planes[i] = glm::vec4(f.m_planes[i].a, f.m_planes[i].b, f.m_planes[i].c, f.m_planes[i].d);
  std::vector<glm::vec3> lo, hi;
  for (const AABB& b : d.boxes) {
    lo.emplace_back(b.m_vecMin.x, b.m_vecMin.y, b.m_vecMin.z);
    hi.emplace_back(b.m_vecMax.x, b.m_vecMax.y, b.m_vecMax.z);
  }
  for (auto _ : state) {
    int sum = 0;
    for (int i = 0; i < kBoxes; ++i) sum += g.Classify(lo[i], hi[i]);
    benchmark::DoNotOptimize(sum);
  }
  SetOps(state, kBoxes);
}

void ClipOurs(benchmark::State& state) {
  const Data& d = Inputs();
  D3DXVECTOR3 work[2 * kPolygonSides];
  for (auto _ : state) {
    int total = 0;
    for (int i = 0; i < kPolygons; ++i) {
      std::memcpy(work, &d.polygons[i * kPolygonSides], sizeof(D3DXVECTOR3) * kPolygonSides);
      int count = kPolygonSides;
      ClipPolygonByPlane(work, &count, 2 * kPolygonSides, sizeof(D3DXVECTOR3), d.plane, PlaneSegmentIntersectPoint,
                         nullptr, kPlaneBack);
      total += count;
      benchmark::DoNotOptimize(work);
    }
    benchmark::DoNotOptimize(total);
  }
  SetOps(state, kPolygons);
}

// Edge-by-edge clip into a second array with GLM's types.
void ClipGlm(benchmark::State& state) {
  const Data& d = Inputs();
  const glm::vec3 n(d.plane.a, d.plane.b, d.plane.c);
  const float pd = d.plane.d;
  glm::vec3 work[kPolygonSides], out[2 * kPolygonSides];
  for (auto _ : state) {
    int total = 0;
    for (int i = 0; i < kPolygons; ++i) {
      std::memcpy(work, &d.gpolygons[i * kPolygonSides], sizeof(glm::vec3) * kPolygonSides);
      int count = 0;
      glm::vec3 prev = work[kPolygonSides - 1];
      float prevDist = glm::dot(n, prev) + pd;
      for (int k = 0; k < kPolygonSides; ++k) {
        const glm::vec3 cur = work[k];
        const float dist = glm::dot(n, cur) + pd;
        const bool curIn = dist < -4e-7f, prevIn = prevDist < -4e-7f;
        if (curIn != prevIn) out[count++] = glm::mix(prev, cur, prevDist / (prevDist - dist));
        if (curIn) out[count++] = cur;
        prev = cur;
        prevDist = dist;
      }
      total += count;
      benchmark::DoNotOptimize(out);
    }
    benchmark::DoNotOptimize(total);
  }
  SetOps(state, kPolygons);
}

struct Row {
  const char* kernel;
  const char* ours;
  const char* glm;
};

constexpr Row kRows[] = {
    {"4x4 multiply (D3DXMatrixMultiply)", "multiply/d3dx", "multiply/glm"},
    {"4x4 multiply (Matrix4Multiply)", "multiply/matrix44", "multiply/glm"},
    {"4x4 inverse (D3DXMatrixInverse)", "inverse/d3dx", "inverse/glm"},
    {"4x4 inverse (matrix44 Gauss-Jordan)", "inverse/matrix44", "inverse/glm"},
    {"point transform (Vec3TransformCoord)", "transform/d3dx", "transform/glm"},
    {"frustum box test (ClassifyAABB)", "frustum/ours", "frustum/glm"},
    {"polygon clip, 8 sides (ClipPolygonByPlane)", "clip/ours", "clip/glm"},
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::RegisterBenchmark("multiply/d3dx", MultiplyD3DX)->Unit(benchmark::kNanosecond);
  benchmark::RegisterBenchmark("multiply/matrix44", MultiplyMatrix44)->Unit(benchmark::kNanosecond);
  benchmark::RegisterBenchmark("multiply/glm", MultiplyGlm)->Unit(benchmark::kNanosecond);
  benchmark::RegisterBenchmark("inverse/d3dx", InverseD3DX)->Unit(benchmark::kNanosecond);
  benchmark::RegisterBenchmark("inverse/matrix44", InverseMatrix44)->Unit(benchmark::kNanosecond);
  benchmark::RegisterBenchmark("inverse/glm", InverseGlm)->Unit(benchmark::kNanosecond);
  benchmark::RegisterBenchmark("transform/d3dx", TransformD3DX)->Unit(benchmark::kNanosecond);
  benchmark::RegisterBenchmark("transform/glm", TransformGlm)->Unit(benchmark::kNanosecond);
  benchmark::RegisterBenchmark("frustum/ours", FrustumOurs)->Unit(benchmark::kNanosecond);
  benchmark::RegisterBenchmark("frustum/glm", FrustumGlm)->Unit(benchmark::kNanosecond);
  benchmark::RegisterBenchmark("clip/ours", ClipOurs)->Unit(benchmark::kNanosecond);
  benchmark::RegisterBenchmark("clip/glm", ClipGlm)->Unit(benchmark::kNanosecond);

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\n%-44s %14s %14s %10s\n", "kernel", "ours ns/op", "GLM ns/op", "ours/GLM");
  for (const Row& row : kRows) {
    const double ours = reporter.PerOp(row.ours), glm = reporter.PerOp(row.glm);
    if (ours <= 0.0 || glm <= 0.0) continue;  // filtered out of this run
    std::printf("%-44s %14.2f %14.2f %10.2f\n", row.kernel, ours, glm, ours / glm);
  }
  return 0;
}
