#include "frame/module_globals.h"

#include "frame/dma_interface.h"

IHost* g_pHost = nullptr;
IIniService* g_pIniService = nullptr;
IObjectRegistry* g_pRegistry = nullptr;
IHostAllocator* g_pAllocator = nullptr;
CComponentFactory* g_pFactoryHead = nullptr;

extern "C" CComponentFactory* DMAInterface(IHost* host, IObjectRegistry* registry) {
  g_pHost = host;
  g_pIniService = host->m_pIniService;
  g_pRegistry = registry;
  g_pAllocator = host->GetAllocator();
  return g_pFactoryHead;
}
