#pragma once
// Fresh memory made ready for writing in one call. A page of new memory is otherwise
// allocated and zeroed on its first write, one fault at a time: on a virtual machine that
// is 8-15 µs a page, 30 ms for one 1080p picture and over 100 ms for a 4K one, paid at the
// worst moment (the first picture shown, the first frames played). Asking the kernel for
// the whole range at once costs a tenth of that. Any thread.
#include <cstddef>

namespace plim::engine {

// Makes the whole pages within [p, p + bytes) present and writable. false, leaving the
// memory as it was (it still faults in on first write), where the kernel cannot (before
// Linux 5.14) or the range is not writable memory.
bool makePagesPresent(void* p, size_t bytes);

}  // namespace plim::engine
