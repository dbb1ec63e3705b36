#include <gtest/gtest.h>

#include "frame/host_blocks.h"
#include "support/module_host.h"

using testing_support::ModuleHost;

namespace {

TEST(HostBlocks, NewArrayKeepsCountAndRequestedSize) {
  ModuleHost m;
  auto* a = HostNewArray<uint16_t>(0);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(HostBlockCount(a), 1u);
  EXPECT_EQ(reinterpret_cast<uint32_t*>(a)[-2], 2u + 4u);
  auto* b = HostNewArray<float[24]>(5);  // 96-byte elements
  EXPECT_EQ(HostBlockCount(b), 5u);
  EXPECT_EQ(reinterpret_cast<uint32_t*>(b)[-2], 5u * 96u + 4u);
  HostDeleteArray(a);
  HostDeleteArray(b);
  HostDeleteArray(nullptr);
  EXPECT_EQ(m.host.Allocator().LiveBlocks(), 0u);
  EXPECT_TRUE(m.host.Allocator().Errors().empty());
}

TEST(HostBlocks, HandleArrayIsZeroed) {
  ModuleHost m;
  ComponentHandle* h = HostAllocArray24(3);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(HostBlockCount(h), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(h[i].IsZero());
  HostDeleteArray(h);
}

TEST(HostBlocks, ReallocArrayCountsPointersAndSkipsUnchangedSizes) {
  ModuleHost m;
  // A pointer table grown one entry at a time: (entries + 1) pointers each time.
  void* p = HostReallocArray(nullptr, 2 * sizeof(void*));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(HostBlockCount(p), 2u);
  int a = 0, b = 0;
  static_cast<void**>(p)[0] = &a;
  static_cast<void**>(p)[1] = &b;
  p = HostReallocArray(p, 3 * sizeof(void*));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(HostBlockCount(p), 3u);
  EXPECT_EQ(reinterpret_cast<uint32_t*>(p)[-2], 3u * sizeof(void*) + 4u);
  EXPECT_EQ(static_cast<void**>(p)[0], &a);  // contents survive the move
  EXPECT_EQ(static_cast<void**>(p)[1], &b);
  static_cast<void**>(p)[2] = &a;
  const uint64_t calls = m.host.Allocator().ReallocCalls() + m.host.Allocator().AllocCalls();
  EXPECT_EQ(HostReallocArray(p, 3 * sizeof(void*)), p);
  EXPECT_EQ(m.host.Allocator().ReallocCalls() + m.host.Allocator().AllocCalls(), calls);
  EXPECT_EQ(HostReallocArray(p, 0), nullptr);
  EXPECT_EQ(m.host.Allocator().LiveBlocks(), 0u);
  EXPECT_TRUE(m.host.Allocator().Errors().empty());
}

TEST(HostBlocks, TextReallocWithSizeZero) {
  ModuleHost m;
  EXPECT_EQ(HostRealloc(nullptr, 0), nullptr);  // nothing to do
  EXPECT_EQ(m.host.Allocator().AllocCalls(), 0u);
  void* t = HostRealloc(nullptr, 10);
  EXPECT_EQ(HostBlockCount(t), 10u);
  EXPECT_EQ(HostRealloc(t, 0), nullptr);
  EXPECT_EQ(m.host.Allocator().LiveBlocks(), 0u);
}

TEST(HostBlocks, FailedReallocReturnsNullAndKeepsTheOldBlock) {
  ModuleHost m;
  void* p = HostReallocArray(nullptr, sizeof(void*));
  m.host.Allocator().FailNext(1);
  EXPECT_EQ(HostReallocArray(p, 2 * sizeof(void*)), nullptr);
  EXPECT_TRUE(m.host.Allocator().IsLive(p));
  EXPECT_EQ(HostBlockCount(p), 1u);
  HostDeleteArray(p);
  m.host.Allocator().FailNext(1);
  EXPECT_EQ(HostNewArray<int>(4), nullptr);
  ComponentHandle* after = HostAllocArray24(2);  // the failure was for one call only
  EXPECT_NE(after, nullptr);
  HostDeleteArray(after);
  EXPECT_EQ(m.host.Allocator().LiveBlocks(), 0u);
}

}  // namespace
