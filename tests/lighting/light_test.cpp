// Lights: the clock, switching, the evaluated state, the host objects a light drives and what it
// draws.
#include <gtest/gtest.h>

#include <limits>

#include <climits>

#include <cmath>
#include <string>
#include <vector>

#include "frame/host_services.h"
#include "lighting/light_group.h"
#include "lighting/light_hull.h"
#include "light_test_host.h"

using light_testing::LightHost;

namespace {

const host::RecordedMessage* FindMessage(const host::ReferenceHost& h, int32_t id) {
  for (const auto& m : h.Messages())
    if (m.id == id) return &m;
  return nullptr;
}

size_t CountMessages(const host::ReferenceHost& h, int32_t id) {
  size_t n = 0;
  for (const auto& m : h.Messages())
    if (m.id == id) ++n;
  return n;
}

bool Pending(CLightingSystem* sys, CLight* light) {
  for (CLight* l : sys->pendingHardwareLights)
    if (l == light) return true;
  return false;
}

// ---- Clock and switching ---------------------------------------------------------------------

TEST(Light, ClockRunsAtItsRateTruncatedAndKeepsItsStartThroughTheFirstTick) {
  LightHost h;
  CLight* a = h.Light("a", kLightPoint);
  a->SetRate(0.5f);
  a->SetActive(true, 0);  // before its own update in this tick
  h.sys->Update(15);
  EXPECT_EQ(a->timeMs, 0);
  h.sys->Update(15);
  EXPECT_EQ(a->timeMs, 7);
  h.sys->Update(15);
  EXPECT_EQ(a->timeMs, 14);  // 7 + 7.5
  h.sys->Update(15);
  EXPECT_EQ(a->timeMs, 21);

  // Switched on after its update in the tick: the next tick advances it.
  CLight* b = h.Light("b", kLightPoint);
  h.sys->Update(10);
  b->SetActive(true, 100);
  h.sys->Update(10);
  EXPECT_EQ(b->timeMs, 110);

  // An inactive light keeps its clock.
  b->SetActive(false, 40);
  h.sys->Update(10);
  EXPECT_EQ(b->timeMs, 40);
}

TEST(Light, SwitchingOnTwiceRestartsTheClockAndCountsTheSpotOnce) {
  LightHost h;
  CLight* s = h.Light("spot", kLightSpot);
  s->SetActive(true, 0);
  h.sys->Update(100);
  h.sys->Update(100);
  EXPECT_EQ(s->timeMs, 100);
  s->SetActive(true, 500);
  EXPECT_TRUE(s->IsActive());
  EXPECT_EQ(s->timeMs, 500);
  EXPECT_EQ(h.sys->activeSpotCount, 1);
  s->SetActive(false, 0);
  s->SetActive(false, 0);
  EXPECT_EQ(h.sys->activeSpotCount, 0);
  EXPECT_FALSE(h.sys->HasActiveSpotLights());
}

TEST(Light, SetTypeOnAnActiveLightKeepsTheSpotCount) {
  LightHost h;
  CLight* l = h.Light("l", kLightSpot);
  l->SetActive(true, 0);
  EXPECT_EQ(h.sys->activeSpotCount, 1);
  l->SetType(kLightPoint);
  EXPECT_EQ(h.sys->activeSpotCount, 0);
  l->SetType(kLightSpot);
  l->SetType(kLightSpot);
  EXPECT_EQ(h.sys->activeSpotCount, 1);
  l->SetActive(false, 0);
  EXPECT_EQ(h.sys->activeSpotCount, 0);
  // An inactive light changes type without touching the count.
  l->SetType(kLightPoint);
  l->SetType(kLightSpot);
  EXPECT_EQ(h.sys->activeSpotCount, 0);
  // Deleting an active spot light takes it off the count.
  l->SetActive(true, 0);
  h.sys->DeleteLight("l");
  EXPECT_EQ(h.sys->activeSpotCount, 0);
}

TEST(Light, ExpiredLifeTimeTakesTheSwitchOffPath) {
  LightHost h;
  CLight* l = h.Light("flash", kLightSpot);
  l->SetGlobalLight(true);
  l->SetLifeTime(1000);
  ASSERT_TRUE(l->LoadModel("models\\lamp.x", nullptr, nullptr));
  host::ModelObject* model = h.objects->models->Last();
  ASSERT_NE(model, nullptr);
  h.sys->Update(0);
  l->SetActive(true, 0);
  EXPECT_EQ(model->Animation().Controller().Ops(),
            (std::vector<std::string>{"Select", "SetLooping", "SetSpeed", "Start"}));
  EXPECT_EQ(model->Animation().Controller().Calls()[0].text, "All");
  EXPECT_EQ(h.sys->activeSpotCount, 1);

  for (int i = 0; i < 4; ++i) h.sys->Update(250);
  EXPECT_EQ(l->timeMs, 1000);
  EXPECT_TRUE(l->IsActive());  // the clock has not passed the life time yet
  h.sys->ApplyLights();         // the light holds a slot, enabled
  ASSERT_EQ(h.sys->hardwareSlots[0].lightIndex, l->GetIndex());
  EXPECT_TRUE(h.renderer.LightEnabled(0));
  EXPECT_FALSE(Pending(h.sys, l));

  h.sys->Update(250);
  EXPECT_FALSE(l->IsActive());
  EXPECT_EQ(h.sys->activeSpotCount, 0);
  EXPECT_TRUE(Pending(h.sys, l));  // queued so that its slot goes off
  EXPECT_EQ(model->Animation().Controller().Ops().back(), "Stop");
  h.sys->ApplyLights();
  EXPECT_FALSE(h.renderer.LightEnabled(0));
}

TEST(Light, TracksAreEvaluatedOnceAfterEachMarkUnlessAlwaysUpdating) {
  LightHost h;
  CLight* l = h.Light("l", kLightPoint);
  l->SetRangeInterpolation(kInterpolateLinear);
  l->AddRangeKey(0, 10.0f);
  l->AddRangeKey(1000, 20.0f);
  l->SetActive(true, 0);
  h.sys->Update(500);
  EXPECT_FLOAT_EQ(l->GetRange(), 10.0f);  // clock 0
  h.sys->Update(250);
  EXPECT_FLOAT_EQ(l->GetRange(), 10.0f);  // clock 250, values held
  l->SetRange(1.0f);                        // marks
  h.sys->Update(250);
  EXPECT_FLOAT_EQ(l->GetRange(), 15.0f);  // clock 500
  h.sys->Update(250);
  EXPECT_FLOAT_EQ(l->GetRange(), 15.0f);
  l->SetAlwaysUpdate(true);
  h.sys->Update(250);
  EXPECT_FLOAT_EQ(l->GetRange(), 20.0f);  // clock 1000
  h.sys->Update(250);
  EXPECT_FLOAT_EQ(l->GetRange(), 12.5f);  // clock 1250 loops to 250
}

// ---- Evaluated state -----------------------------------------------------------------------

TEST(Light, ColourIsPackedFromTheTrackAndClampedPerComponent) {
  LightHost h;
  CLight* l = h.Light("l", kLightPoint);
  l->AddColorKey(0, D3DXCOLOR(1.0f, 0.5f, 0.0f, 1.0f));
  l->SetActive(true, 0);
  h.sys->Update(16);
  EXPECT_EQ(l->GetColorARGB(), 0xFFFF7F00u);
  EXPECT_FLOAT_EQ(l->GetColor()->y, 0.5f);

  CLight* over = h.Light("over", kLightPoint);
  over->AddColorKey(0, D3DXCOLOR(2.0f, -1.0f, 0.5f, 1.5f));
  over->SetActive(true, 0);
  h.sys->Update(16);
  EXPECT_EQ(over->GetColorARGB(), 0xFFFF007Fu);

  // SetColor changes the four floats only.
  const D3DXVECTOR4 blue(0, 0, 1, 1);
  l->SetColor(&blue);
  EXPECT_EQ(l->GetColorARGB(), 0xFFFF7F00u);
  EXPECT_FLOAT_EQ(l->GetColor()->z, 1.0f);
}

TEST(Light, InfluenceSceneSetsTheAmbientColour) {
  LightHost h;
  CLight* l = h.Light("sky", kLightDirectional);
  l->AddColorKeyARGB(0, 0xFF204060u);
  l->SetInfluenceScene(true);
  l->SetActive(true, 0);
  h.sys->Update(16);
  EXPECT_EQ(h.sys->ambientColor, 0xFF204060u);
}

TEST(Light, DirectionTrackGivesTheZAxisAndKeepsThePosition) {
  LightHost h;
  CLight* l = h.Light("l", kLightSpot);
  l->AddPositionKey(0, D3DXVECTOR3(4, 5, 6));
  l->AddDirectionKey(0, D3DXQUATERNION(0, 0, 0, 1));
  l->SetActive(true, 0);
  h.sys->Update(16);
  EXPECT_FLOAT_EQ(l->GetDirection()->x, 0.0f);
  EXPECT_FLOAT_EQ(l->GetDirection()->y, 0.0f);
  EXPECT_FLOAT_EQ(l->GetDirection()->z, 1.0f);
  const D3DXMATRIX* w = l->GetWorldMatrix();
  EXPECT_FLOAT_EQ(w->_41, 4.0f);
  EXPECT_FLOAT_EQ(w->_42, 5.0f);
  EXPECT_FLOAT_EQ(w->_43, 6.0f);
  EXPECT_FLOAT_EQ(w->_44, 1.0f);

  // A quarter turn about y (and a key not of unit length) points the light along +x.
  CLight* turned = h.Light("turned", kLightSpot);
  const float s = std::sqrt(0.5f);
  turned->AddDirectionKey(0, D3DXQUATERNION(0, 2 * s, 0, 2 * s));
  turned->SetActive(true, 0);
  h.sys->Update(16);
  EXPECT_NEAR(turned->GetDirection()->x, 1.0f, 1e-6f);
  EXPECT_NEAR(turned->GetDirection()->z, 0.0f, 1e-6f);
}

TEST(Light, GroupReferencesCountEntriesAndTheLightLeavesItsGroupsWhenDeleted) {
  LightHost h;
  CLight* l = h.Light("l", kLightPoint);
  CLightGroup* g = nullptr;
  CLightGroup* other = nullptr;
  h.sys->CreateLightGroup("g", &g);
  h.sys->CreateLightGroup("other", &other);
  l->AddGroupRef(g);
  l->AddGroupRef(g);
  l->AddGroupRef(other);
  ASSERT_EQ(l->groupRefs.size(), 2u);
  EXPECT_EQ(l->groupRefs[0].count, 2);
  l->RemoveGroupRef(g);
  EXPECT_EQ(l->groupRefs[0].count, 1);
  l->RemoveGroupRef(g);
  ASSERT_EQ(l->groupRefs.size(), 1u);  // the last record moved into the freed place
  EXPECT_EQ(l->groupRefs[0].group, other);
  l->RemoveGroupRef(g);  // absent: ignored
  l->RemoveGroupRefAll(nullptr);
  l->AddGroupRef(nullptr);
  ASSERT_EQ(l->groupRefs.size(), 1u);
  l->RemoveGroupRefAll(other);
  EXPECT_TRUE(l->groupRefs.empty());

  // Steps naming the light go with it.
  g->AddLightToStep(0, 0, true);
  g->AddLightToStep(0, 100, false);
  other->AddLightToStep(0, 50, true);
  ASSERT_EQ(l->groupRefs.size(), 2u);
  h.sys->DeleteLight("l");
  EXPECT_EQ(g->GetStepCount(), 0);
  EXPECT_EQ(other->GetStepCount(), 0);
}

// ---- Host objects -------------------------------------------------------------------------

TEST(Light, SwitchingOnStartsTheParticleEffectWithItsArguments) {
  LightHost h;
  ComponentHandle particles{};
  h.Host().CreateObject(&particles, "Particles");
  CLight* l = h.Light("fire", kLightPoint);
  const D3DXVECTOR3 p(1, 2, 3), d(0, -1, 0);
  l->SetPosition(&p);
  l->SetDirection(&d);
  l->SetEffect("sparks");
  const char* effect = nullptr;
  l->GetEffect(&effect);
  EXPECT_STREQ(effect, "sparks");
  h.Host().ClearMessages();
  l->SetActive(true, 0);
  const host::RecordedMessage* m = FindMessage(h.Host(), 10002);
  ASSERT_NE(m, nullptr);
  EXPECT_TRUE(m->error.empty()) << m->error;
  EXPECT_EQ(m->signature, "lsccl");
  EXPECT_EQ(m->targetClass, "Particles");
  ASSERT_EQ(m->args.size(), 4u);
  EXPECT_EQ(m->args[0].s, "sparks");
  EXPECT_EQ(m->args[1].c[0], 1.0f);
  EXPECT_EQ(m->args[1].c[2], 3.0f);
  EXPECT_EQ(m->args[2].c[1], -1.0f);
  EXPECT_EQ(m->args[3].l, 0);
  ASSERT_EQ(h.objects->particles->Objects().size(), 1u);
  EXPECT_EQ(h.objects->particles->Objects()[0]->MessagesWithId(10002).size(), 1u);

  l->SetActive(true, 10);  // already on: no second effect
  EXPECT_EQ(CountMessages(h.Host(), 10002), 1u);

  // Without an effect name, or without a "Particles" object, nothing is sent.
  l->SetActive(false, 0);
  l->SetEffect(nullptr);
  l->SetActive(true, 0);
  EXPECT_EQ(CountMessages(h.Host(), 10002), 1u);
  l->SetActive(false, 0);
  l->SetEffect("sparks");
  h.Host().DestroyObject(particles);
  l->SetActive(true, 0);
  EXPECT_EQ(CountMessages(h.Host(), 10002), 1u);
}

TEST(Light, LoadModelCreatesTheModelThroughTheGeometryContext) {
  LightHost h;
  CLight* l = h.Light("lamp", kLightPoint);
  ASSERT_TRUE(l->LoadModel("models\\lamp.x", "models\\tex", "swing"));
  host::ModelObject* model = h.objects->models->Last();
  ASSERT_NE(model, nullptr);
  EXPECT_EQ(model->ModelName(), "models\\lamp.x");
  EXPECT_EQ(model->AnimationName(), "swing");
  const host::RecordedMessage* load = FindMessage(h.Host(), 20500);
  ASSERT_NE(load, nullptr);
  EXPECT_EQ(load->signature, "lss");
  ASSERT_EQ(load->args.size(), 2u);
  EXPECT_EQ(load->args[1].s, "");
  EXPECT_FALSE(load->args[1].null);
  const host::RecordedMessage* anim = FindMessage(h.Host(), 20501);
  ASSERT_NE(anim, nullptr);
  EXPECT_EQ(anim->signature, "ls");

  const auto& geometry = h.objects->geometry.Calls();
  ASSERT_EQ(geometry.size(), 2u);
  EXPECT_EQ(geometry[0].text, "models\\tex");  // before the model is made...
  EXPECT_EQ(geometry[0].pointer, nullptr);
  EXPECT_EQ(geometry[1].text, "");             // ...and reset after
  EXPECT_EQ(*l->GetModelHandle(), model->handle);
  const char *name = nullptr, *texture = nullptr, *animation = nullptr;
  l->GetModelNames(&name, &texture, &animation);
  EXPECT_STREQ(name, "models\\lamp.x");
  EXPECT_STREQ(texture, "models\\tex");
  EXPECT_STREQ(animation, "swing");

  // A second model replaces the first.
  ASSERT_TRUE(l->LoadModel("models\\bulb.x", nullptr, nullptr));
  ASSERT_EQ(h.objects->models->Objects().size(), 1u);
  host::ModelObject* bulb = h.objects->models->Last();
  EXPECT_EQ(bulb->ModelName(), "models\\bulb.x");
  // A texture and an animation not given keep the ones named before.
  l->GetModelNames(&name, &texture, &animation);
  EXPECT_STREQ(texture, "models\\tex");
  EXPECT_STREQ(animation, "swing");
  EXPECT_EQ(bulb->AnimationName(), "");  // but the new model is not told to play it

  // A model the host cannot make leaves the old one in place and drawn; the names are those
  // asked for, the animation the one before.
  h.objects->models->FailCreations(1);
  EXPECT_FALSE(l->LoadModel("models\\broken.x", "t", "a"));
  EXPECT_EQ(*l->GetModelHandle(), bulb->handle);
  l->GetModelNames(&name, &texture, &animation);
  EXPECT_STREQ(name, "models\\broken.x");
  EXPECT_STREQ(texture, "t");
  EXPECT_STREQ(animation, "swing");
  l->SetActive(true, 0);
  l->Render(nullptr);
  EXPECT_EQ(bulb->Draws().size(), 1u);

  // No name: the model goes.
  EXPECT_TRUE(l->LoadModel(nullptr, nullptr, nullptr));
  EXPECT_TRUE(h.objects->models->Objects().empty());
  EXPECT_TRUE(l->GetModelHandle()->IsZero());
  l->GetModelNames(&name, &texture, &animation);
  EXPECT_STREQ(name, "");
}

TEST(Light, ModelLightTintsItsModelThroughTheRenderHook) {
  LightHost h;
  CLight* l = h.Light("neon", kLightModel);
  l->AddColorKeyARGB(0, 0xFF3366CCu);
  ASSERT_TRUE(l->LoadModel("models\\neon.x", nullptr, nullptr));
  host::ModelObject* model = h.objects->models->Last();
  l->SetActive(true, 0);
  h.sys->Update(16);
  h.sys->Render(nullptr);
  ASSERT_EQ(model->Draws().size(), 1u);
  const host::ModelDraw& d = model->Draws()[0];
  EXPECT_TRUE(d.hookCalled);
  EXPECT_EQ(d.textureFactor, 0xFF3366CCu);
  EXPECT_EQ(d.stage0ColorArg1, static_cast<DWORD>(D3DTA_TFACTOR));
  EXPECT_EQ(d.stage0ColorOp, static_cast<DWORD>(D3DTOP_SELECTARG1));
  EXPECT_EQ(d.zWrite, 0u);
  EXPECT_EQ(d.destBlend, static_cast<DWORD>(D3DBLEND_ONE));
  EXPECT_EQ(d.fog, 0u);
  EXPECT_EQ(d.lighting, 0u);
  EXPECT_EQ(h.renderer.GetRenderState(D3DRS_ZWRITEENABLE), 1u);
  EXPECT_EQ(h.renderer.GetRenderState(D3DRS_DESTBLEND), static_cast<DWORD>(D3DBLEND_INVSRCALPHA));

  // Other types place the model at the light's world matrix and draw it without a hook.
  CLight* p = h.Light("lamp", kLightPoint);
  ASSERT_TRUE(p->LoadModel("models\\lamp.x", nullptr, nullptr));
  host::ModelObject* lamp = h.objects->models->Last();
  D3DXMATRIX w;
  D3DXMatrixTranslation(&w, 7, 8, 9);
  p->SetWorldMatrix(&w);
  p->SetActive(true, 0);
  p->Render(nullptr);
  ASSERT_EQ(lamp->Draws().size(), 1u);
  EXPECT_FALSE(lamp->Draws()[0].hookCalled);
  EXPECT_EQ(lamp->Draws()[0].transform._42, 8.0f);

  // A model without a geometry record is still drawn, untinted.
  model->SetNoGeometry(true);
  model->Geometry() = HostModelGeometry{};
  h.sys->Render(nullptr);
  ASSERT_EQ(model->Draws().size(), 2u);
  EXPECT_FALSE(model->Draws()[1].hookCalled);
}

TEST(Light, MissingModelAnimationAndControllerAreSkipped) {
  LightHost h;
  CLight* l = h.Light("l", kLightPoint);
  ASSERT_TRUE(l->LoadModel("models\\lamp.x", nullptr, nullptr));
  host::ModelObject* model = h.objects->models->Last();
  model->Animation().SetNoController(true);
  l->SetActive(true, 0);
  l->SetActive(false, 0);
  model->SetNoAnimation(true);
  l->SetActive(true, 0);
  l->SetActive(false, 0);
  EXPECT_TRUE(model->Animation().Controller().Calls().empty());
}

TEST(Light, DirectionAnimationIsLoadedSetUpPlayedAndDrivesTheDirection) {
  LightHost h;
  CLight* l = h.Light("follow", kLightSpot);
  l->SetActive(true, 0);
  EXPECT_FALSE(l->SetDirectionAnimation("anims\\pan.ani", nullptr));
  EXPECT_FALSE(l->SetDirectionAnimation("anims\\pan.ani", ""));
  ASSERT_TRUE(l->SetDirectionAnimation("anims\\pan.ani", "sweep"));
  host::RecordingAnimation* a = h.objects->animation.Last();
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->Name(), "anims\\pan.ani");
  EXPECT_EQ(a->Ops(), (std::vector<std::string>{"GetCounter", "SetCounter", "SetOwner", "SetSwitchA", "SetSwitchB",
                                                "GetController"}));
  EXPECT_EQ(a->Counter(), 1);
  EXPECT_EQ(a->Owner(), static_cast<void*>(l));
  EXPECT_EQ(a->Calls()[3].numbers[0], 0.0);
  EXPECT_EQ(a->Calls()[4].numbers[0], 1.0);
  // Active: played at once.
  EXPECT_EQ(a->Controller().Ops(), (std::vector<std::string>{"Select", "SetLooping", "SetSpeed", "Start"}));
  EXPECT_EQ(a->Controller().Calls()[0].text, "sweep");
  const char *controller = nullptr, *name = nullptr;
  EXPECT_EQ(l->GetDirectionAnimation(&controller, &name), a);
  EXPECT_STREQ(controller, "anims\\pan.ani");
  EXPECT_STREQ(name, "sweep");

