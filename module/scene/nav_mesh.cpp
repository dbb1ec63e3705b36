#include "scene/nav_mesh.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "frame/host_services.h"

namespace {

// The open list is a heap with the smallest f on top.
bool GreaterF(const NavMesh::OpenEntry& x, const NavMesh::OpenEntry& y) { return x.f > y.f; }

vector2 Flat(const vector3& v) { return vector2(v.x, v.z); }

}  // namespace

// ---- NavEdge ----------------------------------------------------------------------------------

const vector2& NavEdge::Normal() {
  if (normalReady == 0) {
    vector2 d = end - start;
    if (d.len() != 0.0f) d.normalize();
    normal = vector2(d.y, -d.x);
    normalReady = 1;
  }
  return normal;
}

int NavEdge::Classify(const vector2& p, float tolerance) {
  const float s = (p - start).dot(Normal());
  if (s > tolerance) return 2;
  if (s < -tolerance) return 1;
  return 0;
}

void NavPath::Forget() {
  mesh = nullptr;
  start = NavWaypoint{};
  destination = NavWaypoint{};
  waypoints.clear();
}

// ---- NavTriangle ------------------------------------------------------------------------------

NavTriangle::NavTriangle(const vector3& va, const vector3& vb, const vector3& vc) : a(va), b(vb), c(vc) {}

void NavTriangle::Setup() {
  planeNormal = cross(b - a, c - a);
  planeNormal.normalize();
  planePoint = a;
  planeD = -planePoint.dot(planeNormal);
  constexpr float kThird = 0.33333334f;
  centre = vector3((a.x + b.x + c.x) * kThird, (a.y + b.y + c.y) * kThird, (a.z + b.z + c.z) * kThird);
  const vector3* corner[3] = {&a, &b, &c};
  for (int i = 0; i < 3; ++i) {
    edges[i] = NavEdge{};
    edges[i].start = Flat(*corner[i]);
    edges[i].end = Flat(*corner[(i + 1) % 3]);
    edges[i].normalReady = 0;
  }
  for (int i = 0; i < 3; ++i) midpoints[i] = (*corner[i] + *corner[(i + 1) % 3]) * 0.5f;
  for (int i = 0; i < 3; ++i) midpointDistances[i] = (midpoints[i] - midpoints[(i + 1) % 3]).len();
}

float NavTriangle::Height(float x, float z) const {
  if (planeNormal.y == 0.0f) return 0.0f;
  return -(planeNormal.x * x + planeNormal.z * z + planeD) / planeNormal.y;
}

int NavTriangle::ClassifySegment(const NavSegment& segment, NavTriangle** neighbour, int* edge, vector2* crossing) {
  const vector2& p0 = segment.start;
  const vector2& p1 = segment.end;
  int endInside = 0;
  for (int i = 0; i < 3; ++i) {
    NavEdge& e = edges[i];
    const vector2& n = e.Normal();
    if ((p1 - e.start).dot(n) > 0.0f) {
      ++endInside;
      continue;
    }
    if ((p0 - e.start).dot(n) < 0.0f) continue;
    const vector2 ev = e.end - e.start;
    const vector2 r = p1 - p0;
    const float den = r.x * ev.y - r.y * ev.x;
    if (den == 0.0f) continue;
    const float t = (ev.x * (p0.y - e.start.y) - ev.y * (p0.x - e.start.x)) / den;
    const float u = (r.x * (p0.y - e.start.y) - r.y * (p0.x - e.start.x)) / den;
    if (crossing != nullptr) *crossing = p0 + r * t;
    if (u >= 0.0f && u <= 1.0f) {
      if (neighbour != nullptr) *neighbour = neighbours[i];
      if (edge != nullptr) *edge = i;
      return 2;
    }
  }
  return endInside == 3 ? 1 : 0;
}

bool NavTriangle::ClipMove(vector2& point) {
  const vector2 middle = Flat(centre);
  vector2 crossing(0.0f, 0.0f);
  const int r = ClassifySegment(NavSegment{middle, point}, nullptr, nullptr, &crossing);
  if (r == 2) {
    point = middle + (crossing - middle) * 0.9f;
    return true;
  }
  if (r == 1) return false;
  point = middle;
  return true;
}

