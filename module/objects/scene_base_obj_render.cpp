// What a scene object draws around its model (path line, bounding box, after-images, title,
// highlight, shine) and its screen-space and pick answers. The model itself is the renderable's
// to draw; the object hands it the frame's elapsed milliseconds.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "frame/host_services.h"
#include "frame/module_globals.h"
#include "frame/renderer.h"
#include "objects/scene_base_obj.h"
#include "scene/scene_system.h"
#include "win32/win32.h"

float g_shineSpinAngle = 0.0f;

namespace {

constexpr DWORD kPathFvf = 0x42;  // position + diffuse
constexpr UINT kPathStride = 16;
constexpr DWORD kWorldTransform = 0x100;
constexpr DWORD kTextureFactor = 60;
constexpr int32_t kUnlimitedMs = 99999999;
constexpr int32_t kAfterImageSlots = 16;
constexpr float kPickMargin = 0.3f;

// The highlight table: the part each mode shows and the alpha it sets. Even modes are plain,
// odd modes their highlighted twin.
constexpr const char* kHighlightNames[] = {"normal", "shine", "wireframe", "wireframehighlight", "build",
                                           "buildhighlight"};
constexpr float kHighlightAlpha[] = {1.0f, 1.0f, 0.2f, 0.4f, 0.5f, 0.7f};
constexpr int32_t kHighlightCount = 6;

D3DXMATRIX Identity() {
  D3DXMATRIX m;
  D3DXMatrixIdentity(&m);
  return m;
}

// The box minimum, maximum and the third vector the renderable hands back with 400011.
struct RenderableBounds {
  D3DXVECTOR3 minimum{0.0f, 0.0f, 0.0f};
  D3DXVECTOR3 maximum{0.0f, 0.0f, 0.0f};
  D3DXVECTOR3 extra{0.0f, 0.0f, 0.0f};
  D3DXVECTOR3 Centre() const { return (minimum + maximum) * 0.5f; }
};

RenderableBounds QueryBounds(const ComponentHandle& renderable) {
  RenderableBounds b;
  if (g_pHost != nullptr) {
    g_pHost->SendMessage(renderable, "lppp", kObjMsgGetBounds, static_cast<void*>(&b.minimum),
                         static_cast<void*>(&b.maximum), static_cast<void*>(&b.extra));
  }
  return b;
}

bool IsScreenCoordinate(float v) { return v >= 0.0f && v < static_cast<float>(INT_MAX); }

}  // namespace

// Copies and captures only make sense while the buffers were made for the skeleton now in the
// model; a reload to a bigger skeleton would otherwise read or write past them.
bool CSceneBaseObj::AfterImageBuffersFit(IRenderableSkeleton* skeleton) const {
  if (skeleton == nullptr || bytesPerBuffer <= 0) return false;
  for (void* buffer : boneBuffers) {
    if (buffer == nullptr) return false;
  }
  IRenderableBoneSet* bones = skeleton->GetBoneSet();
  return bones != nullptr && static_cast<uint64_t>(bones->GetCount()) * 64u == static_cast<uint64_t>(bytesPerBuffer);
}

