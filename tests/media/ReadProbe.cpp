#include "ReadProbe.h"

#include <atomic>

#include "platform/engine/input/DiskRead.h"

namespace plim::engine {

namespace {
std::atomic<ReadProbe> gProbe{nullptr};
}  // namespace

void setReadProbe(ReadProbe probe) { gProbe = probe; }

// In place of the engine's own, which does nothing.
void beforeDiskRead(const std::string& path, int64_t offset) {
    if (ReadProbe probe = gProbe) probe(path, offset);
}

}  // namespace plim::engine