void NavTriangle::SlideAlongEdge(int i, NavSegment& segment) {
  vector2 d = edges[i].end - edges[i].start;
  if (d.len() != 0.0f) d.normalize();
  segment.end = segment.start + d * (segment.end - segment.start).dot(d);
  ClipMove(segment.start);
  PushInsideEdge(i, segment.end);
}

bool NavTriangle::PushInsideEdge(int i, vector2& point) {
  const vector2& n = edges[i].Normal();
  const float s = (point - edges[i].start).dot(n);
  if (s > 0.001f) return false;
  float k = s <= 0.0f ? std::fabs(s - 0.001f) : s;
  if (k < 0.001f) k = 0.001f;
  point += n * k;
  return true;
}

float NavTriangle::Heuristic(const vector3& target) const {
  return std::max({std::fabs(target.x - centre.x), std::fabs(target.y - centre.y), std::fabs(target.z - centre.z)});
}

bool NavTriangle::Relax(NavMesh& search, NavTriangle* parent, float cost) {
  // The parent must be a neighbour: an edge shared by three triangles leaves one-way links, and a
  // route through one could not be walked back through the neighbours.
  int parentEdge = -1;
  if (parent != nullptr) {
    for (int k = 0; k < 3; ++k)
      if (neighbours[k] == parent) {
        parentEdge = k;
        break;
      }
    if (parentEdge < 0) return false;
  }
  if (stamp != search.searchId) {
    stamp = search.searchId;
    if (parent != nullptr) {
      open = 1;
      h = Heuristic(search.target);
      g = cost;
      entryEdge = parentEdge;
    } else {
      open = 0;
      g = 0.0f;
      h = 0.0f;
      entryEdge = 0;
    }
    search.PushOpen(this);
    return true;
  }
  if (open == 0) return false;
  if (h + g <= cost + h) return false;
  g = cost;
  if (parentEdge >= 0) entryEdge = parentEdge;
  auto& list = search.openList;
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i].triangle == this) {
      list[i].f = h + g;
      std::push_heap(list.begin(), list.begin() + static_cast<std::ptrdiff_t>(i) + 1, GreaterF);
      break;
    }
  return true;
}

bool NavTriangle::Expand(NavMesh& search) {
  if (stamp != search.searchId) return false;
  open = 0;
  for (int i = 0; i < 3; ++i)
    if (neighbours[i] != nullptr) neighbours[i]->Relax(search, this, g + midpointDistances[std::abs(i - entryEdge)]);
  return true;
}

// ---- NavMesh ----------------------------------------------------------------------------------

NavMesh::~NavMesh() { Clear(); }

void NavMesh::Clear() {
  for (NavTriangle* t : triangles) delete t;
  triangles.clear();
  openList.clear();
}

bool NavMesh::BuildFromMesh(IHostMesh* mesh) {
  Clear();
  if (mesh != nullptr) {
    HostMeshInfo info;
    mesh->GetInfo(&info);
    for (uint32_t p = 0; p < info.partCount; ++p) {
      HostMeshPart part;
      if (!mesh->GetPart(static_cast<int32_t>(p), &part)) continue;
      const HostMeshData* data = mesh->GetData();
      if (data == nullptr || data->indices == nullptr || part.vertexBuffer >= data->vertexBufferCount) continue;
      const HostMeshVertexBuffer& buffer = data->vertexBuffers[part.vertexBuffer];
      if (buffer.positions == nullptr || part.firstVertex > buffer.vertexCount) continue;
      const D3DVECTOR* positions = buffer.positions + part.firstVertex;
      const uint64_t available = buffer.vertexCount - part.firstVertex;
      for (uint32_t t = 0; t < part.triangleCount; ++t) {
        const uint64_t k = uint64_t{part.firstTriangle} + t;
        if (3 * k + 2 >= data->indexCount) break;
        const uint16_t* index = data->indices + 3 * k;
        // A corner outside the buffer would read past it: the triangle is left out.
        if (index[0] >= available || index[1] >= available || index[2] >= available) continue;
        auto at = [&](uint16_t i) { return vector3(positions[i].x, positions[i].y, positions[i].z); };
        const vector3 a = at(index[0]), b = at(index[1]), c = at(index[2]);
        // A triangle with no area on the ground plane has its edges on one line, and every point
        // of that line counts as inside it: it would join whatever it touches, islands too.
        const vector2 ab = Flat(b) - Flat(a), ac = Flat(c) - Flat(a);
        if (ab.x * ac.y - ab.y * ac.x == 0.0f) continue;
        auto* triangle = new NavTriangle(a, b, c);
        triangle->Setup();
        triangles.push_back(triangle);
      }
      part.materials.clear();
      part.materials.shrink_to_fit();
    }
  }
  BuildAdjacency();
  return true;
}

