#include "math/bounds.h"

#include "frame/renderer.h"

#include <algorithm>
#include <cmath>

namespace {

// The rows of the 3x3 identity: the axis normals of the box/sphere contact.
constexpr float kAxisRows[3][3] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};

void ToArray(const D3DXVECTOR3& v, float out[3]) {
  out[0] = v.x;
  out[1] = v.y;
  out[2] = v.z;
}

D3DXVECTOR3 BoxCorner(const D3DXVECTOR3& lo, const D3DXVECTOR3& hi, int k, bool minWhenSet) {
  const bool bx = (k & 1) != 0, by = (k & 2) != 0, bz = (k & 4) != 0;
  return D3DXVECTOR3(bx == minWhenSet ? lo.x : hi.x, by == minWhenSet ? lo.y : hi.y, bz == minWhenSet ? lo.z : hi.z);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// AABB
// ---------------------------------------------------------------------------------------------

void AABB::Merge(const AABB& other) {
  D3DXVec3Minimize(&m_vecMin, &m_vecMin, &other.m_vecMin);
  D3DXVec3Maximize(&m_vecMax, &m_vecMax, &other.m_vecMax);
}

void AABB::MergePoint(const D3DXVECTOR3& p) {
  D3DXVec3Minimize(&m_vecMin, &m_vecMin, &p);
  D3DXVec3Maximize(&m_vecMax, &m_vecMax, &p);
}

bool AABB::ClipSegment(float* t, const D3DXVECTOR3& o, const D3DXVECTOR3& d) const {
  const D3DXVECTOR3& lo = m_vecMin;
  const D3DXVECTOR3& hi = m_vecMax;
  int code = 0;
  if (o.x > hi.x) code |= 1;
  else if (o.x < lo.x) code |= 2;
  if (o.y > hi.y) code |= 4;
  else if (o.y < lo.y) code |= 8;
  if (o.z > hi.z) code |= 32;
  else if (o.z < lo.z) code |= 16;
  if (code == 0) {
    *t = 0.0f;
    return true;
  }
  if (code & 3) {
    const float tt = ((code & 1 ? hi.x : lo.x) - o.x) / d.x;
    const float y = o.y + tt * d.y, z = o.z + tt * d.z;
    if (y >= lo.y && y <= hi.y && z >= lo.z && z <= hi.z) {
      *t = tt;
      return true;
    }
  }
  if (code & 12) {
    const float tt = ((code & 4 ? hi.y : lo.y) - o.y) / d.y;
    const float x = o.x + tt * d.x, z = o.z + tt * d.z;
    if (x >= lo.x && x <= hi.x && z >= lo.z && z <= hi.z) {
      *t = tt;
      return true;
    }
  }
  if (code & 48) {
    const float tt = ((code & 32 ? hi.z : lo.z) - o.z) / d.z;
    const float x = o.x + tt * d.x, y = o.y + tt * d.y;
    if (x >= lo.x && x <= hi.x && y >= lo.y && y <= hi.y) {
      *t = tt;
      return true;
    }
  }
  return false;
}

void AABB::FromTransformedBox(const AABB& box, const D3DXMATRIX& m) {
  const AABB src = box;  // box may be this one
  m_vecMin = D3DXVECTOR3(3.3e33f, 3.3e33f, 3.3e33f);
  m_vecMax = D3DXVECTOR3(-3.3e33f, -3.3e33f, -3.3e33f);
  for (int k = 0; k < 8; ++k) {
    const D3DXVECTOR3 corner = BoxCorner(src.m_vecMin, src.m_vecMax, k, false);
    D3DXVECTOR3 p;
    D3DXVec3TransformCoord(&p, &corner, &m);
    MergePoint(p);
  }
}

bool AABB::Overlaps(const AABB& other) const {
  float aMin[3], aMax[3], bMin[3], bMax[3];
  ToArray(m_vecMin, aMin);
  ToArray(m_vecMax, aMax);
  ToArray(other.m_vecMin, bMin);
  ToArray(other.m_vecMax, bMax);
  for (int i = 0; i < 3; ++i) {
    const float ca = (aMin[i] + aMax[i]) * 0.5f, ha = (aMax[i] - aMin[i]) * 0.5f;
    const float cb = (bMin[i] + bMax[i]) * 0.5f, hb = (bMax[i] - bMin[i]) * 0.5f;
    if (std::fabs(ca - cb) > ha + hb) return false;
  }
  return true;
}

int AABB::IntersectsSphere(const D3DXVECTOR3& centre, float r, D3DXVECTOR3* normal, D3DXVECTOR3* point,
                           float* depth) const {
  float lo[3], hi[3], s[3], gap[3], sign[3];
  ToArray(m_vecMin, lo);
  ToArray(m_vecMax, hi);
  ToArray(centre, s);
  float sum = 0.0f;
  for (int i = 0; i < 3; ++i) {
    const float c = (lo[i] + hi[i]) * 0.5f, h = (hi[i] - lo[i]) * 0.5f;
    if (c <= s[i]) {
      gap[i] = (c + h) - s[i];
      sign[i] = -1.0f;
    } else {
      gap[i] = s[i] - (c - h);
      sign[i] = 1.0f;
    }
    if (gap[i] < -r) return 0;
    if (gap[i] < 0.0f) sum += gap[i] * gap[i];
  }
  // A centre inside the box always touches it, even for a sphere of no radius.
  if (sum > 0.0f && !(sum < r * r)) return 0;
  if (!normal && !point && !depth) return 1;

  int best = 0;
  float bestPen = gap[0] + r;
  for (int i = 1; i < 3; ++i) {
    if (gap[i] + r < bestPen) {
      bestPen = gap[i] + r;
      best = i;
    }
  }
  bool inFace = true;
  for (int i = 0; i < 3; ++i)
    if (i != best && (s[i] < lo[i] || s[i] > hi[i])) inFace = false;

  D3DXVECTOR3 n, p;
  float dep;
  if (inFace) {
    n = D3DXVECTOR3(kAxisRows[best][0] * sign[best], kAxisRows[best][1] * sign[best], kAxisRows[best][2] * sign[best]);
    p = centre + n * r - n * (bestPen * 0.5f);
    dep = bestPen;
  } else {
    // Beyond the face's edge: the contact is the nearest point of the box.
    p = D3DXVECTOR3(std::clamp(s[0], lo[0], hi[0]), std::clamp(s[1], lo[1], hi[1]), std::clamp(s[2], lo[2], hi[2]));
    const D3DXVECTOR3 towardBox = p - centre;
    const float dist = D3DXVec3Length(&towardBox);
    D3DXVec3Normalize(&n, &towardBox);
    dep = r - dist;
  }
  if (normal) *normal = n;
  if (point) *point = p;
  if (depth) *depth = dep;
  return 1;
}

// ---------------------------------------------------------------------------------------------
// Spheres
// ---------------------------------------------------------------------------------------------

namespace {

D3DXVECTOR3 ClosestOnSegment(const D3DXVECTOR3& p, const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
  const D3DXVECTOR3 ab = b - a, ap = p - a;
  const float len2 = D3DXVec3LengthSq(&ab);
  if (!(len2 > 0.0f)) return a;
  const float t = std::clamp(D3DXVec3Dot(&ap, &ab) / len2, 0.0f, 1.0f);
  return a + ab * t;
}

// The point of triangle a, b, c nearest to p, and whether it lies inside the triangle (not on
// an edge or a corner). The triangle must have an area.
D3DXVECTOR3 ClosestOnTriangle(const D3DXVECTOR3& p, const D3DXVECTOR3& a, const D3DXVECTOR3& b,
                              const D3DXVECTOR3& c, bool* inside) {
  *inside = false;
  const D3DXVECTOR3 ab = b - a, ac = c - a, ap = p - a;
  const float d1 = D3DXVec3Dot(&ab, &ap), d2 = D3DXVec3Dot(&ac, &ap);
  if (d1 <= 0.0f && d2 <= 0.0f) return a;
  const D3DXVECTOR3 bp = p - b;
  const float d3 = D3DXVec3Dot(&ab, &bp), d4 = D3DXVec3Dot(&ac, &bp);
  if (d3 >= 0.0f && d4 <= d3) return b;
  const float vc = d1 * d4 - d3 * d2;
  if (vc <= 0.0f && d1 >= 0.0f && d3 <= 0.0f) return a + ab * (d1 / (d1 - d3));
  const D3DXVECTOR3 cp = p - c;
  const float d5 = D3DXVec3Dot(&ab, &cp), d6 = D3DXVec3Dot(&ac, &cp);
  if (d6 >= 0.0f && d5 <= d6) return c;
  const float vb = d5 * d2 - d1 * d6;
  if (vb <= 0.0f && d2 >= 0.0f && d6 <= 0.0f) return a + ac * (d2 / (d2 - d6));
  const float va = d3 * d6 - d5 * d4;
  if (va <= 0.0f && (d4 - d3) >= 0.0f && (d5 - d6) >= 0.0f) {
    const D3DXVECTOR3 bc = c - b;
    return b + bc * ((d4 - d3) / ((d4 - d3) + (d5 - d6)));
  }
  const float sum = va + vb + vc;
  if (!(sum > 0.0f)) {
    // Rounding on a sliver: fall back to the nearest edge.
    const D3DXVECTOR3 e[3] = {ClosestOnSegment(p, a, b), ClosestOnSegment(p, b, c), ClosestOnSegment(p, c, a)};
    int best = 0;
    float bestD = 0.0f;
    for (int i = 0; i < 3; ++i) {
      const D3DXVECTOR3 d = p - e[i];
      const float dd = D3DXVec3LengthSq(&d);
      if (i == 0 || dd < bestD) {
        bestD = dd;
        best = i;
      }
    }
    return e[best];
  }
  *inside = true;
  const float inv = 1.0f / sum;
  return a + ab * (vb * inv) + ac * (vc * inv);
}

}  // namespace

bool Sphere::IntersectsTriangle(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c, D3DXVECTOR3* point,
                                D3DXVECTOR3* direction, float* depth) const {
  const D3DXVECTOR3& s = m_vecCenter;
  const float r = m_flRadius;
  const float r2 = r * r;
  const D3DXVECTOR3 ab = b - a, ac = c - a, ap = s - a;
  D3DXVECTOR3 n;
  D3DXVec3Cross(&n, &ab, &ac);
  const float n2 = D3DXVec3LengthSq(&n);

  D3DXVECTOR3 q;
  bool inside = false;
  float planeDist = 0.0f;
  if (n2 > 0.0f) {
    // The plane first: a centre farther from it than the radius is separated.
    const float pd = D3DXVec3Dot(&n, &ap);
    if (pd * pd > r2 * n2) return false;
    q = ClosestOnTriangle(s, a, b, c, &inside);
    planeDist = pd;
  } else {
    // No area: the nearest point of the three edges.
    const D3DXVECTOR3 e[3] = {ClosestOnSegment(s, a, b), ClosestOnSegment(s, b, c), ClosestOnSegment(s, c, a)};
    q = e[0];
    D3DXVECTOR3 d = s - e[0];
    float best = D3DXVec3LengthSq(&d);
    for (int i = 1; i < 3; ++i) {
      d = s - e[i];
      const float dd = D3DXVec3LengthSq(&d);
      if (dd < best) {
        best = dd;
        q = e[i];
      }
    }
  }
  const D3DXVECTOR3 toCentre = s - q;
  const float dist2 = D3DXVec3LengthSq(&toCentre);
  if (dist2 > r2) return false;

  D3DXVECTOR3 dir;
  float dep;
  if (inside) {
    D3DXVec3Normalize(&dir, &n);
    if (planeDist < 0.0f) dir = -dir;
    dep = r - std::fabs(planeDist) / std::sqrt(n2);
  } else {
    const float dist = std::sqrt(dist2);
    if (dist > 0.0f) {
      dir = toCentre / dist;
    } else {
      // The centre lies on an edge: push out along the triangle's normal.
      D3DXVec3Normalize(&dir, &n);
    }
    dep = r - dist;
  }
  if (point) *point = q;
  if (direction) *direction = dir;
  if (depth) *depth = dep;
  return true;
}

Sphere BoundingSphereFromPoints(std::span<const D3DXVECTOR3> points) {
  Sphere s;
  if (points.empty()) return s;
  s.m_vecCenter = points[0];
  for (size_t i = 1; i < points.size(); ++i) {
    const D3DXVECTOR3 offset = points[i] - s.m_vecCenter;
    const float dist = D3DXVec3Length(&offset);
    if (dist > s.m_flRadius) {
      const float grown = (dist + s.m_flRadius) * 0.5f;
      s.m_vecCenter += offset * ((grown - s.m_flRadius) / dist);
      s.m_flRadius = grown;
    }
  }
  return s;
}

// ---------------------------------------------------------------------------------------------
// Frustum
// ---------------------------------------------------------------------------------------------

int IntersectThreePlanes(D3DXVECTOR3* out, const D3DXPLANE& p, const D3DXPLANE& q, const D3DXPLANE& r) {
  const D3DXVECTOR3 np(p.a, p.b, p.c), nq(q.a, q.b, q.c), nr(r.a, r.b, r.c);
  D3DXVECTOR3 qr, rp, pq;
  D3DXVec3Cross(&qr, &nq, &nr);
  const float det = D3DXVec3Dot(&np, &qr);
  if (std::fpclassify(det) != FP_NORMAL) return 0;
  D3DXVec3Cross(&rp, &nr, &np);
  D3DXVec3Cross(&pq, &np, &nq);
  const D3DXVECTOR3 sum = qr * p.d + rp * q.d + pq * r.d;
  *out = D3DXVECTOR3(-sum.x / det, -sum.y / det, -sum.z / det);
  return 1;
}

Frustum::Frustum() {
  for (auto& p : m_planes) p = D3DXPLANE(0.0f, 0.0f, 0.0f, 0.0f);
  for (auto& m : m_signMasks) m = 0;
  for (auto& c : m_vecCorners) c = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
}

void Frustum::ExtractFromMatrix(const D3DXMATRIX& m) {
  auto column = [&](int j) { return D3DXPLANE(m.m[0][j], m.m[1][j], m.m[2][j], m.m[3][j]); };
  const D3DXPLANE c0 = column(0), c1 = column(1), c2 = column(2), c3 = column(3);
  auto sub = [](const D3DXPLANE& x, const D3DXPLANE& y) { return D3DXPLANE(x.a - y.a, x.b - y.b, x.c - y.c, x.d - y.d); };
  auto add = [](const D3DXPLANE& x, const D3DXPLANE& y) { return D3DXPLANE(x.a + y.a, x.b + y.b, x.c + y.c, x.d + y.d); };
  m_planes[0] = sub(c3, c0);
  m_planes[1] = add(c3, c0);
  m_planes[2] = sub(c3, c1);
  m_planes[3] = add(c3, c1);
  m_planes[4] = sub(c3, c2);
  m_planes[5] = add(c3, c2);
  for (int i = 0; i < 6; ++i) {
    D3DXPLANE& p = m_planes[i];
    const float len = std::sqrt(p.a * p.a + p.b * p.b + p.c * p.c);
    if (len > 0.0f) {
      p.a /= len;
      p.b /= len;
      p.c /= len;
      p.d /= len;
    }
    m_signMasks[i] = (p.a < 0.0f ? 1u : 0u) | (p.b < 0.0f ? 2u : 0u) | (p.c < 0.0f ? 4u : 0u);
  }
  for (int i = 0; i < 8; ++i) {
    IntersectThreePlanes(&m_vecCorners[i], m_planes[(i & 1) ? 4 : 5], m_planes[(i & 2) ? 3 : 2],
                         m_planes[(i & 4) ? 0 : 1]);
  }
}

bool Frustum::IntersectsSphere(const D3DXVECTOR3& c, float radius) const {
  for (const D3DXPLANE& p : m_planes)
    if (!(p.a * c.x + p.b * c.y + p.c * c.z + p.d + radius >= 0.0f)) return false;
  return true;
}

int Frustum::ClassifyAABB(const D3DXVECTOR3& lo, const D3DXVECTOR3& hi) const {
  bool crossing = false;
  for (int i = 0; i < 6; ++i) {
    const D3DXPLANE& p = m_planes[i];
    const uint32_t mask = m_signMasks[i];
    const float fx = (mask & 1) ? lo.x : hi.x, nx = (mask & 1) ? hi.x : lo.x;
    const float fy = (mask & 2) ? lo.y : hi.y, ny = (mask & 2) ? hi.y : lo.y;
    const float fz = (mask & 4) ? lo.z : hi.z, nz = (mask & 4) ? hi.z : lo.z;
    if (p.a * fx + p.b * fy + p.c * fz + p.d < 0.0f) return 0;
    if (p.a * nx + p.b * ny + p.c * nz + p.d < 0.0f) crossing = true;
  }
  return crossing ? 2 : 1;
}

// ---------------------------------------------------------------------------------------------
// Convex hull
// ---------------------------------------------------------------------------------------------

namespace {

double Cross2(const D3DXVECTOR2& o, const D3DXVECTOR2& a, const D3DXVECTOR2& b) {
  const double ax = static_cast<double>(a.x) - o.x, ay = static_cast<double>(a.y) - o.y;
  const double bx = static_cast<double>(b.x) - o.x, by = static_cast<double>(b.y) - o.y;
  return ax * by - ay * bx;
}

double Dist2(const D3DXVECTOR2& a, const D3DXVECTOR2& b) {
  const double dx = static_cast<double>(a.x) - b.x, dy = static_cast<double>(a.y) - b.y;
  return dx * dx + dy * dy;
}

}  // namespace

bool HullPolarLess(const D3DXVECTOR2& pivot, const D3DXVECTOR2& a, const D3DXVECTOR2& b) {
  const double c = Cross2(pivot, a, b);
  if (c != 0.0) return c > 0.0;
  return Dist2(pivot, a) < Dist2(pivot, b);
}

void ConvexHull2D::Build(std::span<const D3DXVECTOR3> points) {
  m_points.clear();
  if (points.empty()) return;
  size_t pivotIndex = 0;
  for (size_t i = 1; i < points.size(); ++i) {
    const D3DXVECTOR3& p = points[i];
    const D3DXVECTOR3& q = points[pivotIndex];
    if (p.y < q.y || (p.y == q.y && p.x > q.x)) pivotIndex = i;
  }
  const D3DXVECTOR2 pivot(points[pivotIndex].x, points[pivotIndex].y);
  std::vector<D3DXVECTOR2> rest;
  rest.reserve(points.size());
  for (const D3DXVECTOR3& p : points) {
    const D3DXVECTOR2 q(p.x, p.y);
    if (q != pivot) rest.push_back(q);  // copies of the pivot add nothing
  }
  // A stable merge sort stays within its range even if rounding made the order inconsistent.
  std::stable_sort(rest.begin(), rest.end(),
                   [&](const D3DXVECTOR2& a, const D3DXVECTOR2& b) { return HullPolarLess(pivot, a, b); });

  m_points.push_back(pivot);
  if (rest.empty()) return;
  m_points.push_back(rest[0]);
  for (size_t i = 1; i < rest.size(); ++i) {
    const D3DXVECTOR2& s = rest[i];
    for (;;) {
      const size_t n = m_points.size();
      const D3DXVECTOR2& m = m_points[n - 2];
      const D3DXVECTOR2& l = m_points[n - 1];
      const double turn = Cross2(m, l, s);
      if (turn > 0.0) {
        m_points.push_back(s);
        break;
      }
      if (turn == 0.0) {
        // In line: keep whichever lies farther from m.
        if (Dist2(m, s) > Dist2(m, l)) m_points[n - 1] = s;
        break;
      }
      if (n > 2) {
        m_points.pop_back();
        continue;
      }
      m_points[n - 1] = s;  // never below the first two points
      break;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Oriented frame
// ---------------------------------------------------------------------------------------------

namespace {

D3DXVECTOR3 UnitDirectionOrDefault(const D3DXVECTOR3& d) {
  D3DXVECTOR3 n;
  D3DXVec3Normalize(&n, &d);
  if (n.x == 0.0f && n.y == 0.0f && n.z == 0.0f) n = D3DXVECTOR3(0.0f, 0.0f, -1.0f);
  return n;
}

void LookAlong(OrientedFrame* f) {
  const D3DXVECTOR3 up = std::fabs(f->m_vecDirection.y) > 0.99f ? D3DXVECTOR3(1.0f, 0.0f, 0.0f)
                                                                  : D3DXVECTOR3(0.0f, 1.0f, 0.0f);
  const D3DXVECTOR3 at = f->m_vecEye + f->m_vecDirection;
  D3DXMatrixLookAtLH(&f->m_matView, &f->m_vecEye, &at, &up);
}

// Near, far and the half-angles of points already in world space, seen through the view.
template <class ForEachPoint>
void FitView(OrientedFrame* f, const D3DXMATRIX& toView, ForEachPoint forEach) {
  float nearZ = 1e32f, farZ = 0.0f, tanH = 0.0f, tanV = 0.0f;
  forEach([&](const D3DXVECTOR3& world) {
    D3DXVECTOR3 p;
    D3DXVec3TransformCoord(&p, &world, &toView);
    const float h = std::fabs(p.x / p.z), v = std::fabs(p.y / p.z);
    if (h > tanH) tanH = h;
    if (v > tanV) tanV = v;
    if (p.z < nearZ) nearZ = p.z;
    if (p.z > farZ) farZ = p.z;
  });
  f->m_flNear = nearZ;
  f->m_flFar = farZ;
  f->m_flHorizontalHalfAngle = std::atan(tanH);
  f->m_flVerticalHalfAngle = std::atan(tanV);
}

}  // namespace

void OrientedFrame::FromSegment(std::span<const AABB> boxes, const D3DXMATRIX& m, const D3DXVECTOR3& eye,
                                const D3DXVECTOR3& direction) {
  m_vecEye = eye;
  m_vecDirection = UnitDirectionOrDefault(direction);
  LookAlong(this);
  const D3DXMATRIX toView = m * m_matView;
  FitView(this, toView, [&](auto&& visit) {
    for (const AABB& box : boxes)
      for (int k = 0; k < 8; ++k) visit(BoxCorner(box.m_vecMin, box.m_vecMax, k, true));
  });
}

void OrientedFrame::FitPoints(std::span<const AABB> boxes, const D3DXMATRIX& m, const D3DXVECTOR3& eye) {
  m_vecEye = eye;
  if (boxes.empty()) {
    m_flHorizontalHalfAngle = m_flVerticalHalfAngle = 0.0f;
    m_flNear = m_flFar = 0.0f;
    m_vecDirection = D3DXVECTOR3(0.0f, 0.0f, -1.0f);
    D3DXMatrixIdentity(&m_matView);
    return;
  }
  std::vector<D3DXVECTOR3> corners;
  corners.reserve(boxes.size() * 8);
  for (const AABB& box : boxes) {
    for (int k = 0; k < 8; ++k) {
      const D3DXVECTOR3 c = BoxCorner(box.m_vecMin, box.m_vecMax, k, true);
      D3DXVECTOR3 p;
      D3DXVec3TransformCoord(&p, &c, &m);
      corners.push_back(p);
    }
  }
  const Sphere bound = BoundingSphereFromPoints(corners);
  m_vecDirection = UnitDirectionOrDefault(bound.m_vecCenter - eye);
  LookAlong(this);
  FitView(this, m_matView, [&](auto&& visit) {
    for (const D3DXVECTOR3& p : corners) visit(p);
  });
}

// ---------------------------------------------------------------------------------------------
// Wireframe box
// ---------------------------------------------------------------------------------------------

void BuildAABBWireframe(const D3DXVECTOR3& lo, const D3DXVECTOR3& hi, D3DXVECTOR3 corners[8]) {
  corners[0] = D3DXVECTOR3(lo.x, lo.y, lo.z);
  corners[1] = D3DXVECTOR3(hi.x, lo.y, lo.z);
  corners[2] = D3DXVECTOR3(hi.x, lo.y, hi.z);
  corners[3] = D3DXVECTOR3(lo.x, lo.y, hi.z);
  corners[4] = D3DXVECTOR3(lo.x, hi.y, lo.z);
  corners[5] = D3DXVECTOR3(hi.x, hi.y, lo.z);
  corners[6] = D3DXVECTOR3(hi.x, hi.y, hi.z);
  corners[7] = D3DXVECTOR3(lo.x, hi.y, hi.z);
}

void DrawAABBWireframe(IRenderer* renderer, const D3DXVECTOR3& lo, const D3DXVECTOR3& hi, uint32_t colour,
                       int effect) {
  if (renderer == nullptr) return;
  D3DXVECTOR3 corners[kAABBWireframeVertexCount];
  BuildAABBWireframe(lo, hi, corners);
  constexpr DWORD kTextureFactor = 60;
  constexpr DWORD kLineList = 2;
  renderer->SetRenderState(kTextureFactor, colour);
  renderer->SetVertexShader(D3DFVF_XYZ);
  renderer->DrawIndexedPrimitiveUP(kLineList, 0, kAABBWireframeVertexCount, kAABBWireframeLineCount,
                                   kAABBWireframeIndices, D3DFMT_INDEX16, corners, sizeof(D3DXVECTOR3), effect, 0);
}
