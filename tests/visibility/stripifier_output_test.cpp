// The stripifier's output pinned down: a digest of every group it gives for the sample models and
// the benchmark's meshes under several setting mixes. The digests were taken from the stripifier
// before its speed-up (face adjacency table, reused trial storage, incremental cache hits), so
// any change of one index, type or count in any group shows here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "visibility/stripifier.h"
#include "visibility/stripifier_meshes.h"

namespace {

using stripifier_meshes::Mesh;

class Fnv1a {
 public:
  void Add(uint32_t value, int bytes) {
    for (int b = 0; b < bytes; ++b) {
      m_hash ^= (value >> (8 * b)) & 0xFFu;
      m_hash *= 0x100000001B3ull;
    }
  }
  uint64_t Value() const { return m_hash; }

 private:
  uint64_t m_hash = 0xCBF29CE484222325ull;
};

uint64_t OutputDigest(const Mesh& mesh) {
  StripOutput* groups = nullptr;
  uint16_t count = 0;
  const bool built =
      Stripifier::BuildPrimitives(mesh.indices.data(), uint32_t(mesh.indices.size()), &groups, &count, true);
  Fnv1a hash;
  hash.Add(built ? 1 : 0, 1);
  hash.Add(count, 2);
  for (uint16_t g = 0; g < count; ++g) {
    hash.Add(groups[g].type, 4);
    hash.Add(groups[g].count, 4);
    for (uint32_t k = 0; k < groups[g].count; ++k) hash.Add(groups[g].indices[k], 2);
  }
  delete[] groups;
  return hash.Value();
}

// The OBJ models of the sample tree as index lists: positions numbered from 0, polygons fanned.
std::vector<Mesh> SampleModels() {
  const std::filesystem::path root = std::filesystem::path(FOOTLIGHT_SOURCE_DIR) / "samples/resource";
  std::vector<std::filesystem::path> paths;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root / "models"))
    if (entry.path().extension() == ".obj") paths.push_back(entry.path());
  std::sort(paths.begin(), paths.end());
  std::vector<Mesh> meshes;
  for (const auto& path : paths) {
    Mesh mesh{std::filesystem::relative(path, root).generic_string(), {}, 0};
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
      std::istringstream words(line);
      std::string tag, corner;
      words >> tag;
      if (tag == "v") ++mesh.vertexCount;
      if (tag != "f") continue;
      std::vector<uint16_t> polygon;
      while (words >> corner) polygon.push_back(uint16_t(std::stoi(corner) - 1));
      for (size_t k = 2; k < polygon.size(); ++k)
        mesh.indices.insert(mesh.indices.end(), {polygon[0], polygon[k - 1], polygon[k]});
    }
    meshes.push_back(std::move(mesh));
  }
  return meshes;
}

struct Mix {
  const char* name;
  std::function<void()> set;
};

const Mix kMixes[] = {
    {"default", [] {}},
    {"join off", [] { Stripifier::SetJoinStrips(false); }},
    {"restart", [] { Stripifier::EnablePrimitiveRestart(0xFFFF); }},
    {"minimum 4", [] { Stripifier::SetMinimumStripLength(4); }},
    {"lists only", [] { Stripifier::SetOutputListsOnly(true); }},
};

struct Pinned {
  const char* mesh;
  const char* mix;
  uint64_t digest;
};

