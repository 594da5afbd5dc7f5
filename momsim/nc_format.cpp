#include "nc_format.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <vector>

namespace momsim {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The decimal digits of |value| in its shortest form that reads back as the
// same double, with the position of the decimal point: value = 0.DIGITS *
// 10^point. The host rounds "at that digit" as the number is written, so
// 2.675 at two digits is 2.68, not the 2.67 its binary form would give.
void shortest_digits(double value, std::string &digits, int &point) {
    char text[64];
    auto result = std::to_chars(text, text + sizeof text, std::fabs(value), std::chars_format::scientific);
    std::string_view written(text, static_cast<std::size_t>(result.ptr - text));
    // d.ddde[+-]xx
    auto e = written.find('e');
    digits.clear();
    for (char c : written.substr(0, e))
        if (is_digit(c)) digits += c;
    int exponent = 0;
    std::from_chars(written.data() + e + 1 + (written[e + 1] == '+' ? 1 : 0), written.data() + written.size(),
                    exponent);
    point = exponent + 1;
}

}  // namespace

NumberFormat NumberFormat::parse(const std::string &pattern) {
    NumberFormat format;
    format.pattern_ = pattern;
    if (!pattern.empty() && pattern[0] == '&') {
        // &abcdef: exactly six characters after the ampersand.
        auto bad = [&](const std::string &why) {
            return std::invalid_argument("\"" + pattern + "\": " + why +
                                         " (a host format is &abcdef: a '+' or '_', b '0' or '_', c a digit, "
                                         "d '.' or '_', e a digit, f '0' or '_')");
        };
        if (pattern.size() != 7) throw bad("it has " + std::to_string(pattern.size() - 1) + " characters after '&', not 6");
        const char a = pattern[1], b = pattern[2], c = pattern[3], d = pattern[4], e = pattern[5], f = pattern[6];
        if (a != '+' && a != '_') throw bad(std::string("'") + a + "' is no sign choice");
        if (b != '0' && b != '_') throw bad(std::string("'") + b + "' is no zero-fill choice");
        if (!is_digit(c)) throw bad(std::string("'") + c + "' is no count of integer digits");
        if (d != '.' && d != '_') throw bad(std::string("'") + d + "' is no decimal-point choice");
        if (!is_digit(e)) throw bad(std::string("'") + e + "' is no count of fraction digits");
        if (f != '0' && f != '_') throw bad(std::string("'") + f + "' is no fraction zero-fill choice");
        format.kind_ = Kind::Host;
        format.plus_ = a == '+';
        format.zero_fill_ = b == '0';
        format.digits_ = c - '0';
        format.point_ = d == '.';
        format.fraction_ = e - '0';
        format.fraction_fill_ = f == '0';
        return format;
    }
    // A C format: one conversion, %% for a percent sign elsewhere. Only
    // flags, a width and a precision of at most two digits each are taken,
    // so that what snprintf writes is bounded and takes exactly one value.
    std::size_t at = 0;
    bool found = false;
    std::string *side = &format.before_;
    while (at < pattern.size()) {
        char ch = pattern[at];
        if (ch != '%') {
            *side += ch;
            ++at;
            continue;
        }
        if (at + 1 < pattern.size() && pattern[at + 1] == '%') {
            *side += "%%";
            at += 2;
            continue;
        }
        if (found) throw std::invalid_argument("\"" + pattern + "\": more than one conversion; a format writes one value");
        std::size_t start = at++;
        while (at < pattern.size() && std::string("-+ #0").find(pattern[at]) != std::string::npos) ++at;
        std::size_t width = at;
        while (at < pattern.size() && is_digit(pattern[at])) ++at;
        if (at - width > 2) throw std::invalid_argument("\"" + pattern + "\": a width of more than two digits");
        if (at < pattern.size() && pattern[at] == '.') {
            std::size_t precision = ++at;
            while (at < pattern.size() && is_digit(pattern[at])) ++at;
            if (at - precision > 2) throw std::invalid_argument("\"" + pattern + "\": a precision of more than two digits");
        }
        if (at == pattern.size())
            throw std::invalid_argument("\"" + pattern + "\": the conversion has no letter (s, d, f, e or g)");
        char letter = pattern[at++];
        std::string head = pattern.substr(start, at - 1 - start);
        switch (letter) {
        case 's': format.kind_ = Kind::Text; format.conversion_ = head + "s"; break;
        case 'd': case 'i': format.kind_ = Kind::Integer; format.conversion_ = head + "lld"; break;
        case 'f': case 'F': case 'e': case 'E': case 'g': case 'G':
            format.kind_ = Kind::Real;
            format.conversion_ = head + letter;
            break;
        default:
            throw std::invalid_argument("\"" + pattern + "\": '%" + std::string(1, letter) +
                                        "' is no conversion a format takes (s, d, f, e or g)");
        }
        found = true;
        side = &format.after_;
    }
    format.conversion_ = format.before_ + format.conversion_ + format.after_;
    if (!found)
        throw std::invalid_argument("\"" + pattern + "\": neither a host format (&abcdef) nor a C format (%s, %d, %f, ...)");
    return format;
}

