// One off-screen OpenGL context (llvmpipe through OSMesa) and every GL entry point the host
// calls, fetched through OSMesaGetProcAddress. The OSMesa library is opened when the first
// context is made, so a process that never rasterises never maps it (nor the LLVM under it); the
// headers are here for the types only. The context renders only into framebuffer objects; its
// own 1 x 1 buffer is there because a context must be made current on something.
#pragma once
#include <GL/gl.h>
#include <GL/glext.h>

#include <string>

namespace host {

// The entry points the rasteriser uses, each a member named as the function. Those of OpenGL
// 1.1 have no pointer type in the headers, so theirs is taken from the declaration.
#define FOOTLIGHT_GL_FUNCTIONS(X)                                      \
  X(decltype(&::glEnable), glEnable)                                   \
  X(decltype(&::glDisable), glDisable)                                 \
  X(decltype(&::glViewport), glViewport)                               \
  X(decltype(&::glDepthRange), glDepthRange)                           \
  X(decltype(&::glScissor), glScissor)                                 \
  X(decltype(&::glClear), glClear)                                     \
  X(decltype(&::glFinish), glFinish)                                   \
  X(decltype(&::glClearColor), glClearColor)                           \
  X(decltype(&::glClearDepth), glClearDepth)                           \
  X(decltype(&::glClearStencil), glClearStencil)                       \
  X(decltype(&::glColorMask), glColorMask)                             \
  X(decltype(&::glDepthMask), glDepthMask)                             \
  X(decltype(&::glDepthFunc), glDepthFunc)                             \
  X(decltype(&::glStencilMask), glStencilMask)                         \
  X(decltype(&::glStencilFunc), glStencilFunc)                         \
  X(decltype(&::glStencilOp), glStencilOp)                             \
  X(decltype(&::glPolygonMode), glPolygonMode)                         \
  X(decltype(&::glPolygonOffset), glPolygonOffset)                     \
  X(decltype(&::glFrontFace), glFrontFace)                             \
  X(decltype(&::glCullFace), glCullFace)                               \
  X(decltype(&::glBlendFunc), glBlendFunc)                             \
  X(decltype(&::glPixelStorei), glPixelStorei)                         \
  X(decltype(&::glGenTextures), glGenTextures)                         \
  X(decltype(&::glDeleteTextures), glDeleteTextures)                   \
  X(decltype(&::glBindTexture), glBindTexture)                         \
  X(decltype(&::glTexParameteri), glTexParameteri)                     \
  X(decltype(&::glTexImage2D), glTexImage2D)                           \
  X(decltype(&::glTexSubImage2D), glTexSubImage2D)                     \
  X(decltype(&::glGetTexImage), glGetTexImage)                         \
  X(decltype(&::glDrawArrays), glDrawArrays)                           \
  X(PFNGLCOPYIMAGESUBDATAPROC, glCopyImageSubData)                     \
  X(PFNGLGENFRAMEBUFFERSPROC, glGenFramebuffers)                       \
  X(PFNGLDELETEFRAMEBUFFERSPROC, glDeleteFramebuffers)                 \
  X(PFNGLBINDFRAMEBUFFERPROC, glBindFramebuffer)                       \
  X(PFNGLFRAMEBUFFERTEXTURE2DPROC, glFramebufferTexture2D)             \
  X(PFNGLCHECKFRAMEBUFFERSTATUSPROC, glCheckFramebufferStatus)         \
  X(PFNGLGENBUFFERSPROC, glGenBuffers)                                 \
  X(PFNGLDELETEBUFFERSPROC, glDeleteBuffers)                           \
  X(PFNGLBINDBUFFERPROC, glBindBuffer)                                 \
  X(PFNGLBUFFERDATAPROC, glBufferData)                                 \
  X(PFNGLGENVERTEXARRAYSPROC, glGenVertexArrays)                       \
  X(PFNGLDELETEVERTEXARRAYSPROC, glDeleteVertexArrays)                 \
  X(PFNGLBINDVERTEXARRAYPROC, glBindVertexArray)                       \
  X(PFNGLVERTEXATTRIBPOINTERPROC, glVertexAttribPointer)               \
  X(PFNGLENABLEVERTEXATTRIBARRAYPROC, glEnableVertexAttribArray)       \
  X(PFNGLDISABLEVERTEXATTRIBARRAYPROC, glDisableVertexAttribArray)     \
  X(PFNGLCREATESHADERPROC, glCreateShader)                             \
  X(PFNGLDELETESHADERPROC, glDeleteShader)                             \
  X(PFNGLSHADERSOURCEPROC, glShaderSource)                             \
  X(PFNGLCOMPILESHADERPROC, glCompileShader)                           \
  X(PFNGLGETSHADERIVPROC, glGetShaderiv)                               \
  X(PFNGLGETSHADERINFOLOGPROC, glGetShaderInfoLog)                     \
  X(PFNGLCREATEPROGRAMPROC, glCreateProgram)                           \
  X(PFNGLDELETEPROGRAMPROC, glDeleteProgram)                           \
  X(PFNGLATTACHSHADERPROC, glAttachShader)                             \
  X(PFNGLBINDATTRIBLOCATIONPROC, glBindAttribLocation)                 \
  X(PFNGLLINKPROGRAMPROC, glLinkProgram)                               \
  X(PFNGLGETPROGRAMIVPROC, glGetProgramiv)                             \
  X(PFNGLGETPROGRAMINFOLOGPROC, glGetProgramInfoLog)                   \
  X(PFNGLUSEPROGRAMPROC, glUseProgram)                                 \
  X(PFNGLGETUNIFORMLOCATIONPROC, glGetUniformLocation)                 \
  X(PFNGLUNIFORM1IPROC, glUniform1i)                                   \
  X(PFNGLUNIFORM1FPROC, glUniform1f)                                   \
  X(PFNGLUNIFORM2FPROC, glUniform2f)                                   \
  X(PFNGLUNIFORM4FPROC, glUniform4f)                                   \
  X(PFNGLUNIFORM4FVPROC, glUniform4fv)                                 \
  X(PFNGLUNIFORMMATRIX3FVPROC, glUniformMatrix3fv)                     \
  X(PFNGLUNIFORMMATRIX4FVPROC, glUniformMatrix4fv)                     \
  X(PFNGLACTIVETEXTUREPROC, glActiveTexture)                           \
  X(PFNGLGENSAMPLERSPROC, glGenSamplers)                               \
  X(PFNGLDELETESAMPLERSPROC, glDeleteSamplers)                         \
  X(PFNGLBINDSAMPLERPROC, glBindSampler)                               \
  X(PFNGLSAMPLERPARAMETERIPROC, glSamplerParameteri)                   \
  X(PFNGLSAMPLERPARAMETERFVPROC, glSamplerParameterfv)                 \
  X(PFNGLDRAWELEMENTSBASEVERTEXPROC, glDrawElementsBaseVertex)         \
  X(PFNGLCLIPCONTROLPROC, glClipControl)                               \
  X(PFNGLBLENDEQUATIONPROC, glBlendEquation)                           \
  X(PFNGLVERTEXATTRIB4FPROC, glVertexAttrib4f)

struct GlFunctions {
#define FOOTLIGHT_GL_MEMBER(type, name) type name = nullptr;
  FOOTLIGHT_GL_FUNCTIONS(FOOTLIGHT_GL_MEMBER)
#undef FOOTLIGHT_GL_MEMBER
};

class GlContext {
 public:
  GlContext() = default;
  ~GlContext();
  GlContext(const GlContext&) = delete;
  GlContext& operator=(const GlContext&) = delete;

  // Opens the OSMesa library (once a process), makes the context (OpenGL 4.5 compatibility) and
  // fetches every entry point; false with Error() set when any of them fails.
  bool Create();
  bool Valid() const { return context_ != nullptr; }
  const std::string& Error() const { return error_; }
  // Makes this context current on the calling thread when it is not already.
  void MakeCurrent();
  const GlFunctions& gl() const { return gl_; }

 private:
  void* context_ = nullptr;  // OSMesaContext
  unsigned char buffer_[4] = {};
  GlFunctions gl_;
  std::string error_;
};

}  // namespace host
