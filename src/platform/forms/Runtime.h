#pragma once
// The runtime's number rules, shared by every handler.
// Conversions from floating point to the 16- and 32-bit integer variables round to the
// nearest integer with ties to even (20.5 -> 20, 21.5 -> 22) and raise the runtime's
// overflow error (number 6) when the result does not fit. Geometry is single precision.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace plim::rt {

// A runtime error with the number the system's runtime would give it (6 overflow,
// 68 device unavailable, 70 permission denied, 76 path not found, ...).
class RuntimeError : public std::runtime_error {
public:
    RuntimeError(int number, const std::string& what) : std::runtime_error(what), number_(number) {}
    int number() const { return number_; }

private:
    int number_;
};

constexpr int kErrOverflow = 6;

// Round half to even, independent of the floating-point environment.
double RoundEven(double v);

// Integer (16-bit) and Long (32-bit) conversions; throw RuntimeError(6) when out of range
// or not a number.
int16_t CInt(double v);
int32_t CLng(double v);

// 16-bit and 32-bit integer arithmetic with the runtime's overflow check.
int16_t Mul16(int16_t a, int16_t b);
int32_t Mul32(int32_t a, int32_t b);

// The leading decimal number of a text, as the runtime's Val reads it: blanks, tabs and
// line feeds are skipped anywhere before and inside the number, an optional sign, digits,
// one decimal point, an optional exponent; no number reads as 0.
double Val(const std::string& text);

}  // namespace plim::rt
