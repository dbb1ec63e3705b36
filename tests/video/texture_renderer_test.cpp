// The texture renderer filter driven directly: media types and samples from the test thread.
#include "video_fixture.h"

namespace {

using namespace video_testing;

struct Filter {
  CTextureRenderer* r;
  explicit Filter() {
    HRESULT hr = E_FAIL;
    r = new CTextureRenderer(nullptr, &hr);
    EXPECT_EQ(hr, S_OK);
    static_cast<IBaseFilter*>(r)->AddRef();
  }
  ~Filter() { static_cast<IBaseFilter*>(r)->Release(); }
  // SetMediaType with an RGB24 type of this size.
  HRESULT Take(LONG width, LONG height) {
    const CMediaType type = VideoType(width, height);
    return r->SetMediaType(&type);
  }
  CTextureRenderer* operator->() const { return r; }
};

// An RGB24 frame in stored order: byte k of stored row r is (r * 50 + k) mod 256.
std::vector<BYTE> StoredFrame(LONG width, LONG height) {
  std::vector<BYTE> bytes(static_cast<size_t>(Rgb24Pitch(width) * height));
  for (LONG r = 0; r < height; ++r)
    for (LONG k = 0; k < 3 * width; ++k) bytes[static_cast<size_t>(r * Rgb24Pitch(width) + k)] = static_cast<BYTE>(r * 50 + k);
  return bytes;
}

uint32_t Texel(IDirect3DTexture8* texture, UINT x, UINT y) {
  return static_cast<host::Texture*>(texture)->Level(0)->PixelValue(x, y);
}

TEST(TextureRenderer, AcceptsOnlyRgb24VideoWithAWholeVideoInfoBlock) {
  VideoHost host;
  Filter filter;
  const CMediaType good = VideoType(320, 240);
  EXPECT_EQ(filter->CheckMediaType(&good), S_OK);

  CMediaType wrongFormat = good;
  wrongFormat.SetFormatType(&FORMAT_WaveFormatEx);
  EXPECT_EQ(filter->CheckMediaType(&wrongFormat), E_INVALIDARG);
  CMediaType wrongMajor = good;
  wrongMajor.SetType(&MEDIATYPE_Audio);
  EXPECT_EQ(filter->CheckMediaType(&wrongMajor), E_FAIL);
  const CMediaType rgb32 = VideoType(320, 240, MEDIASUBTYPE_RGB32);
  EXPECT_EQ(filter->CheckMediaType(&rgb32), E_FAIL);
  const CMediaType noBlock = VideoType(320, 240, MEDIASUBTYPE_RGB24, 0);
  EXPECT_EQ(filter->CheckMediaType(&noBlock), E_INVALIDARG);
  const CMediaType shortBlock = VideoType(320, 240, MEDIASUBTYPE_RGB24, sizeof(VIDEOINFOHEADER) - 1);
  EXPECT_EQ(filter->CheckMediaType(&shortBlock), E_INVALIDARG);
  // SetMediaType does not trust that CheckMediaType came first.
  EXPECT_EQ(filter->SetMediaType(&shortBlock), E_INVALIDARG);
  EXPECT_EQ(host.LiveTextures(), 0u);
}

TEST(TextureRenderer, TheSideHoldsTheLargerSizeAndTheExtentsCoverThePicture) {
  struct Case {
    LONG width, height;
    UINT side;
    float u, v;
    uint32_t pitch;
  } cases[] = {
      {320, 240, 512, 0.625f, 0.46875f, 960},
      {256, 256, 256, 1.0f, 1.0f, 768},
      {200, 300, 512, 200 / 512.0f, 300 / 512.0f, 600},
      {400, 600, 1024, 400 / 1024.0f, 600 / 1024.0f, 1200},  // 600 rows did not fit 512
      {100, -30, 256, 100 / 256.0f, 30 / 256.0f, 300},       // top-down: the same height
      {101, 1, 256, 101 / 256.0f, 1 / 256.0f, 304},
      {1024, 1024, 1024, 1.0f, 1.0f, 3072},
  };
  for (const Case& c : cases) {
    VideoHost host;
    Filter filter;
    ASSERT_EQ(filter.Take(c.width, c.height), S_OK) << c.width << "x" << c.height;
    EXPECT_EQ(filter->videoWidth, c.width);
    EXPECT_EQ(filter->videoHeight, std::abs(c.height));
    EXPECT_EQ(filter->sourcePitch, c.pitch);
    EXPECT_FLOAT_EQ(filter->uExtent, c.u);
    EXPECT_FLOAT_EQ(filter->vExtent, c.v);
    EXPECT_EQ(filter->textureFormat, D3DFMT_X8R8G8B8);
    for (IDirect3DTexture8* texture : {filter->textureA, filter->textureB}) {
      ASSERT_NE(texture, nullptr);
      D3DSURFACE_DESC desc{};
      texture->GetLevelDesc(0, &desc);
      EXPECT_EQ(desc.Width, c.side);
      EXPECT_EQ(desc.Height, c.side);
      EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
      EXPECT_EQ(texture->GetLevelCount(), 1u);
    }
    EXPECT_EQ(filter->currentTexture, nullptr);
  }
}

TEST(TextureRenderer, RefusesEmptyAndOversizedVideosWithoutTouchingItsTextures) {
  VideoHost host;
  Filter filter;
  for (auto size : {std::pair<LONG, LONG>{1100, 10}, {10, 1025}, {0, 240}, {320, 0}, {-5, 20}}) {
    EXPECT_EQ(filter.Take(size.first, size.second), VFW_E_TYPE_NOT_ACCEPTED) << size.first << "x" << size.second;
  }
  EXPECT_EQ(host.LiveTextures(), 0u);
  EXPECT_EQ(filter->textureA, nullptr);
  EXPECT_FLOAT_EQ(filter->uExtent, 0.0f);  // never read before a type was taken
  EXPECT_FLOAT_EQ(filter->vExtent, 0.0f);
}

TEST(TextureRenderer, WithoutARendererServiceNoTypeIsSet) {
  VideoHost host(false);
  Filter filter;
  EXPECT_EQ(filter->renderer, nullptr);
  EXPECT_EQ(filter.Take(64, 64), E_FAIL);
}

TEST(TextureRenderer, CopiesRowsInStoredOrderIntoX8R8G8B8) {
  for (LONG height : {2, -2}) {  // bottom-up and top-down frames are both copied as stored
    VideoHost host;
    Filter filter;
    ASSERT_EQ(filter.Take(3, height), S_OK);
    PlainSample sample(StoredFrame(3, 2));
    ASSERT_EQ(filter->DoRenderSample(&sample), S_OK);
    ASSERT_EQ(filter->currentTexture, filter->textureA);
    for (UINT r = 0; r < 2; ++r)
      for (UINT x = 0; x < 3; ++x) {
        const uint32_t b = (r * 50 + 3 * x) & 0xFF, g = (b + 1) & 0xFF, red = (b + 2) & 0xFF;
        EXPECT_EQ(Texel(filter->textureA, x, r) & 0xFFFFFF, red << 16 | g << 8 | b) << x << "," << r;
      }
    // Nothing outside the picture is written.
    EXPECT_EQ(Texel(filter->textureA, 3, 0), 0u);
    EXPECT_EQ(Texel(filter->textureA, 0, 2), 0u);
  }
}

TEST(TextureRenderer, ASixteenBitCardGetsA1R5G5B5Texels) {
  VideoHost host;
  host.Device().SubstituteTextureFormat(D3DFMT_X8R8G8B8, D3DFMT_A1R5G5B5);
  Filter filter;
  ASSERT_EQ(filter.Take(2, 1), S_OK);
  EXPECT_EQ(filter->textureFormat, D3DFMT_A1R5G5B5);
  // B, G, R = 0x08, 0xF0, 0xFF and 0x07, 0x10, 0x80.
  PlainSample sample({0x08, 0xF0, 0xFF, 0x07, 0x10, 0x80, 0, 0});
  ASSERT_EQ(filter->DoRenderSample(&sample), S_OK);
  EXPECT_EQ(Texel(filter->textureA, 0, 0), 0x8000u | 31u << 10 | 30u << 5 | 1u);
  EXPECT_EQ(Texel(filter->textureA, 1, 0), 0x8000u | 16u << 10 | 2u << 5 | 0u);
}

TEST(TextureRenderer, AFormatNeitherX8R8G8B8NorA1R5G5B5IsNotAccepted) {
  VideoHost host;
  host.Device().SubstituteTextureFormat(D3DFMT_X8R8G8B8, D3DFMT_R5G6B5);
  Filter filter;
  EXPECT_EQ(filter.Take(16, 16), VFW_E_TYPE_NOT_ACCEPTED);
}

TEST(TextureRenderer, FramesAlternateBetweenTheTwoTextures) {
  VideoHost host;
  Filter filter;
  ASSERT_EQ(filter.Take(4, 4), S_OK);
  std::vector<IDirect3DTexture8*> seen;
  for (int frame = 0; frame < 3; ++frame) {
    PlainSample sample(StoredFrame(4, 4));
    sample.Bytes()[0] = static_cast<BYTE>(frame);
    ASSERT_EQ(filter->DoRenderSample(&sample), S_OK);
    seen.push_back(filter->currentTexture);
    EXPECT_EQ(Texel(filter->currentTexture, 0, 0) & 0xFF, static_cast<uint32_t>(frame));
  }
  EXPECT_EQ(seen, (std::vector<IDirect3DTexture8*>{filter->textureA, filter->textureB, filter->textureA}));
}

TEST(TextureRenderer, AFailedFrameKeepsThePreviousTexture) {
  VideoHost host;
  Filter filter;
  PlainSample frame(StoredFrame(4, 4));
  EXPECT_EQ(filter->DoRenderSample(&frame), E_FAIL);  // no textures yet

  ASSERT_EQ(filter.Take(4, 4), S_OK);
  ASSERT_EQ(filter->DoRenderSample(&frame), S_OK);
  IDirect3DTexture8* shown = filter->currentTexture;

  host.Device().FailCall(host::DeviceCall::LockRect);
  EXPECT_EQ(filter->DoRenderSample(&frame), E_FAIL);
  EXPECT_EQ(filter->currentTexture, shown);

  // One byte short of pitch x height: refused before anything is read.
  PlainSample shortFrame(StoredFrame(4, 4));
  shortFrame.SetActualDataLength(Rgb24Pitch(4) * 4 - 1);
  const size_t locks = host.Device().Calls(host::DeviceCall::LockRect);
  EXPECT_EQ(filter->DoRenderSample(&shortFrame), E_FAIL);
  EXPECT_EQ(host.Device().Calls(host::DeviceCall::LockRect), locks);
  EXPECT_EQ(filter->currentTexture, shown);
}

TEST(TextureRenderer, AReconnectionDropsTheCurrentTextureBeforeReplacingBoth) {
  VideoHost host;
  Filter filter;
  ASSERT_EQ(filter.Take(4, 4), S_OK);
  PlainSample frame(StoredFrame(4, 4));
  ASSERT_EQ(filter->DoRenderSample(&frame), S_OK);
  ASSERT_NE(filter->currentTexture, nullptr);

  ASSERT_EQ(filter.Take(300, 20), S_OK);
  EXPECT_EQ(filter->currentTexture, nullptr);
  EXPECT_EQ(host.LiveTextures(), 2u);
  EXPECT_EQ(host.Device().TexturesCreated(), 4u);

  // A failed remake leaves no current texture pointing at a released one.
  ASSERT_EQ(filter->DoRenderSample(&frame), E_FAIL);  // the new type wants a longer frame
  host.Device().FailCall(host::DeviceCall::CreateTexture, E_OUTOFMEMORY, 1, 1);
  EXPECT_EQ(filter.Take(4, 4), E_OUTOFMEMORY);
  EXPECT_EQ(filter->currentTexture, nullptr);
  EXPECT_EQ(filter->textureB, nullptr);
  EXPECT_EQ(filter->DoRenderSample(&frame), E_FAIL);
}

TEST(TextureRenderer, ReleasingTheFilterReleasesBothTextures) {
  VideoHost host;
  {
    Filter filter;
    ASSERT_EQ(filter.Take(16, 16), S_OK);
    EXPECT_EQ(host.LiveTextures(), 2u);
  }
  EXPECT_EQ(host.LiveTextures(), 0u);
}

TEST(TextureRenderer, IsAFilterWithOneInputPinNamedIn) {
  VideoHost host;
  Filter filter;
  CLSID clsid{};
  filter->GetClassID(&clsid);
  EXPECT_TRUE(clsid == CLSID_TextureRenderer);
  Ref<IPin> in;
  EXPECT_EQ(filter->FindPin(L"In", in.out()), S_OK);
  Ref<IPin> none;
  EXPECT_EQ(filter->FindPin(L"in", none.out()), VFW_E_NOT_FOUND);  // names compare case-sensitively
  EXPECT_EQ(none.p, nullptr);

  Ref<IEnumPins> pins;
  ASSERT_EQ(filter->EnumPins(pins.out()), S_OK);
  IPin* got = nullptr;
  ULONG fetched = 0;
  EXPECT_EQ(pins->Next(1, &got, &fetched), S_OK);
  EXPECT_EQ(got, in.p);
  got->Release();
  EXPECT_EQ(pins->Next(1, &got, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);

  Ref<IPin> peer;
  EXPECT_EQ(in->ConnectedTo(peer.out()), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(peer.p, nullptr);
  PIN_INFO info{};
  ASSERT_EQ(in->QueryPinInfo(&info), S_OK);
  EXPECT_EQ(info.pFilter, static_cast<IBaseFilter*>(filter.r));
  EXPECT_EQ(info.dir, PINDIR_INPUT);
  EXPECT_STREQ(info.achName, L"In");
  // The filter in the pin information is a counted reference of its own.
  const LONG refs = filter->RefCount();
  info.pFilter->Release();
  EXPECT_EQ(filter->RefCount(), refs - 1);

  // Quality control and registration are not there.
  void* face = nullptr;
  ASSERT_EQ(filter->QueryInterface(IID_IQualityControl, &face), S_OK);
  EXPECT_EQ(static_cast<IQualityControl*>(face)->SetSink(nullptr), E_NOTIMPL);
  static_cast<IQualityControl*>(face)->Release();
  EXPECT_EQ(filter->Register(), E_NOTIMPL);
  EXPECT_EQ(filter->QueryInterface(IID_IMediaEvent, &face), E_NOINTERFACE);
  EXPECT_EQ(face, nullptr);
}

}  // namespace
