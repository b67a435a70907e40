#include "float_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vantor::report {

namespace {

// A decimal: digits (no leading zero) times ten to the power of exponent,
// the power of the first digit.
struct Decimal {
    std::uint64_t digits = 0;
    int count = 0;
    int exponent = 0;
};

std::uint64_t power_of_ten(int n) {
    std::uint64_t p = 1;
    while (n-- > 0)
        p *= 10;
    return p;
}

std::string scientific_text(const Decimal &d) {
    const std::string digits = std::to_string(d.digits);
    char exponent[16];
    std::snprintf(exponent, sizeof exponent, "e%c%02d", d.exponent < 0 ? '-' : '+', std::abs(d.exponent));
    return digits.substr(0, 1) + (digits.size() > 1 ? "." + digits.substr(1) : "") + exponent;
}

double value_of(const Decimal &d) {
    return std::strtod(scientific_text(d).c_str(), nullptr);
}

bool reads_back(const Decimal &d, float value) {
    return std::strtof(scientific_text(d).c_str(), nullptr) == value;
}

// d with its last digit one more or one less, kept at count digits.
Decimal stepped(Decimal d, int step) {
    const std::uint64_t least = power_of_ten(d.count - 1);
    d.digits += step;
    if (d.digits == least * 10) {
        d.digits = least;
        ++d.exponent;
    } else if (d.digits < least) {
        d.digits = least * 10 - 1;
        --d.exponent;
    }
    return d;
}

// The shortest decimal that reads back as value (> 0), the nearest one
// among those of its length.
Decimal shortest(float value) {
    for (int count = 1;; ++count) {
        char text[48];
        std::snprintf(text, sizeof text, "%.*e", count - 1, static_cast<double>(value));
        char *end = nullptr;
        Decimal nearest{0, count, 0};
        for (const char *p = text; *p != 'e'; ++p)
            if (*p != '.')
                nearest.digits = nearest.digits * 10 + static_cast<std::uint64_t>(*p - '0');
        nearest.exponent = static_cast<int>(std::strtol(std::strchr(text, 'e') + 1, &end, 10));
        // Nine digits always read back; next to a power of two the nearest
        // decimal may fall outside the float's narrower lower half-gap
        // while its neighbour above does not.
        if (count == 9 || reads_back(nearest, value))
            return nearest;
        const Decimal up = stepped(nearest, 1);
        const Decimal down = stepped(nearest, -1);
        const bool up_ok = reads_back(up, value);
        const bool down_ok = reads_back(down, value);
        if (up_ok && down_ok)
            return std::abs(value_of(up) - value) < std::abs(value_of(down) - value) ? up : down;
        if (up_ok || down_ok)
            return up_ok ? up : down;
    }
}

} // namespace

void append_shortest_portable(std::string &out, float value) {
    if (std::signbit(value))
        out += '-';
    value = std::abs(value);
    if (value == 0) {
        out += '0';
        return;
    }
    Decimal d = shortest(value);
    while (d.count > 1 && d.digits % 10 == 0) {
        d.digits /= 10;
        --d.count;
    }
    const std::string scientific = scientific_text(d);
    std::string fixed;
    if (d.exponent >= d.count - 1) {
        // An integer: its exact digits, which past 2^24 differ from the
        // shortest ones padded with zeros.
        char text[64];
        std::snprintf(text, sizeof text, "%.0f", static_cast<double>(value));
        fixed = text;
    } else {
        const std::string digits = std::to_string(d.digits);
        if (d.exponent >= 0)
            fixed = digits.substr(0, d.exponent + 1) + "." + digits.substr(d.exponent + 1);
        else
            fixed = "0." + std::string(-d.exponent - 1, '0') + digits;
    }
    out += fixed.size() <= scientific.size() ? fixed : scientific;
}

void append_shortest(std::string &out, float value) {
#if defined(__cpp_lib_to_chars) && __cpp_lib_to_chars >= 201611L
    char text[32];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    if (ec == std::errc()) {
        out.append(text, end);
        return;
    }
#endif
    append_shortest_portable(out, value);
}

} // namespace vantor::report