  // The animated matrix, through the socket frame, turns the light.
  D3DXMATRIX t;
  D3DXMatrixIdentity(&t);
  t._11 = 0; t._12 = 0; t._13 = 1;  // row 0: +z
  t._21 = 0; t._22 = 1; t._23 = 0;
  t._31 = -1; t._32 = 0; t._33 = 0;
  t._41 = 1; t._42 = 2; t._43 = 3;
  a->SetBoundMatrix(t);
  h.sys->Update(16);
  EXPECT_FLOAT_EQ(l->GetDirection()->z, -1.0f);
  const D3DXMATRIX* w = l->GetWorldMatrix();
  EXPECT_FLOAT_EQ(w->_11, -1.0f);  // row 0 = row 2 of the animated frame
  EXPECT_FLOAT_EQ(w->_33, -1.0f);  // row 2 = -(row 0)
  EXPECT_FLOAT_EQ(w->_42, 2.0f);

  // The same controller only changes the track.
  ASSERT_TRUE(l->SetDirectionAnimation("anims\\pan.ani", "tilt"));
  EXPECT_EQ(h.objects->animation.Loads().size(), 1u);
  EXPECT_EQ(a->Controller().Calls().back().op, "Start");
  EXPECT_EQ(a->Controller().Calls()[4].text, "tilt");

