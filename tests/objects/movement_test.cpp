// Placing, turning, stepping, keeping to the ground and following waypoints.
#include <gtest/gtest.h>

#include <cmath>

#include "host/model_mesh.h"
#include "math/angles.h"
#include "walk_fixture.h"

namespace {
using walk_testing::WalkHost;

constexpr float kPi = 3.14159265f;

// Turns from `from` to `to` in steps of 7 ms at 0.003 rad/ms; every yaw passed on the way.
std::vector<float> Turn(CSceneBaseObj* o, float from, float to) {
  o->yaw = from;
  o->targetYaw = to;
  o->turnSpeed = 0.003f;
  o->moveSpeed = 0.0f;
  std::vector<float> seen;
  for (int i = 0; i < 2000 && o->yaw != to; ++i) {
    o->StepTowardTarget(7);
    seen.push_back(o->yaw);
  }
  return seen;
}

TEST(Turning, EachArcTakesTheShortWayAndEndsExactlyOnTheTarget) {
  WalkHost h;
  CSceneBaseObj* o = h.dancer;
  // Upward through 2 pi: never between the two angles the long way round.
  for (float y : Turn(o, 6.2f, 0.1f)) EXPECT_TRUE(y >= 6.2f || y <= 0.1f) << y;
  EXPECT_EQ(o->yaw, 0.1f);
  for (float y : Turn(o, 0.1f, 6.2f)) EXPECT_TRUE(y >= 6.2f || y <= 0.1f) << y;
  EXPECT_EQ(o->yaw, 6.2f);
  for (float y : Turn(o, 1.0f, 2.0f)) EXPECT_TRUE(y >= 1.0f && y <= 2.0f) << y;
  EXPECT_EQ(o->yaw, 2.0f);
  for (float y : Turn(o, 2.0f, 1.0f)) EXPECT_TRUE(y >= 1.0f && y <= 2.0f) << y;
  EXPECT_EQ(o->yaw, 1.0f);
  // The upward arc takes about 0.183 / 0.021 steps, not the 6.1 / 0.021 of the long way.
  EXPECT_LE(Turn(o, 6.2f, 0.1f).size(), 10u);
  // One step longer than the arc through 2 pi stops on the target, either way round.
  o->turnSpeed = 0.5f;
  o->yaw = 6.2f;
  o->targetYaw = 0.1f;
  o->StepTowardTarget(1);
  EXPECT_EQ(o->yaw, 0.1f);
  o->targetYaw = 6.2f;
  o->StepTowardTarget(1);
  EXPECT_EQ(o->yaw, 6.2f);
}

TEST(Stepping, AStepThatWouldOvershootSnapsToTheTargetWithTheTargetYaw) {
  WalkHost h;
  CSceneBaseObj* o = h.dancer;
  o->position = D3DXVECTOR3(0, 0, 0);
  o->walkTarget = D3DXVECTOR3(3, 0, 4);
  o->yaw = 0.0f;
  o->targetYaw = 2.0f;
  o->turnSpeed = 0.0001f;
  o->moveSpeed = 0.01f;
  EXPECT_FALSE(o->StepTowardTarget(100));  // one unit along (0.6, 0.8)
  EXPECT_NEAR(o->position.x, 0.6f, 1e-5f);
  EXPECT_NEAR(o->position.z, 0.8f, 1e-5f);
  EXPECT_TRUE(o->StepTowardTarget(1000));
  EXPECT_EQ(o->position.x, 3.0f);
  EXPECT_EQ(o->position.z, 4.0f);
  EXPECT_EQ(o->yaw, 2.0f);
  EXPECT_EQ(o->moveSpeed, 0.0f);
  EXPECT_EQ(o->savedMoveSpeed, 0.01f);
}

TEST(Stepping, AFarTargetIsWalkedTowardAndOneBeyondTheFloatSpacingEndsTheWalk) {
  WalkHost h;
  CSceneBaseObj* o = h.dancer;
  o->position = D3DXVECTOR3(0, 0, 0);
  o->walkTarget = D3DXVECTOR3(1e20f, 0, 0);
  o->yaw = o->targetYaw = 0.0f;
  o->moveSpeed = 0.003f;
  EXPECT_FALSE(o->StepTowardTarget(16));
  EXPECT_NEAR(o->position.x, 0.048f, 1e-6f);
  // At 1e9 a step of 0.048 is below the spacing of floats: the object cannot get on, and stops.
  o->position = D3DXVECTOR3(1e9f, 0, 0);
  EXPECT_TRUE(o->StepTowardTarget(16));
  EXPECT_EQ(o->position.x, 1e9f);
}

TEST(Placing, AMoveBeforeAnyActionPlacesOnTheGround) {
  WalkHost h;
  h.stage->ground = [](float, float) { return std::optional<float>(0.25f); };
  CSceneBaseObj* o = h.dancer;
  ASSERT_EQ(o->action, -1);
  o->MoveTo(2.0f, 3.0f, 7.0f, 5.0f, 1.0f, 4, 2, 0.0f);
  EXPECT_EQ(o->moving, 0);
  EXPECT_EQ(o->position, D3DXVECTOR3(2.0f, 0.25f, 3.0f));
  EXPECT_FLOAT_EQ(o->yaw, 7.0f - kTwoPi);
  EXPECT_EQ(o->action, 4);
  EXPECT_EQ(o->placedAction, 4);
  EXPECT_EQ(h.Played(), std::vector<std::string>{"stand"});
  const auto transforms = h.Sent("Renderable", kObjMsgSetTransform);
  ASSERT_FALSE(transforms.empty());
  EXPECT_FLOAT_EQ(transforms.back().args[0].c[1], 0.25f);
}

TEST(Placing, SpeedZeroPlacesAStandingObjectAndOnlyRetargetsAWalkingOne) {
  WalkHost h;
  CSceneBaseObj* o = h.dancer;
  h.Place(0, 0);
  o->MoveTo(1.0f, 2.0f, 0.5f, 0.0f, 0.0f, 6, 2, 0.0f);
  EXPECT_EQ(o->moving, 0);
  EXPECT_EQ(o->position, D3DXVECTOR3(1.0f, 0.0f, 2.0f));
  EXPECT_EQ(o->action, 6);

  o->MoveTo(5.0f, 2.0f, 0.0f, 1000.0f, 3.0f, 7, -1, 0.0f);  // 1 unit per ms
  ASSERT_EQ(o->moving, 1);
  o->Execute(1);
  const float speed = o->moveSpeed;
  o->MoveTo(1.0f, 6.0f, 1.0f, 0.0f, 0.0f, 9, 3, 0.0f);
  // Still walking with its speed and animation, now to the new target, arriving into action 9.
  EXPECT_EQ(o->moving, 1);
  EXPECT_EQ(o->moveSpeed, speed);
  EXPECT_EQ(o->action, 7);
  EXPECT_EQ(o->walkTarget, D3DXVECTOR3(1.0f, 0.0f, 6.0f));
  EXPECT_FLOAT_EQ(o->targetYaw, 1.0f);
  EXPECT_EQ(o->arrivalAction, 9);
  h.WalkOut(1);
  EXPECT_EQ(o->position.x, 1.0f);
  EXPECT_EQ(o->position.z, 6.0f);
  EXPECT_EQ(o->action, 9);
  EXPECT_EQ(o->placedAction, 9);
  EXPECT_EQ(o->arrivalAction, -1);
  EXPECT_EQ(h.Played().back(), "stand");  // action 9 has no visible state
}

TEST(Placing, ANullWalkAnimationKeepsTheFacingAndTakesTheGivenYawOnArrival) {
  WalkHost h;
  h.stage->states[5] = {"NULL", {}, 0, 0};
  CSceneBaseObj* o = h.dancer;
  h.Place(0, 0, 1.0f);
  const size_t played = h.Played().size();
  o->MoveTo(0.0f, 3.0f, 2.5f, 1000.0f, 3.0f, 5, -1, 0.0f);
  EXPECT_EQ(h.Played().size(), played);  // no animation
  EXPECT_EQ(o->turnSpeed, 0.0f);
  EXPECT_FLOAT_EQ(o->targetYaw, 2.5f);
  o->Execute(1);
  EXPECT_FLOAT_EQ(o->yaw, 1.0f);  // walks without turning
  h.WalkOut(1);
  EXPECT_FLOAT_EQ(o->yaw, 2.5f);
}

TEST(Ground, AStepOffTheGroundOrUpMoreThanOneAndAHalfIsUndoneAndArrives) {
  WalkHost h;
  CSceneBaseObj* o = h.dancer;
  h.stage->ground = [](float x, float) { return x < 2.0f ? std::optional<float>(0.0f) : std::nullopt; };
  h.Place(0, 0);
  o->MoveTo(5.0f, 0.0f, 0.0f, 1000.0f, 3.0f, 7, -1, 0.0f);
  o->Execute(1);  // one unit per frame: 1, then 2 has no ground
  o->Execute(1);
  EXPECT_EQ(o->moving, 0);
  EXPECT_EQ(o->position.x, 1.0f);

  h.stage->ground = [](float x, float) { return std::optional<float>(x < 2.0f ? 0.0f : 1.6f); };
  o->MoveTo(5.0f, 0.0f, 0.0f, 1000.0f, 3.0f, 7, -1, 0.0f);
  o->Execute(1);
  EXPECT_EQ(o->moving, 0);
  EXPECT_EQ(o->position.x, 1.0f);

  h.stage->ground = [](float x, float) { return std::optional<float>(x < 2.0f ? 0.0f : 1.5f); };
  o->MoveTo(5.0f, 0.0f, 0.0f, 1000.0f, 3.0f, 7, -1, 0.0f);
  o->Execute(1);
  EXPECT_EQ(o->moving, 1);
  EXPECT_EQ(o->position, D3DXVECTOR3(2.0f, 1.5f, 0.0f));
}

TEST(Height, TransformsCarryTheOffsetAndRaisingReturnsToTheStart) {
  WalkHost h;
  CSceneBaseObj* o = h.dancer;
  h.stage->ground = [](float, float) { return std::optional<float>(0.5f); };
  h.Place(1.0f, 2.0f, 0.75f, 0);
  o->SetHeightOffset(0.3f);
  auto last = [&] { return h.Sent("Renderable", kObjMsgSetTransform).back(); };
  EXPECT_FLOAT_EQ(last().args[0].c[1], 0.8f);
  EXPECT_FLOAT_EQ(last().args[1].c[1], 0.75f);
  EXPECT_EQ(last().args[1].c[0], 0.0f);

  o->Raise(1.0f);
  o->Raise(0.5f);
  EXPECT_FLOAT_EQ(o->position.y, 2.0f);
  EXPECT_FLOAT_EQ(last().args[0].c[1], 2.3f);  // the offset counted once
  o->ResetRaise();
  EXPECT_FLOAT_EQ(o->position.y, 0.5f);
  EXPECT_FLOAT_EQ(o->raiseTotal, 0.0f);
  EXPECT_FLOAT_EQ(last().args[0].c[1], 0.8f);
  EXPECT_EQ(o->position.x, 1.0f);
  EXPECT_FLOAT_EQ(o->yaw, 0.75f);

  // A raise stands the object in action 0, whatever it played.
  h.stage->states[0] = {"rest", {}, 0, 0};
  h.Place(1.0f, 2.0f, 0.75f, 5);
  o->Raise(0.25f);
  EXPECT_EQ(o->action, 0);
  EXPECT_EQ(h.Played().back(), "rest");
}

TEST(Placing, ATransformPlacesWithoutAMessageAndSetsTheEyePair) {
  WalkHost h;
  CSceneBaseObj* o = h.dancer;
  D3DXMATRIX m;
  D3DXMatrixIdentity(&m);
  m._41 = 2.0f;
  m._42 = 1.0f;
  m._43 = 3.0f;
  const size_t transforms = h.Sent("Renderable", kObjMsgSetTransform).size();
  o->SetTransform(&m, 2);
  EXPECT_EQ(h.Sent("Renderable", kObjMsgSetTransform).size(), transforms);
  EXPECT_EQ(o->position, D3DXVECTOR3(2.0f, 1.0f, 3.0f));
  D3DXVECTOR3 front, head;
  ASSERT_TRUE(o->GetEyeTarget(&front, &head));
  EXPECT_NEAR(head.y, 1.0f + 1.75f * 0.8f, 1e-5f);
  EXPECT_NEAR(front.z, 3.0f + 1.5f, 1e-5f);
  EXPECT_EQ(h.Played(), std::vector<std::string>{"stand"});
}

// Waypoints given straight into the path, on no mesh (nothing skipped).
void GivePath(CSceneBaseObj* o, const std::vector<vector3>& points, NavMesh* mesh = nullptr) {
  o->path.mesh = mesh;
  o->path.waypoints.clear();
  for (const vector3& p : points) {
    NavWaypoint w;
    w.point = p;
    w.triangle = mesh != nullptr ? mesh->FindTriangleBelow(p) : nullptr;
    o->path.waypoints.push_back(w);
  }
  o->currentWaypoint = o->path.waypoints.end();
}

TEST(Waypoints, EachAxisGivesItsOwnHeadingAndTheObjectFacesForward) {
  WalkHost h;
  CSceneBaseObj* o = h.dancer;
  const struct {
    vector3 to;
    float heading;
  } cases[] = {{vector3(0, 0, 2), 0.0f}, {vector3(2, 0, 0), kPi / 2}, {vector3(0, 0, -2), kPi},
               {vector3(-2, 0, 0), 3 * kPi / 2}, {vector3(2, 0, 2), kPi / 4}};
  for (const auto& c : cases) {
    h.Place(0, 0);
    GivePath(o, {c.to});
    o->Execute(1);
    EXPECT_EQ(o->moving, 1);
    EXPECT_NEAR(o->targetYaw, c.heading, 1e-5f) << c.to.x << "," << c.to.z;
    EXPECT_EQ(o->walkTarget.x, c.to.x);
    EXPECT_EQ(o->walkTarget.z, c.to.z);
    EXPECT_EQ(o->walkAction, 3);
    EXPECT_FLOAT_EQ(o->moveSpeed, 0.001f);
    h.WalkOut(100);
    EXPECT_TRUE(o->path.waypoints.empty());
    EXPECT_EQ(o->currentWaypoint, o->path.waypoints.end());
  }
}

TEST(Waypoints, AStraightWalkSkipsAsWordedAndTheWalkEndsAtTheLast) {
  WalkHost h;
  std::vector<host::ModelMesh::PartInput> in(1);
  for (int i = 0; i < 4; ++i) {  // four unit squares along x
    const float x = static_cast<float>(i);
    for (D3DVECTOR v : {D3DVECTOR{x, 0, 0}, D3DVECTOR{x, 0, 1}, D3DVECTOR{x + 1, 0, 0}, D3DVECTOR{x + 1, 0, 0},
                        D3DVECTOR{x, 0, 1}, D3DVECTOR{x + 1, 0, 1}})
      in[0].corners.push_back(v);
  }
  host::ModelMesh mesh;
  mesh.Build(in, {});
  NavMesh nav;
  ASSERT_TRUE(nav.BuildFromMesh(&mesh));
  CSceneBaseObj* o = h.dancer;
  h.Place(0.5f, 0.5f);
  GivePath(o, {vector3(1.5f, 0, 0.3f), vector3(2.5f, 0, 0.4f), vector3(3.5f, 0, 0.3f)}, &nav);
  o->Execute(1);
  // The second waypoint is walked to: the third is reachable straight from the first.
  EXPECT_EQ(o->walkTarget.x, 2.5f);
  std::vector<float> targets;
  while (o->moving != 0) {
    if (targets.empty() || targets.back() != o->walkTarget.x) targets.push_back(o->walkTarget.x);
    o->Execute(100);
  }
  EXPECT_EQ(targets, (std::vector<float>{2.5f, 3.5f}));
  EXPECT_NEAR(o->position.x, 3.5f, 1e-5f);
  EXPECT_TRUE(o->path.waypoints.empty());
}

std::vector<std::pair<D3DXVECTOR3, D3DXVECTOR3>> g_calls;
void NoteWaypoint(int32_t zero, const D3DXVECTOR3* at, const D3DXVECTOR3* wp) {
  EXPECT_EQ(zero, 0);
  g_calls.emplace_back(*at, *wp);
}

TEST(Waypoints, ACallbackIsToldTheWaypointInsteadOfAWalk) {
  WalkHost h;
  CSceneBaseObj* o = h.dancer;
  g_calls.clear();
  h.Place(1, 1);
  GivePath(o, {vector3(4, 0, 1)});
  o->SetPathCallback(&NoteWaypoint, 99);
  o->Execute(10);
  o->Execute(10);
  ASSERT_EQ(g_calls.size(), 2u);  // every frame while standing
  EXPECT_EQ(g_calls[0].first, D3DXVECTOR3(1, 0, 1));
  EXPECT_EQ(g_calls[0].second, D3DXVECTOR3(4, 0, 1));
  EXPECT_EQ(o->moving, 0);
  // Stopped, the path is over: the next frames neither tell nor walk it again.
  o->StopPath();
  EXPECT_EQ(o->currentWaypoint, o->path.waypoints.end());
  EXPECT_TRUE(o->path.waypoints.empty());
  o->Execute(10);
  EXPECT_EQ(g_calls.size(), 2u);
  EXPECT_EQ(o->moving, 0);
}

TEST(Execute, TimedEffectsAndPartStatesEndWhenTheirTimeRunsOut) {
  WalkHost h;
  CSceneBaseObj* o = h.dancer;
  ASSERT_TRUE(o->PlayEffect("glow", "a;b", 100, 0));
  // Mode -1 keeps its effects whatever the duration: they outlive the timed ones.
  ASSERT_TRUE(o->PlayEffect("aura", "c", 100, -1));
  o->SetPartState("arm", "red", 50);
  ASSERT_EQ(h.Effects()->live.size(), 3u);
  o->Execute(60);
  o->Execute(60);
  EXPECT_EQ(h.Effects()->live.size(), 3u);  // 100 - 120 is below 1 only now
  EXPECT_EQ(h.Sent("Renderable", kObjMsgSetPartState).back().args[2].l, 0);
  EXPECT_EQ(h.Sent("Renderable", kObjMsgSetPartState).back().args[0].s, "arm");
  o->Execute(1);
  ASSERT_EQ(h.Effects()->live.size(), 1u);
  EXPECT_EQ(h.Effects()->live[0].name, "c");
  EXPECT_EQ(h.Effects()->removed, (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(o->keptEffects.size(), 1u);
  EXPECT_TRUE(o->timedEffects.empty());
  EXPECT_TRUE(o->timedPartStates.empty());
}

TEST(Execute, TheIdleAnimationPlaysWhenItsDelayRunsOutAndSequencesStepOnEnds) {
  WalkHost h;
  CSceneBaseObj* o = h.dancer;
  h.Place(0, 0);
  std::snprintf(o->idleAnimationName, sizeof o->idleAnimationName, "wave");
  o->idleDelay = 100;
  o->Execute(60);
  EXPECT_NE(h.Played().back(), "wave");
  o->Execute(60);
  EXPECT_EQ(h.Played().back(), "wave");
  EXPECT_EQ(h.Sent("Renderable", kObjMsgPlayAnimation).back().args[2].l, 0);  // not looping

  const char* names[] = {"stand", "wave", "walk"};
  ASSERT_TRUE(o->PlayAnimationSequence(names, 3, 1.0f, 0, 0.0f, 0.0f, 0.0f));
  EXPECT_EQ(h.Played().back(), "stand");
  for (const char* next : {"wave", "walk"}) {
    CSceneBaseObj::OnRenderableEvent(o, nullptr, 0, 0, 6);
    EXPECT_EQ(o->sequencePending, 1);
    o->Execute(10);
    EXPECT_EQ(h.Played().back(), next);
  }
  CSceneBaseObj::OnRenderableEvent(o, nullptr, 0, 0, 6);
  EXPECT_EQ(o->sequenceIndex, -1);
  EXPECT_EQ(o->sequencePending, 0);
  const std::string longName(200, 'n');
  const char* one[] = {longName.c_str()};
  ASSERT_TRUE(o->PlayAnimationSequence(one, 1, 1.0f, 0, 0.0f, 0.0f, 0.0f));
  EXPECT_EQ(std::string(o->sequenceNames[0]), std::string(127, 'n'));
  const char* nine[9] = {"a", "a", "a", "a", "a", "a", "a", "a", "a"};
  EXPECT_FALSE(o->PlayAnimationSequence(nine, 9, 1.0f, 0, 0.0f, 0.0f, 0.0f));
  EXPECT_EQ(o->sequenceCount, 0);
}

}  // namespace
