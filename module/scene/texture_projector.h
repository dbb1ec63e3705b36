// Textures laid onto the scene's ground: the ground model is drawn once more for every projected
// texture (a light's spot, an object's shine), the texture projected from camera space through
// the source's projection, added on top of what is drawn (z equal, no z write, additive).
//
// The receiver is the ground's "modelr" object. Its render record (slot 17 with 0) gives the
// part's material controller, switched to leave its stages to the hook while projecting, and the
// render hook, which the projector's stage callback takes while installed. A receiver without a
// record is still drawn; only the switch and the callback are skipped.
#pragma once
#include <cstdint>
#include <vector>

#include "d3dx8/d3dx8math.h"
#include "frame/host_services.h"

class IHostModel;
class IRenderer;

// The renderer as the projector draws with it: a copy of the scene's, set by the scene's Init.
extern IRenderer* g_pProjectorRenderer;
// The texture and colour of the projection in progress, read by the stage callback.
extern int g_projectedTexture;
extern uint32_t g_projectedColour;

// A vertex of the projection clip list: position and the projected texture coordinates.
struct ProjectionClipVertex {
  float x, y, z;
  float u, v;
};
static_assert(sizeof(ProjectionClipVertex) == 20);
constexpr int kProjectionClipCapacity = 1024;
// The matrix ClipToProjection maps points with (identity from start-up), the vertices it has
// gathered and their count.
extern D3DXMATRIX g_projectionClipMatrix;
extern ProjectionClipVertex g_projectionClipVertices[kProjectionClipCapacity];
extern int g_projectionClipVertexCount;

struct ProjectionRecord {
  float box[6] = {};
  float point[3] = {};
  uint32_t words[8] = {};
};

// An object the projector's attachment block holds; the projector destroys them.
class CProjectionAttachment {
 public:
  virtual ~CProjectionAttachment();
};

// The texture indices of a material as MaterialStageCallback reads them.
struct ProjectionMaterial {
  int32_t firstTexture = 0;
  int32_t secondTexture = 0;
  uint8_t hasSecondTexture = 0;
};

class CTextureProjector {
 public:
  CTextureProjector();
  virtual ~CTextureProjector();
  CTextureProjector(const CTextureProjector&) = delete;
  CTextureProjector& operator=(const CTextureProjector&) = delete;

  // Sets the texture bias and reads whether the device can address borders.
  void Init(const char* unused);
  // Takes the camera-to-world matrix of the pass and gives the receiver's stages to the hook.
  void BeginProjection(IHostModel* receiver);
  // Draws the receiver once with `texture` projected through `projection`, which becomes the
  // full texture matrix: inverseView x (projection x bias).
  void DrawProjected(IHostModel* receiver, D3DXMATRIX* projection, int texture, uint32_t colour);
  void EndProjection(IHostModel* receiver);
  void Shutdown();
  void OnLostDevice();
  void OnResetDevice();
  // Installed as the receiver's render hook between Begin and EndProjection; its arguments are
  // the hook's and are not needed.
  static void StageCallback(HostModelGeometry* geometry, IRenderer* renderer, void* context);

  // Operations the scene does not call.
  void SetSelector(int32_t value);
  bool AddProjection(const float* box, const float* point, const void* unused);
  static bool AcceptAll(uint32_t a, uint32_t b, uint32_t c);
  // Appends the fan of an upward-facing polygon to the clip list; false when it has no room.
  static bool ClipToProjection(const D3DXVECTOR3* points, int count);
  static void MaterialStageCallback(const ProjectionMaterial* material, const int* textures);

  CProjectionAttachment* attachments = nullptr;  // a counted host block, or null
  int32_t slot = -1;
  std::vector<ProjectionRecord> records;
  int32_t selector = 0;
  uint32_t reserved[2] = {};
  D3DXMATRIX bias;
  D3DXMATRIX inverseView;
  uint8_t borderAddressing = 0;
};