void NumberFormat::write_text(std::string_view text, std::string &out) const {
    std::string value(text);
    const char *whole = conversion_.c_str();
    int size = std::snprintf(nullptr, 0, whole, value.c_str());
    if (size <= 0) return;
    std::vector<char> buffer(static_cast<std::size_t>(size) + 1);
    std::snprintf(buffer.data(), buffer.size(), whole, value.c_str());
    out.append(buffer.data(), static_cast<std::size_t>(size));
}

bool NumberFormat::write(double value, std::string &out) const {
    if (kind_ == Kind::Integer || kind_ == Kind::Real) {
        const char *whole = conversion_.c_str();
        char small[512];
        int size;
        long long whole_number = 0;
        if (kind_ == Kind::Integer) {
            // Half away from zero, as the host rounds; beyond the range of a
            // 64-bit integer the value stays at its end.
            double rounded = std::round(value);
            whole_number = rounded >= 9.2e18 ? 9200000000000000000LL
                           : rounded <= -9.2e18 ? -9200000000000000000LL
                                                : static_cast<long long>(rounded);
            size = std::snprintf(small, sizeof small, whole, whole_number);
        } else {
            size = std::snprintf(small, sizeof small, whole, value);
        }
        if (size < 0) return true;
        if (static_cast<std::size_t>(size) < sizeof small) {
            out.append(small, static_cast<std::size_t>(size));
        } else {
            std::vector<char> buffer(static_cast<std::size_t>(size) + 1);
            if (kind_ == Kind::Integer) std::snprintf(buffer.data(), buffer.size(), whole, whole_number);
            else std::snprintf(buffer.data(), buffer.size(), whole, value);
            out.append(buffer.data(), static_cast<std::size_t>(size));
        }
        return true;
    }
    if (kind_ == Kind::Text) {
        char text[32];
        auto result = std::to_chars(text, text + sizeof text, value);
        write_text(std::string_view(text, static_cast<std::size_t>(result.ptr - text)), out);
        return true;
    }
    if (!std::isfinite(value)) {
        out += std::isnan(value) ? "nan" : value < 0 ? "-inf" : "inf";
        return false;
    }
    // The integer and fraction digits of |value|, rounded half up at the
    // last fraction digit kept.
    std::string digits;
    int point = 0;
    shortest_digits(value, digits, point);
    std::string integer, fraction;
    if (point > 0) {
        if (static_cast<int>(digits.size()) >= point) {
            integer = digits.substr(0, static_cast<std::size_t>(point));
            fraction = digits.substr(static_cast<std::size_t>(point));
        } else {
            integer = digits + std::string(static_cast<std::size_t>(point) - digits.size(), '0');
        }
    } else {
        fraction = std::string(static_cast<std::size_t>(-point), '0') + digits;
    }
    if (static_cast<int>(fraction.size()) > fraction_) {
        bool up = fraction[static_cast<std::size_t>(fraction_)] >= '5';
        fraction.resize(static_cast<std::size_t>(fraction_));
        if (up) {
            // Carry from the last kept digit through the integer part.
            std::string number = integer + fraction;
            int i = static_cast<int>(number.size()) - 1;
            while (i >= 0 && number[static_cast<std::size_t>(i)] == '9') number[static_cast<std::size_t>(i--)] = '0';
            if (i >= 0) ++number[static_cast<std::size_t>(i)];
            else number.insert(number.begin(), '1');
            integer = number.substr(0, number.size() - fraction.size());
            fraction = number.substr(number.size() - fraction.size());
        }
    }
    auto first = integer.find_first_not_of('0');
    integer = first == std::string::npos ? "" : integer.substr(first);
    auto last = fraction.find_last_not_of('0');
    bool zero = integer.empty() && last == std::string::npos;
    if (zero && fraction_ > 0) {
        // A real format writes a zero as 0.0 whatever it says otherwise.
        out += "0.0";
        return true;
    }
    if (!zero && std::signbit(value)) out += '-';
    else if (!zero && plus_) out += '+';
    bool fits = static_cast<int>(integer.size()) <= digits_;
    if (zero_fill_ && static_cast<int>(integer.size()) < digits_)
        integer.insert(0, static_cast<std::size_t>(digits_) - integer.size(), '0');
    // An integer format writes a zero as 0.
    if (zero && integer.empty()) integer = "0";
    out += integer;
    if (point_) out += '.';
    if (!fraction_fill_) fraction.resize(last == std::string::npos ? 0 : last + 1);
    else fraction.resize(static_cast<std::size_t>(fraction_), '0');
    out += fraction;
    return fits;
}

}  // namespace momsim