void CSceneBaseObj::Render(uint32_t elapsedMs) {
  if (!shown) return;

  if (captureTimer > 0) {
    captureCountdown -= static_cast<int32_t>(elapsedMs);
    if (captureCountdown < 1) {
      IRenderableNode* root = FindRootNode(&rootNodeHandle);
      IRenderableSkeleton* skeleton = root != nullptr ? root->GetSkeleton() : nullptr;
      const D3DMATRIX* bones = AfterImageBuffersFit(skeleton) ? skeleton->GetBoneMatrices() : nullptr;
      if (bones != nullptr && ringCount >= 1 && ringCount <= kAfterImageSlots) {
        const int32_t i = ringIndex % ringCount;
        afterImageAlpha[i] = startAlpha;
        afterImageWorld[i] = *root->GetLocalMatrix();
        std::memcpy(boneBuffers[i], bones, static_cast<size_t>(bytesPerBuffer));
        ringIndex = (i + 1) % ringCount;
        storedCount = std::min(storedCount + 1, ringCount);
      }
      captureCountdown = captureInterval;
    }
  }

  if (!path.waypoints.empty() && renderer != nullptr) {
    const UINT count = static_cast<UINT>(path.waypoints.size());
    int buffer = -1;
    UINT first = 0;
    auto* vertices = static_cast<uint8_t*>(renderer->LockDynamicVertices(kPathFvf, kPathStride, count, &buffer, &first));
    // Without room in the dynamic buffer there is no line to draw, and no state is left changed.
    if (vertices != nullptr) {
      for (const NavWaypoint& waypoint : path.waypoints) {
        const float xyz[3] = {waypoint.point.x, waypoint.point.y, waypoint.point.z};
        const uint32_t colour = 0xFFFFFFFFu;
        std::memcpy(vertices, xyz, sizeof(xyz));
        std::memcpy(vertices + 12, &colour, sizeof(colour));
        vertices += kPathStride;
      }
      renderer->UnlockDynamicVertices(buffer);
      const D3DXMATRIX identity = Identity();
      renderer->SetTransform(kWorldTransform, &identity);
      renderer->SetRenderState(47, 1);
      renderer->SetRenderState(27, 0);
      renderer->SetRenderState(15, 0);
      renderer->SetTextureStageState(0, 2, 0);
      renderer->SetTextureStageState(0, 1, 2);
      renderer->SetTextureStageState(1, 1, 1);
      renderer->SetTextureStageState(0, 4, 1);
      renderer->DrawPrimitive(D3DPT_LINESTRIP, buffer, kPathStride, first, count - 1, -1, 0);
      renderer->SetRenderState(27, 1);
      renderer->SetRenderState(15, 1);
      renderer->SetRenderState(47, 0);
    }
  }

  if (boundingBoxShown) DrawBoundingBox();

  if (IRenderableObject* model = ResolveRenderable(renderableHandle)) model->Draw(elapsedMs);
}

void CSceneBaseObj::DrawBoundingBox() {
  const RenderableBounds b = QueryBounds(renderableHandle);
  IRenderableNode* root = FindRootNode(&rootNodeHandle);
  if (root == nullptr || renderer == nullptr) return;
  const D3DXVECTOR3& lo = b.minimum;
  const D3DXVECTOR3& hi = b.maximum;
  const D3DXVECTOR3 corners[8] = {{lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, lo.y, hi.z}, {lo.x, lo.y, hi.z},
                                  {lo.x, hi.y, lo.z}, {hi.x, hi.y, lo.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z}};
  for (int i = 0; i < 8; ++i) boxVertices[i] = SceneBoxVertex{corners[i], 0xFFFFFFFFu};
  renderer->SetTransform(kWorldTransform, root->GetWorldMatrix());
  renderer->SetVertexShader(kPathFvf);
  renderer->DrawIndexedPrimitiveUP(D3DPT_LINELIST, 0, 8, 12, boxEdges, D3DFMT_INDEX16, boxVertices,
                                   sizeof(SceneBoxVertex), wireframeEffect, 0);
}