namespace {
bool Same(const vector3& p, const vector3& q) {
  return std::memcmp(&p.x, &q.x, sizeof(float)) == 0 && std::memcmp(&p.y, &q.y, sizeof(float)) == 0 &&
         std::memcmp(&p.z, &q.z, sizeof(float)) == 0;
}
// The edge of u made of corners i and j (0 a, 1 b, 2 c): a-b 0, b-c 1, c-a 2.
int EdgeOf(int i, int j) {
  const int lo = std::min(i, j), hi = std::max(i, j);
  if (lo == 0 && hi == 1) return 0;
  if (lo == 1 && hi == 2) return 1;
  return 2;
}
}  // namespace

void NavMesh::BuildAdjacency() {
  for (NavTriangle* t : triangles)
    for (NavTriangle* u : triangles) {
      if (t == u) continue;
      const vector3* tc[3] = {&t->a, &t->b, &t->c};
      const vector3* uc[3] = {&u->a, &u->b, &u->c};
      for (int e = 0; e < 3; ++e) {
        if (t->neighbours[e] != nullptr) continue;
        const vector3& p = *tc[e];
        const vector3& q = *tc[(e + 1) % 3];
        int pi = -1, qi = -1;
        for (int k = 0; k < 3; ++k) {
          if (pi < 0 && Same(p, *uc[k])) pi = k;
          if (qi < 0 && Same(q, *uc[k])) qi = k;
        }
        if (pi < 0 || qi < 0 || pi == qi) continue;
        t->neighbours[e] = u;
        u->neighbours[EdgeOf(pi, qi)] = t;
        break;
      }
    }
}

NavTriangle* NavMesh::FindTriangleBelow(const vector3& point) {
  const vector2 p = Flat(point);
  NavTriangle* chosen = nullptr;
  bool containing = false;
  float chosenHeightGap = 0.0f;
  float nearest = 3.4e38f;
  for (NavTriangle* t : triangles) {
    bool inside = true;
    for (NavEdge& e : t->edges)
      if (e.Classify(p, 0.0f) == 1) inside = false;
    if (inside) {
      const float d = std::fabs(t->Height(p.x, p.y) - point.y);
      if (!containing || d < chosenHeightGap) {
        chosen = t;
        chosenHeightGap = d;
      }
      containing = true;
    } else if (!containing) {
      vector2 crossing(0.0f, 0.0f);
      if (t->ClassifySegment(NavSegment{Flat(t->centre), p}, nullptr, nullptr, &crossing) == 2) {
        const vector3 lifted(crossing.x, t->Height(crossing.x, crossing.y), crossing.y);
        const float d = (lifted - point).len();
        if (d < nearest) {
          nearest = d;
          chosen = t;
        }
      }
    }
  }
  return chosen;
}

vector3 NavMesh::LocatePoint(NavTriangle* triangle, const vector3& point) {
  vector2 p = Flat(point);
  bool inside = true;
  for (NavEdge& e : triangle->edges)
    if ((p - e.start).dot(e.Normal()) < 0.0f) inside = false;
  if (!inside) triangle->ClipMove(p);
  return vector3(p.x, triangle->Height(p.x, p.y), p.y);
}