  // Switching off stops it.
  l->SetActive(false, 0);
  EXPECT_EQ(a->Controller().Calls().back().op, "Stop");

  // A failed load releases the held animation and forgets it.
  h.objects->animation.FailLoads(1);
  EXPECT_FALSE(l->SetDirectionAnimation("anims\\gone.ani", "x"));
  EXPECT_EQ(a->Releases(), 1);
  EXPECT_EQ(l->GetDirectionAnimation(&controller, &name), nullptr);
  EXPECT_STREQ(controller, "");
  EXPECT_STREQ(name, "");
  h.sys->Update(16);  // nothing left to read from

  // A new one, then an empty controller releases it.
  ASSERT_TRUE(l->SetDirectionAnimation("anims\\b.ani", "x"));
  host::RecordingAnimation* b = h.objects->animation.Last();
  EXPECT_TRUE(b->Controller().Calls().empty());  // the light is off: not played yet
  l->SetActive(true, 0);
  EXPECT_EQ(b->Controller().Calls()[0].text, "x");
  b->SetNoBoundMatrix(true);
  const D3DXVECTOR3 before = *l->GetDirection();
  h.sys->Update(16);
  EXPECT_EQ(l->GetDirection()->z, before.z);
  EXPECT_TRUE(l->SetDirectionAnimation("", "x"));
  EXPECT_EQ(b->Releases(), 1);
  EXPECT_EQ(l->GetDirectionAnimation(nullptr, nullptr), nullptr);

