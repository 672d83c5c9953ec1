// The engine's own beforeDiskRead: nothing happens before a read. Weak, so that a test
// program's definition takes its place (DiskRead.h).
#include "platform/engine/input/DiskRead.h"

namespace plim::engine {

__attribute__((weak)) void beforeDiskRead(const std::string&, int64_t) {}

}  // namespace plim::engine
