#include "visibility/adaptive_binary_tree.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "frame/exception.h"
#include "frame/host_blocks.h"
#include "frame/module_globals.h"
#include "visibility/occlusion_system.h"
#include "win32/win32.h"

namespace {
constexpr uint32_t kWmKeyDown = 0x100;
constexpr uint32_t kKeyDrawBatches = 0x42;      // B
constexpr uint32_t kKeyOcclusionCulling = 0x4F;  // O
constexpr DWORD kTransformWorld = 256;
constexpr DWORD kTransformView = 2;
constexpr DWORD kTransformProjection = 3;
constexpr float kNearPlaneAhead = 0.1f;
constexpr float kOcclusionFieldOfView = 0.898513f;
constexpr DWORD kTriangleStrip = 5;
constexpr DWORD kAlphaRefTested = 0xE0;

// Render states and texture-stage states the passes set.
constexpr DWORD kRsZWriteEnable = 14, kRsAlphaRef = 24, kRsZFunc = 23, kRsAlphaBlendEnable = 27, kRsFogEnable = 28,
                kRsLighting = 137;
constexpr DWORD kTssColorOp = 1, kTssColorArg1 = 2, kTssColorArg2 = 3, kTssAlphaOp = 4, kTssAlphaArg1 = 5;
constexpr DWORD kCmpLess = 2, kCmpLessEqual = 4;

// A render node is read from its box to its batch count: every cache line of it.
void Prefetch(const AbtRenderNode* n) {
  if (n == nullptr) return;
  const char* p = reinterpret_cast<const char*>(n);
  for (size_t at = 0; at < sizeof(AbtRenderNode); at += 64) __builtin_prefetch(p + at);
  __builtin_prefetch(p + sizeof(AbtRenderNode) - 1);
}

template <class T>
void FreeFlat(T*& block) {
  HostDeleteArray(block);
  block = nullptr;
}
}  // namespace

CAdaptiveBinaryTree::CAdaptiveBinaryTree() = default;

CAdaptiveBinaryTree::~CAdaptiveBinaryTree() {
  try {
    ReleaseContainers();
  } catch (...) {
    // A corrupt render tree leaves its remaining nodes allocated; the destructor goes on.
  }
}

void CAdaptiveBinaryTree::ReleaseContainers() {
  if (m_pRenderRoot != nullptr) {
    AbtRenderNode* root = m_pRenderRoot;
    m_pRenderRoot = nullptr;
    FreeNodeTree(root);
    AbtRenderNode::Release(root);
  }
  FreeFlat(m_pCollisionNodes);
  FreeFlat(m_pCollisionTriangles);
  FreeFlat(m_pCollisionPoints);
  FreeFlat(m_pOccluderNodes);
  FreeFlat(m_pOccluderPolygons);
  FreeFlat(m_pOccluderIndices);
  FreeFlat(m_pOccluderPoints);
  FreeFlat(m_pOccluderPlanes);
  if (m_pRenderer != nullptr) {
    for (int32_t t : m_Textures)
      if (t != -1) m_pRenderer->ReleaseTexture(t);
    for (int32_t b : m_VertexBuffers)
      if (b != -1) m_pRenderer->ReleaseVertexBuffer(b);
    for (int32_t b : m_IndexBuffers)
      if (b != -1) m_pRenderer->ReleaseIndexBuffer(b);
  }
  m_Textures.clear();
  m_VertexBuffers.clear();
  m_IndexBuffers.clear();
  m_Materials.clear();
  m_LeafBatches.clear();
  m_OpaqueList.clear();
  m_BlendedList.clear();
}

void CAdaptiveBinaryTree::FreeNodeTree(AbtRenderNode* root) {
  if (root == nullptr) return;
  std::vector<AbtRenderNode*> stack{root};
  while (!stack.empty()) {
    AbtRenderNode* n = stack.back();
    stack.pop_back();
    if (n->m_pChildA != nullptr) {
      stack.push_back(n);
      stack.push_back(n->m_pChildA);
      if (n->m_pChildB != nullptr) stack.push_back(n->m_pChildB);
    } else if (n->m_pChildB != nullptr) {
      stack.push_back(n);
      stack.push_back(n->m_pChildB);
    } else if (AbtRenderNode* p = n->m_pParent; p != nullptr) {
      if (p->m_pChildA == n)
        p->m_pChildA = nullptr;
      else if (p->m_pChildB == n)
        p->m_pChildB = nullptr;
      else
        RaiseExs("AdaptiveBinaryTree", 102);
      AbtRenderNode::Release(n);
    }
  }
}

