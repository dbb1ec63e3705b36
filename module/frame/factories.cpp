// The thirteen factory records. They are defined in this one file so that their static
// initialisation runs in this order; each pushes itself at the head of the list, so the list
// DMAInterface hands out runs the other way round ("CGlow" first, "SceneBaseObj" last).
#include "camera/base_camera.h"
#include "frame/component_factory.h"
#include "lighting/glow.h"
#include "objects/scene_base_obj.h"
#include "playback/recording_scene_base_obj.h"
#include "playback/recording_scene_system.h"
#include "scene/scene_system.h"
#include "terrain/terrain_editor.h"
#include "terrain/terrain_manager.h"
#include "video/video_texture_manager.h"
#include "visibility/adaptive_binary_tree.h"
#include "visibility/cell_portal_graph_builder.h"
#include "visibility/lightmap_maker.h"
#include "visibility/occlusion_system.h"

namespace {
constexpr char kSceneBaseObj[] = "SceneBaseObj";
constexpr char kSceneSystem[] = "SceneSystem";
constexpr char kCSceneSystem[] = "CSceneSystem";
constexpr char kCSceneBaseObj[] = "CSceneBaseObj";
constexpr char kCBaseCamera[] = "CBaseCamera";
constexpr char kCVideoTextureManager[] = "CVideoTextureManager";
constexpr char kCOcclusionSystem[] = "COcclusionSystem";
constexpr char kCTerrainManager[] = "CTerrainManager";
constexpr char kCAdaptiveBinaryTree[] = "CAdaptiveBinaryTree";
constexpr char kCCellPortalGraphBuilder[] = "CCellPortalGraphBuilder";
constexpr char kCLightmapMaker[] = "CLightmapMaker";
constexpr char kCTerrainEditor[] = "CTerrainEditor";
constexpr char kCGlow[] = "CGlow";
}  // namespace

using SceneBaseObjFactory = TComponentFactory<Playback::SceneBaseObj, kSceneBaseObj>;
using SceneSystemFactory = TComponentFactory<Playback::SceneSystem, kSceneSystem>;
using CSceneSystemFactory = TComponentFactory<CSceneSystem, kCSceneSystem>;
using CSceneBaseObjFactory = TComponentFactory<CSceneBaseObj, kCSceneBaseObj>;
using CBaseCameraFactory = TComponentFactory<CBaseCamera, kCBaseCamera>;
using CVideoTextureManagerFactory = TComponentFactory<CVideoTextureManager, kCVideoTextureManager>;
using COcclusionSystemFactory = TComponentFactory<COcclusionSystem, kCOcclusionSystem>;
using CTerrainManagerFactory = TComponentFactory<CTerrainManager, kCTerrainManager>;
using CAdaptiveBinaryTreeFactory = TComponentFactory<CAdaptiveBinaryTree, kCAdaptiveBinaryTree>;
using CCellPortalGraphBuilderFactory = TComponentFactory<CCellPortalGraphBuilder, kCCellPortalGraphBuilder>;
using CLightmapMakerFactory = TComponentFactory<CLightmapMaker, kCLightmapMaker>;
using CTerrainEditorFactory = TComponentFactory<CTerrainEditor, kCTerrainEditor>;
using CGlowFactory = TComponentFactory<CGlow, kCGlow>;

SceneBaseObjFactory g_SceneBaseObjFactory;
SceneSystemFactory g_SceneSystemFactory;
CSceneSystemFactory g_CSceneSystemFactory;
CSceneBaseObjFactory g_CSceneBaseObjFactory;
CBaseCameraFactory g_CBaseCameraFactory;
CVideoTextureManagerFactory g_CVideoTextureManagerFactory;
COcclusionSystemFactory g_COcclusionSystemFactory;
CTerrainManagerFactory g_CTerrainManagerFactory;
CAdaptiveBinaryTreeFactory g_CAdaptiveBinaryTreeFactory;
CCellPortalGraphBuilderFactory g_CCellPortalGraphBuilderFactory;
CLightmapMakerFactory g_CLightmapMakerFactory;
CTerrainEditorFactory g_CTerrainEditorFactory;
CGlowFactory g_CGlowFactory;
