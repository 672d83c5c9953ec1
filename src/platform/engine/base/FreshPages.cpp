#include "platform/engine/base/FreshPages.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace plim::engine {

namespace {
#ifdef MADV_POPULATE_WRITE
constexpr int kPopulateWrite = MADV_POPULATE_WRITE;
#else
constexpr int kPopulateWrite = 23;  // Linux 5.14's value, for older headers
#endif
}  // namespace

bool makePagesPresent(void* p, size_t bytes) {
    static const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    uintptr_t begin = (reinterpret_cast<uintptr_t>(p) + page - 1) & ~(page - 1);
    uintptr_t end = (reinterpret_cast<uintptr_t>(p) + bytes) & ~(page - 1);
    if (!p || page == 0 || end <= begin) return false;
    return madvise(reinterpret_cast<void*>(begin), end - begin, kPopulateWrite) == 0;
}

}  // namespace plim::engine
