#pragma once
// A field of one of FFmpeg's C enums, read as the int it is stored in. Decoders copy some
// such fields from the bitstream unchecked (a transfer characteristic of 205 from a damaged
// header), and loading a value past the enumerators' range as the enum itself is undefined
// in C++: read this way, it is only a number that matches none of them.
#include <cstring>

namespace plim::engine {

template <class Enum>
int storedValue(const Enum& field) {
    static_assert(sizeof(Enum) == sizeof(int), "FFmpeg's enums are stored as int");
    int value;
    std::memcpy(&value, &field, sizeof value);
    return value;
}

}  // namespace plim::engine
