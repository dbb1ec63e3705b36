#include "scene/debug_gizmo.h"

#include "d3dx8/d3dx8math.h"
#include "frame/renderer.h"

namespace {

// A colour channel of 0..1 as a byte; a value outside stays in its own byte.
uint32_t ColourByte(float value) {
  const float scaled = value * 255.0f;
  if (!(scaled > 0.0f)) return 0;
  return scaled >= 255.0f ? 255u : static_cast<uint32_t>(scaled);
}

// The render states the gizmo changes, in the order they are saved.
constexpr DWORD kSavedStates[] = {D3DRS_ALPHABLENDENABLE, D3DRS_SRCBLEND, D3DRS_DESTBLEND, D3DRS_ZENABLE,
                                  D3DRS_ZWRITEENABLE,     D3DRS_ZFUNC,    D3DRS_LIGHTING,  D3DRS_CULLMODE,
                                  D3DRS_ALPHATESTENABLE};
constexpr DWORD kSetStates[] = {TRUE, D3DBLEND_SRCALPHA, D3DBLEND_ONE, TRUE, FALSE, D3DCMP_LESSEQUAL, FALSE,
                                D3DCULL_NONE, FALSE};
static_assert(sizeof kSavedStates == sizeof kSetStates);

}  // namespace

CDebugGizmo::CDebugGizmo() = default;
CDebugGizmo::~CDebugGizmo() = default;

void CDebugGizmo::SetCentre(float x, float y, float z) {
  centre[0] = x;
  centre[1] = y;
  centre[2] = z;
  rebuild = 1;
}

void CDebugGizmo::Build() {
  const float hx = size[0] * 0.5f, hy = size[1] * 0.5f, hz = size[2] * 0.5f;
  const float cx = centre[0], cy = centre[1], cz = centre[2];
  uint32_t c[3];
  for (int k = 0; k < 3; ++k)
    c[k] = ColourByte(alpha) << 24 | ColourByte(colours[k][0]) << 16 | ColourByte(colours[k][1]) << 8 |
           ColourByte(colours[k][2]);
  const GizmoVertex built[18] = {
      // plane x = cx
      {cx, cy - hy, cz - hz, c[0]}, {cx, cy + hy, cz - hz, c[0]}, {cx, cy + hy, cz + hz, c[0]},
      {cx, cy - hy, cz - hz, c[0]}, {cx, cy + hy, cz + hz, c[0]}, {cx, cy - hy, cz + hz, c[0]},
      // plane y = cy
      {cx - hx, cy, cz - hz, c[1]}, {cx + hx, cy, cz - hz, c[1]}, {cx + hx, cy, cz + hz, c[1]},
      {cx - hx, cy, cz - hz, c[1]}, {cx + hx, cy, cz + hz, c[1]}, {cx - hx, cy, cz + hz, c[1]},
      // plane z = cz
      {cx - hx, cy - hy, cz, c[2]}, {cx + hx, cy - hy, cz, c[2]}, {cx + hx, cy + hy, cz, c[2]},
      {cx - hx, cy - hy, cz, c[2]}, {cx + hx, cy + hy, cz, c[2]}, {cx - hx, cy + hy, cz, c[2]},
  };
  const GizmoVertex axes[6] = {
      {cx - hx, cy, cz, 0xFFFF0000u}, {cx + hx, cy, cz, 0xFFFF0000u}, {cx, cy - hy, cz, 0xFF00FF00u},
      {cx, cy + hy, cz, 0xFF00FF00u}, {cx, cy, cz - hz, 0xFF0000FFu}, {cx, cy, cz + hz, 0xFF0000FFu},
  };
  for (int i = 0; i < 18; ++i) quads[i] = built[i];
  for (int i = 0; i < 6; ++i) lines[i] = axes[i];
}

void CDebugGizmo::Draw(IRenderer* renderer) {
  if (rebuild) {
    Build();
    rebuild = 0;
  }
  if (renderer == nullptr) return;
  constexpr size_t kStates = sizeof kSavedStates / sizeof kSavedStates[0];
  DWORD saved[kStates];
  for (size_t i = 0; i < kStates; ++i) saved[i] = renderer->GetRenderState(kSavedStates[i]);
  const DWORD colourOp = renderer->GetTextureStageState(0, D3DTSS_COLOROP);
  const DWORD alphaOp = renderer->GetTextureStageState(0, D3DTSS_ALPHAOP);
  D3DMATRIX world;
  renderer->GetTransform(D3DTS_WORLD, &world);

  for (size_t i = 0; i < kStates; ++i) renderer->SetRenderState(kSavedStates[i], kSetStates[i]);
  // With both operations off the vertex colour passes through.
  renderer->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_DISABLE);
  renderer->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
  D3DXMATRIX identity;
  D3DXMatrixIdentity(&identity);
  renderer->SetTransform(D3DTS_WORLD, &identity);

  renderer->DrawPrimitiveUP(D3DPT_TRIANGLELIST, kGizmoVertexFormat, 6, quads, sizeof(GizmoVertex), -1, 0);
  renderer->DrawPrimitiveUP(D3DPT_LINELIST, kGizmoVertexFormat, 3, lines, sizeof(GizmoVertex), -1, 0);

  for (size_t i = 0; i < kStates; ++i) renderer->SetRenderState(kSavedStates[i], saved[i]);
  renderer->SetTextureStageState(0, D3DTSS_COLOROP, colourOp);
  renderer->SetTextureStageState(0, D3DTSS_ALPHAOP, alphaOp);
  renderer->SetTransform(D3DTS_WORLD, &world);
}
