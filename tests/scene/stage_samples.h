// The generator of sample stage 1's pictures and of the models they lie on, made with fixed
// arithmetic so that a test can make them again and compare them byte for byte with the files
// committed in samples/:
//
//   the dance floor's tiles, the brick walls and their light maps, baked with the falloff of the
//   stage's two spots (the floor map's light map too), the stage flag, the poster, the banner's
//   bands and its detail checker, the glass of the mirror, the test card of the video screen,
//   the sky the chrome reflects, the spot's footprint, the beam and the smoke that distorts it,
//   the star, the shine under a character's head; the walls, screen, mirror, poster, banner and
//   panel models; the guard's and the dancer's meshes.
//
// Pictures are uncompressed 32-bit TGA files, first row at the top. The light maps are
// modulated in twice over (128 leaves a texel as it is).
//
// To write them into the tree: FOOTLIGHT_WRITE_SAMPLES=1 build/tests/test_scene
//   --gtest_filter=StageSamples.*
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace scene_samples {

// A stage spot as the light file gives it, enough to bake its light.
struct Spot {
  float position[3];
  float direction[3];  // unit
  float colour[3];
  float theta, phi, falloff;  // full inner and outer cone angles (radians)
  float attenuation[3];
  float range;
};

// The two spots of samples/resource/ini/scene/light/1.ini: the left one lights the floor in
// front of the back wall (and projects its footprint there), the right one the back wall.
const std::vector<Spot>& StageSpots();

// The light a wall or floor point receives from the spots (each channel), facing `normal`.
void SpotLight(const float point[3], const float normal[3], float out[3]);

// Every sample file by its path below samples/.
std::map<std::string, std::vector<uint8_t>> AllSamples();

}  // namespace scene_samples
