// What a scene object draws around its model (path line, bounding box, after-images, title,
// highlight, shine) and its screen-space answers. These answer neutrally until objects draw.
#include "objects/scene_base_obj.h"

void CSceneBaseObj::Render(uint32_t) {}
void CSceneBaseObj::RenderAfterImages(uint32_t) {}
void CSceneBaseObj::RenderPass3(uint32_t) {}
void CSceneBaseObj::UpdateNamePlate() {}
void CSceneBaseObj::EnableShine() {}
void CSceneBaseObj::DisableShine() {}
const D3DXMATRIX* CSceneBaseObj::GetHeadMatrix() { return nullptr; }
bool CSceneBaseObj::GetWorldMatrix(D3DXMATRIX*) { return false; }
const D3DXVECTOR3* CSceneBaseObj::GetHeadScreenPos() { return nullptr; }
const D3DXVECTOR3* CSceneBaseObj::GetTopScreenPos() { return nullptr; }
// Until titles are drawn the object keeps the text as given, so that it reads back.
void CSceneBaseObj::SetTitle(const wchar_t* text, int32_t font, int32_t offsetY, uint8_t) {
  titleText = text != nullptr ? text : L"";
  displayText = titleText;
  titleFont = font;
  titleOffsetY = offsetY;
}
void CSceneBaseObj::SetHighlight(bool) {}
void CSceneBaseObj::SetHighlightMode(int32_t) {}
void CSceneBaseObj::GetHeadCenter(D3DXVECTOR3*, uint32_t*) {}
bool CSceneBaseObj::HitTest(D3DXVECTOR3*, const D3DXVECTOR3*, const D3DXVECTOR3*, uint8_t) { return false; }
void CSceneBaseObj::GetHeadBillboard(D3DXMATRIX*, uint32_t) {}
void CSceneBaseObj::DrawBoundingBox() {}
