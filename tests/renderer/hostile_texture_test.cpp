// Texture files whose headers promise more than the file holds.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "d3dx8/d3dx8tex.h"
#include "host/d3d_device.h"
#include "support/zero_png.h"

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// A 24-bit BMP of the given sides with `pixelBytes` bytes after its 54-byte header.
std::vector<uint8_t> Bmp(int32_t width, int32_t height, size_t pixelBytes, uint8_t fill = 0x80) {
  std::vector<uint8_t> out = {'B', 'M'};
  Put32(out, static_cast<uint32_t>(54 + pixelBytes));
  Put32(out, 0);
  Put32(out, 54);  // pixels start here
  Put32(out, 40);
  Put32(out, static_cast<uint32_t>(width));
  Put32(out, static_cast<uint32_t>(height));
  Put16(out, 1);
  Put16(out, 24);
  Put32(out, 0);  // uncompressed
  for (int i = 0; i < 5; ++i) Put32(out, 0);
  out.resize(54 + pixelBytes, fill);
  return out;
}

// A TGA header of kind `type` (2 plain colour, 10 run-length colour), 24 bits per pixel.
std::vector<uint8_t> TgaHeader(uint8_t type, uint16_t width, uint16_t height) {
  std::vector<uint8_t> out = {0, 0, type, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  Put16(out, width);
  Put16(out, height);
  out.push_back(24);
  out.push_back(0x20);  // top-left origin
  return out;
}

struct Loader : ::testing::Test {
  host::Device device;
  // The device says it makes textures up to side x side.
  void Takes(UINT side) {
    D3DCAPS8 caps = host::DefaultCaps();
    caps.MaxTextureWidth = caps.MaxTextureHeight = side;
    device.SetCaps(caps);
  }
  HRESULT Load(const std::vector<uint8_t>& bytes, IDirect3DTexture8** texture) {
    return D3DXCreateTextureFromFileInMemory(&device, bytes.data(), static_cast<UINT>(bytes.size()), texture);
  }
  // The top-left texel of level 0 of a texture that loaded, as ARGB.
  uint32_t FirstTexel(IDirect3DTexture8* texture) {
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    const uint32_t v = *static_cast<const uint32_t*>(locked.pBits);
    texture->UnlockRect(0);
    return v;
  }
};

TEST_F(Loader, HeadersClaimingMoreThanTheFileHoldsAreInvalidData) {
  const std::vector<std::vector<uint8_t>> hostile = {
      Bmp(16000, 16000, 0),       // a bare header that promises 768 MB of pixels
      Bmp(20000, 2, 20000 * 6),   // wider than any texture, pixels present
      Bmp(4, -20000, 4 * 20000 * 3),
      Bmp(4, 4, 4 * 3 * 3),       // one row short
      // 514 x 12544 at one bit in 44 bytes, under a compression the reader does not know.
      std::vector<uint8_t>{
           0x42, 0x4d, 0x46, 0x00, 0x00, 0x00, 0x28, 0x00, 0x6e, 0x00, 0x00, 0x02,
           0x00, 0x00, 0x28, 0x00, 0x00, 0x00, 0x02, 0x02, 0x00, 0x00, 0x00, 0x31,
           0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0xff, 0x00, 0x00, 0xff, 0xff, 0x00,
           0x00, 0x00, 0x00, 0xff, 0x00, 0x00, 0x00, 0x00,
      },
      TgaHeader(2, 64, 64),       // a header without pixels
      TgaHeader(2, 16385, 1),
  };
  for (size_t i = 0; i < hostile.size(); ++i) {
    IDirect3DTexture8* texture = nullptr;
    EXPECT_EQ(Load(hostile[i], &texture), D3DXERR_INVALIDDATA) << "file " << i;
    EXPECT_EQ(texture, nullptr);
  }

  // Run-length pixels that stop short: one run of 128 and a literal of 2 for 16 x 16 pixels.
  std::vector<uint8_t> rle = TgaHeader(10, 16, 16);
  rle.insert(rle.end(), {0xFF, 1, 2, 3, 0x01, 4, 5, 6, 7, 8, 9});
  IDirect3DTexture8* texture = nullptr;
  EXPECT_EQ(Load(rle, &texture), D3DXERR_INVALIDDATA);
  // A literal packet cut in its middle.
  std::vector<uint8_t> cut = TgaHeader(10, 2, 1);
  cut.insert(cut.end(), {0x01, 4, 5, 6, 7});
  EXPECT_EQ(Load(cut, &texture), D3DXERR_INVALIDDATA);
}

TEST_F(Loader, BmpRowsCountTheirPaddingToFourBytes) {
  // 1 x 4 at 24 bits: each row is 3 pixel bytes and 1 of padding, 16 bytes in all.
  IDirect3DTexture8* texture = nullptr;
  EXPECT_EQ(Load(Bmp(1, 4, 12), &texture), D3DXERR_INVALIDDATA);
  EXPECT_EQ(texture, nullptr);
  ASSERT_EQ(Load(Bmp(1, 4, 16), &texture), D3D_OK);
  texture->Release();
}

// Whole, decodable files: what refuses them is what they declare, not what they hold.
TEST_F(Loader, ImagesLargerThanTheDeviceTakesAreRefusedBeforeDecoding) {
  Takes(64);
  IDirect3DTexture8* texture = nullptr;
  const uint64_t decoded = d3dx8::ImagesDecoded();
  for (const auto& [width, height] : std::vector<std::pair<uint32_t, uint32_t>>{{65, 1}, {1, 65}}) {
    EXPECT_EQ(Load(testpng::ZeroPng(width, height, 8, 0), &texture), D3DXERR_INVALIDDATA) << width << " x " << height;
    EXPECT_EQ(Load(Bmp(static_cast<int32_t>(width), static_cast<int32_t>(height), 4 * 65), &texture),
              D3DXERR_INVALIDDATA);
    std::vector<uint8_t> tga = TgaHeader(2, static_cast<uint16_t>(width), static_cast<uint16_t>(height));
    tga.resize(tga.size() + 3 * 65);
    EXPECT_EQ(Load(tga, &texture), D3DXERR_INVALIDDATA);
  }
  EXPECT_EQ(d3dx8::ImagesDecoded(), decoded);
  ASSERT_EQ(Load(testpng::ZeroPng(64, 64, 8, 0), &texture), D3D_OK);
  EXPECT_EQ(d3dx8::ImagesDecoded(), decoded + 1);
  texture->Release();
}

TEST_F(Loader, PngDataThatInflatesPastWhatTheHeaderImpliesIsRefused) {
  struct Case {
    uint32_t width, height;
    uint8_t colour, interlace;
    uint64_t inflated;
    HRESULT result;
  };
  // Rows of a filter byte and their samples; an interlaced 3 x 3 has rows of 1, 1, 2, 1 and 3
  // pixels in its passes 1, 4, 5, 6 (two rows) and 7: 2 + 2 + 3 + 2 x 2 + 4 = 15 bytes.
  for (const Case& c : std::vector<Case>{
           {1, 1, 6, 0, 5, D3D_OK},
           {1, 1, 6, 0, 6, D3DXERR_INVALIDDATA},
           {1, 1, 6, 0, 64ull << 20, D3DXERR_INVALIDDATA},  // in about 400 KB
           {3, 3, 0, 1, 15, D3D_OK},
           {3, 3, 0, 1, 16, D3DXERR_INVALIDDATA},
       }) {
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<uint8_t> header;
    testpng::PutBe32(header, c.width);
    testpng::PutBe32(header, c.height);
    header.insert(header.end(), {8, c.colour, 0, 0, c.interlace});
    testpng::Chunk(png, "IHDR", header);
    testpng::Chunk(png, "IDAT", testpng::ZlibZeros(c.inflated));
    testpng::Chunk(png, "IEND", {});
    IDirect3DTexture8* texture = nullptr;
    EXPECT_EQ(Load(png, &texture), c.result) << c.width << " x " << c.height << " inflating to " << c.inflated;
    if (texture != nullptr) texture->Release();
  }
}

TEST_F(Loader, NoImageOfMoreThanTheBudgetOfPixelsIsDecodedWhateverTheDeviceTakes) {
  Takes(16384);
  IDirect3DTexture8* texture = nullptr;
  // 8192 x 2049 grey, 16,785,408 pixels, whole in about 100 KB.
  EXPECT_GT(8192ull * 2049, d3dx8::kMaxImagePixels);
  EXPECT_EQ(Load(testpng::ZeroPng(8192, 2049, 8, 0), &texture), D3DXERR_INVALIDDATA);
  // 16384 x 16384 at 16 bits a sample: 2 GB before it is narrowed, more than the reader counts in.
  EXPECT_EQ(Load(testpng::ZeroPng(16384, 16384, 16, 6, 64), &texture), D3DXERR_INVALIDDATA);
  EXPECT_EQ(texture, nullptr);
}

TEST_F(Loader, FormatsOtherThanPngBmpAndTgaNeverReachTheImageReader) {
  const std::vector<uint8_t> jpeg = {0xff, 0xff, 0xd8, 0xff, 0xff, 0xff, 0xff, 0xc4, 0x01, 0x00, 0x00, 0x00,
                                     0x00, 0x00, 0x00, 0x0b, 0xc4, 0x3b, 0x3b, 0x3d, 0xc4, 0xc4, 0xc4};
  std::vector<uint8_t> pnm = {'P', '5', '\n'};
  pnm.insert(pnm.end(), 27, '9');  // a side that overflows any integer
  pnm.insert(pnm.end(), {0x1e, 0x00});
  const std::vector<uint8_t> bigPnm = {'P', '5', '8', '5', '0', '5', ' ', ' ', '5', '1', '5', '1', ' ', ' ', '*'};
  const std::vector<uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3b};
  for (const std::vector<uint8_t>* bytes : std::vector<const std::vector<uint8_t>*>{&jpeg, &pnm, &bigPnm, &gif}) {
    IDirect3DTexture8* texture = nullptr;
    EXPECT_EQ(Load(*bytes, &texture), D3DXERR_INVALIDDATA);
    EXPECT_EQ(texture, nullptr);
  }
}

