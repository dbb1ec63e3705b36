// The layer's base pieces on their own: reference counts, media types, the allocator, and a
// renderer's scheduling without a graph.
#include "video_fixture.h"

namespace {

using namespace video_testing;

// Counts what it renders; the test reads the count.
class CountingRenderer final : public CBaseRenderer {
 public:
  static inline std::atomic<int> alive{0};
  CountingRenderer() : CBaseRenderer(GUID_NULL, L"Counting", nullptr, nullptr) { ++alive; }
  ~CountingRenderer() override { --alive; }
  HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
  HRESULT DoRenderSample(IMediaSample*) override {
    ++renders;
    return S_OK;
  }
  std::atomic<int> renders{0};
};

TEST(FilterBase, ReferenceCountsAreExactAndPinsCountOnTheirFilter) {
  auto* filter = new CountingRenderer;
  EXPECT_EQ(filter->RefCount(), 0);
  void* face = nullptr;
  ASSERT_EQ(filter->QueryInterface(IID_IBaseFilter, &face), S_OK);
  EXPECT_EQ(filter->RefCount(), 1);
  auto* base = static_cast<IBaseFilter*>(face);
  EXPECT_EQ(base->AddRef(), 2u);
  IPin* pin = nullptr;
  ASSERT_EQ(base->FindPin(L"In", &pin), S_OK);
  EXPECT_EQ(filter->RefCount(), 3);
  void* unknownA = nullptr;
  void* unknownB = nullptr;
  pin->QueryInterface(IID_IUnknown, &unknownA);
  base->QueryInterface(IID_IUnknown, &unknownB);
  EXPECT_NE(unknownA, unknownB);  // a pin is an object of its own, counted on its filter
  EXPECT_EQ(filter->RefCount(), 5);
  static_cast<IUnknown*>(unknownA)->Release();
  static_cast<IUnknown*>(unknownB)->Release();
  EXPECT_EQ(pin->Release(), 2u);
  EXPECT_EQ(base->Release(), 1u);
  EXPECT_EQ(CountingRenderer::alive.load(), 1);
  EXPECT_EQ(base->Release(), 0u);
  EXPECT_EQ(CountingRenderer::alive.load(), 0);
}

TEST(FilterBase, MediaTypesOwnACopyOfTheirFormatBlock) {
  CMediaType a = VideoType(4, 2);
  CMediaType b = a;
  ASSERT_NE(a.pbFormat, b.pbFormat);
  ASSERT_EQ(b.cbFormat, sizeof(VIDEOINFOHEADER));
  EXPECT_EQ(std::memcmp(a.pbFormat, b.pbFormat, b.cbFormat), 0);
  a.pbFormat[0] ^= 0xFF;
  EXPECT_NE(a.pbFormat[0], b.pbFormat[0]);
  b = PcmType();
  EXPECT_EQ(b.cbFormat, sizeof(WAVEFORMATEX));
  b = b;  // NOLINT: assignment to itself keeps the block
  EXPECT_EQ(b.cbFormat, sizeof(WAVEFORMATEX));
  AM_MEDIA_TYPE plain{};
  ASSERT_TRUE(CopyMediaType(&plain, &a));
  EXPECT_NE(plain.pbFormat, a.pbFormat);
  FreeMediaType(plain);
  EXPECT_EQ(plain.pbFormat, nullptr);
  EXPECT_EQ(plain.cbFormat, 0u);
}

TEST(FilterBase, TheAllocatorWaitsForAFreeSampleAndDecommitReleasesTheWaiter) {
  Ref<IMemAllocator> allocator(dshow::CreateMemAllocator());
  IMediaSample* sample = nullptr;
  EXPECT_EQ(allocator->Commit(), VFW_E_SIZENOTSET);
  ALLOCATOR_PROPERTIES request{1, 64, 1, 0}, actual{};
  ASSERT_EQ(allocator->SetProperties(&request, &actual), S_OK);
  EXPECT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
  ASSERT_EQ(allocator->Commit(), S_OK);
  ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
  EXPECT_EQ(sample->GetSize(), 64);
  EXPECT_EQ(sample->SetActualDataLength(65), E_INVALIDARG);
  REFERENCE_TIME start = 0, end = 0;
  EXPECT_EQ(sample->GetTime(&start, &end), VFW_E_SAMPLE_TIME_NOT_SET);

  // The only sample is out: the next request waits until it comes back.
  {
    testing_support::BlockingCall<HRESULT> second([&] {
      IMediaSample* next = nullptr;
      const HRESULT hr = allocator->GetBuffer(&next, nullptr, nullptr, 0);
      if (next) next->Release();
      return hr;
    });
    EXPECT_TRUE(second.Blocks("a second request for the only sample"));
    sample->Release();
    EXPECT_EQ(second.Get(), S_OK);
  }

  ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
  {
    testing_support::BlockingCall<HRESULT> third([&] {
      IMediaSample* next = nullptr;
      return allocator->GetBuffer(&next, nullptr, nullptr, 0);
    });
    EXPECT_TRUE(third.Blocks("a request while the sample is out"));
    allocator->Decommit();
    EXPECT_EQ(third.Get(), VFW_E_NOT_COMMITTED);
  }
  // A sample still out keeps its memory, and its allocator, until it comes back.
  BYTE* data = nullptr;
  sample->GetPointer(&data);
  std::memset(data, 1, 64);
  allocator.reset();
  sample->Release();
}

// A renderer fed from the test thread, with the graph's clock set by hand.
struct Fed {
  CountingRenderer* renderer = new CountingRenderer;
  Ref<IBaseFilter> hold;
  Ref<IReferenceClock> clock{dshow::CreateSystemClock()};
  Ref<IPin> in;
  Fed() {
    renderer->QueryInterface(IID_IBaseFilter, hold.vout());
    renderer->FindPin(L"In", in.out());
  }
  HRESULT Deliver(REFERENCE_TIME start) {
    PlainSample sample({1, 2, 3});
    const REFERENCE_TIME end = start + 1;
    sample.SetTime(&start, &end);
    Ref<IMemInputPin> input;
    in->QueryInterface(IID_IMemInputPin, input.vout());
    return input->Receive(&sample);
  }
};

TEST(FilterBase, ARendererWithoutAClockRendersAtOnceAndStoppedRendersNothing) {
  Fed fed;
  EXPECT_EQ(fed.Deliver(0), VFW_E_WRONG_STATE);  // stopped
  ASSERT_EQ(fed.renderer->Run(0), S_OK);
  EXPECT_EQ(fed.Deliver(50 * UNITS), S_OK);  // a time far ahead, but no clock to wait for
  EXPECT_EQ(fed.renderer->renders.load(), 1);
  fed.renderer->Stop();
}

TEST(FilterBase, StopFlushAndPauseReleaseOrHoldAWaitingSample) {
  win32::UseManualClock(0);
  Fed fed;
  fed.renderer->SetSyncSource(fed.clock.p);
  ASSERT_EQ(fed.renderer->Run(0), S_OK);

  // Due at 1 s: the deliverer waits until the clock gets there.
  {
    testing_support::BlockingCall<HRESULT> waiting([&] { return fed.Deliver(UNITS); });
    EXPECT_TRUE(waiting.Blocks("a sample due at 1 s"));
    win32::AdvanceManualClock(999);
    EXPECT_TRUE(waiting.Blocks("a sample due at 1 s, at 999 ms"));
    win32::AdvanceManualClock(1);
    EXPECT_EQ(waiting.Get(), S_OK);
    EXPECT_EQ(fed.renderer->renders.load(), 1);
  }

  // A flush drops the waiting sample.
  {
    testing_support::BlockingCall<HRESULT> waiting([&] { return fed.Deliver(5 * UNITS); });
    EXPECT_TRUE(waiting.Blocks("a sample due at 5 s"));
    fed.in->BeginFlush();
    EXPECT_EQ(waiting.Get(), S_FALSE);
    fed.in->EndFlush();
  }

  // Paused, even a sample long due is held; a stop lets it go unrendered.
  fed.renderer->Pause();
  {
    testing_support::BlockingCall<HRESULT> waiting([&] { return fed.Deliver(0); });
    EXPECT_TRUE(waiting.Blocks("a sample delivered to a paused renderer"));
    fed.renderer->Stop();
    EXPECT_EQ(waiting.Get(), VFW_E_WRONG_STATE);
  }
  EXPECT_EQ(fed.renderer->renders.load(), 1);
  win32::UseRealClock();
}

TEST(FilterBase, ResultCodesKeepTheirValues) {
  static_assert(E_FAIL == static_cast<HRESULT>(0x80004005u));
  static_assert(E_INVALIDARG == static_cast<HRESULT>(0x80070057u));
  static_assert(VFW_E_NOT_CONNECTED == static_cast<HRESULT>(0x80040209u));
  static_assert(VFW_E_TYPE_NOT_ACCEPTED == static_cast<HRESULT>(0x8004022Au));
  static_assert(sizeof(LONG) == 4 && sizeof(LONG_PTR) == sizeof(void*));
  static_assert(EC_COMPLETE == 1 && PINDIR_OUTPUT == 1);
  const GUID asf = {0x187463A0, 0x5BB7, 0x11D3, {0xAC, 0xBE, 0x00, 0x80, 0xC7, 0x5E, 0x24, 0x6E}};
  EXPECT_TRUE(asf == CLSID_WMAsfReader);
}

}  // namespace