bool CAdaptiveBinaryTree::Init() {
  m_pRenderer = static_cast<IRenderer*>(g_pHost->GetService("dx8render"));
  SubscribeChannel("execute", 2);
  SubscribeChannel("realize", INT_MIN);
  SubscribeChannel("system_messages", 3);
  if (m_pRenderer != nullptr) m_nBoundingBoxEffect = m_pRenderer->GetEffect("BoundingBox");
  g_pHost->CreateObject(&m_OcclusionHandle, "COcclusionSystem");
  m_pOcclusion = dynamic_cast<COcclusionSystem*>(static_cast<CComponentBase*>(g_pHost->GetObject(&m_OcclusionHandle)));
  return true;
}

void CAdaptiveBinaryTree::Destroy() {
  if (m_pOcclusion != nullptr || m_OcclusionHandle != ComponentHandle{}) g_pHost->DestroyObject(m_OcclusionHandle);
  m_OcclusionHandle = ComponentHandle{};
  m_pOcclusion = nullptr;
}

void CAdaptiveBinaryTree::Execute(uint32_t) {}

void CAdaptiveBinaryTree::Realize(uint32_t) { DetermineVisibility(); }

void CAdaptiveBinaryTree::OnSystemMessage(uint32_t message, uint32_t wParam, uint32_t) {
  if (message != kWmKeyDown) return;
  if (wParam == kKeyDrawBatches) m_bDrawBatches = !m_bDrawBatches;
  if (wParam == kKeyOcclusionCulling) m_bOcclusionCulling = !m_bOcclusionCulling;
}

int32_t CAdaptiveBinaryTree::GeometrySlot14() { return 0; }
bool CAdaptiveBinaryTree::GeometrySlot15(uint32_t) { return false; }

int CAdaptiveBinaryTree::CompareBatchDistanceAscending(const void* a, const void* b) {
  const float da = (*static_cast<AbtLeafBatch* const*>(a))->m_flEyeDistance;
  const float db = (*static_cast<AbtLeafBatch* const*>(b))->m_flEyeDistance;
  return da < db ? -1 : (da > db ? 1 : 0);
}

int CAdaptiveBinaryTree::CompareBatchDistanceDescending(const void* a, const void* b) {
  return CompareBatchDistanceAscending(b, a);
}

void CAdaptiveBinaryTree::RebuildRenderTree() {
  if (m_pRenderRoot != nullptr) {
    AbtRenderNode* root = m_pRenderRoot;
    m_pRenderRoot = nullptr;
    FreeNodeTree(root);
    AbtRenderNode::Release(root);
  }
  m_pRenderRoot = AbtRenderNode::Allocate();
  if (m_pRenderRoot == nullptr) return;
  for (AbtLeafBatch& batch : m_LeafBatches) m_pRenderRoot->InsertBatch(&batch);
}

void CAdaptiveBinaryTree::TreeShape(uint32_t* nodes, uint32_t* leaves, uint32_t* depth) const {
  *nodes = *leaves = *depth = 0;
  if (m_pRenderRoot == nullptr) return;
  std::vector<std::pair<const AbtRenderNode*, uint32_t>> stack{{m_pRenderRoot, 1}};
  while (!stack.empty()) {
    auto [n, level] = stack.back();
    stack.pop_back();
    ++*nodes;
    if (level > *depth) *depth = level;
    if (!n->HasChildren()) ++*leaves;
    for (const AbtRenderNode* c : {n->m_pChildA, n->m_pChildB})
      if (c != nullptr) stack.push_back({c, level + 1});
  }
}

// ---- the frame ----

void CAdaptiveBinaryTree::DetermineVisibility() {
  if (m_pRenderRoot == nullptr) return;
  m_LastFrame = AbtFrameStats{};
  // A frame that ended in an exception may have left batches behind.
  m_OpaqueList.clear();
  m_BlendedList.clear();
  if (m_pRenderer == nullptr) return;

  D3DXMATRIX identity, view, projection, viewProjection, inverseView;
  D3DXMatrixIdentity(&identity);
  m_pRenderer->SetTransform(kTransformWorld, &identity);
  m_pRenderer->GetTransform(kTransformView, &view);
  m_pRenderer->GetTransform(kTransformProjection, &projection);
  D3DXMatrixMultiply(&viewProjection, &view, &projection);
  Frustum frustum;
  frustum.ExtractFromMatrix(viewProjection);
  D3DXMatrixIdentity(&inverseView);
  D3DXMatrixInverse(&inverseView, nullptr, &view);
  const D3DXVECTOR3 forward(inverseView._31, inverseView._32, inverseView._33);
  const D3DXVECTOR3 eye(inverseView._41, inverseView._42, inverseView._43);

  const DWORD start = timeGetTime();
  // An assertion of the occlusion system turns occlusion off for the rest of the frame; the
  // frame still draws, and the assertion is passed on once it has.
  bool useOcclusion = m_bOcclusionCulling && m_pOcclusion != nullptr;
  bool asserted = false;
  if (useOcclusion && m_pOccluderNodes != nullptr) {
    try {
      WalkOccluders(frustum, eye, forward, view, projection);
    } catch (const char*) {
      useOcclusion = false;
      asserted = true;
    }
  }
  WalkRenderTree(frustum, eye, useOcclusion, asserted);
  m_pRenderer->DrawText(739, 180, "Visibility Determination Cost Time: %d ms", static_cast<int>(timeGetTime() - start));

  m_LastFrame.m_nOpaque = static_cast<uint32_t>(m_OpaqueList.size());
  m_LastFrame.m_nBlended = static_cast<uint32_t>(m_BlendedList.size());
  if (m_bDrawBatches) DrawPasses();
  m_OpaqueList.clear();
  m_BlendedList.clear();
  m_LastFrame.m_bOcclusionAsserted = asserted;
  if (asserted) throw static_cast<const char*>("assert");
}

