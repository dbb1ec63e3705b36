// The host's recording stand-ins for the objects the module makes by class name.
#include <gtest/gtest.h>

#include "host/generic_object.h"
#include "support/module_host.h"

namespace {

TEST(GenericObjects, EveryNameTheModuleCreatesIsRegistered) {
  testing_support::ModuleHost m;
  auto classes = host::RegisterGenericClasses(m.host);
  for (const char* name : {"Shadow", "Sound", "Particles", "ActiveEffect", "WEATHER", "SEA", "Renderable",
                           "ShaderDrawMain", "DynLightManager", "Animals", "AnimalsParticles", "EffectAction",
                           "EffectRoom", "Game"}) {
    ComponentHandle h{};
    m.host.CreateObject(&h, name);
    EXPECT_FALSE(h.IsZero()) << name;
    EXPECT_EQ(m.host.ClassOf(h), name);
    ASSERT_EQ(classes.at(name)->Objects().size(), 1u) << name;
  }
  m.host.CreateObject(nullptr, "NotAClass");
  EXPECT_EQ(m.host.LogLines().back(), "CreateObject: no class named NotAClass");
}

TEST(GenericObjects, RecordCallsAndAnswerMessagesThroughHandlers) {
  testing_support::ModuleHost m;
  auto classes = host::RegisterGenericClasses(m.host);
  auto& sound = *classes.at("Sound");
  // Installed before any object exists, as a test does before the module makes one.
  sound.Handle(77018, [](host::RecordingObject&, const host::RecordedMessage&, const MessageArg*) { return 5; });
  sound.Handle(90809, [](host::RecordingObject&, const host::RecordedMessage& msg, const MessageArg* raw) {
    return host::RecordingObject::WriteOut<char>(msg, raw, 0, 1) ? 1 : 0;
  });

  ComponentHandle h{};
  m.host.CreateObject(&h, "Sound");
  auto* object = static_cast<host::RecordingObject*>(static_cast<ISceneEffectObject*>(m.host.GetObject(&h)));
  ASSERT_NE(object, nullptr);
  m.host.Subscribe("execute", h, 0);
  m.host.Subscribe("realize", h, 0);
  m.host.Subscribe("system_messages", h, 0);
  m.host.Subscribe("LostDevice", h, 0);
  m.host.Execute(16);
  m.host.Realize(16);
  m.host.SystemMessage(0x201, 1, 0x00200010);
  m.host.SendEvent(30001);

  EXPECT_EQ(m.host.SendMessage(h, "l", 77018), 5);
  char answer = 0;
  EXPECT_EQ(m.host.SendMessage(h, "lp", 90809, &answer), 1);
  EXPECT_EQ(answer, 1);
  EXPECT_EQ(m.host.SendMessage(h, "ls", 12345, "unhandled"), 0);

  // An object's own handler comes before its class's.
  object->Handle(77018, [](host::RecordingObject& self, const host::RecordedMessage&, const MessageArg*) {
    return static_cast<int>(self.MessagesWithId(77018).size()) + 100;
  });
  EXPECT_EQ(m.host.SendMessage(h, "l", 77018), 102);
  sound.SetDefaultResult(1);
  EXPECT_EQ(m.host.SendMessage(h, "l", 4), 1);

  const std::vector<std::string> slots = {"Init", "Execute", "Realize", "RealizeBlend", "RealizePost",
                                          "OnSystemMessage", "OnEvent", "OnMessage"};
  ASSERT_GE(object->Calls().size(), slots.size());
  for (size_t i = 0; i < slots.size(); ++i) EXPECT_EQ(object->Calls()[i].slot, slots[i]);
  EXPECT_EQ(object->Calls()[1].args, std::vector<int64_t>{16});
  EXPECT_EQ(object->Calls()[5].args, (std::vector<int64_t>{0x201, 1, 0x00200010}));
  EXPECT_EQ(object->Calls()[6].args, std::vector<int64_t>{30001});
  EXPECT_EQ(object->CallCount("OnMessage"), 5u);
  ASSERT_EQ(object->MessagesWithId(12345).size(), 1u);
  EXPECT_EQ(object->MessagesWithId(12345)[0].args[0].s, "unhandled");

  m.host.DestroyObject(h);
  EXPECT_TRUE(sound.Objects().empty());
  EXPECT_EQ(sound.Created(), 1u);
}

TEST(GenericObjects, WriteOutOnlyThroughNonNullPointerArguments) {
  host::RecordedMessage msg;
  msg.args.resize(2);
  msg.args[0].letter = 'l';
  msg.args[1].letter = 'p';
  MessageArg raw[3]{};  // one more than the message has
  raw[0].kind = 'l';
  raw[1].kind = 'n';
  raw[1].p = nullptr;
  EXPECT_FALSE(host::RecordingObject::WriteOut<int>(msg, raw, 0, 1));  // not a pointer
  EXPECT_FALSE(host::RecordingObject::WriteOut<int>(msg, raw, 1, 1));  // a null pointer
  EXPECT_FALSE(host::RecordingObject::WriteOut<int>(msg, raw, 2, 1));  // no such argument
  int target = 0;
  raw[1].kind = 'p';
  raw[1].p = &target;
  EXPECT_TRUE(host::RecordingObject::WriteOut<int>(msg, raw, 1, 9));
  EXPECT_EQ(target, 9);
}

}  // namespace
