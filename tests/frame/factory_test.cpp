#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "camera/base_camera.h"
#include "frame/component_factory.h"
#include "frame/host_blocks.h"
#include "frame/module_globals.h"
#include "lighting/glow.h"
#include "objects/scene_base_obj.h"
#include "playback/recording_scene_base_obj.h"
#include "playback/recording_scene_system.h"
#include "scene/scene_system.h"
#include "support/module_host.h"
#include "terrain/terrain_editor.h"
#include "terrain/terrain_manager.h"
#include "video/video_texture_manager.h"
#include "visibility/adaptive_binary_tree.h"
#include "visibility/cell_portal_graph_builder.h"
#include "visibility/lightmap_maker.h"
#include "visibility/occlusion_system.h"

using testing_support::ModuleHost;

namespace {

// Destroys an object the way the host does for one made straight from a record.
void DestroyDirect(ModuleHost& m, CComponentFactory* f, CComponentBase* object) {
  object->Destroy();
  object->~CComponentBase();
  f->Release();
  m.host.Allocator().Free(object, "", 0);
}

TEST(FactoryList, HoldsThirteenRecordsInReverseLinkOrder) {
  ModuleHost m;
  std::vector<std::string> names;
  for (CComponentFactory* f = m.list; f != nullptr; f = f->next) names.push_back(f->GetClassName());
  const std::vector<std::string> expected = {
      "CGlow",          "CTerrainEditor",      "CLightmapMaker", "CCellPortalGraphBuilder", "CAdaptiveBinaryTree",
      "CTerrainManager", "COcclusionSystem",   "CVideoTextureManager", "CBaseCamera",        "CSceneBaseObj",
      "CSceneSystem",   "SceneSystem",         "SceneBaseObj"};
  EXPECT_EQ(names, expected);
  for (CComponentFactory* f = m.list; f != nullptr; f = f->next) {
    EXPECT_FALSE(f->Flag1()) << f->GetClassName();
    EXPECT_FALSE(f->Flag7()) << f->GetClassName();
    EXPECT_EQ(f->reserved, 0u);
  }
}

TEST(FactoryList, DMAInterfaceFillsTheModulePointersAndCanBeCalledAgain) {
  ModuleHost m;
  EXPECT_EQ(g_pHost, &m.host);
  EXPECT_EQ(g_pRegistry, &m.host.Registry());
  EXPECT_EQ(g_pAllocator, m.host.GetAllocator());
  EXPECT_EQ(g_pIniService, nullptr);  // this host carries no INI service

  host::ReferenceHost second;
  CComponentFactory* again = second.LoadModule(&DMAInterface);
  EXPECT_EQ(again, m.list);
  EXPECT_EQ(g_pHost, &second);
  EXPECT_EQ(g_pRegistry, &second.Registry());
}

TEST(FactoryRecord, CountsInstancesThroughCreateReleaseAndReset) {
  ModuleHost m;
  CComponentFactory* f = m.Factory("CBaseCamera");
  ASSERT_NE(f, nullptr);
  f->ResetInstanceCount();
  std::vector<CComponentBase*> made;
  for (int i = 0; i < 3; ++i) made.push_back(f->CreateInstance());
  EXPECT_EQ(f->GetInstanceCount(), 3u);
  DestroyDirect(m, f, made.back());
  made.pop_back();
  EXPECT_EQ(f->GetInstanceCount(), 2u);
  for (CComponentBase* c : made) {
    // The object sits in a counted block of one, with the size the record asked for.
    EXPECT_EQ(reinterpret_cast<uint32_t*>(c)[-1], 1u);
    c->~CComponentBase();
    m.host.Allocator().Free(c, "", 0);
  }
  f->ResetInstanceCount();
  EXPECT_EQ(f->GetInstanceCount(), 0u);
  EXPECT_EQ(m.host.Allocator().LiveBlocks(), 0u);
}

TEST(FactoryRecord, FailedAllocationReturnsNullButKeepsTheCount) {
  ModuleHost m;
  CComponentFactory* f = m.Factory("CGlow");
  f->ResetInstanceCount();
  m.host.Allocator().FailNext(1);
  EXPECT_EQ(f->CreateInstance(), nullptr);
  EXPECT_EQ(f->GetInstanceCount(), 1u);
  EXPECT_EQ(m.host.Registry().LiveCount(), 0u);
  f->ResetInstanceCount();
}

// Every class the module makes by name, with the size of its object.
const std::map<std::string, size_t> kClassSizes = {
    {"SceneBaseObj", sizeof(Playback::SceneBaseObj)},
    {"SceneSystem", sizeof(Playback::SceneSystem)},
    {"CSceneSystem", sizeof(CSceneSystem)},
    {"CSceneBaseObj", sizeof(CSceneBaseObj)},
    {"CBaseCamera", sizeof(CBaseCamera)},
    {"CVideoTextureManager", sizeof(CVideoTextureManager)},
    {"COcclusionSystem", sizeof(COcclusionSystem)},
    {"CTerrainManager", sizeof(CTerrainManager)},
    {"CAdaptiveBinaryTree", sizeof(CAdaptiveBinaryTree)},
    {"CCellPortalGraphBuilder", sizeof(CCellPortalGraphBuilder)},
    {"CLightmapMaker", sizeof(CLightmapMaker)},
    {"CTerrainEditor", sizeof(CTerrainEditor)},
    {"CGlow", sizeof(CGlow)},
};

TEST(FactoryRecord, EveryRecordMakesAnObjectOfItsOwnSize) {
  ModuleHost m;
  for (CComponentFactory* f = m.list; f != nullptr; f = f->next) {
    CComponentBase* c = f->CreateInstance();
    ASSERT_NE(c, nullptr) << f->GetClassName();
    const uint32_t requested = reinterpret_cast<uint32_t*>(c)[-2];
    const auto size = kClassSizes.find(f->GetClassName());
    ASSERT_NE(size, kClassSizes.end()) << f->GetClassName();
    EXPECT_EQ(requested, size->second + 4) << f->GetClassName();  // one object and the spare word
    EXPECT_EQ(HostBlockCount(c), 1u);
    DestroyDirect(m, f, c);
    f->ResetInstanceCount();
  }
  EXPECT_EQ(m.host.Allocator().LiveBlocks(), 0u);
  EXPECT_EQ(m.host.Registry().LiveCount(), 0u);
}

}  // namespace
