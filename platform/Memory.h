// Process-wide memory set-up for a program that runs once per request.
#pragma once

// True in builds under AddressSanitizer (GCC and clang spell it differently).
#if defined(__SANITIZE_ADDRESS__)
#define GRIDLARK_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define GRIDLARK_ASAN 1
#endif
#endif

namespace gridlark {

// Makes the heap grow in one large step that the kernel may back with huge
// pages, and keeps freed memory for reuse instead of returning it. A large
// sheet then costs a few hundred page faults instead of tens of thousands,
// which on virtual machines is most of the time spent filling memory. Call
// once at start-up; harmless where the system offers no huge pages.
void PrepareHeapForLargeLoads();

}  // namespace gridlark
