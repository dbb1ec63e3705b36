#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "d3d8/d3d8types.h"
#include "frame/exs.h"
#include "frame/component_base.h"
#include "frame/component_factory.h"
#include "support/module_host.h"

using testing_support::ModuleHost;

namespace {

std::vector<std::string>* g_calls = nullptr;

// A host object that notes every call it gets and answers message 7 through its out pointer.
struct Probe : host::HostObject {
  std::string tag;
  bool throwOnExecute = false;
  ComponentHandle destroyOnExecute{};
  void Note(const std::string& what) {
    if (g_calls) g_calls->push_back(tag + ":" + what);
  }
  void Execute(uint32_t ms) override {
    Note("Execute" + std::to_string(ms));
    if (throwOnExecute) throw std::runtime_error("boom");
    if (!destroyOnExecute.IsZero()) host->DestroyObject(destroyOnExecute);
  }
  void Realize(uint32_t) override { Note("Realize"); }
  void RealizeBlend(uint32_t) override { Note("RealizeBlend"); }
  void RealizePost(uint32_t) override { Note("RealizePost"); }
  int OnEvent(IEventArgs* args) override {
    Note("Event" + std::to_string(args->ReadInt()));
    return 0;
  }
  int OnMessage(const host::RecordedMessage& m, const MessageArg* raw) override {
    // Message 8 clears the host's records and sends message 7 to this object twice.
    if (m.id == 8) {
      host->ClearMessages();
      for (int i = 0; i < 2; ++i) host->SendMessage(handle, "lp", 7, raw[0].p);
      return 2;
    }
    if (m.id != 7) return 0;
    *static_cast<int*>(raw[0].p) = 42;
    return 1;
  }
};

struct HostTest : ::testing::Test {
  ModuleHost m;
  std::vector<std::string> calls;
  void SetUp() override {
    g_calls = &calls;
    m.host.RegisterHostClass("Probe", [] { return std::make_unique<Probe>(); });
  }
  void TearDown() override { g_calls = nullptr; }
  Probe* Make(const std::string& tag, ComponentHandle* out) {
    m.host.CreateObject(out, "Probe");
    auto* p = static_cast<Probe*>(m.host.GetObject(out));
    p->tag = tag;
    return p;
  }
};

TEST_F(HostTest, StaleAndZeroHandlesResolveToNothing) {
  ComponentHandle zero{};
  EXPECT_EQ(m.host.GetObject(&zero), nullptr);
  m.host.DestroyObject(zero);  // a no-op

  ComponentHandle a{};
  Make("a", &a);
  ASSERT_NE(m.host.GetObject(&a), nullptr);
  m.host.DestroyObject(a);
  EXPECT_EQ(m.host.GetObject(&a), nullptr);
  m.host.DestroyObject(a);  // again: nothing happens
  EXPECT_EQ(m.host.ObjectsDestroyed(), 1u);

  // The id comes back for the next object, but with a new serial the old handle stays dead.
  ComponentHandle b{};
  Make("b", &b);
  EXPECT_EQ(b.words[4], a.words[4]);
  EXPECT_NE(b.words[3], a.words[3]);
  EXPECT_EQ(m.host.GetObject(&a), nullptr);
  EXPECT_NE(m.host.GetObject(&b), nullptr);
  EXPECT_NE(m.host.GetObjectCookie(&b), 0u);
  EXPECT_EQ(m.host.GetObjectCookie(&a), 0u);
}

TEST_F(HostTest, CreatesModuleComponentsByClassNameAndRunsInit) {
  ComponentHandle scene{};
  m.host.CreateObject(&scene, "CSceneSystem");
  ASSERT_NE(m.host.GetObject(&scene), nullptr);
  EXPECT_EQ(m.host.ClassOf(scene), "CSceneSystem");
  EXPECT_EQ(m.Factory("CSceneSystem")->GetInstanceCount(), 1u);
  // Init subscribed the scene to its four channels with its order values.
  EXPECT_EQ(m.host.Subscribers("execute").at(0).second, 2);
  EXPECT_EQ(m.host.Subscribers("realize").at(0).second, 25500);
  EXPECT_EQ(m.host.Subscribers("LostDevice").at(0).second, 0);
  EXPECT_EQ(m.host.Subscribers("system_messages").at(0).second, 3);

  ComponentHandle found{};
  EXPECT_TRUE(m.host.FindObject(&found, "CSceneSystem", 0));
  EXPECT_EQ(found, scene);
  EXPECT_FALSE(m.host.FindObject(&found, "NoSuchClass", 0));
  EXPECT_TRUE(found.IsZero());

  ComponentHandle none{};
  m.host.CreateObject(&none, "NoSuchClass");
  EXPECT_TRUE(none.IsZero());

  const uint32_t id = scene.words[4];
  m.host.DestroyObject(scene);
  EXPECT_EQ(m.host.Registry().UnregisterCalls(id), 1u);
  EXPECT_EQ(m.Factory("CSceneSystem")->GetInstanceCount(), 0u);
  EXPECT_EQ(m.host.Allocator().LiveBlocks(), 0u);
  EXPECT_TRUE(m.host.Subscribers("execute").empty());
}

TEST_F(HostTest, DispatchRunsHighestOrderFirstAndTiesInSubscriptionOrder) {
  ComponentHandle a{}, b{}, c{}, d{};
  Make("a", &a);
  Make("b", &b);
  Make("c", &c);
  Make("d", &d);
  m.host.Subscribe("execute", a, 1);
  m.host.Subscribe("execute", b, 5);
  m.host.Subscribe("execute", c, 1);
  m.host.Subscribe("execute", d, -2147483647 - 1);
  m.host.Execute(16);
  EXPECT_EQ(calls, (std::vector<std::string>{"b:Execute16", "a:Execute16", "c:Execute16", "d:Execute16"}));
}

TEST_F(HostTest, RealizeRunsEachPhaseForEverySubscriberBeforeTheNext) {
  ComponentHandle a{}, b{};
  Make("a", &a);
  Make("b", &b);
  m.host.Subscribe("realize", a, 0);
  m.host.Subscribe("realize", b, 0);
  m.host.Realize(16);
  EXPECT_EQ(calls, (std::vector<std::string>{"a:Realize", "b:Realize", "a:RealizeBlend", "b:RealizeBlend",
                                             "a:RealizePost", "b:RealizePost"}));
}

TEST_F(HostTest, DeadSubscribersAreSkippedAndExceptionsAreCaught) {
  ComponentHandle a{}, b{}, c{};
  Probe* pa = Make("a", &a);
  Probe* pb = Make("b", &b);
  Make("c", &c);
  m.host.Subscribe("execute", a, 3);
  m.host.Subscribe("execute", b, 2);
  m.host.Subscribe("execute", c, 1);
  pa->destroyOnExecute = c;  // c dies during the dispatch that was to reach it
  pb->throwOnExecute = true;
  m.host.Execute(5);
  EXPECT_EQ(calls, (std::vector<std::string>{"a:Execute5", "b:Execute5"}));
  ASSERT_FALSE(m.host.LogLines().empty());
  EXPECT_NE(m.host.LogLines().back().find("Probe::Execute"), std::string::npos);
  EXPECT_NE(m.host.LogLines().back().find("boom"), std::string::npos);
  EXPECT_EQ(m.host.FramesRun(), 1u);
}

TEST_F(HostTest, LostDeviceHandsEverySubscriberAFreshReader) {
  ComponentHandle a{}, b{};
  Make("a", &a);
  Make("b", &b);
  m.host.Subscribe("LostDevice", a, 0);
  m.host.Subscribe("LostDevice", b, 0);
  m.host.SendEvent(30001);
  m.host.SendEvent(30002);
  EXPECT_EQ(calls, (std::vector<std::string>{"a:Event30001", "b:Event30001", "a:Event30002", "b:Event30002"}));
}

TEST_F(HostTest, SendMessageDecodesEveryLetterAndCopiesTexts) {
  ComponentHandle target{};
  Make("t", &target);
  char folder[16] = "objects";
  D3DVECTOR pos{1, 2, 3};
  int out = 0;
  const int r = m.host.SendMessage(target, "lsclfipfl", 600000, folder, pos, 9, 0.5f, target, &out, 2.25, -1);
  EXPECT_EQ(r, 0);  // the probe answers only message 7
  std::strcpy(folder, "changed");
  ASSERT_EQ(m.host.Messages().size(), 1u);
  const host::RecordedMessage& msg = m.host.Messages()[0];
  EXPECT_TRUE(msg.error.empty()) << msg.error;
  EXPECT_EQ(msg.id, 600000);
  EXPECT_EQ(msg.targetClass, "Probe");
  ASSERT_EQ(msg.args.size(), 8u);
  EXPECT_EQ(msg.args[0].s, "objects");
  EXPECT_EQ(msg.args[1].c[2], 3.0f);
  EXPECT_EQ(msg.args[2].l, 9);
  EXPECT_EQ(msg.args[3].f, 0.5);
  EXPECT_EQ(msg.args[4].i, target);
  EXPECT_EQ(msg.args[5].p, &out);
  EXPECT_EQ(msg.args[6].f, 2.25);
  EXPECT_EQ(msg.args[7].l, -1);

  EXPECT_EQ(m.host.SendMessage(target, "lp", 7, &out), 1);
  EXPECT_EQ(out, 42);
  EXPECT_EQ(m.host.Messages().back().result, 1);
  EXPECT_EQ(m.host.SendMessage(target, "lsp", 400006, nullptr, &out), 0);
  EXPECT_TRUE(m.host.Messages().back().args[0].null);

  // A handler that clears the records and sends messages of its own: its answer is written to
  // its own record, which is gone, and to none of the records made since.
  m.host.ClearMessages();
  EXPECT_EQ(m.host.SendMessage(target, "lp", 8, &out), 2);
  ASSERT_EQ(m.host.Messages().size(), 2u);
  for (const host::RecordedMessage& kept : m.host.Messages()) {
    EXPECT_EQ(kept.id, 7);
    EXPECT_EQ(kept.result, 1);
  }
}

TEST_F(HostTest, SignatureMismatchIsAnErrorTheTestsCanSee) {
  ComponentHandle target{};
  Make("t", &target);
  int out = 0;
  EXPECT_EQ(m.host.SendMessage(target, "ll", 7, &out), 0);
  EXPECT_EQ(out, 0);  // never delivered
  EXPECT_FALSE(m.host.Messages().back().error.empty());
  EXPECT_EQ(m.host.SendMessage(target, "lll", 7, 1), 0);  // too few arguments
  EXPECT_NE(m.host.Messages().back().error.find("names 2 arguments"), std::string::npos);
  EXPECT_EQ(m.host.SendMessage(target, "ls", 7, 3.0), 0);
  EXPECT_FALSE(m.host.Messages().back().error.empty());
  EXPECT_EQ(m.host.Messages().size(), 3u);
}

TEST_F(HostTest, MessagesToGoneTargetsAreRecordedUnanswered) {
  ComponentHandle target{};
  Make("t", &target);
  m.host.DestroyObject(target);
  int out = 0;
  EXPECT_EQ(m.host.SendMessage(target, "lp", 7, &out), 0);
  EXPECT_EQ(out, 0);
  EXPECT_EQ(m.host.Messages().back().targetClass, "");
}

TEST(HostAllocator, KeepsTheSizeWordAndTheCallersWord) {
  host::HostAllocator a;
  auto* p = static_cast<unsigned char*>(a.Alloc(20, nullptr, 0));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(reinterpret_cast<uint32_t*>(p)[-2], 20u);
  reinterpret_cast<uint32_t*>(p)[-1] = 5;
  std::memset(p, 0x5A, 20);
  p = static_cast<unsigned char*>(a.Realloc(p, 4000, "", 0));
  EXPECT_EQ(reinterpret_cast<uint32_t*>(p)[-2], 4000u);
  EXPECT_EQ(reinterpret_cast<uint32_t*>(p)[-1], 5u);
  EXPECT_EQ(p[19], 0x5A);
  EXPECT_EQ(a.LiveBlocks(), 1u);
  a.Free(p, "", 0);
  a.Free(p, "", 0);  // a second free is caught, not carried out
  EXPECT_EQ(a.Errors().size(), 1u);
  EXPECT_EQ(a.LiveBlocks(), 0u);
  a.FailNext(1, 1);
  void* first = a.Alloc(4, nullptr, 0);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(a.Alloc(4, nullptr, 0), nullptr);
  void* third = a.Alloc(4, nullptr, 0);
  EXPECT_NE(third, nullptr);
  a.Free(first, "", 0);
  a.Free(third, "", 0);
}

TEST_F(HostTest, AReSubscriptionTakesTheNewOrderAndKeepsItsPlaceAmongEquals) {
  ComponentHandle a{}, b{}, c{};
  Make("a", &a);
  Make("b", &b);
  Make("c", &c);
  m.host.Subscribe("execute", a, 1);
  m.host.Subscribe("execute", b, 5);
  m.host.Subscribe("execute", c, 1);
  m.host.Subscribe("execute", b, 0);  // b drops below the others
  m.host.Subscribe("execute", c, 3);  // c rises above a
  m.host.Execute(1);
  EXPECT_EQ(calls, (std::vector<std::string>{"c:Execute1", "a:Execute1", "b:Execute1"}));
  calls.clear();
  m.host.Subscribe("execute", c, 1);  // back level with a: a subscribed first
  m.host.Execute(1);
  EXPECT_EQ(calls, (std::vector<std::string>{"a:Execute1", "c:Execute1", "b:Execute1"}));
}

TEST_F(HostTest, ASignatureMustOpenWithTheIdAndNameEachArgumentsKind) {
  ComponentHandle target{};
  Make("t", &target);
  int out = 0;
  EXPECT_EQ(m.host.SendMessage(target, "pp", 7, &out), 0);  // the id is not a pointer
  EXPECT_NE(m.host.Messages().back().error.find("'l'"), std::string::npos) << m.host.Messages().back().error;
  EXPECT_EQ(m.host.SendMessage(target, "lc", 7, &out), 0);  // a pointer where three floats go
  EXPECT_FALSE(m.host.Messages().back().error.empty());
  EXPECT_EQ(out, 0);  // neither was delivered
  EXPECT_EQ(m.host.SendMessage(target, "lp", 7, &out), 1);
  EXPECT_TRUE(m.host.Messages().back().error.empty());
  EXPECT_EQ(out, 42);
}

// A module component whose every step of destruction is noted, with the block's life.
std::vector<std::string>* g_steps = nullptr;
host::HostAllocator* g_probeAllocator = nullptr;
void* g_probeBlock = nullptr;
void Step(const char* what) {
  if (g_steps == nullptr) return;
  g_steps->push_back(std::string(what) + (g_probeAllocator->IsLive(g_probeBlock) ? "" : " (freed)"));
}
struct Watched final : CComponentBase {
  void Destroy() override { Step("Destroy"); }
  ~Watched() override { Step("destructor"); }
};
constexpr char kWatched[] = "Watched";
struct WatchedFactory final : CComponentFactory {
  const char* GetClassName() override { return kWatched; }
  CComponentBase* CreateInstance() override {
    ++instanceCount;
    CComponentBase* c = AllocateObjects<Watched>(1);
    g_probeBlock = c;
    return c;
  }
  void Release() override {
    Step("Release");
    CComponentFactory::Release();
  }
};
WatchedFactory* g_watched = nullptr;
// The module's entry, with the probe's record as the whole class list.
CComponentFactory* WatchedEntry(IHost* host, IObjectRegistry* registry) {
  DMAInterface(host, registry);
  return g_watched;
}

TEST(HostDestroy, RunsDestroyTheDestructorReleaseAndFreeInThatOrder) {
  host::ReferenceHost h;
  CComponentFactory* const head = g_pFactoryHead;
  WatchedFactory factory;  // links itself at the head of the module's list: undone at once
  g_pFactoryHead = head;
  factory.next = nullptr;
  g_watched = &factory;
  h.LoadModule(&WatchedEntry);
  std::vector<std::string> steps;
  g_steps = &steps;
  g_probeAllocator = &h.Allocator();
  ComponentHandle handle{};
  h.CreateObject(&handle, kWatched);
  ASSERT_NE(h.GetObject(&handle), nullptr);
  h.DestroyObject(handle);
  EXPECT_EQ(steps, (std::vector<std::string>{"Destroy", "destructor", "Release"}));
  EXPECT_FALSE(h.Allocator().IsLive(g_probeBlock));  // freed after the release
  EXPECT_EQ(factory.GetInstanceCount(), 0u);
  EXPECT_EQ(h.GetObject(&handle), nullptr);
  g_steps = nullptr;
  h.LoadModule(&DMAInterface);
}

}  // namespace
