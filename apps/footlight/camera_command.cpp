#include "apps/footlight/camera_command.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "apps/footlight/raster_options.h"
#include "apps/footlight/scene_session.h"
#include "camera/base_camera.h"
#include "objects/scene_base_obj.h"
#include "scene/scene_system.h"
#include "win32/win32.h"
#include "win32/win32_state.h"

namespace footlight {

namespace {

struct CameraOptions {
  std::string resource = ".";
  int scene = -1;
  std::string mode;
  std::string action;
  std::string section;
  bool loop = false;
  std::string input;
  int frames = 10;
  int elapsed = 33;
  PictureOptions picture;
};

// By the module's mode numbers, 1 to 7.
const char* const kModeNames[] = {"free", "first", "orbit", "auto", "action", "look", "point"};

std::string Check(const CameraOptions& o) {
  if (o.action.empty() && (!o.section.empty() || o.loop)) return "--section and --loop need --action NAME";
  if (!o.action.empty() && !o.mode.empty()) return "--action plays its own mode: no --mode with it";
  if (!o.picture.png.empty() && o.scene < 0) return "--png needs --scene N: a camera alone draws nothing";
  return "";
}

bool ParseKey(const std::string& word, int* key) {
  if (word.size() == 1 && ((word[0] >= 'A' && word[0] <= 'Z') || (word[0] >= '0' && word[0] <= '9'))) {
    *key = word[0];
    return true;
  }
  if (word.size() == 1 && word[0] >= 'a' && word[0] <= 'z') {
    *key = word[0] - 'a' + 'A';
    return true;
  }
  if (word == "ctrl") return (*key = VK_CONTROL), true;
  if (word == "add") return (*key = VK_ADD), true;
  if (word == "subtract") return (*key = VK_SUBTRACT), true;
  return ParseBoundedInt(word, 0, 255, key);
}

bool ParsePosition(const std::string& word, int* x, int* y) {
  const size_t comma = word.find(',');
  return comma != std::string::npos && ParseBoundedInt(word.substr(0, comma), 0, 65535, x) &&
         ParseBoundedInt(word.substr(comma + 1), 0, 65535, y);
}

void Print(std::FILE* out, const char* name, const D3DXVECTOR3& v) {
  // What rounds to zero prints as a plain 0.000, never as -0.000.
  auto plain = [](float f) { return std::fabs(f) < 0.0005f ? 0.0 : static_cast<double>(f); };
  std::fprintf(out, "  %s %.3f,%.3f,%.3f", name, plain(v.x), plain(v.y), plain(v.z));
}

// Hands a line's message to the window and the platform's input state.
void Deliver(host::ReferenceHost& host, const CameraInputLine& line) {
  const uint32_t position = (static_cast<uint32_t>(line.y) << 16) | static_cast<uint32_t>(line.x);
  POINT screen{line.x, line.y};
  ClientToScreen(host.GetWindowHandle(), &screen);
  switch (line.message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
      win32::SetKeyDown(line.key, line.message == WM_KEYDOWN);
      host.SystemMessage(line.message, static_cast<uint32_t>(line.key), 0);
      return;
    case WM_MOUSEWHEEL:
      host.SystemMessage(line.message, static_cast<uint32_t>(static_cast<uint16_t>(line.wheel)) << 16, 0);
      return;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP: win32::SetKeyDown(VK_LBUTTON, line.message == WM_LBUTTONDOWN); break;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP: win32::SetKeyDown(VK_RBUTTON, line.message == WM_RBUTTONDOWN); break;
    default: break;
  }
  win32::SetCursorPosition(screen.x, screen.y);
  host.SystemMessage(line.message, 0, position);
}

}  // namespace

const char* CameraModeName(int32_t mode) {
  return mode >= 1 && mode <= 7 ? kModeNames[mode - 1] : "none";
}

bool ParseCameraInput(const std::string& text, int frames, std::vector<CameraInputLine>* out, std::string* error) {
  struct Name {
    const char* word;
    uint32_t message;
  };
  const Name names[] = {{"keydown", WM_KEYDOWN},         {"keyup", WM_KEYUP},           {"mousemove", WM_MOUSEMOVE},
                        {"rbuttondown", WM_RBUTTONDOWN}, {"rbuttonup", WM_RBUTTONUP},   {"lbuttondown", WM_LBUTTONDOWN},
                        {"lbuttonup", WM_LBUTTONUP},     {"wheel", WM_MOUSEWHEEL}};
  std::vector<CameraInputLine> lines;
  std::istringstream in(text);
  std::string row;
  for (int number = 1; std::getline(in, row); ++number) {
    auto fail = [&](const std::string& why) {
      *error = "line " + std::to_string(number) + ": " + why;
      return false;
    };
    std::istringstream words(row);
    std::string frame, message, argument, extra;
    words >> frame >> message >> argument >> extra;
    if (frame.empty() || frame[0] == '#') continue;
    CameraInputLine line;
    if (!ParseBoundedInt(frame, 1, 1000000, &line.frame)) return fail("the frame \"" + frame + "\" is not a whole number from 1");
    if (line.frame > frames) return fail("frame " + frame + " is past the last frame (" + std::to_string(frames) + ")");
    // Lines are handed over as the frames pass, so one behind its predecessor would never be.
    if (!lines.empty() && line.frame < lines.back().frame)
      return fail("frame " + frame + " comes after frame " + std::to_string(lines.back().frame) +
                  " (lines go in frame order)");
    const Name* name = nullptr;
    for (const Name& n : names)
      if (message == n.word) name = &n;
    if (name == nullptr) return fail("unknown message \"" + message + "\"");
    line.message = name->message;
    if (!extra.empty()) return fail("one argument too many, \"" + extra + "\"");
    if (line.message == WM_KEYDOWN || line.message == WM_KEYUP) {
      if (!ParseKey(argument, &line.key)) return fail("\"" + argument + "\" is no key");
    } else if (line.message == WM_MOUSEWHEEL) {
      if (!ParseBoundedInt(argument, -32768, 32767, &line.wheel)) return fail("the wheel delta \"" + argument + "\" is not a whole number");
    } else if (!ParsePosition(argument, &line.x, &line.y)) {
      return fail("\"" + argument + "\" is no position X,Y");
    }
    lines.push_back(line);
  }
  *out = std::move(lines);
  return true;
}

namespace {

int RunCamera(const CameraOptions& o, DMAInterfaceFn entry) {
  std::vector<CameraInputLine> input;
  if (!o.input.empty()) {
    std::vector<uint8_t> bytes;
    std::string error;
    bool opened = false;
    // A path that does not open is a wrong argument; a folder, a device or too large a file is
    // a read that failed.
    if (!cli::ReadPlain(o.input, "input", kCameraInputMaxBytes, &bytes, &error, &opened))
      return opened ? cli::Fail(error) : cli::Usage(error);
    if (!ParseCameraInput(std::string(bytes.begin(), bytes.end()), o.frames, &input, &error)) {
      return cli::Usage((error.rfind("line ", 0) == 0 ? o.input + " " : "") + error);
    }
  }
  win32::ResetState();
  SceneSession session(o.resource, entry, o.picture.Config());
  auto finish = [&](int status) {
    const int closed = session.Close(status);
    win32::ResetState();
    return closed;
  };
  host::ReferenceHost& host = session.standard().host;
  // The command's window is the one in front, so the camera may capture and steer the cursor.
  win32::SetForegroundWindow(host.GetWindowHandle());
  CSceneSystem* scene = nullptr;
  CBaseCamera* camera = nullptr;
  CSceneBaseObj* object = nullptr;
  if (o.scene >= 0) {
    if (!session.Load(o.scene)) return finish(1);
    scene = session.scene();
    camera = scene->GetCamera();
    const uint32_t id[2] = {1, 1};
    object = scene->CreateSceneObject(id);
    if (camera == nullptr) return finish(cli::Fail("the scene system made no camera"));
  } else {
    camera = session.Make<CBaseCamera>("CBaseCamera");
    object = camera != nullptr ? session.Make<CSceneBaseObj>("CSceneBaseObj") : nullptr;
    if (object == nullptr) return finish(1);
  }
  const D3DXVECTOR3 origin(0.0f, 0.0f, 0.0f);
  if (object != nullptr) object->SetPositionAction(&origin, 0.0f, 0);
  const ComponentHandle followed = object != nullptr ? object->handle : ComponentHandle{};
  if (scene != nullptr) camera->SetLookAt(&scene->originCameraEye, &scene->originCameraTarget);

  const std::string mode = o.mode.empty() && o.action.empty() ? "free" : o.mode;
  if (mode == "free") {
    camera->EnterFreeFly();
  } else if (mode == "first") {
    camera->EnterOrbit(&followed, 1.5f, 1, 1);
    camera->EnterFirstPerson(0);
  } else if (mode == "orbit") {
    camera->EnterOrbit(&followed, 1.5f, 1, 1);
  } else if (mode == "auto") {
    camera->EnterAutoShots(&followed, 0);
  } else if (mode == "look") {
    camera->EnterMouseLook();
  } else if (mode == "point") {
    camera->SetOrbitTarget(scene != nullptr ? &scene->originCameraTarget : &origin);
  }
  if (!o.action.empty()) {
    if (!camera->PlayAction(o.action.c_str())) {
      const std::string file = "resource\\ini\\Brivanta\\common\\" + o.action + ".ini";
      std::string line;
      if (cli::Readable(o.resource, file, &line)) {
        const std::vector<std::string>& refused = session.standard().objects->animation.Errors();
        line = "its file " + file + " opened but its animation did not load" +
               (refused.empty() ? std::string() : ": " + refused.back());
      }
      return finish(cli::Fail("the camera action \"" + o.action + "\" did not load: " + line));
    }
    D3DXMATRIX base;
    D3DXMatrixIdentity(&base);
    camera->PlayActionSection(o.section.c_str(), &base, 1.0f, o.loop ? 1 : 0, 0, 1);
  }

  o.picture.ClearFrames(session.standard());
  size_t next = 0;
  for (int frame = 1; frame <= o.frames; ++frame) {
    for (; next < input.size() && input[next].frame == frame; ++next) Deliver(host, input[next]);
    session.standard().Frame(static_cast<uint32_t>(o.elapsed));
    D3DXVECTOR3 eye, at;
    camera->GetLookAt(&eye, &at);
    D3DVECTOR viewEye{}, viewAt{}, up{};
    session.standard().renderer.GetLookAt(&viewEye, &viewAt, &up);
    std::printf("frame %d  mode %s", frame, CameraModeName(camera->GetMode()));
    Print(stdout, "eye", eye);
    Print(stdout, "at", at);
    Print(stdout, "view", D3DXVECTOR3(viewEye.x, viewEye.y, viewEye.z));
    Print(stdout, "->", D3DXVECTOR3(viewAt.x, viewAt.y, viewAt.z));
    if (camera->currentAction >= 0) {
      const CameraActionRecord& record = camera->actions[static_cast<size_t>(camera->currentAction)];
      if (record.currentSection >= 0) {
        const CameraActionSection& section = record.sections[static_cast<size_t>(record.currentSection)];
        std::printf("  section %s step %d", section.name.c_str(), section.step);
        if (section.step >= 0) std::printf(" (%s)", section.tracks[static_cast<size_t>(section.step)].c_str());
      } else {
        std::printf("  no section running");
      }
    }
    std::printf("\n");
  }
  return finish(WritePicture(o.picture, session.standard().renderer));
}

}  // namespace

void AddCameraCommand(cli::Program& program) {
  auto* o = program.Keep<CameraOptions>();
  CLI::App* cmd = program.Command("camera", "drive a camera with window messages and print where it looks",
                                  [o](const cli::Context& context) { return RunCamera(*o, context.entry); });
  cli::ResourceRoot(cmd, &o->resource);
  cli::Whole(cmd, "--scene", &o->scene, 0, INT_MAX, "drive scene N's own camera");
  cli::Custom<std::string>(
      cmd, "--mode", &o->mode, "MODE", "a camera mode: free, first, orbit, auto, look or point",
      [](const std::string& text, std::string* mode) {
        for (const char* name : {"free", "first", "orbit", "auto", "look", "point"})
          if (text == name) {
            *mode = text;
            return true;
          }
        return false;
      },
      "the mode to enter (default free)");
  cmd->add_option("--action", o->action, "play the camera action resource\\ini\\Brivanta\\common\\NAME.ini")
      ->type_name("NAME");
  cmd->add_option("--section", o->section, "the action's section to play (default: a random one)")->type_name("S");
  cmd->add_flag("--loop", o->loop, "loop the action");
  cli::PlainPath(cmd, "--input", &o->input, "window messages, one a line: FRAME MESSAGE [ARGUMENT]");
  cli::Whole(cmd, "--frames", &o->frames, 1, 1000000, "frames to run (default 10)");
  cli::Whole(cmd, "--elapsed", &o->elapsed, 0, 1000000, "milliseconds between frames (default 33)")->type_name("MS");
  DeclarePictureOptions(cmd, &o->picture);
  program.Check(cmd, [o] { return Check(*o); });
}

}  // namespace footlight
