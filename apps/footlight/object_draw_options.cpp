#include "apps/footlight/object_draw_options.h"

#include "apps/footlight/scene_run.h"

#include <climits>
#include <cstdint>
#include <cstdlib>

#include "d3dx8/d3dx8math.h"
#include "frame/component_base.h"
#include "host/renderable.h"
#include "host/standard_host.h"
#include "objects/scene_base_obj.h"
#include "scene/scene_system.h"

namespace footlight {

namespace {

bool Number(const std::string& text) {
  float unused = 0.0f;
  return cli::ParseNumber(text, cli::Range{}, &unused);
}

host::RenderableObject* RenderableOf(host::ReferenceHost& host, const ComponentHandle* handle) {
  if (handle == nullptr) return nullptr;
  return static_cast<host::RenderableObject*>(static_cast<IRenderableObject*>(host.GetObject(handle)));
}

// What the object drew in one frame, from the renderer's records.
void PrintDraws(host::Renderer& renderer, size_t firstDraw, size_t firstText, FILE* out) {
  const auto& draws = renderer.Draws();
  size_t shown = 0;
  for (size_t i = firstDraw; i < draws.size(); ++i, ++shown) {
    const host::DrawRecord& d = draws[i];
    const D3DMATRIX& w = d.state->world;
    const std::string effect = renderer.EffectName(d.effect);
    if (d.slot == 55 && d.primitiveType == D3DPT_LINESTRIP) {
      std::fprintf(out, "  path: line strip of %u lines through %u waypoints\n", d.primitiveCount, d.primitiveCount + 1);
    } else if (d.slot == 57 && d.primitiveType == D3DPT_LINELIST) {
      std::fprintf(out, "  box: %u lines over %u corners (%s) at %.3f,%.3f,%.3f\n", d.primitiveCount, d.vertexCount,
                   effect.c_str(), w._41, w._42, w._43);
    } else if (effect == "afterImage") {
      std::fprintf(out, "  after-image copy: texture factor 0x%08x at %.3f,%.3f,%.3f\n",
                   static_cast<unsigned>(d.state->RenderState(60)), w._41, w._42, w._43);
    } else {
      // The colour follows the position and, in a mesh's vertices, the normal.
      const UINT colour = 12 + ((d.fvf & D3DFVF_NORMAL) != 0 ? 12 : 0) + ((d.fvf & D3DFVF_PSIZE) != 0 ? 4 : 0);
      const unsigned alpha = (d.fvf & D3DFVF_DIFFUSE) != 0 ? d.VertexDword(d.firstVertex, colour) >> 24 : 255;
      std::fprintf(out, "  model: %u triangles, alpha %u at %.3f,%.3f,%.3f\n", d.primitiveCount, alpha, w._41, w._42,
                   w._43);
    }
  }
  if (shown == 0) std::fprintf(out, "  no draws\n");
  const auto& texts = renderer.Texts();
  if (texts.size() == firstText) std::fprintf(out, "  name plate: not drawn\n");
  for (size_t i = firstText; i < texts.size(); ++i)
    std::fprintf(out, "  name plate: \"%s\" in font %d at %d,%d depth %.3f\n", texts[i].text.c_str(), texts[i].font,
                 texts[i].x, texts[i].y, texts[i].z);
}

}  // namespace

bool ParseAfterImage(const std::string& text, std::string* event) {
  const std::vector<std::string> t = cli::SplitCommas(text);
  if (t.size() != 5) return false;
  long long n = 0;
  const std::string& d = t[3];
  const bool share = !d.empty() && d.back() == '%' && Number(d.substr(0, d.size() - 1));
  cli::Colour colour;
  // The module keeps every positive 32-bit interval and up to 16 copies; it clamps the rest, which
  // would hand over a run other than the one asked for.
  if (!cli::ParseWhole(t[0], 1, INT32_MAX, &n) || !cli::ParseWhole(t[1], 1, 16, &n) || !Number(t[2]) ||
      !(share || cli::ParseWhole(d, INT_MIN, INT_MAX, &n)) || !cli::ParseColour(t[4], &colour))
    return false;
  *event = t[0] + "," + t[1] + "," + t[2] + "," + t[3] + "," + std::to_string(colour.rgb);
  return true;
}

void DeclareObjectDrawOptions(CLI::App* cmd, ObjectDrawOptions* o) {
  cmd->add_flag("--draw", o->draw, "draw the object for the frames as the scene's passes call it");
  cmd->add_flag("--box", o->box, "show its bounding box");
  cmd->add_option("--title", o->title, "give it a name plate")->type_name("TEXT");
  cli::Whole(cmd, "--font", &o->font, 0, INT_MAX, "the name plate's font (default 0)")->type_name("F");
  cli::Custom<std::string>(
      cmd, "--highlight", &o->highlight, "on|off|MODE", "on, off or a mode 0-5",
      [](const std::string& text, std::string* value) {
        long long mode = 0;
        if (text != "on" && text != "off" && !cli::ParseWhole(text, 0, 5, &mode)) return false;
        *value = text;
        return true;
      },
      "switch the highlight on or off, or set its mode");
  cmd->add_option_function<std::string>(
         "--afterimage",
         [o](const std::string& text) {
           if (ParseAfterImage(text, &o->afterImage)) return;
           const std::vector<std::string> t = cli::SplitCommas(text);
           const std::string colour = cli::ColourWants(t.size() == 5 ? t[4] : "");
           throw CLI::ValidationError(cli::Takes("--afterimage",
                                                 "I,R,A,D,C (interval ms 1-2147483647, ring count 1-16, start alpha, "
                                                 "duration ms or P%, " + colour + ")",
                                                 text));
         },
         "start after-images with an \"afterImage\" animation event")
      ->type_name("I,R,A,D,C");
  cmd->add_flag("--shine", o->shine, "enable the shine");
  cli::Value(cmd, "--pick", &o->pick, "print the coarse and precise hits of the ray under the pixel");
  DeclarePictureOptions(cmd, &o->picture);
}

std::string CheckObjectDrawOptions(const ObjectDrawOptions& o) {
  return !o.picture.png.empty() && !o.Wanted() ? "--png needs --draw: the object is drawn only then" : "";
}

int DrawObject(host::StandardHost& standard, CSceneSystem* scene, CSceneBaseObj* object, const ObjectDrawOptions& o,
               int frames, FILE* out, const std::function<bool(int frame)>& afterExecute) {
  host::Renderer& renderer = standard.renderer;
  host::ReferenceHost& host = standard.host;
  // The host has one font of its own; a scene adds those its characters name.
  if (renderer.FontName(0).empty()) renderer.GetFont("default");
  if (o.title && renderer.FontName(static_cast<int>(o.font)).empty()) {
    std::fprintf(stderr, "footlight: option --font names no font the host has: %ld\n", o.font);
    return 2;
  }

  if (o.scene >= 0) PlaceOriginCamera(standard, scene);
  o.picture.ClearFrames(standard);
  object->Show(true);
  if (o.box) object->ShowBoundingBox(1);
  if (o.title) {
    const std::wstring title = cli::Wide(*o.title);
    object->SetTitle(title.c_str(), static_cast<int32_t>(o.font), 0, 1);
    std::fprintf(out, "title: \"%s\" in font %ld, half width %d\n", cli::Utf8(object->GetTitle()).c_str(), o.font,
                 object->GetTitleHalfWidth());
  }
  if (o.shine) {
    object->EnableShine();
    std::fprintf(out, "shine: texture %d%s\n", object->GetShineTexture(0),
                 object->GetShineTexture(0) >= 0 ? "" : " (shine001.tga did not load)");
  }
  if (!o.highlight.empty()) {
    const size_t firstLine = host.LogLines().size();
    if (o.highlight == "on" || o.highlight == "off")
      object->SetHighlight(o.highlight == "on");
    else
      object->SetHighlightMode(std::atoi(o.highlight.c_str()));
    for (size_t i = firstLine; i < host.LogLines().size(); ++i) std::fprintf(out, "%s\n", host.LogLines()[i].c_str());
    std::fprintf(out, "highlight mode: %d\n", object->highlightMode);
  }
  if (!o.afterImage.empty()) {
    // After-images start as the model's animation data starts them: an "afterImage" event.
    object->RegisterAnimationEvents();
    host::RenderableObject* model = RenderableOf(host, object->GetHandle());
    const std::string event = "afterImage," + o.afterImage;
    if (model != nullptr && model->face.textEventCallback != nullptr) {
      model->face.textEventCallback(model->face.textEventContext, nullptr, 0, event.c_str());
      std::fprintf(out, "after-images: event \"%s\"\n", event.c_str());
    } else {
      std::fprintf(out, "after-images: the object takes no animation events, \"%s\" was not delivered\n",
                   event.c_str());
    }
  }

  for (int frame = 1; frame <= frames; ++frame) {
    standard.Frame(16);
    object->Execute(16);
    const bool last = afterExecute && !afterExecute(frame);
    const size_t firstDraw = renderer.Draws().size();
    const size_t firstText = renderer.Texts().size();
    renderer.BeginScene();
    object->Realize(16);       // the main pass: path, after-image capture, box, model
    object->RealizeBlend(16);  // the blended pass: name plate, model, after-image copies
    renderer.EndScene();
    std::fprintf(out, "frame %d:\n", frame);
    PrintDraws(renderer, firstDraw, firstText, out);
    const D3DXVECTOR3 head = *object->GetHeadScreenPos();
    const D3DXVECTOR3 top = *object->GetTopScreenPos();
    std::fprintf(out, "  head on screen %.1f,%.1f depth %.3f; top %.1f,%.1f depth %.3f\n", head.x, head.y, head.z,
                 top.x, top.y, top.z);
    if (last) break;
  }

  if (o.pick) {
    // The ray under the screen point, from the near plane to the far one.
    D3DVIEWPORT8 viewport{};
    D3DXMATRIX projection, view, world;
    renderer.GetViewport(&viewport);
    renderer.GetTransform(D3DTS_PROJECTION, &projection);
    renderer.GetTransform(D3DTS_VIEW, &view);
    D3DXMatrixIdentity(&world);
    const int pickX = o.pick->x, pickY = o.pick->y;
    const D3DXVECTOR3 nearScreen(static_cast<float>(pickX), static_cast<float>(pickY), 0.0f);
    const D3DXVECTOR3 farScreen(static_cast<float>(pickX), static_cast<float>(pickY), 1.0f);
    D3DXVECTOR3 origin, end;
    if (D3DXVec3Unproject(&origin, &nearScreen, &viewport, &projection, &view, &world) == nullptr ||
        D3DXVec3Unproject(&end, &farScreen, &viewport, &projection, &view, &world) == nullptr) {
      std::fprintf(out, "pick at %d,%d: no view to pick through\n", pickX, pickY);
    } else {
      const D3DXVECTOR3 direction = end - origin;
      for (uint8_t precise : {uint8_t{0}, uint8_t{1}}) {
        D3DXVECTOR3 hit;
        if (object->HitTest(&hit, &origin, &direction, precise))
          std::fprintf(out, "pick at %d,%d (%s): %.3f,%.3f,%.3f\n", pickX, pickY, precise ? "precise" : "coarse",
                       hit.x, hit.y, hit.z);
        else
          std::fprintf(out, "pick at %d,%d (%s): nothing\n", pickX, pickY, precise ? "precise" : "coarse");
      }
    }
  }
  const int written = WritePicture(o.picture, renderer, out);
  if (scene != nullptr && o.scene >= 0) scene->UnloadSceneThunk();
  return written;
}

}  // namespace footlight
