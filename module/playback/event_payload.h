// What the two event families share: the payload of a type is a tuple of stream fields, and one
// visitor maps a type code read from a file to the compile-time code that builds, writes or
// names the matching event, so the tables of types stand once.
#pragma once
#include <boost/make_shared.hpp>
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

// f for the code among 0 to Count - 1 that equals `code`; false for an unknown code.
template <uint32_t Count, class F>
bool VisitType(uint32_t code, F&& f) {
  return VisitCode(code, std::forward<F>(f), std::make_integer_sequence<uint32_t, Count>{});
}

// The kName of Payload<code>, "?" for an unknown code.
template <template <uint32_t> class Payload, uint32_t Count>
const char* TypeName(uint32_t code) {
  const char* name = "?";
  VisitType<Count>(code, [&](auto c) { name = Payload<decltype(c)::value>::kName; });
  return name;
}

// A new shared event of the class EventOf<Code>, made from its payload fields.
template <template <uint32_t> class EventOf, uint32_t Code, class... Args>
auto MakeEvent(Args&&... args) {
  return boost::make_shared<EventOf<Code>>(typename EventOf<Code>::Fields(std::forward<Args>(args)...));
}

// Every field of a payload in order.
template <class Tuple, class F>
void ForEachField(Tuple& fields, F&& f) {
  std::apply([&](auto&... field) { (f(field), ...); }, fields);
}

}  // namespace Playback::detail
