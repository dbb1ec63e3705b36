#include "host/gl_context.h"

#include <GL/osmesa.h>

namespace host {

GlContext::~GlContext() {
  if (context_) OSMesaDestroyContext(static_cast<OSMesaContext>(context_));
}

bool GlContext::Create() {
  if (context_) return true;
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
  OSMesaContext context = OSMesaCreateContextAttribs(attributes, nullptr);
  if (!context) {
    error_ = "cannot make an OpenGL 4.5 context";
    return false;
  }
  context_ = context;
  MakeCurrent();
  bool complete = true;
#define FOOTLIGHT_GL_FETCH(type, name)                                        \
  gl_.name = reinterpret_cast<type>(OSMesaGetProcAddress(#name));             \
  if (!gl_.name) {                                                            \
    complete = false;                                                         \
    if (error_.empty()) error_ = std::string("no entry point ") + #name;      \
  }
  FOOTLIGHT_GL_FUNCTIONS(FOOTLIGHT_GL_FETCH)
#undef FOOTLIGHT_GL_FETCH
  if (!complete) {
    OSMesaDestroyContext(context);
    context_ = nullptr;
    return false;
  }
  return true;
}

void GlContext::MakeCurrent() {
  if (!context_) return;
  OSMesaContext context = static_cast<OSMesaContext>(context_);
  if (OSMesaGetCurrentContext() != context) OSMesaMakeCurrent(context, buffer_, GL_UNSIGNED_BYTE, 1, 1);
}

}  // namespace host