TEST_F(Loader, APngChunkLongerThanTheFileIsRefusedBeforeAnyBufferGrows) {
  // A 3 x 2 PNG header, then an image chunk that claims 0xFFFFFFF0 bytes.
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                              0, 0, 0, 3, 0, 0, 0, 2, 8, 6, 0, 0, 0, 0x9d, 0x74, 0x66, 0x1a,
                              0xFF, 0xFF, 0xFF, 0xF0, 'I', 'D', 'A', 'T', 0x78, 0x9c, 0x02, 0x63};
  IDirect3DTexture8* texture = nullptr;
  EXPECT_EQ(Load(png, &texture), D3DXERR_INVALIDDATA);
  EXPECT_EQ(texture, nullptr);
  // The header alone, with its CRC cut short.
  png.resize(30);
  EXPECT_EQ(Load(png, &texture), D3DXERR_INVALIDDATA);
}

TEST_F(Loader, CompleteFilesStillLoad) {
  // Rows of 2 pixels padded to 8 bytes; blue, green, red in the file.
  std::vector<uint8_t> bmp = Bmp(2, 2, 16, 0);
  for (size_t row = 0; row < 2; ++row)
    for (size_t px = 0; px < 2; ++px) {
      bmp[54 + row * 8 + px * 3 + 0] = 0x30;
      bmp[54 + row * 8 + px * 3 + 1] = 0x20;
      bmp[54 + row * 8 + px * 3 + 2] = 0x10;
    }
  IDirect3DTexture8* texture = nullptr;
  ASSERT_EQ(Load(bmp, &texture), D3D_OK);
  EXPECT_EQ(FirstTexel(texture) & 0xFFFFFFu, 0x102030u);
  texture->Release();

  // 2 x 2 run-length pixels exactly: a run of 3, then a literal of 1.
  std::vector<uint8_t> rle = TgaHeader(10, 2, 2);
  rle.insert(rle.end(), {0x82, 0x33, 0x22, 0x11, 0x00, 0x66, 0x55, 0x44});
  ASSERT_EQ(Load(rle, &texture), D3D_OK);
  EXPECT_EQ(FirstTexel(texture) & 0xFFFFFFu, 0x112233u);
  texture->Release();

  std::vector<uint8_t> plain = TgaHeader(2, 1, 1);
  plain.insert(plain.end(), {0x03, 0x02, 0x01});
  ASSERT_EQ(Load(plain, &texture), D3D_OK);
  EXPECT_EQ(FirstTexel(texture) & 0xFFFFFFu, 0x010203u);
  texture->Release();
}

}  // namespace