void CAdaptiveBinaryTree::WalkOccluders(const Frustum& frustum, const D3DXVECTOR3& eye, const D3DXVECTOR3& forward,
                                        const D3DXMATRIX& view, const D3DXMATRIX& projection) {
  const D3DXVECTOR3 ahead = eye + forward * kNearPlaneAhead;
  const D3DXPLANE nearPlane(forward.x, forward.y, forward.z, D3DXVec3Dot(&forward, &ahead));
  // The renderer's projection is the camera's left-handed one; the occlusion system refuses any
  // other (a right-handed one would misplace its depths) and then hides nothing.
  m_pOcclusion->SetupView(eye, kOcclusionFieldOfView, view, projection, nearPlane);
  m_pOcclusion->BeginFrame();
  m_IndexStack.clear();
  m_IndexStack.push_back(0);
  while (!m_IndexStack.empty()) {
    const AbtIndexNode& n = m_pOccluderNodes[m_IndexStack.back()];
    m_IndexStack.pop_back();
    if (frustum.ClassifyAABB(n.m_Box.ToAABB()) == 0) continue;
    if (!n.IsLeaf()) {
      for (int32_t c : {n.m_nChildA, n.m_nChildB})
        if (c != -1 && frustum.ClassifyAABB(m_pOccluderNodes[c].m_Box.ToAABB()) != 0) m_IndexStack.push_back(c);
      continue;
    }
    for (int32_t i = 0; i < n.m_nCount; ++i) {
      const AbtOccluderPolygon& poly = m_pOccluderPolygons[n.m_nFirst + i];
      m_pOcclusion->AddOccluder(&m_pOccluderIndices[poly.m_nFirst], static_cast<int>(poly.m_nVertexCount),
                                m_pOccluderPoints, m_pOccluderPlanes[poly.m_nPlane]);
    }
  }
  m_pOcclusion->RasterizeOccluders();
}

void CAdaptiveBinaryTree::WalkRenderTree(const Frustum& frustum, const D3DXVECTOR3& eye, bool& useOcclusion,
                                         bool& asserted) {
  // A node's box holds its children's and its batches' boxes, so they lie inside every plane
  // it lies inside: each is tried only against the planes its parent crosses. Both children are
  // tried when their parent is reached, before either is walked, so that the two are fetched
  // from memory together; a child outside is never pushed.
  constexpr uint32_t kAllPlanes = 0x3F;
  m_RenderStack.clear();
  uint32_t rootPlanes = kAllPlanes;
  if (frustum.ClassifyAABB(m_pRenderRoot->m_Box.Min(), m_pRenderRoot->m_Box.Max(), &rootPlanes) == 0) return;
  Prefetch(m_pRenderRoot->m_pChildA);
  Prefetch(m_pRenderRoot->m_pChildB);
  m_RenderStack.push_back({m_pRenderRoot, rootPlanes});
  while (!m_RenderStack.empty()) {
    auto [n, planes] = m_RenderStack.back();
    m_RenderStack.pop_back();
    if (n->m_nBatchCount == 0) {
      for (AbtRenderNode* child : {n->m_pChildA, n->m_pChildB}) {
        if (child == nullptr) continue;
        uint32_t childPlanes = planes;
        if (childPlanes != 0 && frustum.ClassifyAABB(child->m_Box.Min(), child->m_Box.Max(), &childPlanes) == 0)
          continue;
        // Its children are tried as soon as it is walked: they are fetched now.
        Prefetch(child);
        Prefetch(child->m_pChildA);
        Prefetch(child->m_pChildB);
        m_RenderStack.push_back({child, childPlanes});
      }
      continue;
    }
    for (uint32_t i = 0; i < n->m_nBatchCount; ++i) __builtin_prefetch(n->m_pBatches[i]);
    for (uint32_t i = 0; i < n->m_nBatchCount; ++i) {
      AbtLeafBatch* batch = n->m_pBatches[i];
      uint32_t batchPlanes = planes;
      if (batchPlanes != 0 && frustum.ClassifyAABB(batch->m_Box.Min(), batch->m_Box.Max(), &batchPlanes) == 0)
        continue;
      if (useOcclusion) {
        try {
          ++m_LastFrame.m_nTested;
          if (m_pOcclusion->IsOccluded(batch->m_Box.Min(), batch->m_Box.Max())) {
            ++m_LastFrame.m_nHidden;
            continue;
          }
        } catch (const char*) {
          useOcclusion = false;
          asserted = true;
        }
      }
      const D3DXVECTOR3 d = eye - batch->m_vecCentre;
      batch->m_flEyeDistance = D3DXVec3Dot(&d, &d);
      if (batch->m_nBlendClass == kAbtOpaque || batch->m_nBlendClass == kAbtAlphaTested) m_OpaqueList.push_back(batch);
      if (batch->m_nBlendClass == kAbtAlphaTested || batch->m_nBlendClass == kAbtBlended)
        m_BlendedList.push_back(batch);
    }
  }
}

