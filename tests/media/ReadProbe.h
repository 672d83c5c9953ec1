#pragma once
// A disk that pauses, for the engine's tests: this program's beforeDiskRead calls the probe
// set here (none: reads go ahead at once), on the read thread, before each read.
#include <cstdint>
#include <string>

namespace plim::engine {

using ReadProbe = void (*)(const std::string& path, int64_t offset);
void setReadProbe(ReadProbe probe);

}  // namespace plim::engine