bool NavMesh::CanWalkStraight(NavTriangle* fromTriangle, const vector3* from, NavTriangle*, const vector3* to) {
  if (fromTriangle == nullptr || from == nullptr || to == nullptr) return false;
  const NavSegment segment{Flat(*from), Flat(*to)};
  NavTriangle* current = fromTriangle;
  for (size_t step = 0; step < StepLimit(); ++step) {
    NavTriangle* next = nullptr;
    const int r = current->ClassifySegment(segment, &next, nullptr, nullptr);
    if (r != 2) return r == 1;
    if (next == nullptr) return false;
    current = next;
  }
  return false;
}

bool NavMesh::FindPath(NavPath* path, NavTriangle* startTriangle, const vector3* start,
                       NavTriangle* destinationTriangle, const vector3* destination) {
  if (path == nullptr || startTriangle == nullptr || destinationTriangle == nullptr || start == nullptr ||
      destination == nullptr)
    return false;
  // The search runs from the destination back to the start, so that following the parents
  // from the start walks toward the destination.
  searchId = ++searchCounter;
  target = *start;
  openList.clear();
  destinationTriangle->Relax(*this, nullptr, 0.0f);
  bool found = false;
  while (!openList.empty()) {
    std::pop_heap(openList.begin(), openList.end(), GreaterF);
    NavTriangle* t = openList.back().triangle;
    openList.pop_back();
    if (t == startTriangle) {
      found = true;
      break;
    }
    t->Expand(*this);
  }
  if (!found) return false;

  // Built aside: a parent chain that does not reach the destination within the triangle count
  // leaves the caller's path as it was.
  std::list<NavWaypoint> route;
  route.push_back(NavWaypoint{*start, startTriangle});
  NavTriangle* t = startTriangle;
  size_t steps = 0;
  while (t != nullptr && t != destinationTriangle) {
    if (++steps > triangles.size()) return false;
    route.push_back(NavWaypoint{LocatePoint(t, t->midpoints[t->entryEdge]), t});
    t = t->neighbours[t->entryEdge];
  }
  route.push_back(NavWaypoint{*destination, destinationTriangle});
  path->mesh = this;
  path->start = NavWaypoint{*start, startTriangle};
  path->destination = NavWaypoint{*destination, destinationTriangle};
  path->waypoints.swap(route);
  return true;
}

void NavMesh::SlideMove(const vector3* from, NavTriangle* startTriangle, vector3* to, NavTriangle** triangle) {
  if (from == nullptr || to == nullptr || startTriangle == nullptr) return;
  NavSegment segment{Flat(*from), Flat(*to)};
  NavTriangle* current = startTriangle;
  for (size_t step = 0; segment.start != segment.end && step < StepLimit(); ++step) {
    NavTriangle* next = nullptr;
    int edge = 0;
    vector2 crossing = segment.start;
    const int r = current->ClassifySegment(segment, &next, &edge, &crossing);
    if (r == 2 && next != nullptr) {
      segment.start = crossing;
      current = next;
    } else if (r == 2) {
      segment.start = crossing;
      current->SlideAlongEdge(edge, segment);
      segment.end = segment.start + (segment.end - segment.start) * 0.9f;
    } else if (r == 0) {
      current->ClipMove(segment.start);
    } else {
      break;
    }
  }
  if (triangle != nullptr) *triangle = current;
  *to = vector3(segment.end.x, current->Height(segment.end.x, segment.end.y), segment.end.y);
}

void NavMesh::FindPointBelow(vector3* out, NavTriangle** triangle, const vector3& point) {
  NavTriangle* t = FindTriangleBelow(point);
  if (triangle != nullptr) *triangle = t;
  if (t != nullptr && out != nullptr) *out = LocatePoint(t, point);
}

void NavMesh::PushOpen(NavTriangle* triangle) {
  openList.push_back(OpenEntry{triangle, triangle->h + triangle->g});
  std::push_heap(openList.begin(), openList.end(), GreaterF);
}
