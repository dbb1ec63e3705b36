// The Direct3D names of render states, texture-stage states and transforms, for what people read
// (the renderer's call log).
#pragma once
#include <string>

#include "d3d8/d3d8types.h"

namespace host {

// "D3DRS_STENCILENABLE"; a state without a name as its number.
std::string RenderStateName(DWORD state);
// "D3DTSS_COLOROP"; a state without a name as its number.
std::string StageStateName(DWORD type);
// "D3DTS_VIEW", "D3DTS_TEXTURE0", "D3DTS_WORLD", "D3DTS_WORLDMATRIX(5)"; others as their number.
std::string TransformName(DWORD type);

}  // namespace host
