#include "frame/exception.h"

#include <cxxabi.h>

#include "frame/module_globals.h"

namespace {
// The registry may be absent before the module is loaded; the trace is then lost, the
// exception is not.
void BeginEntry() {
  if (g_pRegistry != nullptr) g_pRegistry->BeginLogEntry();
}

void LogText(const char* text) {
  if (g_pRegistry != nullptr) g_pRegistry->Log("%s", text);
}
}  // namespace

void RaiseExs(const char* sourceName, int line) {
  BeginEntry();
  LogText("User Rised Exception");
  if (g_pRegistry != nullptr) g_pRegistry->Log("%s line %d", sourceName != nullptr ? sourceName : "", line);
  throw _EXS::Make("URE");
}

void AssertFailed(const char* sourceName, int line, const char* expression) {
  if (g_pRegistry != nullptr)
    g_pRegistry->Log("Assert failed in %s line %d, expression string %s", sourceName != nullptr ? sourceName : "",
                     line, expression != nullptr ? expression : "");
  throw static_cast<const char*>("assert");
}

namespace exs_detail {

void HandleInGuard(const char* name) {
  const char* operation = name != nullptr ? name : "";
  try {
    throw;
  } catch (const _EXS& e) {
    LogText(operation);
    if (e.flag == 0) {
      BeginEntry();
      throw;
    }
    // Taken in: the operation returns normally.
  } catch (const char* text) {
    BeginEntry();
    LogText("User Rised Exception");
    LogText(operation);
    throw _EXS::Make(text != nullptr ? text : "EXS( unknown )");
  } catch (abi::__forced_unwind&) {
    // A thread being cancelled unwinds through here; that must go on untouched.
    throw;
  } catch (...) {
    BeginEntry();
    LogText("System Rised Exception");
    LogText(operation);
    throw _EXS::Make("unknown");
  }
}

}  // namespace exs_detail
