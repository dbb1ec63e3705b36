// Key-frame tracks: time-ordered keys (integer milliseconds) with a value, evaluated by step,
// linear or natural-cubic-spline interpolation after the time is wrapped by loop or clamp.
#pragma once
#include <cstdint>
#include <type_traits>
#include <vector>

#include "d3dx8/d3dx8math.h"

// Interpolation modes and wrap modes as the light file stores them.
constexpr int32_t kInterpolateStep = 0;
constexpr int32_t kInterpolateLinear = 1;
constexpr int32_t kInterpolateSpline = 2;
constexpr int32_t kWrapLoop = 0;
constexpr int32_t kWrapClamp = 1;

// How a track reaches the float components of its value type.
template <class Value>
struct TrackValueTraits;

template <>
struct TrackValueTraits<float> {
  static constexpr int kComponents = 1;
  static float& At(float& v, int) { return v; }
  static float At(const float& v, int) { return v; }
};

template <>
struct TrackValueTraits<D3DXVECTOR3> {
  static constexpr int kComponents = 3;
  static float& At(D3DXVECTOR3& v, int i) { return i == 0 ? v.x : (i == 1 ? v.y : v.z); }
  static float At(const D3DXVECTOR3& v, int i) { return i == 0 ? v.x : (i == 1 ? v.y : v.z); }
};

template <>
struct TrackValueTraits<D3DXCOLOR> {
  static constexpr int kComponents = 4;
  static float& At(D3DXCOLOR& v, int i) { return i == 0 ? v.r : (i == 1 ? v.g : (i == 2 ? v.b : v.a)); }
  static float At(const D3DXCOLOR& v, int i) { return i == 0 ? v.r : (i == 1 ? v.g : (i == 2 ? v.b : v.a)); }
};

template <class Value>
struct TrackKey {
  int32_t timeMs;
  Value value;
};

// The fields and key operations every track kind shares.
template <class Value>
class CKeyTrackBase {
 public:
  using Key = TrackKey<Value>;

  CKeyTrackBase() { Clear(); }

  // Empties the track. The owner sets the modes it wants afterwards.
  void Clear() {
    keys.clear();
    secondDerivatives.clear();
    intervals.clear();
    dirty = false;
  }

  // Replaces the value of a key with the same time, or inserts a new key in time order.
  int32_t AddKey(int32_t timeMs, const Value& v) {
    dirty = true;
    for (size_t i = 0; i < keys.size(); ++i) {
      if (keys[i].timeMs == timeMs) {
        keys[i].value = v;
        return static_cast<int32_t>(i);
      }
    }
    size_t lo = 0, hi = keys.size();
    while (lo < hi) {  // first key whose time is not less than timeMs
      const size_t mid = (lo + hi) / 2;
      if (keys[mid].timeMs < timeMs) lo = mid + 1;
      else hi = mid;
    }
    keys.insert(keys.begin() + static_cast<std::ptrdiff_t>(lo), Key{timeMs, v});
    return static_cast<int32_t>(lo);
  }

  // Takes the keys and modes of another track of the same kind. Setting a track from
  // itself keeps it as it is.
  void SetKeys(const CKeyTrackBase& source) {
    if (&source == this) return;
    keys.clear();
    dirty = true;
    for (const Key& k : source.keys) AddKey(k.timeMs, k.value);
    interpolation = source.interpolation;
    wrap = source.wrap;
  }

  // The key at an index; an index past the end gives time 0 and a zero value.
  Value GetKey(uint32_t index, int32_t* timeMs) const {
    if (index >= keys.size()) {
      if (timeMs != nullptr) *timeMs = 0;
      return Value{};
    }
    if (timeMs != nullptr) *timeMs = keys[index].timeMs;
    return keys[index].value;
  }

  // Erases a key; an index past the end does nothing.
  void RemoveKey(uint32_t index) {
    if (index >= keys.size()) return;
    keys.erase(keys.begin() + index);
    dirty = true;
  }

  uint32_t GetKeyCount() const { return static_cast<uint32_t>(keys.size()); }
  void SetInterpolation(int32_t mode) { interpolation = mode; }
  int32_t GetInterpolation() const { return interpolation; }
  void SetWrap(int32_t mode) { wrap = mode; }
  int32_t GetWrap() const { return wrap; }