  // Without the service nothing is loaded.
  h.Host().AddService("AnimationServiceImp", nullptr);
  EXPECT_FALSE(l->SetDirectionAnimation("anims\\c.ani", "x"));
}

TEST(Light, DeletingALightReleasesItsDirectionAnimation) {
  LightHost h;
  CLight* l = h.Light("l", kLightPoint);
  ASSERT_TRUE(l->SetDirectionAnimation("anims\\a.ani", "x"));
  host::RecordingAnimation* a = h.objects->animation.Last();
  h.sys->DeleteLight("l");
  EXPECT_EQ(a->Releases(), 1);
}

TEST(Light, SocketWithoutASceneLeavesTheIdentityFrame) {
  LightHost h;  // the lighting system was set up without a scene
  CLight* l = h.Light("l", kLightPoint);
  const D3DXVECTOR3 p(5, 5, 5), d(1, 0, 0);
  l->SetPosition(&p);
  l->SetDirection(&d);
  l->SetSocket("socket_a");
  EXPECT_STREQ(l->GetSocket(), "socket_a");
  EXPECT_EQ(l->GetPosition()->x, 0.0f);
  EXPECT_EQ(l->GetDirection()->y, 1.0f);
  EXPECT_EQ(l->GetDirection()->x, 0.0f);
  ASSERT_TRUE(l->LoadModel("models\\lamp.x", nullptr, nullptr));
  EXPECT_EQ(h.objects->models->Last()->transform._11, 1.0f);
  l->SetSocket(nullptr);
  EXPECT_STREQ(l->GetSocket(), "");
}

