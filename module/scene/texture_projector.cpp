#include "scene/texture_projector.h"

IRenderer* g_pProjectorRenderer = nullptr;

CTextureProjector::CTextureProjector() = default;
CTextureProjector::~CTextureProjector() = default;

void CTextureProjector::Init(const char*) {}
void CTextureProjector::Shutdown() {}
void CTextureProjector::OnLostDevice() {}
void CTextureProjector::OnResetDevice() {}
