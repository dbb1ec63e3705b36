// The scene's navigation mesh: built for the "navigation" model, dropped at unload, and the
// path search scene objects ask for (slot 98).
#include <new>

#include "frame/host_blocks.h"
#include "frame/host_services.h"
#include "frame/module_globals.h"
#include "objects/scene_base_obj.h"
#include "scene/nav_mesh.h"
#include "scene/scene_system.h"

void CSceneSystem::ResetNavMesh(HostModelGeometry* part) {
  // A path keeps pointers into the mesh's triangles: every object that may hold one stops and
  // forgets it before the triangles go, objects that survive an unload included.
  if (navMesh != nullptr) {
    for (const ComponentHandle& handle : sceneObjects) {
      CSceneBaseObj* object = ObjectOf(handle);
      if (object == nullptr) continue;
      object->StopPath();
      if (NavPath* path = object->GetPathData()) path->Forget();
    }
    navMesh->~NavMesh();
    HostDeleteArray(navMesh);
    navMesh = nullptr;
  }
  if (part == nullptr) return;
  void* block = HostNewArrayBytes(1, static_cast<uint32_t>(sizeof(NavMesh)));
  if (block == nullptr) return;
  navMesh = new (block) NavMesh();
  navMesh->BuildFromMesh(part->hostMesh);
}

bool CSceneSystem::FindPath(CSceneBaseObj* object, WaypointCallback callback, uint32_t context,
                            const D3DXVECTOR3* from, const D3DXVECTOR3* to) {
  if (navMesh == nullptr || object == nullptr || from == nullptr || to == nullptr) return false;
  object->StopPath();
  object->SetPathCallback(callback, context);
  const vector3 start(from->x, from->y, from->z);
  const vector3 destination(to->x, to->y, to->z);
  NavTriangle* startTriangle = navMesh->FindTriangleBelow(start);
  NavTriangle* destinationTriangle = navMesh->FindTriangleBelow(destination);
  NavPath* path = object->GetPathData();
  if (path == nullptr) return false;
  if (navMesh->FindPath(path, startTriangle, &start, destinationTriangle, &destination)) return true;
  // The object would otherwise walk its old route again.
  path->waypoints.clear();
  return false;
}
