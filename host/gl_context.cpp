#include "host/gl_context.h"

#include <GL/osmesa.h>
#include <dlfcn.h>

#include <mutex>

namespace host {
namespace {

// The OSMesa entry points, resolved from the library opened on first use. The library stays
// mapped for the life of the process: the driver inside keeps threads and state that do not
// survive an unload.
struct OsMesa {
  decltype(&::OSMesaCreateContextAttribs) createContextAttribs = nullptr;
  decltype(&::OSMesaMakeCurrent) makeCurrent = nullptr;
  decltype(&::OSMesaGetCurrentContext) getCurrentContext = nullptr;
  decltype(&::OSMesaDestroyContext) destroyContext = nullptr;
  decltype(&::OSMesaGetProcAddress) getProcAddress = nullptr;
  std::string error;  // empty when every entry point was found
};

constexpr const char* kOsMesaLibrary = "libOSMesa.so.8";

template <typename Fn>
void Resolve(void* library, const char* name, Fn* out, std::string* error) {
  *out = reinterpret_cast<Fn>(dlsym(library, name));
  if (*out == nullptr && error->empty()) *error = std::string(kOsMesaLibrary) + " has no " + name;
}

const OsMesa& Library() {
  static OsMesa osmesa;
  static std::once_flag once;
  std::call_once(once, [] {
    void* library = dlopen(kOsMesaLibrary, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
      const char* why = dlerror();
      // The loader's message names the library already.
      osmesa.error = why != nullptr ? std::string("cannot load OSMesa: ") + why
                                    : std::string("cannot load ") + kOsMesaLibrary;
      return;
    }
    Resolve(library, "OSMesaCreateContextAttribs", &osmesa.createContextAttribs, &osmesa.error);
    Resolve(library, "OSMesaMakeCurrent", &osmesa.makeCurrent, &osmesa.error);
    Resolve(library, "OSMesaGetCurrentContext", &osmesa.getCurrentContext, &osmesa.error);
    Resolve(library, "OSMesaDestroyContext", &osmesa.destroyContext, &osmesa.error);
    Resolve(library, "OSMesaGetProcAddress", &osmesa.getProcAddress, &osmesa.error);
  });
  return osmesa;
}

}  // namespace

GlContext::~GlContext() {
  if (context_) Library().destroyContext(static_cast<OSMesaContext>(context_));
}

bool GlContext::Create() {
  if (context_) return true;
  const OsMesa& osmesa = Library();
  if (!osmesa.error.empty()) {
    error_ = osmesa.error;
    return false;
  }
  const int attributes[] = {OSMESA_FORMAT,
                            OSMESA_RGBA,
                            OSMESA_DEPTH_BITS,
                            0,
                            OSMESA_STENCIL_BITS,
                            0,
                            OSMESA_PROFILE,
                            OSMESA_COMPAT_PROFILE,
                            OSMESA_CONTEXT_MAJOR_VERSION,
                            4,
                            OSMESA_CONTEXT_MINOR_VERSION,
                            5,
                            0};
  OSMesaContext context = osmesa.createContextAttribs(attributes, nullptr);
  if (!context) {
    error_ = "cannot make an OpenGL 4.5 context";
    return false;
  }
  context_ = context;
  MakeCurrent();
  bool complete = true;
#define FOOTLIGHT_GL_FETCH(type, name)                                        \
  gl_.name = reinterpret_cast<type>(osmesa.getProcAddress(#name));            \
  if (!gl_.name) {                                                            \
    complete = false;                                                         \
    if (error_.empty()) error_ = std::string("no entry point ") + #name;      \
  }
  FOOTLIGHT_GL_FUNCTIONS(FOOTLIGHT_GL_FETCH)
#undef FOOTLIGHT_GL_FETCH
  if (!complete) {
    osmesa.destroyContext(context);
    context_ = nullptr;
    return false;
  }
  return true;
}

void GlContext::MakeCurrent() {
  if (!context_) return;
  const OsMesa& osmesa = Library();
  OSMesaContext context = static_cast<OSMesaContext>(context_);
  if (osmesa.getCurrentContext() != context) osmesa.makeCurrent(context, buffer_, GL_UNSIGNED_BYTE, 1, 1);
}

}  // namespace host
