// Process-wide memory set-up for a program that runs once per request.
#pragma once

namespace gridlark {

// Makes the heap grow in one large step that the kernel may back with huge
// pages, and keeps freed memory for reuse instead of returning it. A large
// sheet then costs a few hundred page faults instead of tens of thousands,
// which on virtual machines is most of the time spent filling memory. Call
// once at start-up; harmless where the system offers no huge pages.
void PrepareHeapForLargeLoads();

}  // namespace gridlark
