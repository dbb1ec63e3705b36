#include "scene/texture_projector.h"

#include <algorithm>

#include "frame/host_blocks.h"
#include "frame/renderer.h"

IRenderer* g_pProjectorRenderer = nullptr;
int g_projectedTexture = -1;
uint32_t g_projectedColour = 0;
D3DXMATRIX g_projectionClipMatrix(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
ProjectionClipVertex g_projectionClipVertices[kProjectionClipCapacity] = {};
int g_projectionClipVertexCount = 0;

CProjectionAttachment::~CProjectionAttachment() = default;

CTextureProjector::CTextureProjector() {
  D3DXMatrixIdentity(&bias);
  D3DXMatrixIdentity(&inverseView);
}

CTextureProjector::~CTextureProjector() {
  if (attachments != nullptr) {
    const uint32_t count = HostBlockCount(attachments);
    for (uint32_t i = 0; i < count; ++i) attachments[i].~CProjectionAttachment();
    HostDeleteArray(attachments);
    attachments = nullptr;
  }
}

void CTextureProjector::Init(const char*) {
  bias._11 = 0.5f;
  bias._22 = -0.5f;
  bias._33 = 0.0f;
  bias._41 = 0.5f;
  bias._42 = 0.5f;
  bias._43 = 1.0f;
  borderAddressing = 0;
  if (g_pProjectorRenderer == nullptr) return;
  D3DCAPS8 caps{};
  if (SUCCEEDED(g_pProjectorRenderer->GetDeviceCaps(&caps)))
    borderAddressing = (caps.TextureAddressCaps & D3DPTADDRESSCAPS_BORDER) != 0;
}

void CTextureProjector::BeginProjection(IHostModel* receiver) {
  IRenderer* r = g_pProjectorRenderer;
  if (receiver == nullptr || r == nullptr) return;
  HostModelGeometry* record = receiver->GetGeometry(0);
  D3DXMATRIX view;
  r->GetTransform(D3DTS_VIEW, &view);
  // The view is rigid: its inverse is the transposed rotation and the translation carried back
  // through the rotation rows.
  D3DXMatrixIdentity(&inverseView);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) inverseView.m[i][j] = view.m[j][i];
  for (int i = 0; i < 3; ++i)
    inverseView.m[3][i] = -(view._41 * view.m[i][0] + view._42 * view.m[i][1] + view._43 * view.m[i][2]);
  if (record != nullptr) {
    if (record->material != nullptr) record->material->SetHookMode(0);
    record->renderHook = &CTextureProjector::StageCallback;
    record->renderHookContext = nullptr;
  }
  r->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT3 | D3DTTFF_PROJECTED);
}

void CTextureProjector::DrawProjected(IHostModel* receiver, D3DXMATRIX* projection, int texture, uint32_t colour) {
  IRenderer* r = g_pProjectorRenderer;
  if (receiver == nullptr || projection == nullptr || r == nullptr) return;
  g_projectedTexture = texture;
  g_projectedColour = colour;
  // Camera-space positions go back to world space, through the source's projection and into
  // texture space.
  D3DXMATRIX biased;
  D3DXMatrixMultiply(&biased, projection, &bias);
  D3DXMatrixMultiply(projection, &inverseView, &biased);
  r->SetTransform(D3DTS_TEXTURE0, projection);
  r->SetRenderState(D3DRS_FOGENABLE, FALSE);
  r->SetRenderState(D3DRS_LIGHTING, FALSE);
  r->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
  r->SetRenderState(D3DRS_ZFUNC, D3DCMP_EQUAL);
  r->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
  r->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEPOSITION);
  const DWORD address = borderAddressing ? D3DTADDRESS_BORDER : D3DTADDRESS_CLAMP;
  r->SetTextureStageState(0, D3DTSS_ADDRESSU, address);
  r->SetTextureStageState(0, D3DTSS_ADDRESSV, address);
  receiver->Realize(0);
  // Fog and lighting are the pass's to restore.
  r->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
  r->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
  r->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  r->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
  r->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_WRAP);
  r->SetTextureStageState(0, D3DTSS_ADDRESSV, D3DTADDRESS_WRAP);
}

