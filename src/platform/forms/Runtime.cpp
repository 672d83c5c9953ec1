#include "platform/forms/Runtime.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace plim::rt {

double RoundEven(double v) {
    if (!std::isfinite(v)) return v;
    double fl = std::floor(v);
    double diff = v - fl;
    if (diff > 0.5) return fl + 1.0;
    if (diff < 0.5) return fl;
    return std::fmod(fl, 2.0) == 0.0 ? fl : fl + 1.0;
}

namespace {
template <typename T>
T checkedRound(double v) {
    double r = RoundEven(v);
    if (!std::isfinite(r) || r < static_cast<double>(std::numeric_limits<T>::min()) ||
        r > static_cast<double>(std::numeric_limits<T>::max())) {
        throw RuntimeError(kErrOverflow, "Overflow");
    }
    return static_cast<T>(r);
}
}  // namespace

int16_t CInt(double v) { return checkedRound<int16_t>(v); }
int32_t CLng(double v) { return checkedRound<int32_t>(v); }

int16_t Mul16(int16_t a, int16_t b) { return checkedRound<int16_t>(double(a) * double(b)); }
int32_t Mul32(int32_t a, int32_t b) { return checkedRound<int32_t>(double(a) * double(b)); }

namespace {
bool isSkippable(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
}  // namespace

double Val(const std::string& text) {
    std::string num;
    size_t i = 0;
    auto skip = [&] {
        while (i < text.size() && isSkippable(text[i])) ++i;
    };
    skip();
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) num += text[i++];
    bool digits = false, point = false;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (isSkippable(c)) continue;
        if (std::isdigit(static_cast<unsigned char>(c))) {
            num += c;
            digits = true;
        } else if (c == '.' && !point) {
            num += c;
            point = true;
        } else {
            break;
        }
    }
    if (digits && i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::string exp = "e";
        size_t j = i + 1;
        if (j < text.size() && (text[j] == '-' || text[j] == '+')) exp += text[j++];
        size_t start = j;
        while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) exp += text[j++];
        if (j > start) num += exp;
    }
    if (!digits) return 0.0;
    return std::strtod(num.c_str(), nullptr);
}

}  // namespace plim::rt
