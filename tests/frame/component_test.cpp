#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "frame/component_base.h"
#include "frame/component_factory.h"
#include "support/module_host.h"

using testing_support::ModuleHost;

namespace {

struct Plain final : CComponentBase {};

int g_constructed = 0;
int g_throwAt = -1;
struct Fragile final : CComponentBase {
  Fragile() {
    if (g_constructed++ == g_throwAt) throw std::runtime_error("constructor failed");
  }
};

void DestroyBlock(ModuleHost& m, CComponentBase* c) {
  c->~CComponentBase();
  m.host.Allocator().Free(c, "", 0);
}

struct Reader final : IEventArgs {
  int code;
  explicit Reader(int c) : code(c) {}
  int ReadInt() override { return code; }
  float ReadFloat() override { return 0; }
};

TEST(ComponentBase, TakesTheRegistryHandleWordForWordAndUnregistersOnce) {
  ModuleHost m;
  Plain* p = AllocateObjects<Plain>(1);
  ASSERT_NE(p, nullptr);
  const ComponentHandle h = p->handle;
  EXPECT_FALSE(h.IsZero());
  EXPECT_EQ(p->objectCookie, 0u);
  // The registry resolves exactly the handle the component holds.
  host::RegistryEntry* e = m.host.Registry().Resolve(h);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->object, static_cast<CComponentBase*>(p));
  EXPECT_EQ(m.host.GetObject(&h), static_cast<void*>(static_cast<CComponentBase*>(p)));
  EXPECT_TRUE(m.host.Registry().Errors().empty());

  const uint32_t id = h.words[4];
  DestroyBlock(m, p);
  EXPECT_EQ(m.host.Registry().UnregisterCalls(id), 1u);
  EXPECT_EQ(m.host.GetObject(&h), nullptr);
}

TEST(ComponentBase, DefaultsAnswerAndIgnore) {
  ModuleHost m;
  Plain* p = AllocateObjects<Plain>(1);
  CComponentBase* c = p;
  EXPECT_TRUE(c->Init());
  Reader lost(kEventDeviceLost), other(12345);
  EXPECT_EQ(c->OnEvent(&lost), 0);
  EXPECT_EQ(c->OnEvent(&other), 0);
  EXPECT_TRUE(c->Slot8(7));
  EXPECT_TRUE(c->Slot9(7));
  EXPECT_EQ(c->Slot10(7), 0u);
  c->Execute(16);
  c->Realize(16);
  c->RealizeBlend(16);
  c->RealizePost(16);
  c->OnSystemMessage(0x100, 1, 2);
  c->Destroy();
  c->Destroy();  // twice is harmless
  EXPECT_TRUE(m.host.Messages().empty());
  DestroyBlock(m, p);
}

TEST(ComponentBase, NullHandleFromTheRegistryLeavesTheHandleZero) {
  ModuleHost m;
  m.host.Registry().FailNextHandle();
  Plain* p = AllocateObjects<Plain>(1);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(p->handle.IsZero());
  EXPECT_EQ(m.host.GetObject(&p->handle), nullptr);
  p->~Plain();
  m.host.Allocator().Free(p, "", 0);
}

TEST(AllocateObjects, BuildsEachObjectInACountedBlock) {
  ModuleHost m;
  Plain* p = AllocateObjects<Plain>(3);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(reinterpret_cast<uint32_t*>(p)[-1], 3u);
  EXPECT_EQ(reinterpret_cast<uint32_t*>(p)[-2], 3 * sizeof(Plain) + 4);
  EXPECT_EQ(m.host.Registry().LiveCount(), 3u);
  // Constructed in address order: the handles' ids rise.
  EXPECT_LT(p[0].handle.words[4], p[1].handle.words[4]);
  EXPECT_LT(p[1].handle.words[4], p[2].handle.words[4]);
  for (int i = 2; i >= 0; --i) p[i].~Plain();
  m.host.Allocator().Free(p, "", 0);

  Plain* one = AllocateObjects<Plain>(0);  // an empty request still makes one
  EXPECT_EQ(reinterpret_cast<uint32_t*>(one)[-1], 1u);
  DestroyBlock(m, one);
  EXPECT_EQ(m.host.Allocator().LiveBlocks(), 0u);
}

TEST(AllocateObjects, AThrowingConstructorLeavesNoBlockAndNoRegistration) {
  ModuleHost m;
  g_constructed = 0;
  g_throwAt = 1;
  EXPECT_THROW(AllocateObjects<Fragile>(3), std::runtime_error);
  g_throwAt = -1;
  EXPECT_EQ(m.host.Allocator().LiveBlocks(), 0u);
  EXPECT_EQ(m.host.Registry().LiveCount(), 0u);
  EXPECT_TRUE(m.host.Registry().Errors().empty());
}

}  // namespace
