// The scene's navigation mesh: triangles over which scene objects walk, with the questions they
// ask of it (the triangle under a point, a straight walk, a route of waypoints). Every test runs
// in the XZ plane (vector2's y holds z); heights come from the triangles' planes.
//
// Mesh triangles are wound clockwise seen from above (x right, z up): the inside of a triangle
// then lies on the inner side of its three edges.
#pragma once
#include <cstdint>
#include <list>
#include <vector>

#include "math/vector.h"

class IHostMesh;
struct NavMesh;
struct NavTriangle;

// One triangle side.
struct NavEdge {
  vector2 start{0.0f, 0.0f};
  vector2 end{0.0f, 0.0f};
  vector2 normal{0.0f, 0.0f};
  uint8_t normalReady = 0;

  // The inward normal, computed on first use: d = normalize(end - start), normal = (d.z, -d.x).
  const vector2& Normal();
  // 2 when p lies more than `tolerance` inside, 1 when more than `tolerance` outside, else 0.
  int Classify(const vector2& p, float tolerance);
};

// A segment in the XZ plane.
struct NavSegment {
  vector2 start;
  vector2 end;
};

// A point and the triangle it belongs to.
struct NavWaypoint {
  vector3 point{0.0f, 0.0f, 0.0f};
  NavTriangle* triangle = nullptr;
};

// The route a scene object follows; a non-empty waypoint list is a path in progress.
struct NavPath {
  NavMesh* mesh = nullptr;
  NavWaypoint start;
  NavWaypoint destination;
  std::list<NavWaypoint> waypoints;

  // No mesh, no ends and no waypoints: what a path is once its mesh is gone.
  void Forget();
};

struct NavTriangle {
  NavTriangle(const vector3& va, const vector3& vb, const vector3& vc);

  vector3 planeNormal{0.0f, 0.0f, 0.0f};
  vector3 planePoint{0.0f, 0.0f, 0.0f};
  float planeD = 0.0f;
  vector3 a, b, c;
  vector3 centre{0.0f, 0.0f, 0.0f};
  NavEdge edges[3];
  NavTriangle* neighbours[3] = {nullptr, nullptr, nullptr};
  int32_t stamp = 0;
  float g = 0.0f;
  float h = 0.0f;
  uint8_t open = 0;
  int32_t entryEdge = 0;
  vector3 midpoints[3];
  float midpointDistances[3] = {0.0f, 0.0f, 0.0f};

  // Plane, centre, edges, midpoints and their distances from a, b and c.
  void Setup();
  // The plane's height at (x, z); 0 for a vertical plane.
  float Height(float x, float z) const;
  // 2: the segment leaves through an edge (neighbour and edge written); 1: its end is inside;
  // 0: neither. The crossing point, when asked for, is that of the last edge intersected.
  int ClassifySegment(const NavSegment& segment, NavTriangle** neighbour, int* edge, vector2* crossing);
  // Pulls a point into the triangle (toward the centre); false when it was inside.
  bool ClipMove(vector2& point);
  // Turns the segment to run along edge i and keeps both ends inside.
  void SlideAlongEdge(int i, NavSegment& segment);
  // Moves a point within 0.001 of edge i (or outside it) to at least 0.001 inside; false when
  // it was further inside.
  bool PushInsideEdge(int i, vector2& point);
  float Heuristic(const vector3& target) const;
  // Offers this triangle to the search with a parent (null for the first) and a cost.
  bool Relax(NavMesh& search, NavTriangle* parent, float cost);
  // Offers the neighbours of this triangle to the search.
  bool Expand(NavMesh& search);
};

struct NavMesh {
  struct OpenEntry {
    NavTriangle* triangle;
    float f;
  };

  NavMesh() = default;
  NavMesh(const NavMesh&) = delete;
  NavMesh& operator=(const NavMesh&) = delete;
  ~NavMesh();

  std::vector<NavTriangle*> triangles;
  int32_t searchCounter = 0;
  std::vector<OpenEntry> openList;
  int32_t searchId = 0;
  vector3 target{0.0f, 0.0f, 0.0f};

  // Replaces the triangles by those of the mesh's parts (null: none); always true.
  bool BuildFromMesh(IHostMesh* mesh);
  void BuildAdjacency();
  NavTriangle* FindTriangleBelow(const vector3& point);
  vector3 LocatePoint(NavTriangle* triangle, const vector3& point);
  bool CanWalkStraight(NavTriangle* fromTriangle, const vector3* from, NavTriangle* toTriangle, const vector3* to);
  // False (the path untouched) when no route joins the two triangles.
  bool FindPath(NavPath* path, NavTriangle* startTriangle, const vector3* start, NavTriangle* destinationTriangle,
                const vector3* destination);
  void SlideMove(const vector3* from, NavTriangle* startTriangle, vector3* to, NavTriangle** triangle);
  void FindPointBelow(vector3* out, NavTriangle** triangle, const vector3& point);
  void PushOpen(NavTriangle* triangle);

 private:
  void Clear();
  // How many triangle-to-triangle steps a walk may take before it is taken as going round.
  size_t StepLimit() const { return 2 * triangles.size() + 8; }
};
