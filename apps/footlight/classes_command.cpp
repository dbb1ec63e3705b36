#include "apps/footlight/classes_command.h"

#include <cstdio>

#include "frame/component_factory.h"
#include "host/standard_host.h"

namespace footlight {

void AddClassesCommand(cli::Program& program) {
  program.Command("classes", "list the module's component classes in list order", [](const cli::Context& context) {
    host::StandardHost standard(".");
    host::ReferenceHost& host = standard.host;
    if (host.LoadModule(context.entry) == nullptr) return context.EmptyClassList();
    for (CComponentFactory* f = host.FactoryList(); f != nullptr; f = f->next) std::printf("%s\n", f->GetClassName());
    return 0;
  });
}

}  // namespace footlight
