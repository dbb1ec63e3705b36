// The lightmap maker: it registers, takes the renderer, subscribes and otherwise stays still.
#include <gtest/gtest.h>

#include <climits>

#include "frame/component_base.h"
#include "host/renderer.h"
#include "support/module_host.h"
#include "visibility/lightmap_maker.h"

namespace {

TEST(LightmapMaker, SubscribesInOrderAndTakesTheRenderer) {
  testing_support::ModuleHost module;
  host::Renderer renderer;
  module.host.AddService("dx8render", static_cast<IRenderer*>(&renderer));
  ComponentHandle handle{};
  module.host.CreateObject(&handle, "CLightmapMaker");
  auto* maker = static_cast<CLightmapMaker*>(static_cast<CComponentBase*>(module.host.GetObject(&handle)));
  ASSERT_NE(maker, nullptr);
  EXPECT_EQ(maker->Renderer(), &renderer);
  const std::pair<const char*, int> channels[] = {{"execute", 2}, {"realize", INT_MIN}, {"system_messages", 3}};
  for (const auto& [channel, order] : channels) {
    const auto subscribers = module.host.Subscribers(channel);
    ASSERT_EQ(subscribers.size(), 1u) << channel;
    EXPECT_TRUE(subscribers[0].first == handle);
    EXPECT_EQ(subscribers[0].second, order) << channel;
  }
  EXPECT_TRUE(module.host.Subscribers("LostDevice").empty());
  module.host.DestroyAll();
}

TEST(LightmapMaker, TicksMakeNoRendererCallAndDestructionLeavesNoBlock) {
  testing_support::ModuleHost module;
  host::Renderer renderer;
  module.host.AddService("dx8render", static_cast<IRenderer*>(&renderer));
  const size_t blocks = module.host.Allocator().LiveBlocks();
  ComponentHandle handle{};
  module.host.CreateObject(&handle, "CLightmapMaker");
  const DWORD fill = renderer.GetRenderState(D3DRS_FILLMODE);
  renderer.SetRenderState(D3DRS_LIGHTING, 7);
  for (int i = 0; i < 5; ++i) {
    module.host.Execute(16);
    renderer.BeginScene();
    module.host.Realize(16);
    renderer.EndScene();
    module.host.SystemMessage(256, 'N', 0);
  }
  module.host.SendEvent(kEventDeviceLost);
  EXPECT_EQ(renderer.DrawCount(), 0u);
  EXPECT_EQ(renderer.GetRenderState(D3DRS_FILLMODE), fill);
  EXPECT_EQ(renderer.GetRenderState(D3DRS_LIGHTING), 7u);
  EXPECT_EQ(renderer.LiveVertexBuffers(), 0u);
  EXPECT_EQ(renderer.LiveTextures(), 0u);
  module.host.DestroyObject(handle);
  EXPECT_EQ(module.host.Allocator().LiveBlocks(), blocks);
  EXPECT_TRUE(module.host.Allocator().Errors().empty());
}

}  // namespace