// ---- Billboard -----------------------------------------------------------------------------

TEST(Light, BillboardIsACameraFacingQuadInTheLockedBuffer) {
  LightHost h;
  CLight* l = h.Light("glow", kLightBillboard);
  l->SetBillboard("fx\\glow.tga", 0.005f, 2.0f, 1.0f);
  ASSERT_GE(l->billboardTexture, 0);
  const D3DXVECTOR3 p(1, 2, 3);
  l->SetPosition(&p);
  l->AddColorKeyARGB(0, 0x80FF0000u);
  D3DXMATRIX view;
  D3DXMatrixTranslation(&view, 10, 0, 0);
  h.renderer.SetTransform(D3DTS_VIEW, &view);
  l->SetActive(true, 0);
  h.sys->Update(100);  // phase 100 x 0.005 = 0.5
  h.renderer.ClearRecords();
  const D3DXVECTOR3 zero(0, 0, 0);
  h.sys->Render(&zero);
  ASSERT_EQ(h.renderer.Draws().size(), 1u);
  const host::DrawRecord& d = h.renderer.Draws()[0];
  EXPECT_TRUE(d.error.empty()) << d.error;
  EXPECT_EQ(d.slot, 55);
  EXPECT_EQ(d.primitiveType, static_cast<DWORD>(D3DPT_TRIANGLESTRIP));
  EXPECT_EQ(d.primitiveCount, 2u);
  EXPECT_EQ(d.stride, 24u);
  EXPECT_EQ(d.fvf, 0x142u);
  EXPECT_EQ(d.effect, -1);
  ASSERT_EQ(d.vertexCount, 4u);
  const UINT v0 = d.minIndex;
  const float s = 2.5f;  // raw size + phase; centre (11, 2, 3) in view space
  const float expect[4][5] = {{11 - s, 2 + s, 3, 0, 1}, {11 - s, 2 - s, 3, 0, 0}, {11 + s, 2 + s, 3, 1, 1}, {11 + s, 2 - s, 3, 1, 0}};
  for (UINT i = 0; i < 4; ++i) {
    EXPECT_FLOAT_EQ(d.VertexFloat(v0 + i, 0), expect[i][0]) << i;
    EXPECT_FLOAT_EQ(d.VertexFloat(v0 + i, 4), expect[i][1]) << i;
    EXPECT_FLOAT_EQ(d.VertexFloat(v0 + i, 8), expect[i][2]) << i;
    EXPECT_EQ(d.VertexDword(v0 + i, 12), 0x80FF0000u) << i;
    EXPECT_EQ(d.VertexFloat(v0 + i, 16), expect[i][3]) << i;
    EXPECT_EQ(d.VertexFloat(v0 + i, 20), expect[i][4]) << i;
  }
  EXPECT_EQ(d.state->textureHandle[0], l->billboardTexture);
  EXPECT_EQ(d.state->view._41, 0.0f);  // drawn in view space
  EXPECT_EQ(d.state->RenderState(D3DRS_FOGENABLE), 0u);
  EXPECT_EQ(d.state->RenderState(D3DRS_LIGHTING), 0u);
  EXPECT_EQ(d.state->RenderState(D3DRS_CULLMODE), static_cast<DWORD>(D3DCULL_NONE));
  EXPECT_EQ(d.state->RenderState(D3DRS_DESTBLEND), static_cast<DWORD>(D3DBLEND_ONE));
  EXPECT_EQ(d.state->RenderState(D3DRS_ZWRITEENABLE), 0u);
  EXPECT_EQ(d.state->StageState(0, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_MODULATE));
  EXPECT_EQ(d.state->StageState(0, D3DTSS_ALPHAARG2), static_cast<DWORD>(D3DTA_TEXTURE));
  EXPECT_EQ(d.state->StageState(1, D3DTSS_COLOROP), static_cast<DWORD>(D3DTOP_DISABLE));
  // Restored afterwards.
  EXPECT_EQ(h.renderer.GetRenderState(D3DRS_CULLMODE), static_cast<DWORD>(D3DCULL_CCW));
  EXPECT_EQ(h.renderer.GetRenderState(D3DRS_ZWRITEENABLE), 1u);
  EXPECT_EQ(h.renderer.GetRenderState(D3DRS_DESTBLEND), static_cast<DWORD>(D3DBLEND_INVSRCALPHA));
  D3DMATRIX restored;
  h.renderer.GetTransform(D3DTS_VIEW, &restored);
  EXPECT_EQ(restored._41, 10.0f);

  // The phase wraps at the magnitude: another 300 ms gives 0.5 + 1.5 = 2.0 -> 0.
  l->SetAlwaysUpdate(true);
  h.sys->Update(300);
  EXPECT_NEAR(l->phase, 0.0f, 1e-6f);
  // An inactive light draws nothing.
  l->SetActive(false, 0);
  h.renderer.ClearRecords();
  h.sys->Render(&zero);
  EXPECT_TRUE(h.renderer.Draws().empty());
}

