#pragma once

// Whether the tests run in a sanitizer build (scripts/test.sh --sanitize),
// and how many times the memory a program touches shows in its resident
// set there: ThreadSanitizer keeps shadow memory several times that size,
// AddressSanitizer an eighth of it. Memory bounds scale by it.

namespace kestrune::test {

#if defined(__SANITIZE_THREAD__)
#define KESTRUNE_TEST_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KESTRUNE_TEST_TSAN 1
#endif
#endif

#if defined(__SANITIZE_ADDRESS__)
#define KESTRUNE_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KESTRUNE_TEST_ASAN 1
#endif
#endif

#if defined(KESTRUNE_TEST_TSAN)
inline constexpr bool kSanitized = true;
inline constexpr int kMemoryFactor = 6;
#elif defined(KESTRUNE_TEST_ASAN)
inline constexpr bool kSanitized = true;
inline constexpr int kMemoryFactor = 2;
#else
inline constexpr bool kSanitized = false;
inline constexpr int kMemoryFactor = 1;
#endif

}  // namespace kestrune::test
