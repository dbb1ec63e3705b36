// Module-wide pointers to the host framework, filled by DMAInterface and read everywhere.
// The module owns none of them.
#pragma once
#include "frame/host_interfaces.h"

class CComponentFactory;

extern IHost* g_pHost;
extern IIniService* g_pIniService;
extern IObjectRegistry* g_pRegistry;
extern IHostAllocator* g_pAllocator;
extern CComponentFactory* g_pFactoryHead;