void CSceneBaseObj::RenderAfterImages(uint32_t elapsedMs) {
  if (!shown) return;
  const int32_t objectTag = GetTag();
  if (!((objectTag == 0 || objectTag == 1) && objectId != -1)) UpdateNamePlate();

  if (IRenderableObject* model = ResolveRenderable(renderableHandle)) model->DrawBlend(elapsedMs);

  if (captureTimer <= 0 || storedCount <= 0) return;
  IRenderableNode* root = FindRootNode(&rootNodeHandle);
  IRenderableSkeleton* skeleton = root != nullptr ? root->GetSkeleton() : nullptr;
  if (!AfterImageBuffersFit(skeleton) || renderer == nullptr) return;
  D3DMATRIX* local = root->GetLocalMatrix();
  const D3DMATRIX kept = *local;
  // The copies borrow the node and the skeleton; both are given back whole below, so the model
  // is drawn, picked and followed from its own place and pose.
  const auto* current = reinterpret_cast<const unsigned char*>(skeleton->GetBoneMatrices());
  if (current == nullptr) return;
  const std::vector<unsigned char> ownBones(current, current + bytesPerBuffer);
  IRenderableInterface* model = QueryInterface(renderableHandle);
  if (model != nullptr) model->Slot32(0);
  const int32_t stored = std::min(storedCount, kAfterImageSlots);
  for (int32_t i = 0; i < stored; ++i) {
    afterImageAlpha[i] -= static_cast<float>(elapsedMs) * fadeRate;
    // A faded copy stays in the ring, skipped, until a capture writes over it.
    if (!(afterImageAlpha[i] > 0.0f)) continue;
    skeleton->TakeBuffer(boneBuffers[i]);
    const float byte = std::min(afterImageAlpha[i] * 255.0f, 255.0f);
    renderer->SetRenderState(kTextureFactor,
                             (static_cast<uint32_t>(static_cast<int>(byte)) << 24) | (afterImageColour & 0x00FFFFFFu));
    *local = afterImageWorld[i];
    root->Update();
    if (model != nullptr) model->DrawCopy(0, afterImageEffect);
  }
  skeleton->TakeBuffer(ownBones.data());
  *local = kept;
  root->Update();
}

void CSceneBaseObj::RenderPass3(uint32_t) {}

void CSceneBaseObj::ApplyAfterImageSettings(IAnimation* animation, int32_t controller, const char* const tokens[5]) {
  if (tokens == nullptr) return;
  for (int32_t i = 0; i < 5; ++i) {
    if (tokens[i] == nullptr) return;
  }
  // The ring has sixteen entries and the interval divides the fade: both are kept in range.
  captureInterval = static_cast<int32_t>(std::clamp<long>(std::atol(tokens[0]), 1, INT32_MAX));
  ringCount = static_cast<int32_t>(std::clamp<long>(std::atol(tokens[1]), 1, kAfterImageSlots));
  startAlpha = static_cast<float>(std::atof(tokens[2]));
  // The product of a long interval and the ring count passes the 32-bit range.
  fadeRate = static_cast<float>(static_cast<double>(startAlpha) /
                                (static_cast<double>(captureInterval) * static_cast<double>(ringCount)));

  long duration = 0;
  const char* percent = std::strchr(tokens[3], '%');
  if (percent != nullptr) {
    const std::string share(tokens[3], percent);
    IAnimationController* playing = animation != nullptr ? animation->GetController(controller) : nullptr;
    if (playing != nullptr) {
      const double pace = static_cast<double>(playing->GetSpeed(0)) * animation->GetTimeScale();
      const double ms = playing->GetLength() / pace * std::atof(share.c_str()) * 10.0;
      // A stopped or broken pace has no length to take a share of: the run lasts as the animation.
      if (pace != 0.0 && std::isfinite(pace) && std::isfinite(ms) && ms > 0.0 && ms < INT32_MAX) {
        duration = static_cast<long>(ms);
      }
    }
  } else {
    duration = std::atol(tokens[3]);
  }
  captureTimer = static_cast<int32_t>(std::clamp<long>(duration, INT32_MIN, INT32_MAX));
  unlimited = 0;
  if (captureTimer <= 0) {
    captureTimer = kUnlimitedMs;
    unlimited = 1;
  }
  ringIndex = 0;
  storedCount = 0;
  captureCountdown = 0;
  afterImageColour = static_cast<uint32_t>(std::atol(tokens[4]));
}