TEST(Light, BillboardOfSizeZeroAndAFailedLock) {
  LightHost h;
  CLight* l = h.Light("glow", kLightBillboard);
  l->SetActive(true, 0);
  l->SetAlwaysUpdate(true);
  h.sys->Update(100);  // no billboard set: magnitude 0, the phase stays
  EXPECT_EQ(l->phase, 0.0f);
  h.renderer.ClearRecords();
  l->Render(nullptr);
  ASSERT_EQ(h.renderer.Draws().size(), 1u);
  for (UINT i = 0; i < 4; ++i) EXPECT_FALSE(std::isnan(h.renderer.Draws()[0].VertexFloat(h.renderer.Draws()[0].minIndex + i, 0)));

  // No vertex memory: no billboard, and nothing unlocked that was never locked.
  h.renderer.ClearRecords();
  h.renderer.FailCall(host::RendererCall::LockDynamicVertices);
  l->Render(nullptr);
  EXPECT_TRUE(h.renderer.Draws().empty());
  EXPECT_EQ(h.RendererWarnings("not locked"), 0u);
  EXPECT_EQ(h.renderer.GetRenderState(D3DRS_ZWRITEENABLE), 1u);
}

TEST(Light, SetBillboardWithTheHeldNameChangesNothing) {
  LightHost h;
  CLight* l = h.Light("glow", kLightBillboard);
  l->SetBillboard("fx\\glow.tga", 1.0f, 2.0f, 3.0f);
  const int texture = l->billboardTexture;
  const size_t loads = h.renderer.TextureLoads();
  l->SetBillboard("fx\\glow.tga", 9.0f, 9.0f, 9.0f);
  l->SetBillboard("", 9.0f, 9.0f, 9.0f);
  l->SetBillboard(nullptr, 9.0f, 9.0f, 9.0f);
  float speed = 0, raw = 0, mag = 0;
  EXPECT_STREQ(l->GetBillboard(&speed, &raw, &mag), "fx\\glow.tga");
  EXPECT_EQ(speed, 1.0f);
  EXPECT_EQ(raw, 2.0f);
  EXPECT_EQ(mag, 3.0f);
  EXPECT_EQ(l->billboardTexture, texture);
  EXPECT_EQ(h.renderer.TextureLoads(), loads);
  // Another name replaces the texture.
  l->SetBillboard("fx\\star.tga", 4.0f, 5.0f, 6.0f);
  EXPECT_NE(l->billboardTexture, texture);
  EXPECT_EQ(h.renderer.LiveTextures(), 1u);
}