const Pinned kPinned[] = {
    {"models/box.obj", "default", 0xEBC6A7E568828BACull},
    {"models/box.obj", "join off", 0xD7E3E59BB07C2503ull},
    {"models/box.obj", "restart", 0xB14014BC89BBFF6Bull},
    {"models/box.obj", "minimum 4", 0xC7C74EC23202E91Aull},
    {"models/box.obj", "lists only", 0x3CFE5B0CAF11DAA1ull},
    {"models/rooms.obj", "default", 0x082F230F55B36730ull},
    {"models/rooms.obj", "join off", 0x9C693BA4F7B5ECE8ull},
    {"models/rooms.obj", "restart", 0x8D8859610D36D58Aull},
    {"models/rooms.obj", "minimum 4", 0x2E4CBACD0621FF34ull},
    {"models/rooms.obj", "lists only", 0x1252A8E8D53F6675ull},
    {"models/stage/fan.obj", "default", 0x5BCD186568AEBED0ull},
    {"models/stage/fan.obj", "join off", 0x2FF39A4766D41D53ull},
    {"models/stage/fan.obj", "restart", 0x5491D41481C0742Cull},
    {"models/stage/fan.obj", "minimum 4", 0x9D9D704EDFD30C48ull},
    {"models/stage/fan.obj", "lists only", 0x088B00C59B4633A2ull},
    {"models/stage/floor.obj", "default", 0xB24054FE38F820E3ull},
    {"models/stage/floor.obj", "join off", 0xE415F4F82D821C1Aull},
    {"models/stage/floor.obj", "restart", 0x05112EA33C83655Cull},
    {"models/stage/floor.obj", "minimum 4", 0x6BAA4FD127D80803ull},
    {"models/stage/floor.obj", "lists only", 0xB06DA467AA0627C9ull},
    {"models/stage/floor_inner.obj", "default", 0x8CF5AA7917F06A63ull},
    {"models/stage/floor_inner.obj", "join off", 0x8CF5AA7917F06A63ull},
    {"models/stage/floor_inner.obj", "restart", 0xAD29535C9BC7583Eull},
    {"models/stage/floor_inner.obj", "minimum 4", 0x584392EBA1CB93F3ull},
    {"models/stage/floor_inner.obj", "lists only", 0xBF0F2E52F9917549ull},
    {"models/stage/grass.obj", "default", 0xF69D8901D33B560Cull},
    {"models/stage/grass.obj", "join off", 0xF69D8901D33B560Cull},
    {"models/stage/grass.obj", "restart", 0x6A2ECA33D5194541ull},
    {"models/stage/grass.obj", "minimum 4", 0x3F162C9864FADBEFull},
    {"models/stage/grass.obj", "lists only", 0x06BA1FDB51B491F5ull},
    {"models/stage/mirror.obj", "default", 0x6C5CAB33D6F3B450ull},
    {"models/stage/mirror.obj", "join off", 0x6C5CAB33D6F3B450ull},
    {"models/stage/mirror.obj", "restart", 0x14AF949D5B91147Full},
    {"models/stage/mirror.obj", "minimum 4", 0x1ABC13367C6B9BBAull},
    {"models/stage/mirror.obj", "lists only", 0x6A4CC5DA16FF2CB0ull},
    {"models/stage/navigation.obj", "default", 0x9369A869E2A465F0ull},
    {"models/stage/navigation.obj", "join off", 0x92E3086D9AA0AC52ull},
    {"models/stage/navigation.obj", "restart", 0x6988EA840778D250ull},
    {"models/stage/navigation.obj", "minimum 4", 0x5B4823171C1BD653ull},
    {"models/stage/navigation.obj", "lists only", 0xA75B47BED3D54659ull},
    {"models/stage/panel.obj", "default", 0x6350B25F17092EC8ull},
    {"models/stage/panel.obj", "join off", 0x6350B25F17092EC8ull},
    {"models/stage/panel.obj", "restart", 0x6806202244257711ull},
    {"models/stage/panel.obj", "minimum 4", 0xDE23C10BE4B2753Bull},
    {"models/stage/panel.obj", "lists only", 0x2DB473AF7F460631ull},
    {"models/stage/screen.obj", "default", 0x6350B25F17092EC8ull},
    {"models/stage/screen.obj", "join off", 0x6350B25F17092EC8ull},
    {"models/stage/screen.obj", "restart", 0x6806202244257711ull},
    {"models/stage/screen.obj", "minimum 4", 0xDE23C10BE4B2753Bull},
    {"models/stage/screen.obj", "lists only", 0x2DB473AF7F460631ull},
    {"models/stage/walk.obj", "default", 0xB24054FE38F820E3ull},
    {"models/stage/walk.obj", "join off", 0xE415F4F82D821C1Aull},
    {"models/stage/walk.obj", "restart", 0x05112EA33C83655Cull},
    {"models/stage/walk.obj", "minimum 4", 0x6BAA4FD127D80803ull},
    {"models/stage/walk.obj", "lists only", 0xB06DA467AA0627C9ull},
    {"models/stage/walk_patch.obj", "default", 0xD80EE55D895B110Cull},
    {"models/stage/walk_patch.obj", "join off", 0x5AA13F68AF9A2EA4ull},
    {"models/stage/walk_patch.obj", "restart", 0x0749AC321B9E6284ull},
    {"models/stage/walk_patch.obj", "minimum 4", 0x2E518D0A5453344Full},
    {"models/stage/walk_patch.obj", "lists only", 0x0BE14ACCD2E5F545ull},
    {"models/stage/walls.obj", "default", 0x5BE7520A121CDE04ull},
    {"models/stage/walls.obj", "join off", 0x1807F186364E64EEull},
    {"models/stage/walls.obj", "restart", 0x74351D5ABCD80B75ull},
    {"models/stage/walls.obj", "minimum 4", 0xDBED5BA0F497A51Full},
    {"models/stage/walls.obj", "lists only", 0x81B512230F1825B5ull},
    {"models/tree/fence.obj", "default", 0x15BD6A8CC14D2F10ull},
    {"models/tree/fence.obj", "join off", 0xB2DEA82F59456502ull},
    {"models/tree/fence.obj", "restart", 0xA148E10B708578B0ull},
    {"models/tree/fence.obj", "minimum 4", 0xDC2A0B6786F9D9B3ull},
    {"models/tree/fence.obj", "lists only", 0x021182B18A943B79ull},
    {"models/tree/pane.obj", "default", 0x15BD6A8CC14D2F10ull},
    {"models/tree/pane.obj", "join off", 0xB2DEA82F59456502ull},
    {"models/tree/pane.obj", "restart", 0xA148E10B708578B0ull},
    {"models/tree/pane.obj", "minimum 4", 0xDC2A0B6786F9D9B3ull},
    {"models/tree/pane.obj", "lists only", 0x021182B18A943B79ull},
    {"models/tree/stage.obj", "default", 0xBE64F1F8B93CD003ull},
    {"models/tree/stage.obj", "join off", 0x45A881A611DE071Eull},
    {"models/tree/stage.obj", "restart", 0x0ACAB0949108995Dull},
    {"models/tree/stage.obj", "minimum 4", 0x775709657D01D478ull},
    {"models/tree/stage.obj", "lists only", 0x8480063E54A2EDCAull},
    {"grid/100", "default", 0xB931ED343E273750ull},
    {"grid/100", "join off", 0x8F671192BC501168ull},
    {"grid/100", "restart", 0xF938A073392352CCull},
    {"grid/100", "minimum 4", 0xBA8AE7DAAC83EA43ull},
    {"grid/100", "lists only", 0x4946AC0775E01AEAull},
    {"sphere/100", "default", 0xB0DED7769DEA6035ull},
    {"sphere/100", "join off", 0x80F20DDBB4FC9EE6ull},
    {"sphere/100", "restart", 0x3F70038F36D84827ull},
    {"sphere/100", "minimum 4", 0x478771896B714B71ull},
    {"sphere/100", "lists only", 0x1AAE714ADAB7C8EEull},
    {"torus/100", "default", 0x1DF7E0383FEE9749ull},
    {"torus/100", "join off", 0xF02CE53F0E0C63CBull},
    {"torus/100", "restart", 0x463D56305F6B35C6ull},
    {"torus/100", "minimum 4", 0x3EC9CBF0248D7393ull},
    {"torus/100", "lists only", 0x4565B4ACC1D550FEull},
    {"planar/100", "default", 0x082AC024DA68D563ull},
    {"planar/100", "join off", 0x5F947728B36A449Full},
    {"planar/100", "restart", 0xEDE38C8F64924B9Bull},
    {"planar/100", "minimum 4", 0x7D27C49AE87A8FDCull},
    {"planar/100", "lists only", 0x5170421F475937D6ull},
    {"grid/400", "default", 0xA0F99C0AD0FEB2F2ull},
    {"grid/400", "join off", 0xFC3EA39EC86001A8ull},
    {"grid/400", "restart", 0x9005A81E42D7AA87ull},
    {"grid/400", "minimum 4", 0xC5C059F4F7530766ull},
    {"grid/400", "lists only", 0x3A8B64ECEC2CAB59ull},
    {"sphere/400", "default", 0x3C6832D058E44F8Dull},
    {"sphere/400", "join off", 0xDB99608F8C381765ull},
    {"sphere/400", "restart", 0x761035BE568EE4FAull},
    {"sphere/400", "minimum 4", 0x5B8BF2056822F93Eull},
    {"sphere/400", "lists only", 0xD04457FC3D387781ull},
    {"torus/400", "default", 0xF12BC1C827E40175ull},
    {"torus/400", "join off", 0x1DEB4C432F73CBE6ull},
    {"torus/400", "restart", 0xE2009CC16F6BC658ull},
    {"torus/400", "minimum 4", 0xF12BC1C827E40175ull},
    {"torus/400", "lists only", 0x50A7D703037BC859ull},
    {"planar/400", "default", 0x0DADF9E2F1BFAB48ull},
    {"planar/400", "join off", 0x913BAE09758E4429ull},
    {"planar/400", "restart", 0x65B24BF930C0D05Cull},
    {"planar/400", "minimum 4", 0x59180A145A9A4788ull},
    {"planar/400", "lists only", 0x0856226F50117753ull},
    {"grid/800", "default", 0x42E68B7392389689ull},
    {"grid/800", "join off", 0x7E4383D0D9BCE6AEull},
    {"grid/800", "restart", 0x67E7E62D5B20C1D1ull},
    {"grid/800", "minimum 4", 0x2EC6F1E18D1F3EB4ull},
    {"grid/800", "lists only", 0x5CE5DB61A5589D61ull},
    {"sphere/800", "default", 0x9828AF95C25C2E8Cull},
    {"sphere/800", "join off", 0xB15073226085CCDDull},
    {"sphere/800", "restart", 0xA73464D642A10ACBull},
    {"sphere/800", "minimum 4", 0xAEED5C2CDE0A53AEull},
    {"sphere/800", "lists only", 0xD728BFE0CA38E776ull},
    {"torus/800", "default", 0x24D0BA916A70E69Full},
    {"torus/800", "join off", 0x64E96A0775B67D28ull},
    {"torus/800", "restart", 0x355369FE4CBE7586ull},
    {"torus/800", "minimum 4", 0x24D0BA916A70E69Full},
    {"torus/800", "lists only", 0xC5B5A787F117CEEEull},
    {"planar/800", "default", 0xED879B1EAA6B1DE2ull},
    {"planar/800", "join off", 0xD6579CE615553F40ull},
    {"planar/800", "restart", 0xFD0C1ECB2E9C15E7ull},
    {"planar/800", "minimum 4", 0xA38A9F4B795C4AD1ull},
    {"planar/800", "lists only", 0x147B3A0EB43B3B9Bull},
    {"grid/10000", "default", 0x820587ECDB486C89ull},
    {"grid/10000", "join off", 0x47F5E55FC7A2926Bull},
    {"grid/10000", "restart", 0x449482553888DA0Aull},
    {"grid/10000", "minimum 4", 0x745D6EEC33728EC9ull},
    {"grid/10000", "lists only", 0x6F51CA76D78DAA0Bull},
    {"sphere/10000", "default", 0xB101556D4E112A25ull},
    {"sphere/10000", "join off", 0x002C095C769A578Aull},
    {"sphere/10000", "restart", 0xF9C446BA797A5870ull},
    {"sphere/10000", "minimum 4", 0xC9BBEE9D5D6FDE1Eull},
    {"sphere/10000", "lists only", 0xE6708972D0313896ull},
    {"torus/10000", "default", 0x8FAF6DC1F5EE4D11ull},
    {"torus/10000", "join off", 0xA14952C04F5636CCull},
    {"torus/10000", "restart", 0xEC2292BBBFF7F5CEull},
    {"torus/10000", "minimum 4", 0x8FAF6DC1F5EE4D11ull},
    {"torus/10000", "lists only", 0x4AC0B7E1BF06AE12ull},
    {"planar/10000", "default", 0x5AD285E63B3B69FEull},
    {"planar/10000", "join off", 0x321A35D2A6FC9BD5ull},
    {"planar/10000", "restart", 0x784BAF11AE9C06CCull},
    {"planar/10000", "minimum 4", 0x632CE53D471404A1ull},
    {"planar/10000", "lists only", 0xBB53609A65B8EEFDull},
    {"models/characters/dancer_body.obj", "default", 0x8735B29BB570BC46ull},
    {"models/characters/dancer_body.obj", "join off", 0x5944BF1909A20565ull},
    {"models/characters/dancer_body.obj", "restart", 0xB752EEA18EC5E0CBull},
    {"models/characters/dancer_body.obj", "minimum 4", 0x300B02E1481F8300ull},
    {"models/characters/dancer_body.obj", "lists only", 0x6D67C24888273A5Aull},
    {"models/characters/dancer_dress.obj", "default", 0xC346873A6C32B873ull},
    {"models/characters/dancer_dress.obj", "join off", 0x9E6B0F385154F82Full},
    {"models/characters/dancer_dress.obj", "restart", 0xB1391951B924A081ull},
    {"models/characters/dancer_dress.obj", "minimum 4", 0xCE3D046F7F416F16ull},
    {"models/characters/dancer_dress.obj", "lists only", 0x9DA2E97A93FDC2D9ull},
    {"models/characters/guard_body.obj", "default", 0x8735B29BB570BC46ull},
    {"models/characters/guard_body.obj", "join off", 0x5944BF1909A20565ull},
    {"models/characters/guard_body.obj", "restart", 0xB752EEA18EC5E0CBull},
    {"models/characters/guard_body.obj", "minimum 4", 0x300B02E1481F8300ull},
    {"models/characters/guard_body.obj", "lists only", 0x6D67C24888273A5Aull},
    {"models/characters/guard_helmet.obj", "default", 0x016992911F0B50EDull},
    {"models/characters/guard_helmet.obj", "join off", 0x570111F43B7F0B15ull},
    {"models/characters/guard_helmet.obj", "restart", 0x0EADA7603EEA4429ull},
    {"models/characters/guard_helmet.obj", "minimum 4", 0x54CD303CF67630BCull},
    {"models/characters/guard_helmet.obj", "lists only", 0x26C7CBA4B479DE25ull},
    {"models/stage/banner.obj", "default", 0x6350B25F17092EC8ull},
    {"models/stage/banner.obj", "join off", 0x6350B25F17092EC8ull},
    {"models/stage/banner.obj", "restart", 0x6806202244257711ull},
    {"models/stage/banner.obj", "minimum 4", 0xDE23C10BE4B2753Bull},
    {"models/stage/banner.obj", "lists only", 0x2DB473AF7F460631ull},
    {"models/stage/poster.obj", "default", 0x6350B25F17092EC8ull},
    {"models/stage/poster.obj", "join off", 0x6350B25F17092EC8ull},
    {"models/stage/poster.obj", "restart", 0x6806202244257711ull},
    {"models/stage/poster.obj", "minimum 4", 0xDE23C10BE4B2753Bull},
    {"models/stage/poster.obj", "lists only", 0x2DB473AF7F460631ull},
    {"models/stage/beams.obj", "default", 0x6350B25F17092EC8ull},
    {"models/stage/beams.obj", "join off", 0x6350B25F17092EC8ull},
    {"models/stage/beams.obj", "restart", 0x6806202244257711ull},
    {"models/stage/beams.obj", "minimum 4", 0xDE23C10BE4B2753Bull},
    {"models/stage/beams.obj", "lists only", 0x2DB473AF7F460631ull},
    {"models/stage/bricks.obj", "default", 0x6350B25F17092EC8ull},
    {"models/stage/bricks.obj", "join off", 0x6350B25F17092EC8ull},
    {"models/stage/bricks.obj", "restart", 0x6806202244257711ull},
    {"models/stage/bricks.obj", "minimum 4", 0xDE23C10BE4B2753Bull},
    {"models/stage/bricks.obj", "lists only", 0x2DB473AF7F460631ull},
    {"models/stage/chrome.obj", "default", 0x6350B25F17092EC8ull},
    {"models/stage/chrome.obj", "join off", 0x6350B25F17092EC8ull},
    {"models/stage/chrome.obj", "restart", 0x6806202244257711ull},
    {"models/stage/chrome.obj", "minimum 4", 0xDE23C10BE4B2753Bull},
    {"models/stage/chrome.obj", "lists only", 0x2DB473AF7F460631ull},
    {"models/stage/glow.obj", "default", 0x6350B25F17092EC8ull},
    {"models/stage/glow.obj", "join off", 0x6350B25F17092EC8ull},
    {"models/stage/glow.obj", "restart", 0x6806202244257711ull},
    {"models/stage/glow.obj", "minimum 4", 0xDE23C10BE4B2753Bull},
    {"models/stage/glow.obj", "lists only", 0x2DB473AF7F460631ull},
    {"models/stage/haze.obj", "default", 0x6350B25F17092EC8ull},
    {"models/stage/haze.obj", "join off", 0x6350B25F17092EC8ull},
    {"models/stage/haze.obj", "restart", 0x6806202244257711ull},
    {"models/stage/haze.obj", "minimum 4", 0xDE23C10BE4B2753Bull},
    {"models/stage/haze.obj", "lists only", 0x2DB473AF7F460631ull},
    {"models/stage/leaves.obj", "default", 0x6350B25F17092EC8ull},
    {"models/stage/leaves.obj", "join off", 0x6350B25F17092EC8ull},
    {"models/stage/leaves.obj", "restart", 0x6806202244257711ull},
    {"models/stage/leaves.obj", "minimum 4", 0xDE23C10BE4B2753Bull},
    {"models/stage/leaves.obj", "lists only", 0x2DB473AF7F460631ull},
    {"models/stage/rim.obj", "default", 0x6350B25F17092EC8ull},
    {"models/stage/rim.obj", "join off", 0x6350B25F17092EC8ull},
    {"models/stage/rim.obj", "restart", 0x6806202244257711ull},
    {"models/stage/rim.obj", "minimum 4", 0xDE23C10BE4B2753Bull},
    {"models/stage/rim.obj", "lists only", 0x2DB473AF7F460631ull},
    {"models/stage/shine.obj", "default", 0x6350B25F17092EC8ull},
    {"models/stage/shine.obj", "join off", 0x6350B25F17092EC8ull},
    {"models/stage/shine.obj", "restart", 0x6806202244257711ull},
    {"models/stage/shine.obj", "minimum 4", 0xDE23C10BE4B2753Bull},
    {"models/stage/shine.obj", "lists only", 0x2DB473AF7F460631ull},
    {"models/stage/stain.obj", "default", 0x6350B25F17092EC8ull},
    {"models/stage/stain.obj", "join off", 0x6350B25F17092EC8ull},
    {"models/stage/stain.obj", "restart", 0x6806202244257711ull},
    {"models/stage/stain.obj", "minimum 4", 0xDE23C10BE4B2753Bull},
    {"models/stage/stain.obj", "lists only", 0x2DB473AF7F460631ull},
};