void CAdaptiveBinaryTree::SetMaterialTexture(const AbtLeafBatch& batch) {
  const AbtMaterial& material = m_Materials[batch.m_nMaterial];
  // An unused slot 0 holds no handle; whatever it stores would name some other texture.
  m_pRenderer->SetTexture(0, material.m_SlotUsed[0] != 0 ? static_cast<int>(material.m_Texture[0]) : -1);
}

void CAdaptiveBinaryTree::DrawPasses() {
  IRenderer* r = m_pRenderer;
  r->SetRenderState(kRsLighting, 0);
  r->SetRenderState(kRsFogEnable, 0);
  r->SetRenderState(kRsAlphaBlendEnable, 0);
  r->SetTextureStageState(0, kTssColorOp, 5);
  r->SetTextureStageState(0, kTssColorArg1, 0);
  r->SetTextureStageState(0, kTssColorArg2, 2);
  r->SetTextureStageState(1, kTssColorOp, 1);
  r->SetTextureStageState(0, kTssAlphaArg1, 2);
  r->SetTextureStageState(0, kTssAlphaOp, 2);
  r->SetTextureStageState(1, kTssAlphaOp, 1);

  std::qsort(m_OpaqueList.data(), m_OpaqueList.size(), sizeof(AbtLeafBatch*), CompareBatchDistanceAscending);
  for (AbtLeafBatch* batch : m_OpaqueList) {
    SetMaterialTexture(*batch);
    r->SetRenderState(kRsAlphaRef, batch->m_nBlendClass == kAbtAlphaTested ? kAlphaRefTested : 1);
    DrawBatch(*batch);
  }
  r->SetRenderState(kRsAlphaRef, 1);
  r->SetRenderState(kRsAlphaBlendEnable, 1);
  if (m_BlendedList.empty()) return;
  std::qsort(m_BlendedList.data(), m_BlendedList.size(), sizeof(AbtLeafBatch*), CompareBatchDistanceDescending);
  r->SetRenderState(kRsZWriteEnable, 0);
  for (AbtLeafBatch* batch : m_BlendedList) {
    r->SetRenderState(kRsZFunc, batch->m_nBlendClass == kAbtAlphaTested ? kCmpLess : kCmpLessEqual);
    SetMaterialTexture(*batch);
    DrawBatch(*batch);
  }
  r->SetRenderState(kRsZWriteEnable, 1);
  r->SetRenderState(kRsZFunc, kCmpLessEqual);
}

void CAdaptiveBinaryTree::DrawBatch(const AbtLeafBatch& b) {
  HRESULT hr = 0;
  const int vb = static_cast<int>(b.m_nVertexBuffer);
  const int ib = static_cast<int>(b.m_nIndexBuffer);
  if (b.m_nPrimitiveKind == kAbtTriangleList) {
    hr = m_pRenderer->DrawIndexed(vb, 0, ib, b.m_nMinVertexIndex, b.m_nVertexCount, b.m_nStartIndex,
                                  b.m_nPrimitiveCount, -1, 0);
  } else if (b.m_nPrimitiveKind == kAbtTriangleStrip) {
    m_pRenderer->SetVertexShader(b.m_nVertexFormat);
    hr = m_pRenderer->DrawIndexedPrimitive(kTriangleStrip, vb, 0, ib, b.m_nMinVertexIndex, b.m_nVertexCount,
                                           b.m_nStartIndex, b.m_nPrimitiveCount, -1, 0);
  }
  if (hr < 0) ++m_LastFrame.m_nRefused;
}
