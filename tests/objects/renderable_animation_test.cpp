// The host renderable's animations: the section's reader and the codes and events a tick tells.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/effect_objects.h"
#include "host/renderable_animation.h"

namespace {

struct Told {
  std::vector<std::string> log;  // "code N" and the texts, in order
  host::RenderableAnimator* animator = nullptr;
  std::string restartOn;  // a text that makes the callback start this animation
  std::string restartWith;
};

void Plain(void* context, IAnimation*, int32_t, int32_t, int32_t code) {
  static_cast<Told*>(context)->log.push_back("code " + std::to_string(code));
}
void Text(void* context, IAnimation*, int32_t, const char* text) {
  auto* told = static_cast<Told*>(context);
  told->log.push_back(text);
  if (told->restartOn == text) told->animator->Play(told->restartWith.c_str(), true, 1.0f);
}

host::RenderableAnimator Animator(const std::string& text) {
  std::vector<host::RenderableAnimation> animations;
  std::string error;
  EXPECT_TRUE(host::ParseAnimations(text, &animations, &error)) << error;
  host::RenderableAnimator a;
  a.SetAnimations(animations);
  return a;
}

TEST(RenderableAnimations, MalformedSectionsAreRefusedWithAReason) {
  for (const char* text : {"[animation]\nanimation=walk\n", "[animation]\nanimation=walk,0\n",
                           "[animation]\nanimation=,10\n", "[animation]\nanimation=walk,1.5\n",
                           "[animation]\nanimation=walk,10\nanimation=WALK,20\n",
                           "[animation]\nanimation=walk,10\nevent=run,1,sound,x\n",
                           "[animation]\nanimation=walk,10\nevent=walk,11,sound,x\n",
                           "[animation]\nanimation=walk,10\nevent=walk,5\n",
                           "[animation]\nanimation=walk,10\nevent=walk,5, \n"}) {
    std::vector<host::RenderableAnimation> animations;
    std::string error;
    EXPECT_FALSE(host::ParseAnimations(text, &animations, &error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
  std::vector<host::RenderableAnimation> none;
  std::string error;
  EXPECT_TRUE(host::ParseAnimations("[object]\nheight=1\n", &none, &error));
  EXPECT_TRUE(none.empty());
}

TEST(RenderableAnimations, ALoopTellsItsStartWrapsAndEventsInTimeOrder) {
  host::RenderableAnimator a = Animator(
      "[animation]\nanimation=spin,100\nevent=spin,100,last\nevent=spin,0,first\nevent=spin,50,middle,with,commas\n");
  Told told;
  ASSERT_TRUE(a.Play("SPIN", true, 2.0f));
  EXPECT_FALSE(a.Play("fly", true, 1.0f));
  EXPECT_FLOAT_EQ(a.Handed().Controller().GetLength(), 0.1f);
  EXPECT_EQ(a.Handed().Controller().GetSpeed(0), 2.0f);
  EXPECT_FALSE(a.Handed().Controller().IsBusy(0));
  a.Advance(0, &Plain, &told, &Text, &told);
  EXPECT_EQ(told.log, (std::vector<std::string>{"code 5", "first"}));
  told.log.clear();
  a.Advance(150, &Plain, &told, &Text, &told);
  EXPECT_EQ(told.log, (std::vector<std::string>{"middle,with,commas", "last", "code 4", "first", "middle,with,commas"}));
  EXPECT_EQ(a.ElapsedMs(), 50u);
}

TEST(RenderableAnimations, AOneShotIsBusyUntilItEndsAndACallbackThatRestartsEndsTheOldRun) {
  host::RenderableAnimator a =
      Animator("[animation]\nanimation=bow,100\nanimation=rise,100\nevent=bow,30,go\nevent=bow,60,never\n");
  Told told;
  told.animator = &a;
  ASSERT_TRUE(a.Play("bow", false, 1.0f));
  EXPECT_TRUE(a.Handed().Controller().IsBusy(0));
  a.Advance(20, &Plain, &told, &Text, &told);
  a.Advance(200, &Plain, &told, &Text, &told);
  EXPECT_EQ(told.log, (std::vector<std::string>{"code 5", "go", "never", "code 6"}));
  EXPECT_EQ(a.Current(), nullptr);
  EXPECT_FALSE(a.Handed().Controller().IsBusy(0));

  told.log.clear();
  told.restartOn = "go";
  told.restartWith = "rise";
  ASSERT_TRUE(a.Play("bow", false, 1.0f));
  a.Advance(100, &Plain, &told, &Text, &told);
  EXPECT_EQ(told.log, (std::vector<std::string>{"code 5", "go"}));  // nothing more of bow
  ASSERT_NE(a.Current(), nullptr);
  EXPECT_EQ(a.Current()->name, "rise");
}

}  // namespace
