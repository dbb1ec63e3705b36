// The module's only export.
#pragma once
#include "frame/host_interfaces.h"

class CComponentFactory;

extern "C" __attribute__((visibility("default"))) CComponentFactory* DMAInterface(IHost* host,
                                                                                  IObjectRegistry* registry);
using DMAInterfaceFn = CComponentFactory* (*)(IHost*, IObjectRegistry*);