// Over 20 s under the sanitizers: it strips every sample mesh and the benchmark's 10,000-
// triangle meshes under each option set, since the large meshes run many more passes, each one
// reading what the passes before it left.
TEST(StripifierOutput, EveryGroupOfTheSamplesAndTheBenchmarkSetIsAsPinned) {
  std::vector<Mesh> meshes = SampleModels();
  ASSERT_GE(meshes.size(), 10u);
  for (Mesh& mesh : stripifier_meshes::StandardSet()) meshes.push_back(std::move(mesh));

  size_t checked = 0;
  for (const Mesh& mesh : meshes)
    for (const Mix& mix : kMixes) {
      Stripifier::ResetSettings();
      mix.set();
      const uint64_t digest = OutputDigest(mesh);
      const Pinned* pinned = std::find_if(std::begin(kPinned), std::end(kPinned), [&](const Pinned& p) {
        return mesh.name == p.mesh && std::string(mix.name) == p.mix;
      });
      char actual[24];
      std::snprintf(actual, sizeof actual, "0x%016" PRIX64 "ull", digest);
      if (pinned == std::end(kPinned)) {
        ADD_FAILURE() << "not pinned: {\"" << mesh.name << "\", \"" << mix.name << "\", " << actual << "},";
        continue;
      }
      EXPECT_EQ(digest, pinned->digest) << mesh.name << ", " << mix.name << ": " << actual;
      ++checked;
    }
  Stripifier::ResetSettings();
  EXPECT_EQ(checked, std::size(kPinned));
}

}  // namespace
