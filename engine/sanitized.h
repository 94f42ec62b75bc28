#pragma once
// Whether this build runs under AddressSanitizer, whose shadow memory makes address-space
// limits and peak-memory figures mean something else.

namespace qf {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif

} // namespace qf
