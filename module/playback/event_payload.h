// What the two event families share: the payload of a type is a tuple of stream fields, and one
// visitor maps a type code read from a file to the compile-time code that builds, writes or
// names the matching event, so the tables of types stand once.
#pragma once
#include <cstdint>
#include <tuple>
#include <type_traits>
#include <utility>

namespace Playback::detail {

// Calls f(std::integral_constant<uint32_t, C>{}) for the C among Codes that equals `code`; false
// when none does.
template <class F, uint32_t... Codes>
bool VisitCode(uint32_t code, F&& f, std::integer_sequence<uint32_t, Codes...>) {
  return ((code == Codes ? (f(std::integral_constant<uint32_t, Codes>{}), true) : false) || ...);
}

// Every field of a payload in order.
template <class Tuple, class F>
void ForEachField(Tuple& fields, F&& f) {
  std::apply([&](auto&... field) { (f(field), ...); }, fields);
}

}  // namespace Playback::detail
