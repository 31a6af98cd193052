#include "platform/Memory.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdlib>

namespace gridlark {

void PrepareHeapForLargeLoads() {
#if defined(__GLIBC__) && !defined(GRIDLARK_ASAN)
  constexpr size_t kReserve = size_t(1) << 30;  // address space only; pages come when touched
  constexpr uintptr_t kHugePage = uintptr_t(2) << 20;
  // Blocks up to 32 MB come from the heap too, and nothing is trimmed.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, INT_MAX);
  // The next growth of the heap reserves kReserve at once; one allocation
  // larger than what is left triggers it.
  mallopt(M_TOP_PAD, int(kReserve));
  char* const before = static_cast<char*>(sbrk(0));
  void* volatile prime = std::malloc(size_t(1) << 20);
  std::free(prime);
  char* const after = static_cast<char*>(sbrk(0));
  mallopt(M_TOP_PAD, 128 << 10);  // later growth in the usual small steps
  const uintptr_t begin = (uintptr_t(before) + kHugePage - 1) & ~(kHugePage - 1);
  if (before != reinterpret_cast<char*>(-1) && uintptr_t(after) > begin + kHugePage)
    madvise(reinterpret_cast<void*>(begin), uintptr_t(after) - begin, MADV_HUGEPAGE);
#endif
}

}  // namespace gridlark
