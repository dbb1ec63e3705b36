// The host's renderer service, fetched with IHost::GetService("dx8render") and cast to this
// interface: a wrapper around the Direct3D 8 device with textures, vertex and index buffers
// by handle, render and texture-stage states, transforms, lights, named effects and fonts.
// Every value it takes is the Direct3D 8 number. Handles are opaque; -1 means none.
//
// The slot number of each operation in the host's table is given beside it. The draw
// operations end with an effect handle (-1: the default effect) and a reserved word (0).
#pragma once
#include <cstdint>

#include "d3d8/d3d8.h"
#include "frame/host_interfaces.h"

// The size of the back buffer, as GetBackBufferSize hands it out.
struct RendererSize {
  UINT width;
  UINT height;
};

class IRenderer {
 public:
  // Saves and restores the matrix of one transform type on a stack of its own.
  virtual HRESULT PushTransform(DWORD type) = 0;  // slot 20
  virtual HRESULT PopTransform(DWORD type) = 0;   // slot 21
  // Room for `count` vertices in the renderer's dynamic vertex buffer: writes that buffer's
  // handle and the index of the first vertex, and returns the memory (null when there is
  // none; the buffer is still written and may be unlocked).
  virtual void* LockDynamicVertices(DWORD fvf, UINT stride, UINT count, int* buffer,
                                    UINT* firstVertex) = 0;  // slot 22
  virtual void UnlockDynamicVertices(int buffer) = 0;        // slot 23
  // Clears the bound targets by Direct3D clear flags (colour 0, depth 1.0, stencil 0).
  virtual HRESULT ClearBuffers(DWORD flags) = 0;  // slot 30
  // Loads a texture file by its module path; the same file loaded again gives the same
  // handle, and each load wants its own ReleaseTexture.
  virtual int LoadTexture(const char* fileName, DWORD flags) = 0;  // slot 34
  virtual HRESULT SetTexture(DWORD stage, int texture) = 0;        // slot 35
  virtual void ReleaseTexture(int texture) = 0;                    // slot 36
  virtual void GetLookAt(D3DVECTOR* eye, D3DVECTOR* at, D3DVECTOR* up) = 0;  // slot 37
  // Sets the view transform to a left-handed look-at.
  virtual void SetLookAt(const D3DVECTOR* eye, const D3DVECTOR* at, const D3DVECTOR* up) = 0;  // slot 38
  virtual HRESULT SetLight(DWORD index, const D3DLIGHT8* light) = 0;  // slot 44
  virtual HRESULT LightEnable(DWORD index, BOOL enable) = 0;          // slot 45
  virtual int CreateVertexBuffer(DWORD fvf, UINT bytes, DWORD usage, DWORD pool) = 0;  // slot 48
  // format: D3DFMT_INDEX16 (0x65) or D3DFMT_INDEX32.
  virtual int CreateIndexBuffer(UINT bytes, DWORD usage, DWORD pool, DWORD format) = 0;  // slot 50
  // A triangle list. stride 0: the stride of the vertex buffer's format. The indices are
  // relative to baseVertex: index i draws vertex baseVertex + i, and every index is below
  // vertexCount (a patch run, a tree batch or a flag grid is drawn from its own first vertex).
  virtual HRESULT DrawIndexed(int vertexBuffer, UINT stride, int indexBuffer, UINT baseVertex,
                              UINT vertexCount, UINT startIndex, UINT primitiveCount, int effect,
                              DWORD reserved) = 0;  // slot 52
  // The same for any primitive type.
  virtual HRESULT DrawIndexedPrimitive(DWORD type, int vertexBuffer, UINT stride, int indexBuffer,
                                       UINT baseVertex, UINT vertexCount, UINT startIndex,
                                       UINT primitiveCount, int effect, DWORD reserved) = 0;  // slot 53
  virtual HRESULT DrawPrimitive(DWORD type, int vertexBuffer, UINT stride, UINT firstVertex,
                                UINT primitiveCount, int effect, DWORD reserved) = 0;  // slot 55
  virtual HRESULT DrawPrimitiveUP(DWORD type, DWORD fvf, UINT primitiveCount, const void* vertices,
                                  UINT stride, int effect, DWORD reserved) = 0;  // slot 56
  // `vertices` addresses vertex 0; the indices name vertices minIndex .. minIndex + vertexCount - 1.
  virtual HRESULT DrawIndexedPrimitiveUP(DWORD type, UINT minIndex, UINT vertexCount,
                                         UINT primitiveCount, const void* indices,
                                         DWORD indexFormat, const void* vertices, UINT stride,
                                         int effect, DWORD reserved) = 0;  // slot 57
  // The effect handle of a technique; -1 for none.
  virtual int GetEffect(const char* technique) = 0;  // slot 58
  // offset and size in bytes; size 0 locks from offset to the end. Null on failure.
  virtual void* LockVertexBuffer(int buffer, UINT offset, UINT size, DWORD flags) = 0;  // slot 62
  virtual HRESULT UnlockVertexBuffer(int buffer) = 0;                                   // slot 63
  virtual void* LockIndexBuffer(int buffer, UINT offset, UINT size, DWORD flags) = 0;   // slot 65
  virtual HRESULT UnlockIndexBuffer(int buffer) = 0;                                    // slot 66
  virtual void ReleaseVertexBuffer(int buffer) = 0;                                     // slot 67
  virtual void ReleaseIndexBuffer(int buffer) = 0;                                      // slot 68
  virtual HRESULT SetTransform(DWORD type, const D3DMATRIX* matrix) = 0;                // slot 69
  virtual HRESULT GetTransform(DWORD type, D3DMATRIX* matrix) = 0;                      // slot 70
  // Screen text at pixel (x, y), printf style.
  virtual void DrawText(int x, int y, const char* format, ...) FL_PRINTF(4, 5) = 0;  // slot 73
  // The device the renderer draws with; no reference is added.
  virtual IDirect3DDevice8* GetDevice() = 0;                                   // slot 85
  virtual HRESULT SetRenderState(DWORD state, DWORD value) = 0;                // slot 86
  virtual DWORD GetRenderState(DWORD state) = 0;                               // slot 87
  virtual HRESULT SetTextureStageState(DWORD stage, DWORD type, DWORD value) = 0;  // slot 88
  virtual DWORD GetTextureStageState(DWORD stage, DWORD type) = 0;             // slot 89
  // Captures the screen.
  virtual void CaptureScreen() = 0;  // slot 90
  // Once per tick of the host loop.
  virtual BOOL Tick() = 0;  // slot 92
  // The fixed-function vertex format of the draws that follow.
  virtual HRESULT SetVertexShader(DWORD fvf) = 0;  // slot 100
  // Both hand out a reference the caller releases.
  virtual HRESULT GetRenderTarget(IDirect3DSurface8** surface) = 0;         // slot 104
  virtual HRESULT GetDepthStencilSurface(IDirect3DSurface8** surface) = 0;  // slot 105
  virtual HRESULT SetRenderTarget(IDirect3DSurface8* colour, IDirect3DSurface8* depth) = 0;  // slot 107
  virtual HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR colour, float z,
                        DWORD stencil) = 0;  // slot 108
  virtual HRESULT BeginScene() = 0;          // slot 109
  virtual HRESULT EndScene() = 0;            // slot 110
  // plane: a, b, c, d.
  virtual HRESULT SetClipPlane(DWORD index, const float* plane) = 0;  // slot 111
  virtual HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                D3DPOOL pool, IDirect3DTexture8** texture) = 0;  // slot 113
  virtual HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                            D3DMULTISAMPLE_TYPE multiSample,
                                            IDirect3DSurface8** surface) = 0;  // slot 115
  // Binds a texture object (or null) to a stage.
  virtual HRESULT SetBaseTexture(DWORD stage, IDirect3DTexture8* texture) = 0;  // slot 118
  virtual HRESULT GetSurfaceLevel(IDirect3DTexture8* texture, UINT level,
                                  IDirect3DSurface8** surface) = 0;  // slot 125
  virtual HRESULT CopyRects(IDirect3DSurface8* source, const RECT* rects, UINT count,
                            IDirect3DSurface8* destination, const POINT* points) = 0;  // slot 126
  // count registers of four floats each.
  virtual HRESULT SetVertexShaderConstant(DWORD reg, const void* data, DWORD count) = 0;  // slot 130
  virtual HRESULT SetPixelShaderConstant(DWORD reg, const void* data, DWORD count) = 0;   // slot 131
  virtual const RendererSize* GetBackBufferSize() = 0;                                    // slot 140
  // The width in pixels of a text in a font; length -1: up to the terminating zero.
  virtual int GetTextWidth(const wchar_t* text, int font, int length, DWORD flags) = 0;  // slot 141
  // Text in a font at pixel (x, y) and depth z.
  virtual void DrawFontText(int font, D3DCOLOR colour, int x, int y, float z,
                            const wchar_t* text) = 0;               // slot 145
  virtual HRESULT GetDeviceCaps(D3DCAPS8* caps) = 0;               // slot 154
  virtual HRESULT GetViewport(D3DVIEWPORT8* viewport) = 0;         // slot 155
  virtual HRESULT SetViewport(const D3DVIEWPORT8* viewport) = 0;   // slot 156
  virtual void SetLightingMode(BOOL mode) = 0;                     // slot 163

  // Operations whose place in the host's table is not fixed; they follow the numbered ones.
  // The texture object behind a texture handle, or null; no reference is added.
  virtual IDirect3DTexture8* GetTextureObject(int texture) = 0;
  virtual int SetSwitchA(int value) = 0;
  virtual int SetSwitchB(int value) = 0;
  // The handle of a font by name; -1 for none.
  virtual int GetFont(const char* name) = 0;

 protected:
  ~IRenderer() = default;
};
