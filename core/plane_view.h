// SPDX-License-Identifier: GPL-3.0-or-later
// A non-owning view of one plane of samples: where it starts, its size, the
// distance from one row to the next (in elements, not bytes) and the type
// of its elements. New code that works on planes of any depth takes a view;
// whoever owns the samples keeps them alive while the view is used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace qirm {

enum class SampleType { kU8, kU16, kF32, kF64 };

// Bytes of one sample of `type`.
constexpr int SampleBytes(SampleType type) {
  switch (type) {
    case SampleType::kU8:
      return 1;
    case SampleType::kU16:
      return 2;
    case SampleType::kF32:
      return 4;
    case SampleType::kF64:
      return 8;
  }
  return 0;
}

// "8-bit", "16-bit", "32-bit float", "64-bit float": for messages.
constexpr const char* SampleTypeName(SampleType type) {
  switch (type) {
    case SampleType::kU8:
      return "8-bit";
    case SampleType::kU16:
      return "16-bit";
    case SampleType::kF32:
      return "32-bit float";
    case SampleType::kF64:
      return "64-bit float";
  }
  return "unknown";
}

// The SampleType of the C++ element type T.
template <class T>
constexpr SampleType SampleTypeOf() {
  using U = std::remove_cv_t<T>;
  static_assert(std::is_same_v<U, std::uint8_t> || std::is_same_v<U, std::uint16_t> ||
                    std::is_same_v<U, float> || std::is_same_v<U, double>,
                "planes hold uint8_t, uint16_t, float or double");
  if constexpr (std::is_same_v<U, std::uint8_t>) return SampleType::kU8;
  if constexpr (std::is_same_v<U, std::uint16_t>) return SampleType::kU16;
  if constexpr (std::is_same_v<U, float>) return SampleType::kF32;
  return SampleType::kF64;
}

// kConst: a view for reading only. A PlaneView converts to a ConstPlaneView.
// Row<T>() and At<T>() do not check T against `type`: callers dispatch on
// `type` first (Is<T>() tells).
template <bool kConst>
struct BasicPlaneView {
  using Pointer = std::conditional_t<kConst, const void*, void*>;
  template <class T>
  using Element = std::conditional_t<kConst, const T, T>;

  Pointer data = nullptr;
  int width = 0;
  int height = 0;
  std::ptrdiff_t stride = 0;  // elements from one row to the next
  SampleType type = SampleType::kU8;

  BasicPlaneView() = default;
  BasicPlaneView(Pointer d, int w, int h, std::ptrdiff_t s, SampleType t)
      : data(d), width(w), height(h), stride(s), type(t) {}
  // A ConstPlaneView from a PlaneView.
  template <bool kOther, class = std::enable_if_t<kConst && !kOther>>
  BasicPlaneView(const BasicPlaneView<kOther>& other)  // NOLINT: a widening as pointers have it
      : data(other.data), width(other.width), height(other.height), stride(other.stride), type(other.type) {}

  // A view of w x h typed elements at p, rows `s` elements apart (default w).
  template <class T>
  static BasicPlaneView Of(Element<T>* p, int w, int h, std::ptrdiff_t s = -1) {
    return BasicPlaneView(p, w, h, s < 0 ? w : s, SampleTypeOf<T>());
  }

  bool empty() const { return data == nullptr || width <= 0 || height <= 0; }
  template <class T>
  bool Is() const {
    return type == SampleTypeOf<T>();
  }
  template <class T>
  Element<T>* Row(int y) const {
    return static_cast<Element<T>*>(data) + static_cast<std::ptrdiff_t>(y) * stride;
  }
  template <class T>
  Element<T>& At(int x, int y) const {
    return Row<T>(y)[x];
  }
  // The value at (x, y) as a double, whatever the type.
  double Value(int x, int y) const {
    switch (type) {
      case SampleType::kU8:
        return At<std::uint8_t>(x, y);
      case SampleType::kU16:
        return At<std::uint16_t>(x, y);
      case SampleType::kF32:
        return At<float>(x, y);
      case SampleType::kF64:
        return At<double>(x, y);
    }
    return 0.0;
  }
};

using PlaneView = BasicPlaneView<false>;
using ConstPlaneView = BasicPlaneView<true>;

}  // namespace qirm
