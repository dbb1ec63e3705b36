// The host's "Renderable" family on its own: the object file, the messages, the root node, the
// skeleton and the listeners.
#include <gtest/gtest.h>

#include <cmath>

#include "host/object_file.h"
#include "object_fixture.h"

namespace {
using object_testing::ObjectHost;

struct Family : ObjectHost {
  ComponentHandle handle{};
  host::RenderableObject* r = nullptr;
  Family() {
    host.CreateObject(&handle, "Renderable");
    r = RenderableOf(handle);
  }
  int Load(const char* path, int wait = 0) {
    return host.SendMessage(handle, "lsllll", kObjMsgLoad, path, 0, wait, 0, wait);
  }
};

// Counts what it is told.
struct CountingListener final : IRenderableCompleteListener {
  void OnNotify(IRenderableInterface* source) override {
    ++notes;
    last = source;
  }
  int notes = 0;
  IRenderableInterface* last = nullptr;
};

TEST(RenderableFamily, AMissingOrMalformedFileAnswersZeroAndGivesNoInterface) {
  Family f;
  EXPECT_EQ(f.Load("resource\\ini\\objects\\1.ini"), 0);
  IRenderableInterface* face = reinterpret_cast<IRenderableInterface*>(1);
  f.host.SendMessage(f.handle, "lp", kObjMsgGetInterface, &face);
  EXPECT_EQ(face, nullptr);
  f.WriteFile("resource/ini/objects/2.ini", "[object]\nheight=1\nbox=0,0,0,1,1,1\n");  // no radius
  EXPECT_EQ(f.Load("resource\\ini\\objects\\2.ini"), 0);
  EXPECT_EQ(f.Load("RESOURCE/INI/OBJECTS/10005.INI"), 1);
  f.host.SendMessage(f.handle, "lp", kObjMsgGetInterface, &face);
  EXPECT_EQ(face, &f.r->face);
  EXPECT_FLOAT_EQ(face->GetHeight(), 1.75f);
}

TEST(RenderableFamily, TransformNodeAndBoundsReadBack) {
  Family f;
  ASSERT_EQ(f.Load("resource\\ini\\objects\\10005.ini"), 1);
  const D3DXVECTOR3 at(1.0f, 2.0f, 3.0f), turn(0.0f, 1.5707964f, 0.0f);
  EXPECT_EQ(f.host.SendMessage(f.handle, "lcc", kObjMsgSetTransform, at, turn), 1);
  ComponentHandle node{};
  EXPECT_EQ(f.host.SendMessage(f.handle, "lsp", kObjMsgFindNode, nullptr, &node), 1);
  auto* root = static_cast<IRenderableNode*>(f.host.GetObject(&node));
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->GetRootNode(), root);
  // Row vectors: (1, 0, 0) turned a quarter about y becomes (0, 0, -1).
  const D3DMATRIX* world = root->GetWorldMatrix();
  EXPECT_NEAR(world->_11, 0.0f, 1e-6f);
  EXPECT_NEAR(world->_13, -1.0f, 1e-6f);
  EXPECT_FLOAT_EQ(world->_41, 1.0f);
  EXPECT_FLOAT_EQ(world->_42, 2.0f);
  EXPECT_FLOAT_EQ(world->_43, 3.0f);
  // A local write shows in the world matrix after the update.
  root->GetLocalMatrix()->_42 = 9.0f;
  EXPECT_FLOAT_EQ(root->GetWorldMatrix()->_42, 2.0f);
  root->Update();
  EXPECT_FLOAT_EQ(root->GetWorldMatrix()->_42, 9.0f);

  ComponentHandle named{};
  EXPECT_EQ(f.host.SendMessage(f.handle, "lsp", kObjMsgFindNode, "ROOT", &named), 1);
  EXPECT_EQ(named, node);
  ComponentHandle other{};
  EXPECT_EQ(f.host.SendMessage(f.handle, "lsp", kObjMsgFindNode, "spine", &other), 0);
  EXPECT_TRUE(other.IsZero());

  D3DXVECTOR3 lo, hi, radius;
  EXPECT_EQ(f.host.SendMessage(f.handle, "lppp", kObjMsgGetBounds, &lo, &hi, &radius), 1);
  EXPECT_EQ(lo, D3DXVECTOR3(-0.35f, 0.0f, -0.25f));
  EXPECT_EQ(hi, D3DXVECTOR3(0.35f, 1.8f, 0.25f));
  EXPECT_EQ(radius, D3DXVECTOR3(1.1f, 0.0f, 0.0f));
}

TEST(RenderableFamily, TheSkeletonRestsAtIdentityAndTakesBuffers) {
  Family f;
  ASSERT_EQ(f.Load("resource\\ini\\objects\\10005.ini"), 1);
  IRenderableNode* root = f.r->Root();
  IRenderableBoneTable* bones = root->GetBoneTable(0);
  ASSERT_NE(bones, nullptr);
  EXPECT_EQ(bones->GetBoneCount(), 5u);
  EXPECT_STREQ(bones->GetBone(2)->name, "Head");
  EXPECT_EQ(bones->GetBone(5), nullptr);
  EXPECT_EQ(root->GetBoneTable(1), nullptr);
  IRenderableSkeleton* skeleton = root->GetSkeleton();
  ASSERT_NE(skeleton, nullptr);
  EXPECT_EQ(skeleton->GetBoneSet()->GetCount(), 5u);
  EXPECT_FLOAT_EQ(skeleton->GetBoneMatrix(4)->_44, 1.0f);
  EXPECT_FLOAT_EQ(skeleton->GetBoneMatrix(4)->_41, 0.0f);
  EXPECT_EQ(skeleton->GetBoneMatrix(5), nullptr);
  std::vector<D3DMATRIX> copy(5);
  for (auto& m : copy) m.m[3][1] = 4.0f;
  skeleton->TakeBuffer(copy.data());
  EXPECT_FLOAT_EQ(skeleton->GetBoneMatrices()[3]._42, 4.0f);
  // A model without bones has neither.
  ASSERT_EQ(f.Load("resource\\ini\\objects\\10006.ini"), 1);
  EXPECT_EQ(f.r->Root()->GetSkeleton(), nullptr);
  EXPECT_EQ(f.r->Root()->GetBoneTable(0), nullptr);
}

