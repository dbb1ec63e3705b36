#include "apps/footlight/glow_options.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "d3d8/pixel_format.h"
#include "d3dx8/d3dx8tex.h"
#include "lighting/glow.h"

void DeclareGlowOptions(CLI::App* cmd, GlowRunOptions* o) {
  using namespace footlight;
  cli::PlainPath(cmd, "--backdrop", &o->backdrop,
                 "put this picture (PNG, TGA, BMP or DDS), scaled to the back buffer, in it before each frame");
  cmd->add_flag("--glow", o->glow, "switch the glow on (a Home key release before the first frame)");
  cli::Whole(cmd, "--glow-strength", &o->strength, 0, 100, "send the glow event 222 with N (0 to 100)");
  cli::Number(cmd, "--glow-blend", &o->blend, "send the glow event 111 with F (default 0.3)");
}

std::string CheckGlowOptions(const GlowRunOptions& o, bool clear, const std::vector<std::string>& classes) {
  if (!o.backdrop.empty() && clear) return "--backdrop and --clear both fill the frame; give one";
  if (o.TalksToGlow() && !classes.empty() && std::find(classes.begin(), classes.end(), "CGlow") == classes.end())
    return "--glow, --glow-strength and --glow-blend need the glow among the classes (--class CGlow)";
  return "";
}

void StartGlow(host::ReferenceHost& host, const GlowRunOptions& o) {
  if (o.glow) host.SystemMessage(kGlowToggleMessage, kGlowToggleKey, 0);
  if (o.strength) host.SendEvent(kGlowEventStrength, {{false, *o.strength, 0.0f}});
  if (o.blend) host.SendEvent(kGlowEventBlend, {{true, 0, *o.blend}});
}

bool Backdrop::Load(host::Renderer& renderer, const std::string& path, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!footlight::cli::ReadPlain(path, "backdrop", d3dx8::kMaxImageFileBytes, &bytes, error)) return false;
  IDirect3DTexture8* texture = nullptr;
  if (bytes.empty() ||
      D3DXCreateTextureFromFileInMemory(&renderer.device(), bytes.data(), static_cast<UINT>(bytes.size()),
                                        &texture) != D3D_OK ||
      texture == nullptr) {
    *error = "the backdrop " + path + " is not a picture the texture loader reads";
    return false;
  }
  IDirect3DSurface8* level = nullptr;
  texture->GetSurfaceLevel(0, &level);
  const auto* source = static_cast<const host::Surface*>(level);
  const host::Surface* back = renderer.device().BackBuffer();
  width_ = back->Width();
  height_ = back->Height();
  pixels_.resize(static_cast<size_t>(width_) * height_);
  // The source pixel under each target pixel's centre.
  const uint64_t sw = source->Width(), sh = source->Height();
  for (UINT y = 0; y < height_; ++y)
    for (UINT x = 0; x < width_; ++x)
      pixels_[static_cast<size_t>(y) * width_ + x] =
          0xFF000000u | source->PixelArgb(static_cast<UINT>((2 * x + 1) * sw / (2 * width_)),
                                          static_cast<UINT>((2 * y + 1) * sh / (2 * height_)));
  level->Release();
  texture->Release();
  return true;
}

void Backdrop::Put(host::StandardHost& standard) const {
  host::Surface* back = standard.renderer.device().BackBuffer();
  if (back == nullptr || back->Width() != width_ || back->Height() != height_) return;
  D3DLOCKED_RECT locked{};
  if (back->LockRect(&locked, nullptr, 0) != D3D_OK) return;
  d3dfmt::EncodeRect(back->Format(), static_cast<uint8_t*>(locked.pBits), locked.Pitch, width_, height_,
                     pixels_.data());
  back->UnlockRect();
  const DWORD flags = standard.FullClearFlags() & ~static_cast<DWORD>(D3DCLEAR_TARGET);
  if (flags != 0) standard.renderer.Clear(0, nullptr, flags, 0, 1.0f, 0);
}
