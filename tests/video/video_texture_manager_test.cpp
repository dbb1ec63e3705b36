// The video texture manager as the scene sees it before decoding exists: no graph, no texture,
// and real listeners.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/component_host.h"
#include "video/video_texture_manager.h"

namespace {

std::vector<std::string>* g_heard = nullptr;
void First(int code, void* context) { g_heard->push_back("first " + std::to_string(code) + static_cast<const char*>(context)); }
void Second(int code, void* context) { g_heard->push_back("second " + std::to_string(code) + static_cast<const char*>(context)); }
void Third(int code, void* context) { g_heard->push_back("third " + std::to_string(code) + static_cast<const char*>(context)); }

struct ManagerHost : testing_support::ComponentHost<CVideoTextureManager> {
  CVideoTextureManager*& manager = object;
  ManagerHost() : ComponentHost("CVideoTextureManager") {}
};

TEST(VideoTextureManager, WithoutAGraphNothingOpensAndEverythingReadsEmpty) {
  ManagerHost m;
  ASSERT_NE(m.manager, nullptr);
  EXPECT_EQ(m.manager->SetVideoInTexture(L"a.wmv", L"Raw Video 1", 0, nullptr), static_cast<HRESULT>(0x80070002u));
  m.manager->ReleaseGraph();
  EXPECT_EQ(m.manager->GetDuration(), 0.0);
  EXPECT_EQ(m.manager->GetCurrentPosition(), 0.0);
  m.manager->SetVolume(-300);
  EXPECT_EQ(m.manager->GetVolume(), 0);
  D3DMATRIX stale{};
  const D3DMATRIX* matrix = &stale;
  EXPECT_EQ(m.manager->LockTexture(&matrix), nullptr);
  EXPECT_EQ(matrix, nullptr);
  EXPECT_EQ(m.manager->LockTexture(nullptr), nullptr);
}

TEST(VideoTextureManager, ListenersKeepOneEntryPerCallbackAndTheLastFillsARemovedPlace) {
  ManagerHost m;
  std::vector<std::string> heard;
  g_heard = &heard;
  char a[] = "a", b[] = "b", c[] = "c", d[] = "d";
  m.manager->AddListener(&First, a);
  m.manager->AddListener(&Second, b);
  m.manager->AddListener(&Third, c);
  m.manager->AddListener(&Second, d);  // only the context changes
  m.manager->RemoveListener(&First);   // the last pair takes the first place
  m.manager->RemoveListener(&First);   // unknown now: ignored
  m.manager->NotifyListeners(3);
  EXPECT_EQ(heard, (std::vector<std::string>{"third 3c", "second 3d"}));
  g_heard = nullptr;
}

}  // namespace
