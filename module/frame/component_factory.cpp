#include "frame/component_factory.h"

CComponentFactory::CComponentFactory() : next(g_pFactoryHead), reserved(0), instanceCount(0) {
  g_pFactoryHead = this;
}

CComponentFactory::~CComponentFactory() = default;
bool CComponentFactory::Flag1() { return false; }
const char* CComponentFactory::GetClassName() { return nullptr; }
CComponentBase* CComponentFactory::CreateInstance() { return nullptr; }
void CComponentFactory::Release() { --instanceCount; }
uint32_t CComponentFactory::GetInstanceCount() { return instanceCount; }
void CComponentFactory::ResetInstanceCount() { instanceCount = 0; }
bool CComponentFactory::Flag7() { return false; }