void CSceneBaseObj::SetHighlight(bool on) {
  IRenderableInterface* model = QueryInterface(renderableHandle);
  if (model == nullptr) return;
  const int32_t before = highlightMode;
  if (before < 0 || before >= kHighlightCount) return;
  int32_t after = before;
  if (on && before % 2 == 0) after = before + 1;
  if (!on && before % 2 == 1) after = before - 1;
  if (after == before) return;
  highlightMode = after;
  if (g_pHost != nullptr) {
    g_pHost->Log("highLight : %d %s -> %s", objectId, kHighlightNames[before], kHighlightNames[after]);
  }
  if (IRenderablePart* part = model->FindPart(kHighlightNames[before])) {
    model->SwitchPart(part, 22, 0);
    if (g_pHost != nullptr) g_pHost->Log("highLight : %d hide %s", objectId, kHighlightNames[before]);
  }
  IRenderablePart* shownPart = model->FindPart(kHighlightNames[after]);
  if (shownPart == nullptr) return;
  if (g_pHost != nullptr) g_pHost->Log("highLight : %d show %s", objectId, kHighlightNames[after]);
  model->SetAlpha(kHighlightAlpha[after]);
  model->SwitchPart(shownPart, 22, 1);
}

void CSceneBaseObj::SetHighlightMode(int32_t mode) {
  const int32_t before = highlightMode;
  // The last mode (the highlighted build) is reached only through SetHighlight.
  if (mode >= 0 && mode < kHighlightCount - 1) highlightMode = mode;
  IRenderableInterface* model = QueryInterface(renderableHandle);
  if (model == nullptr || before < 0 || before >= kHighlightCount) return;
  if (IRenderablePart* part = model->FindPart(kHighlightNames[before])) model->SwitchPart(part, 22, 0);
  IRenderablePart* shownPart = model->FindPart(kHighlightNames[highlightMode]);
  if (shownPart == nullptr) return;
  model->SetAlpha(kHighlightAlpha[highlightMode]);
  model->SwitchPart(shownPart, 22, 1);
}

void CSceneBaseObj::SetTitle(const wchar_t* text, int32_t font, int32_t offsetY, uint8_t convert) {
  titleText = text != nullptr ? text : L"";
  if (convert == 0) {
    displayText = titleText;
  } else {
    const UINT codePage = static_cast<UINT>(g_textCodePage);
    char narrow[257] = {};
    if (WideCharToMultiByte(codePage, 0, titleText.c_str(), -1, narrow, 256, nullptr, nullptr) <= 0) narrow[0] = '\0';
    narrow[256] = '\0';
    const char* converted = GetTextCodePage(narrow);
    wchar_t wide[257] = {};
    if (converted == nullptr || MultiByteToWideChar(codePage, 0, converted, -1, wide, 256) <= 0) wide[0] = L'\0';
    wide[256] = L'\0';
    // A title that does not survive the round trip is shown as it was given.
    displayText = wide[0] != L'\0' ? std::wstring(wide) : titleText;
  }
  titleFont = font;
  titleOffsetY = offsetY;
  if (font >= 0 && renderer != nullptr) titleHalfWidth = renderer->GetTextWidth(displayText.c_str(), font, -1, 0) / 2;
}

void CSceneBaseObj::UpdateNamePlate() {
  CSceneSystem* scene = GetCurrentSceneSystem();
  if (scene != nullptr && scene->IsInMirrorPass()) return;
  if (!titleEnabled || displayText.empty() || titleFont < 0 || renderer == nullptr) return;
  const D3DXVECTOR3 p = *GetHeadScreenPos();
  if (!(p.z >= 0.0f && p.z < 1.0f && IsScreenCoordinate(p.x) && IsScreenCoordinate(p.y)) || !IsVisible()) return;
  renderer->DrawFontText(titleFont, 0xFFFFFFFFu, static_cast<int>(p.x - static_cast<float>(titleHalfWidth)),
                         static_cast<int>(p.y - static_cast<float>(titleOffsetY)), p.z, displayText.c_str());
}