  // Brings a time into the key span by the track's wrap mode. Keys may lie anywhere in the
  // 32-bit range, so spans and differences are taken in 64 bits; every result lies between
  // the first and the last key, or is t itself.
  int32_t WrapTime(int32_t t) const {
    if (keys.empty()) return t;
    const int64_t first = keys.front().timeMs;
    const int64_t last = keys.back().timeMs;
    int64_t span = last - first;
    if (span == 0) span = 1;
    const int64_t time = t;
    if (wrap == kWrapLoop) {
      if (time > last) return static_cast<int32_t>(time - ((time - last) / span + 1) * span);
      if (time < first) {
        int64_t r = (time - first) % span;
        if (r < 0) r += span;
        return static_cast<int32_t>(first + r);
      }
      return t;
    }
    if (wrap == kWrapClamp) return static_cast<int32_t>(time < first ? first : (time > last ? last : time));
    return t;
  }

  std::vector<Key> keys;
  std::vector<Value> secondDerivatives;
  std::vector<int64_t> intervals;  // 64 bits: keys at both ends of the 32-bit range are 2^32 apart
  bool dirty = false;
  int32_t interpolation = kInterpolateSpline;
  int32_t wrap = kWrapLoop;
};

// The three-float, colour and float kinds: step, linear and spline evaluation.
template <class Value>
class CKeyTrack : public CKeyTrackBase<Value> {
 public:
  using Traits = TrackValueTraits<Value>;
  using Base = CKeyTrackBase<Value>;
  using Key = typename Base::Key;

  // The segment that holds t: the last key at or before t, kept within [0, count - 2].
  int32_t FindSegment(int32_t t) const {
    const auto& keys = this->keys;
    const int32_t count = static_cast<int32_t>(keys.size());
    int32_t i = 0;
    if (count > 0 && t >= keys.front().timeMs) {
      i = count;
      for (int32_t k = 0; k < count; ++k) {
        if (keys[k].timeMs > t) {
          i = k - 1;
          break;
        }
      }
    }
    if (i > count - 2) i = count - 2;
    if (i < 0) i = 0;
    return i;
  }

  // The value at an (already wrapped) time. For a mode this track does not know the float
  // kind gives 0 and the others `current`. A track needs at least two keys here.
  Value Evaluate(int32_t mode, int32_t t, const Value& current = Value{}) {
    auto& keys = this->keys;
    if (keys.empty()) return current;
    if (keys.size() == 1) return keys[0].value;
    const int32_t i = FindSegment(t);
    const Key& ki = keys[i];
    const Key& kj = keys[i + 1];
    if (mode == kInterpolateStep) return ki.value;
    if (mode == kInterpolateLinear || (mode == kInterpolateSpline && keys.size() == 2)) {
      const float a = static_cast<float>(int64_t{t} - ki.timeMs);
      const float h = static_cast<float>(int64_t{kj.timeMs} - ki.timeMs);
      Value out = ki.value;
      for (int c = 0; c < Traits::kComponents; ++c) {
        const float yi = Traits::At(ki.value, c), yj = Traits::At(kj.value, c);
        Traits::At(out, c) = yi + ((yj - yi) * a) / h;
      }
      return out;
    }
    if (mode != kInterpolateSpline) {
      if constexpr (std::is_same_v<Value, float>) return 0.0f;
      return current;
    }
    if (this->dirty) {
      this->dirty = false;
      ComputeTangents();
    }
    const float h = static_cast<float>(this->intervals[i + 1]);
    const float a = static_cast<float>(int64_t{t} - ki.timeMs);
    const float b = h - a;
    const Value& mi = this->secondDerivatives[i];
    const Value& mj = this->secondDerivatives[i + 1];
    Value out = ki.value;
    for (int c = 0; c < Traits::kComponents; ++c) {
      const float yi = Traits::At(ki.value, c), yj = Traits::At(kj.value, c);
      const float Mi = Traits::At(mi, c), Mj = Traits::At(mj, c);
      Traits::At(out, c) = (a * (yj - (Mj / 6.0f) * (h + a) * b) + b * (yi - (Mi / 6.0f) * (h + b) * a)) / h;
    }
    return out;
  }