void CTextureProjector::StageCallback(HostModelGeometry*, IRenderer*, void*) {
  IRenderer* r = g_pProjectorRenderer;
  if (r == nullptr) return;
  r->SetTexture(0, g_projectedTexture);
  r->SetRenderState(D3DRS_TEXTUREFACTOR, g_projectedColour);
  r->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
  r->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TEXTURE);
  r->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  r->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
  r->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
  r->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_TFACTOR);
  r->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
  r->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
}

void CTextureProjector::EndProjection(IHostModel* receiver) {
  IRenderer* r = g_pProjectorRenderer;
  if (receiver == nullptr || r == nullptr) return;
  if (HostModelGeometry* record = receiver->GetGeometry(0)) {
    if (record->material != nullptr) record->material->SetHookMode(1);
    record->renderHook = nullptr;
    record->renderHookContext = nullptr;
  }
  r->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
}

// The projector keeps nothing on the device.
void CTextureProjector::Shutdown() {}
void CTextureProjector::OnLostDevice() {}
void CTextureProjector::OnResetDevice() {}

void CTextureProjector::SetSelector(int32_t value) { selector = value; }

bool CTextureProjector::AddProjection(const float* box, const float* point, const void*) {
  if (attachments == nullptr || box == nullptr || point == nullptr) return false;
  ProjectionRecord record;
  std::copy(box, box + 6, record.box);
  std::copy(point, point + 3, record.point);
  records.push_back(record);
  return true;
}

bool CTextureProjector::AcceptAll(uint32_t, uint32_t, uint32_t) { return true; }

bool CTextureProjector::ClipToProjection(const D3DXVECTOR3* points, int count) {
  if (points == nullptr || count < 3) return true;
  const int added = count * 3 - 6;
  if (g_projectionClipVertexCount + added >= kProjectionClipCapacity) return false;
  const D3DXVECTOR3 e1 = points[0] - points[1], e2 = points[0] - points[2];
  D3DXVECTOR3 normal;
  D3DXVec3Cross(&normal, &e1, &e2);
  if (!(normal.y > 0.0f)) return true;
  const auto vertex = [](const D3DXVECTOR3& p) {
    D3DXVECTOR3 mapped;
    D3DXVec3TransformCoord(&mapped, &p, &g_projectionClipMatrix);
    const float u = std::clamp((mapped.x + 1.0f) * 0.5f, 0.0f, 1.0f);
    const float v = std::clamp((mapped.y + 1.0f) * 0.5f, 0.0f, 1.0f);
    return ProjectionClipVertex{p.x, p.y, p.z, u, v};
  };
  for (int k = 1; k + 1 < count; ++k) {
    g_projectionClipVertices[g_projectionClipVertexCount++] = vertex(points[0]);
    g_projectionClipVertices[g_projectionClipVertexCount++] = vertex(points[k]);
    g_projectionClipVertices[g_projectionClipVertexCount++] = vertex(points[k + 1]);
  }
  return true;
}

void CTextureProjector::MaterialStageCallback(const ProjectionMaterial* material, const int* textures) {
  IRenderer* r = g_pProjectorRenderer;
  if (r == nullptr || material == nullptr || textures == nullptr) return;
  r->SetTexture(0, textures[material->firstTexture]);
  r->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TEXTURE);
  r->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
  if (material->hasSecondTexture) {
    r->SetTexture(1, textures[material->secondTexture]);
    r->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_CURRENT);
    r->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_TEXTURE);
    r->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE2X);
    r->SetTextureStageState(2, D3DTSS_COLOROP, D3DTOP_DISABLE);
  } else {
    r->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
  }
  r->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
  r->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
  r->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
}
