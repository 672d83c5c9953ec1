// libFuzzer target: the MCI command parser alone. Any text either parses into a command with
// a handler, or is refused with an error number; nothing else (no crash, no sanitizer report).
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/mci/MciCommand.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    plim::mci::ParseResult r = plim::mci::parseCommand(text);
    if (r.error == 0 && r.handler == nullptr) __builtin_trap();  // accepted without a handler
    if (r.error != 0 && (r.error < 256 || r.error > 1024)) __builtin_trap();  // not an MCI error number
    return 0;
}