D3DXVECTOR3 CSceneBaseObj::ProjectToScreen(const D3DXVECTOR3& point) const {
  D3DXVECTOR3 out(0.0f, 0.0f, 0.0f);
  if (renderer == nullptr) return out;
  D3DVIEWPORT8 viewport{};
  D3DXMATRIX projection = Identity(), view = Identity();
  renderer->GetViewport(&viewport);
  renderer->GetTransform(D3DTS_PROJECTION, &projection);
  renderer->GetTransform(D3DTS_VIEW, &view);
  D3DXVec3Project(&out, &point, &viewport, &projection, &view, nullptr);
  return out;
}

const D3DXVECTOR3* CSceneBaseObj::GetHeadScreenPos() {
  // The head comes from GetHeadMatrix, so a point is never projected from last frame's head.
  const D3DXMATRIX& head = *GetHeadMatrix();
  headScreenPoint = ProjectToScreen(D3DXVECTOR3(head._41, modelHeight * scale + adjustH + position.y, head._43));
  headPointDirty = 0;
  return &headScreenPoint;
}

const D3DXVECTOR3* CSceneBaseObj::GetTopScreenPos() {
  topScreenPoint = ProjectToScreen(D3DXVECTOR3(position.x, modelHeight * scale + position.y, position.z));
  topPointDirty = 0;
  return &topScreenPoint;
}

const D3DXMATRIX* CSceneBaseObj::GetHeadMatrix() {
  if (!secondDirty) return &headWorldMatrix;
  IRenderableNode* root = FindRootNode(&rootNodeHandle);
  if (root == nullptr) {
    // Without a model the head is where the object stands, as its transform would place the
    // model; a fixed matrix would pile every such object's plate and lights at one point.
    D3DXMATRIX turn, place;
    D3DXMatrixRotationY(&turn, yaw);
    D3DXMatrixTranslation(&place, position.x, position.y + heightOffset, position.z);
    headWorldMatrix = turn * place;
    secondDirty = 0;
    return &headWorldMatrix;
  }
  const D3DXMATRIX local(*root->GetLocalMatrix());
  if (headBoneIndex == -1) {
    headWorldMatrix = local;
  } else {
    IRenderableSkeleton* skeleton = root->GetSkeleton();
    const D3DMATRIX* current = skeleton != nullptr ? skeleton->GetBoneMatrix(headBoneIndex) : nullptr;
    const D3DXMATRIX bone = current != nullptr ? D3DXMATRIX(*current) : Identity();
    headWorldMatrix = headBoneMatrix * bone * local;
  }
  secondDirty = 0;
  return &headWorldMatrix;
}

bool CSceneBaseObj::GetWorldMatrix(D3DXMATRIX* out) {
  IRenderableNode* root = FindRootNode(&rootNodeHandle);
  if (root == nullptr || out == nullptr) return false;
  *out = *root->GetWorldMatrix();
  return true;
}

void CSceneBaseObj::GetHeadCenter(D3DXVECTOR3* centre, uint32_t* word) {
  const RenderableBounds b = QueryBounds(renderableHandle);
  const D3DXMATRIX& head = *GetHeadMatrix();
  const D3DXVECTOR3 c = b.Centre();
  D3DXVECTOR3 turned;
  D3DXVec3TransformNormal(&turned, &c, &head);
  if (centre != nullptr) *centre = D3DXVECTOR3(turned.x + head._41, turned.y + position.y, turned.z + head._43);
  if (word != nullptr) std::memcpy(word, &b.extra.x, sizeof(uint32_t));
}