// ---- Textures, hull and release ---------------------------------------------------------------

TEST(Light, SpotAndHullTexturesFollowTheirNames) {
  LightHost h;
  CLight* l = h.Light("l", kLightSpot);
  EXPECT_TRUE(l->SetSpotAndHull("fx\\spot.tga", "fx\\hull.tga"));
  EXPECT_GE(l->GetSpotTexture(), 0);
  EXPECT_GE(l->hullTexture, 0);
  EXPECT_EQ(h.renderer.LiveTextures(), 2u);
  const int hull = l->hullTexture;
  // A null name leaves that side's texture alone but names it ""; an empty one releases it.
  l->SetSpotAndHull("", nullptr);
  EXPECT_EQ(l->GetSpotTexture(), -1);
  EXPECT_EQ(l->hullTexture, hull);
  const char *spot = nullptr, *hullName = nullptr;
  l->GetSpotAndHull(&spot, &hullName);
  EXPECT_STREQ(spot, "");
  EXPECT_STREQ(hullName, "");
  EXPECT_EQ(h.renderer.LiveTextures(), 1u);
}

TEST(Light, HullFollowsRangeAndPhiAndIsDrawnWithTheLightColour) {
  LightHost h;
  CLight* l = h.Light("beam", kLightSpot);
  EXPECT_TRUE(l->CreateHull(kHullFan, 4, 0.2f, nullptr));
  int32_t type = 0, segments = 0;
  float start = 0;
  const char* distortion = nullptr;
  l->GetHullParams(&type, &segments, &start, &distortion);
  EXPECT_EQ(type, kHullFan);
  EXPECT_EQ(segments, 4);
  EXPECT_FLOAT_EQ(start, 0.2f);
  EXPECT_STREQ(distortion, "");
  l->SetPhi(3.14159265f / 2);
  l->SetRange(10.0f);
  l->AddColorKeyARGB(0, 0xFF00FF00u);
  l->SetActive(true, 0);
  h.sys->Update(16);
  h.renderer.ClearRecords();
  const D3DXVECTOR3 viewer(1, 1, 1);
  l->Render(&viewer);
  ASSERT_EQ(h.renderer.Draws().size(), 1u);
  const host::DrawRecord& d = h.renderer.Draws()[0];
  EXPECT_EQ(d.primitiveType, static_cast<DWORD>(D3DPT_TRIANGLEFAN));
  EXPECT_NEAR(d.VertexFloat(d.minIndex + 1, 0), 10.0f, 1e-4f);  // end radius 10 x tan(pi/4)
  EXPECT_NEAR(d.VertexFloat(d.minIndex + 1, 8), 10.0f, 1e-4f);
  EXPECT_EQ(d.state->RenderState(D3DRS_TEXTUREFACTOR), 0xFF00FF00u);
  EXPECT_EQ(l->hull->viewer.x, 1.0f);

  // Range 20 doubles the length and the radius.
  l->SetRange(20.0f);
  h.sys->Update(16);
  h.renderer.ClearRecords();
  l->Render(&viewer);
  ASSERT_EQ(h.renderer.Draws().size(), 1u);
  EXPECT_NEAR(h.renderer.Draws()[0].VertexFloat(h.renderer.Draws()[0].minIndex + 1, 0), 20.0f, 1e-4f);

  // A new hull replaces the old one; without a hull the parameters read zero.
  EXPECT_TRUE(l->CreateHull(kHullCrossedPlanes, 3, 0.5f, "fx\\smoke.tga"));
  l->GetHullParams(&type, &segments, &start, &distortion);
  EXPECT_EQ(type, kHullCrossedPlanes);
  EXPECT_STREQ(distortion, "fx\\smoke.tga");
  CLight* bare = h.Light("bare", kLightSpot);
  bare->GetHullParams(&type, &segments, &start, &distortion);
  EXPECT_EQ(type, 0);
  EXPECT_EQ(segments, 0);
  EXPECT_EQ(start, 0.0f);
}