TEST(RenderableFamily, ListenersHearOnATickAndALateOneOnTheNext) {
  Family f;
  ASSERT_EQ(f.Load("resource\\ini\\objects\\10005.ini", 1), 1);
  CountingListener early, late, removed;
  f.r->face.AddCompleteListener(&early);
  f.r->face.AddCompleteListener(&removed);
  f.r->face.RemoveCompleteListener(&removed);
  EXPECT_EQ(f.r->Tick(0), 0u);
  f.host.Execute(10);
  EXPECT_EQ(early.notes, 1);
  EXPECT_EQ(early.last, &f.r->face);
  EXPECT_EQ(f.r->Tick(0), 1u);
  f.r->face.AddCompleteListener(&late);
  EXPECT_EQ(late.notes, 0);  // not inside the registration
  f.host.Execute(10);
  EXPECT_EQ(late.notes, 1);
  EXPECT_EQ(early.notes, 1);
  EXPECT_EQ(removed.notes, 0);
}

TEST(RenderableFamily, KeptMessagesReadBack) {
  Family f;
  ASSERT_EQ(f.Load("resource\\ini\\objects\\10005.ini"), 1);
  EXPECT_EQ(f.host.SendMessage(f.handle, "lsslffffll", kObjMsgPlayAnimation, "walk", nullptr, 1, 1.0, 0.0, 0.0, 0.0, 0, 1), 1);
  EXPECT_EQ(f.r->animation, "walk");
  f.host.SendMessage(f.handle, "ll", kObjMsgSetFarFlag, 1);
  EXPECT_EQ(f.r->farFlag, 1);
  IRenderablePart* part = f.r->face.FindPart("HEAD");
  ASSERT_NE(part, nullptr);
  EXPECT_STREQ(f.r->face.GetPartName(part), "head");
  EXPECT_STREQ(f.r->face.GetPartName(f.r->face.GetPart(0)), "body");
  EXPECT_EQ(f.r->face.GetPart(2), nullptr);
  f.r->face.SwitchPart(part, 22, 0);
  EXPECT_FALSE(static_cast<host::RenderablePart*>(part)->visible);
}

// ---------------------------------------------------------------------------------------------
// The object file

TEST(ObjectFile, WritingWhatWasReadGivesTheSameText) {
  host::ObjectFile file;
  std::string error;
  ASSERT_TRUE(host::ParseObjectFile(object_testing::kDancer, &file, &error)) << error;
  EXPECT_FLOAT_EQ(file.height, 1.75f);
  EXPECT_FLOAT_EQ(file.boxMax[1], 1.8f);
  EXPECT_FLOAT_EQ(file.radius, 1.1f);
  ASSERT_EQ(file.parts.size(), 2u);
  ASSERT_EQ(file.bones.size(), 5u);
  EXPECT_EQ(file.bones[2].name, "Head");
  EXPECT_FLOAT_EQ(file.bones[2].matrix._42, 1.6f);
  ASSERT_EQ(file.parameters.size(), 3u);
  EXPECT_EQ(file.parameters[1].key, "rhandModel");
  EXPECT_EQ(file.parameters[1].value, "hand100");
  const std::string text = host::WriteObjectFile(file);
  host::ObjectFile again;
  ASSERT_TRUE(host::ParseObjectFile(text, &again, &error)) << error;
  EXPECT_EQ(host::WriteObjectFile(again), text);
}

TEST(ObjectFile, MalformedFilesAreRefusedWhole) {
  const std::string head = "[object]\nheight=1\nbox=0,0,0,1,1,1\nradius=1\n";
  const char* bad[] = {
      "[object]\nbox=0,0,0,1,1,1\nradius=1\n",                   // no height
      "[object]\nheight=-1\nbox=0,0,0,1,1,1\nradius=1\n",        // negative height
      "[object]\nheight=1\nbox=0,0,0,1,1,x\nradius=1\n",         // not a number
      "[object]\nheight=1\nbox=2,0,0,1,1,1\nradius=1\n",         // minimum above maximum
      "[object]\nheight=1\nbox=0,0,0,1,1,1\nradius=nan\n",       // not finite
      "[other]\nheight=1\nbox=0,0,0,1,1,1\nradius=1\n",          // another section
  };
  for (const char* text : bad) {
    host::ObjectFile file;
    file.height = 42.0f;
    std::string error;
    EXPECT_FALSE(host::ParseObjectFile(text, &file, &error)) << text;
    EXPECT_FALSE(error.empty());
    EXPECT_FLOAT_EQ(file.height, 42.0f);  // left as it was
  }
  for (const char* line : {"bone=head,1,0,0\n", "bone=,1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1\n", "parameter=novalue\n",
                           "parameter=,x\n", "part=\n"}) {
    host::ObjectFile file;
    std::string error;
    EXPECT_FALSE(host::ParseObjectFile(head + line, &file, &error)) << line;
  }
  host::ObjectFile file;
  std::string error;
  EXPECT_TRUE(host::ParseObjectFile(head + "parameter=empty,\nfuture=kept for later\n", &file, &error)) << error;
  EXPECT_EQ(file.parameters[0].value, "");
}

}  // namespace