void CSceneBaseObj::GetHeadBillboard(D3DXMATRIX* out, uint32_t elapsedMs) {
  g_shineSpinAngle += static_cast<float>(elapsedMs) * 0.001f;
  if (out == nullptr) return;
  const D3DXMATRIX& head = *GetHeadMatrix();
  // Looking straight down from the head: x stays x, y becomes the old z, z points down.
  const D3DXMATRIX placed(1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, -1.0f, 0.0f, 0.0f, head._41, head._42,
                          head._43, 1.0f);
  D3DXMATRIX view, spin;
  D3DXMatrixInverse(&view, nullptr, &placed);
  D3DXMatrixRotationZ(&spin, g_shineSpinAngle);
  *out = view * spin * shineMatrix;
}

bool CSceneBaseObj::HitTest(D3DXVECTOR3* hit, const D3DXVECTOR3* origin, const D3DXVECTOR3* direction,
                            uint8_t precise) {
  if (hit != nullptr) *hit = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
  if (hit == nullptr || origin == nullptr || direction == nullptr) return false;

  if (precise == 0) {
    const RenderableBounds b = QueryBounds(renderableHandle);
    IRenderableNode* root = FindRootNode(&rootNodeHandle);
    if (root == nullptr) return false;
    const D3DXMATRIX world(*root->GetWorldMatrix());
    const D3DXVECTOR3 localCentre = b.Centre();
    const D3DXVECTOR3 diagonal = b.maximum - b.minimum;
    D3DXVECTOR3 centre, worldDiagonal;
    D3DXVec3TransformCoord(&centre, &localCentre, &world);
    D3DXVec3TransformNormal(&worldDiagonal, &diagonal, &world);
    const float radius = D3DXVec3Length(&worldDiagonal) * 0.5f;
    // The direction's length is how far the ray reaches.
    const float reach = D3DXVec3Length(direction);
    if (!(reach > 0.0f) || !std::isfinite(reach) || !std::isfinite(radius)) return false;
    const D3DXVECTOR3 unit = *direction / reach;
    const D3DXVECTOR3 toCentre = centre - *origin;
    const float along = D3DXVec3Dot(&toCentre, &unit);
    const float apart2 = std::max(D3DXVec3Dot(&toCentre, &toCentre) - along * along, 0.0f);
    float t;
    if (apart2 <= radius * radius) {
      const float half = std::sqrt(radius * radius - apart2);
      if (along + half < 0.0f) return false;  // the sphere lies behind the origin
      t = std::max(along - half, 0.0f);
    } else if (std::sqrt(apart2) <= radius + kPickMargin) {
      t = along;  // passes just outside: the point of the ray nearest the centre
    } else {
      return false;
    }
    if (t < 0.0f || t > reach) return false;
    *hit = *origin + unit * t;
    return true;
  }

  const D3DXVECTOR3 end = *origin + *direction;
  float fraction = 2.0f;
  if (!baseModel) {
    IRenderableInterface* model = QueryInterface(renderableHandle);
    if (model == nullptr) return false;
    fraction = model->IntersectSegment(origin, &end);
  } else {
    IRenderableObject* model = ResolveRenderable(renderableHandle);
    if (model == nullptr) return false;
    fraction = model->IntersectSegment(origin, &end);
  }
  if (!(fraction >= 0.0f && fraction <= 1.0f)) return false;
  *hit = *origin + *direction * fraction;
  return true;
}

void CSceneBaseObj::EnableShine() {
  if (renderer == nullptr) return;
  // Enabling twice keeps the one texture and the one receiver entry.
  if (shineTexture == -1) shineTexture = renderer->LoadTexture("shine001.tga", 0);
  D3DXMatrixOrthoLH(&shineMatrix, 1.0f, 1.0f, 0.0f, 100.0f);
  if (CSceneSystem* scene = GetCurrentSceneSystem()) scene->AddProjectorReceiver(this);
}

void CSceneBaseObj::DisableShine() {
  if (CSceneSystem* scene = GetCurrentSceneSystem()) scene->RemoveProjectorReceiver(this);
}