  // Second derivatives of the natural cubic spline through the keys (three or more).
  void ComputeTangents() {
    auto& keys = this->keys;
    const int32_t n = static_cast<int32_t>(keys.size());
    auto& M = this->secondDerivatives;
    auto& iv = this->intervals;
    M.assign(static_cast<size_t>(n), Value{});
    iv.assign(static_cast<size_t>(n), 0);
    if (n < 3) return;
    for (int32_t i = 1; i < n; ++i) iv[i] = int64_t{keys[i].timeMs} - keys[i - 1].timeMs;
    const float kThird = 0.33333334f;
    const float kSixth = 0.16666667f;
    for (int c = 0; c < Traits::kComponents; ++c) {
      std::vector<float> D(static_cast<size_t>(n - 1), 0.0f), U(D), L(D), R(static_cast<size_t>(n), 0.0f);
      for (int32_t i = 1; i <= n - 2; ++i) {
        const float hi = static_cast<float>(iv[i]);
        const float hn = static_cast<float>(iv[i + 1]);
        D[i] = (hi + hn) * kThird;
        U[i] = hn * kSixth;
        L[i] = hi * kSixth;
        const float y0 = Traits::At(keys[i - 1].value, c);
        const float y1 = Traits::At(keys[i].value, c);
        const float y2 = Traits::At(keys[i + 1].value, c);
        R[i] = (y2 - y1) / hn - (y1 - y0) / hi;
      }
      const int32_t m = n - 2;
      for (int32_t i = 2; i <= m; ++i) {
        L[i] = L[i] / D[i - 1];
        D[i] = D[i] - U[i - 1] * L[i];
        R[i] = R[i] - L[i] * R[i - 1];
      }
      R[m] = R[m] / D[m];
      for (int32_t i = m - 1; i >= 1; --i) R[i] = (R[i] - U[i] * R[i + 1]) / D[i];
      R[0] = 0.0f;
      R[n - 1] = 0.0f;
      for (int32_t i = 0; i < n; ++i) Traits::At(M[i], c) = R[i];
    }
  }

  // The value at the owner's clock: one key gives its value; two or more wrap the time and
  // evaluate by the track's own mode. False when the track holds no key.
  bool Sample(int32_t clockMs, Value* out) {
    if (this->keys.empty()) return false;
    if (this->keys.size() == 1) {
      *out = this->keys[0].value;
      return true;
    }
    *out = Evaluate(this->interpolation, this->WrapTime(clockMs), *out);
    return true;
  }
};

class CVec3KeyTrack : public CKeyTrack<D3DXVECTOR3> {};
class CFloatKeyTrack : public CKeyTrack<float> {};

class CColorKeyTrack : public CKeyTrack<D3DXCOLOR> {
 public:
  // A key from a packed 0xAARRGGBB colour.
  int32_t AddColorKeyARGB(int32_t timeMs, uint32_t argb) {
    const float k = 1.0f / 255.0f;
    D3DXCOLOR c;
    c.r = static_cast<float>((argb >> 16) & 255) * k;
    c.g = static_cast<float>((argb >> 8) & 255) * k;
    c.b = static_cast<float>(argb & 255) * k;
    c.a = static_cast<float>(argb >> 24) * k;
    return AddKey(timeMs, c);
  }
};

// Rotations: slerp between the keys around the span, modes kept but unused.
class CQuatKeyTrack : public CKeyTrackBase<D3DXQUATERNION> {
 public:
  // False when the track holds no key.
  bool Sample(int32_t t, D3DXQUATERNION* out) const {
    if (keys.empty()) return false;
    const int32_t first = keys.front().timeMs;
    if (keys.size() == 1) {
      *out = keys[0].value;
      return true;
    }
    const int64_t span = int64_t{keys.back().timeMs} - first;
    if (span == 0) {
      *out = keys[0].value;
      return true;
    }
    const int64_t r = (int64_t{t} - first) % span;
    if (r < 1) {
      *out = keys[0].value;
      return true;
    }
    const int64_t w = first + r;
    size_t i = 1;
    while (i < keys.size() && keys[i].timeMs < w) ++i;
    if (i >= keys.size()) i = keys.size() - 1;
    const Key& a = keys[i - 1];
    const Key& b = keys[i];
    const float f = static_cast<float>(w - a.timeMs) / static_cast<float>(int64_t{b.timeMs} - a.timeMs);
    D3DXQuaternionSlerp(out, &a.value, &b.value, f);
    return true;
  }
};
