// Helper points and light sockets: editing, the helper-point file both ways, the points the
// scene's models fix, and lookups with bad indices or null outputs.
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "scene_fixture.h"

namespace {
using scene_testing::SceneHost;

D3DXMATRIX Placed(float x, float y, float z) {
  D3DXMATRIX m;
  D3DXMatrixIdentity(&m);
  m.m[3][0] = x;
  m.m[3][1] = y;
  m.m[3][2] = z;
  return m;
}

// A frame with every upper 3x3 number distinct, its fourth column (0, 0, 0, 1).
D3DXMATRIX Distinct(float base) {
  D3DXMATRIX m;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) m.m[r][c] = base + static_cast<float>(r * 4 + c);
  m.m[0][3] = m.m[1][3] = m.m[2][3] = 0.0f;
  m.m[3][3] = 1.0f;
  return m;
}

// The address of a frame for a call, living to the end of the call's statement.
const D3DXMATRIX* Ptr(const D3DXMATRIX& m) { return &m; }

void ExpectFrame(const D3DXMATRIX* actual, const D3DXMATRIX& expected) {
  ASSERT_NE(actual, nullptr);
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_FLOAT_EQ(actual->m[r][c], expected.m[r][c]) << r << "," << c;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

HelperPoint Fixed(const char* name, float x) {
  HelperPoint p;
  p.name = name;
  p.frame = Placed(x, 0, 0);
  p.inUse = 1;
  return p;
}

TEST(HelperPoints, TheFileReadsColumnsDownTheRowsAndMissingNumbersKeepTheIdentity) {
  SceneHost s;
  CSceneSystem* scene = s.MakeScene();
  s.WriteFile("h.ini",
              "[stage]\npoint=p;1,2,3,4;5,6,7,8;9,10,11,12\npoint=q;1,2,3,4\n[other]\npoint=r\npoint=p;0,0,0,7\n");
  ASSERT_TRUE(scene->LoadHelperPoints("h.ini"));
  ASSERT_EQ(scene->GetHelperGroupCount(), 2);
  EXPECT_STREQ(scene->GetHelperGroupName(0), "stage");
  EXPECT_STREQ(scene->GetHelperGroupName(1), "other");
  D3DXMATRIX p;
  const float rows[4][4] = {{1, 5, 9, 0}, {2, 6, 10, 0}, {3, 7, 11, 0}, {4, 8, 12, 1}};
  std::memcpy(&p, rows, sizeof rows);
  ExpectFrame(scene->GetHelperPointMatrix(0, 0), p);
  D3DXMATRIX q;
  D3DXMatrixIdentity(&q);
  q.m[0][0] = 1;
  q.m[1][0] = 2;
  q.m[2][0] = 3;
  q.m[3][0] = 4;
  ExpectFrame(scene->GetHelperPointMatrix(0, 1), q);
  D3DXMATRIX identity;
  D3DXMatrixIdentity(&identity);
  ExpectFrame(scene->GetHelperPointMatrix(1, 0), identity);
  EXPECT_STREQ(scene->GetHelperPointName(1, 1), "p");
  // A point named again takes the file's frame; points held already stay.
  s.WriteFile("again.ini", "[stage]\npoint=q;1,0,0,-2;0,1,0,0;0,0,1,0\n");
  ASSERT_TRUE(scene->LoadHelperPoints("again.ini"));
  EXPECT_EQ(scene->GetHelperPointCount(0), 2);
  EXPECT_FLOAT_EQ(scene->GetHelperPointMatrix(0, 1)->m[3][0], -2.0f);
  EXPECT_FALSE(scene->LoadHelperPoints("missing.ini"));
  EXPECT_FALSE(scene->LoadHelperPoints(nullptr));

  // Groups compare with case, but a file cannot hold two whose names differ only in case: the
  // second one's points are left out, and said.
  s.WriteFile("twins.ini", "[g]\npoint=a\n[G]\npoint=b\n");
  ASSERT_TRUE(scene->LoadHelperPoints("twins.ini"));
  EXPECT_EQ(scene->FindHelperGroup("G"), -1);
  const int32_t g = scene->FindHelperGroup("g");
  ASSERT_GE(g, 0);
  EXPECT_EQ(scene->GetHelperPointCount(g), 1);
  EXPECT_EQ(s.LogCount("[WARNING] CSceneSystem::LoadHelperPoints: twins.ini: point \"b\" of group \"G\" is left out."),
            1u);
}

TEST(HelperPoints, SavingAndLoadingGivesBackNamesAndFramesLongNamesAndLargeNumbersIncluded) {
  SceneHost s;
  CSceneSystem* scene = s.MakeScene();
  const std::string longName(200, 'n');
  D3DXMATRIX far = Distinct(1.0f);
  far.m[3][0] = 3.0e30f;
  far.m[3][1] = -1.5e25f;
  far.m[3][2] = 123456.5f;
  ASSERT_TRUE(scene->AddHelperPoint("stage", "a", Ptr(Distinct(2.0f))));
  ASSERT_TRUE(scene->AddHelperPoint("stage", longName.c_str(), &far));
  // A second group that differs only in case would share the first one's section.
  EXPECT_FALSE(scene->AddHelperPoint("STAGE", "a", Ptr(Placed(1, 2, 3))));
  EXPECT_EQ(scene->FindHelperGroup("Stage"), -1);  // groups compare with case
  ASSERT_TRUE(scene->AddHelperPoint("other", "a", Ptr(Placed(1, 2, 3))));
  ASSERT_EQ(scene->GetHelperGroupCount(), 2);
  ASSERT_TRUE(scene->SaveHelperPoints("out\\saved.ini"));

  // The worked line of the writer for the plain placed point.
  EXPECT_NE(ReadText(s.root + "/out/saved.ini")
                .find("point=a;1.000000,0.000000,0.000000,1.000000;0.000000,1.000000,0.000000,2.000000;"
                      "0.000000,0.000000,1.000000,3.000000"),
            std::string::npos);

  CSceneSystem* other = s.MakeScene();
  ASSERT_TRUE(other->LoadHelperPoints("OUT/SAVED.INI"));
  ASSERT_EQ(other->GetHelperGroupCount(), 2);
  int32_t group = -1;
  ASSERT_EQ(other->FindHelperPoint(&group, longName.c_str()), 1);
  EXPECT_EQ(group, other->FindHelperGroup("stage"));
  ExpectFrame(other->GetHelperPointMatrix(group, 1), far);
  ExpectFrame(other->GetHelperPointMatrix(group, 0), Distinct(2.0f));
  ExpectFrame(other->GetHelperPointMatrix(other->FindHelperGroup("other"), 0), Placed(1, 2, 3));
}

TEST(HelperPoints, NamesTheFileCannotGiveBackAreRefused) {
  SceneHost s;
  CSceneSystem* scene = s.MakeScene();
  const D3DXMATRIX m = Placed(0, 0, 0);
  EXPECT_FALSE(scene->AddHelperPoint("g", "a;b", &m));
  EXPECT_FALSE(scene->AddHelperPoint("g", "a\nb", &m));
  EXPECT_FALSE(scene->AddHelperPoint("g", " lead", &m));
  EXPECT_FALSE(scene->AddHelperPoint("g]", "a", &m));
  EXPECT_FALSE(scene->AddHelperPoint(" g", "a", &m));
  EXPECT_FALSE(scene->AddHelperPoint("g\r", "a", &m));
  EXPECT_FALSE(scene->AddHelperPoint("", "a", &m));
  EXPECT_FALSE(scene->AddHelperPoint("g", "", &m));
  EXPECT_FALSE(scene->AddHelperPoint(nullptr, "a", &m));
  EXPECT_FALSE(scene->AddHelperPoint("g", nullptr, &m));
  EXPECT_FALSE(scene->AddHelperPoint("g", "a", nullptr));
  EXPECT_EQ(scene->GetHelperGroupCount(), 0);  // no empty group was left behind
  ASSERT_TRUE(scene->AddHelperPoint("g", "a b,c", &m));
  EXPECT_FALSE(scene->SetHelperPointByName(0, "x;y", &m));
  EXPECT_EQ(scene->GetHelperPointCount(0), 1);
}

TEST(HelperPoints, RemovalMovesTheLastIntoTheHoleAndFindingSearchesGroupsInOrder) {
  SceneHost s;
  CSceneSystem* scene = s.MakeScene();
  for (const char* name : {"p0", "p1", "p2"}) ASSERT_TRUE(scene->AddHelperPoint("first", name, Ptr(Placed(0, 0, 0))));
  ASSERT_TRUE(scene->AddHelperPoint("second", "p1", Ptr(Placed(0, 0, 0))));
  ASSERT_TRUE(scene->AddHelperPoint("third", "only", Ptr(Placed(0, 0, 0))));

  int32_t group = -1;
  EXPECT_EQ(scene->FindHelperPoint(&group, "p1"), 1);
  EXPECT_EQ(group, 0);
  group = 1;
  EXPECT_EQ(scene->FindHelperPoint(&group, "p1"), 0);
  EXPECT_EQ(group, 1);
  group = -1;
  EXPECT_EQ(scene->FindHelperPoint(&group, "P1"), -1);  // points compare with case
  EXPECT_EQ(group, -1);

  ASSERT_TRUE(scene->RemoveHelperPoint(0, 0));
  ASSERT_EQ(scene->GetHelperPointCount(0), 2);
  EXPECT_STREQ(scene->GetHelperPointName(0, 0), "p2");
  EXPECT_STREQ(scene->GetHelperPointName(0, 1), "p1");
  EXPECT_TRUE(scene->RemoveHelperPointByName("first", "p1"));
  EXPECT_FALSE(scene->RemoveHelperPointByName("first", "p1"));
  EXPECT_FALSE(scene->RemoveHelperPointByName("none", "p2"));

  ASSERT_TRUE(scene->RemoveHelperGroup(0));
  ASSERT_EQ(scene->GetHelperGroupCount(), 2);
  EXPECT_STREQ(scene->GetHelperGroupName(0), "third");
  EXPECT_TRUE(scene->RemoveHelperGroupByName("second"));
  EXPECT_FALSE(scene->RemoveHelperGroupByName("second"));
  EXPECT_EQ(scene->FindHelperGroup("third"), 0);
  EXPECT_EQ(scene->FindHelperGroup(nullptr), -1);
}

TEST(HelperPoints, BadIndicesAndNullPointersChangeNothing) {
  SceneHost s;
  CSceneSystem* scene = s.MakeScene();
  ASSERT_TRUE(scene->AddHelperPoint("g", "a", Ptr(Placed(1, 2, 3))));
  const D3DXMATRIX m = Placed(9, 9, 9);
  for (int32_t bad : {-1, 1, 1000}) {
    EXPECT_STREQ(scene->GetHelperGroupName(bad), "");
    EXPECT_EQ(scene->GetHelperPointCount(bad), 0);
    EXPECT_STREQ(scene->GetHelperPointName(bad, 0), "");
    EXPECT_STREQ(scene->GetHelperPointName(0, bad), "");
    EXPECT_FALSE(scene->SetHelperPointByName(bad, "a", &m));
    EXPECT_FALSE(scene->SetHelperPointMatrix(bad, 0, &m));
    EXPECT_FALSE(scene->SetHelperPointMatrix(0, bad, &m));
    EXPECT_FALSE(scene->RemoveHelperPoint(bad, 0));
    EXPECT_FALSE(scene->RemoveHelperPoint(0, bad));
    EXPECT_FALSE(scene->RemoveHelperGroup(bad));
    EXPECT_EQ(scene->GetHelperPointMatrix(bad, 0), nullptr);
    EXPECT_EQ(scene->GetHelperPointMatrix(0, bad), nullptr);
    int32_t group = bad;
    if (bad != -1) {
      EXPECT_EQ(scene->FindHelperPoint(&group, "a"), -1);
    }
  }
  EXPECT_FALSE(scene->SetHelperPointByName(0, "a", nullptr));
  EXPECT_FALSE(scene->SetHelperPointMatrix(0, 0, nullptr));
  EXPECT_EQ(scene->FindHelperPoint(nullptr, "a"), -1);
  ASSERT_EQ(scene->GetHelperGroupCount(), 1);
  ASSERT_EQ(scene->GetHelperPointCount(0), 1);
  ExpectFrame(scene->GetHelperPointMatrix(0, 0), Placed(1, 2, 3));
}

TEST(HelperPoints, ModelPointsStayPutAndAreNotSaved) {
  SceneHost s;
  CSceneSystem* scene = s.MakeScene();
  scene->helperGroups.push_back(HelperPointGroup{"fixedOnly", {Fixed("f0", 1)}});
  scene->helperGroups.push_back(HelperPointGroup{"mixed", {Fixed("f1", 2)}});
  const D3DXMATRIX m = Placed(5, 5, 5);
  EXPECT_FALSE(scene->SetHelperPointMatrix(1, 0, &m));
  EXPECT_FALSE(scene->SetHelperPointByName(1, "f1", &m));
  EXPECT_FALSE(scene->AddHelperPoint("mixed", "f1", &m));
  EXPECT_FALSE(scene->RemoveHelperPoint(1, 0));
  EXPECT_FALSE(scene->RemoveHelperPointByName("mixed", "f1"));
  EXPECT_FLOAT_EQ(scene->GetHelperPointMatrix(1, 0)->m[3][0], 2.0f);
  ASSERT_TRUE(scene->AddHelperPoint("mixed", "free", &m));
  ASSERT_TRUE(scene->SaveHelperPoints("h.ini"));
  const std::string text = ReadText(s.root + "/h.ini");
  EXPECT_EQ(text.find("fixedOnly"), std::string::npos) << text;
  EXPECT_EQ(text.find("f1"), std::string::npos) << text;
  EXPECT_NE(text.find("point=free;"), std::string::npos) << text;
  // A group of the models' points only may share its name but for case with one of saved
  // points; two groups of saved points may not, as the file would merge them.
  scene->helperGroups.push_back(HelperPointGroup{"Spots", {Fixed("s0", 3)}});
  ASSERT_TRUE(scene->AddHelperPoint("spots", "a", &m));
  EXPECT_FALSE(scene->AddHelperPoint("SPOTS", "b", &m));
  EXPECT_FALSE(scene->AddHelperPoint("Spots", "c", &m));
  EXPECT_EQ(scene->GetHelperGroupCount(), 4);
  // A whole group goes, its fixed points with it.
  EXPECT_TRUE(scene->RemoveHelperGroup(0));
  EXPECT_EQ(scene->FindHelperGroup("fixedOnly"), -1);
}

TEST(HelperPoints, ASaveThatCannotBeCreatedIsReported) {
  SceneHost s;
  CSceneSystem* scene = s.MakeScene();
  ASSERT_TRUE(scene->AddHelperPoint("g", "a", Ptr(Placed(0, 0, 0))));
  s.WriteFile("blocker", "a file where a folder would have to be");
  EXPECT_FALSE(scene->SaveHelperPoints("blocker\\h.ini"));
  bool logged = false;
  for (const auto& line : s.host.LogLines()) logged = logged || line.rfind("Warning : Can't", 0) == 0;
  EXPECT_TRUE(logged);
  EXPECT_FALSE(scene->SaveHelperPoints(nullptr));
}

TEST(LightSockets, FoundWithoutRegardToCaseAndOutOfRangeCopiesNothing) {
  SceneHost s;
  CSceneSystem* scene = s.MakeScene();
  EXPECT_EQ(scene->GetLightSocketCount(), 0);
  scene->lightSockets.push_back(LightSocket{"SocketA", 0, Placed(1, 0, 0)});
  scene->lightSockets.push_back(LightSocket{"socketa", 0, Placed(2, 0, 0)});
  D3DMATRIX out = Placed(7, 7, 7);
  ASSERT_TRUE(scene->FindLightSocket("SOCKETA", &out));
  EXPECT_FLOAT_EQ(out.m[3][0], 1.0f);  // the first of that name
  EXPECT_STREQ(scene->GetLightSocket(1, &out), "socketa");
  EXPECT_FLOAT_EQ(out.m[3][0], 2.0f);
  out = Placed(7, 7, 7);
  EXPECT_EQ(scene->GetLightSocket(-1, &out), nullptr);
  EXPECT_EQ(scene->GetLightSocket(2, &out), nullptr);
  EXPECT_FALSE(scene->FindLightSocket("none", &out));
  EXPECT_FALSE(scene->FindLightSocket(nullptr, &out));
  EXPECT_FLOAT_EQ(out.m[3][0], 7.0f);
  EXPECT_EQ(scene->GetLightSocket(0, nullptr), nullptr);
  EXPECT_FALSE(scene->FindLightSocket("socketa", nullptr));
  EXPECT_EQ(scene->GetLightSocketCount(), 2);
}

TEST(HelperPoints, TheSampleStageLoadedTwiceHoldsEachPointOnce) {
  host::StandardHost standard{std::string(FOOTLIGHT_SOURCE_DIR) + "/samples"};
  standard.host.LoadModule(&DMAInterface);
  auto effects = std::make_shared<host::RecordingClass>("effect");
  standard.host.SetFallbackClass([effects] { return std::make_unique<host::EffectObject>(effects); });
  ComponentHandle handle{};
  standard.host.CreateObject(&handle, "CSceneSystem");
  auto* scene = scene_testing::As<CSceneSystem>(standard.host.GetObject(&handle));
  ASSERT_NE(scene, nullptr);
  auto total = [&] {
    int n = 0;
    for (int32_t g = 0; g < scene->GetHelperGroupCount(); ++g) n += scene->GetHelperPointCount(g);
    return n;
  };
  ASSERT_TRUE(scene->LoadScene(1));
  const int first = total();
  const int sockets = scene->GetLightSocketCount();
  EXPECT_GE(first, 2);  // the two entrances of the stage's helper-point file at least
  scene->UnloadSceneThunk();
  EXPECT_EQ(total(), 0);
  ASSERT_TRUE(scene->LoadScene(1));
  EXPECT_EQ(total(), first);
  EXPECT_EQ(scene->GetLightSocketCount(), sockets);
  int32_t group = -1;
  const int32_t left = scene->FindHelperPoint(&group, "left");
  ASSERT_GE(left, 0);
  EXPECT_STREQ(scene->GetHelperGroupName(group), "entrances");
  EXPECT_FLOAT_EQ(scene->GetHelperPointMatrix(group, left)->m[3][0], -6.0f);
  EXPECT_FLOAT_EQ(scene->GetHelperPointMatrix(group, left)->m[3][2], 2.0f);
  standard.host.DestroyAll();
  EXPECT_EQ(standard.host.Allocator().LiveBlocks(), 0u);
}

}  // namespace
