// Bitwise operators for scoped enums that are sets of flags, so that a call site names each flag it sets
// instead of passing a row of bools. An enum opts in with
//     template <> inline constexpr bool kIsFlagSet<MyFlags> = true;
// other scoped enums keep their usual rules.
#pragma once

#include <type_traits>

template <class E>
inline constexpr bool kIsFlagSet = false;

template <class E>
concept FlagSet = std::is_enum_v<E> && kIsFlagSet<E>;

template <FlagSet E>
constexpr E operator|(E a, E b) {
    using U = std::underlying_type_t<E>;
    return E(U(a) | U(b));
}

template <FlagSet E>
constexpr E operator&(E a, E b) {
    using U = std::underlying_type_t<E>;
    return E(U(a) & U(b));
}

// True when every flag of wanted is in set.
template <FlagSet E>
constexpr bool HasFlags(E set, E wanted) {
    return (set & wanted) == wanted;
}
