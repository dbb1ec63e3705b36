// footlight classes: the module's component classes in list order.
#pragma once
#include "apps/footlight/cli.h"

namespace footlight {

void AddClassesCommand(cli::Program& program);

}  // namespace footlight