TEST(Light, DestructionReleasesTexturesModelHullAndBlocks) {
  LightHost h;
  CLight* l = h.Light("all", kLightBillboard);
  l->SetBillboard("fx\\glow.tga", 1.0f, 1.0f, 1.0f);
  l->SetSpotAndHull("fx\\spot.tga", "fx\\hull.tga");
  l->CreateHull(kHullCrossedPlanes, 3, 0.2f, "fx\\smoke.tga");
  ASSERT_TRUE(l->LoadModel("models\\lamp.x", nullptr, nullptr));
  EXPECT_EQ(h.renderer.LiveTextures(), 4u);
  h.sys->DeleteLight("all");
  EXPECT_EQ(h.renderer.LiveTextures(), 0u);
  EXPECT_TRUE(h.objects->models->Objects().empty());
  EXPECT_EQ(h.RendererWarnings("unknown texture"), 0u);
  // The remaining blocks are checked when the host goes.
}

TEST(Light, NewArrayMakesCountedBlocksOfDefaultLights) {
  LightHost h;
  CLight* lights = CLight::NewArray(3);
  ASSERT_NE(lights, nullptr);
  EXPECT_EQ(HostBlockCount(lights), 3u);
  EXPECT_EQ(lights[2].GetRange(), 15.0f);
  EXPECT_EQ(lights[2].GetColorARGB(), 0xFFFFFFFFu);
  EXPECT_EQ(lights[1].GetPositionInterpolation(), kInterpolateSpline);
  EXPECT_EQ(lights[1].GetPhiWrap(), kWrapLoop);
  EXPECT_EQ(lights[0].GetWorldMatrix()->_44, 1.0f);
  EXPECT_STREQ(lights[0].GetName(), "");
  // Without an owner nothing is drawn and nothing is counted.
  lights[0].SetType(kLightSpot);
  lights[0].SetActive(true, 0);
  lights[0].Update(10);
  lights[0].Render(nullptr);
  lights[0].SetActive(false, 0);
  CLight::DeleteArray(lights);
  CLight::DeleteArray(nullptr);
}

TEST(Light, ARateWithoutANumberHoldsTheClockAndAHugeOneStopsAtTheRangeEnd) {
  LightHost h;
  CLight* l = h.Light("l", kLightPoint);
  l->AddRangeKey(0, 1.0f);
  l->AddRangeKey(1000, 2.0f);
  l->SetActive(true, 40);
  h.sys->Update(16);  // the first tick after switching on keeps the start time
  l->SetRate(std::nanf(""));
  h.sys->Update(16);
  EXPECT_EQ(l->timeMs, 40);
  l->SetRate(1e30f);
  h.sys->Update(16);
  EXPECT_EQ(l->timeMs, INT32_MAX);
  l->SetRate(-std::numeric_limits<float>::infinity());
  h.sys->Update(16);
  EXPECT_EQ(l->timeMs, INT32_MIN);
  EXPECT_TRUE(std::isfinite(l->GetRange()));
}

}  // namespace
