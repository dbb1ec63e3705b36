#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "frame/component_factory.h"
#include "frame/module_globals.h"
#include "support/module_host.h"

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

TEST(FactoryRecord, EveryRecordMakesAnObjectOfItsOwnSize) {
  ModuleHost m;
  for (CComponentFactory* f = m.list; f != nullptr; f = f->next) {
    CComponentBase* c = f->CreateInstance();
    ASSERT_NE(c, nullptr) << f->GetClassName();
    const uint32_t requested = reinterpret_cast<uint32_t*>(c)[-2];
    EXPECT_GE(requested, sizeof(CComponentBase) + 4) << f->GetClassName();
    EXPECT_EQ(requested % 4, 0u);
    DestroyDirect(m, f, c);
    f->ResetInstanceCount();
  }
  EXPECT_EQ(m.host.Allocator().LiveBlocks(), 0u);
  EXPECT_EQ(m.host.Registry().LiveCount(), 0u);
}

}  // namespace
