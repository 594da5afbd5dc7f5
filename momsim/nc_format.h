// The number formats of a definition file (FORMAT NAME "PATTERN"): how an
// address writes its value into an NC block.
//
//   FORMAT Coordinate "&__4.3_"     the host's own form: sign, zero fill,
//                                   integer digits, point, fraction digits,
//                                   fraction zero fill
//   FORMAT Digit_2    "%02d"        a C format: %s a text, %d an integer,
//                                   %f %e %g a real, as C writes them
//
// A format is parsed once, when the definition file is read, and writes
// numbers straight into the block being built, without Tcl text between.
#pragma once

#include <string>
#include <string_view>

namespace momsim {

class NumberFormat {
public:
    enum class Kind {
        Text,     // C %s: the value as it is
        Integer,  // C %d: the value rounded to a whole number
        Real,     // C %f, %e, %g
        Host,     // &abcdef
    };

    // Parses PATTERN; throws std::invalid_argument saying what is wrong with it.
    static NumberFormat parse(const std::string &pattern);

    Kind kind() const { return kind_; }
    bool numeric() const { return kind_ != Kind::Text; }
    const std::string &pattern() const { return pattern_; }

    // Appends `value` written in this format to `out`. Answers false when
    // its integer part has more digits than a host format allows (the
    // number is written in full all the same).
    bool write(double value, std::string &out) const;
    // Appends a text value (a %s format); other formats need a number.
    void write_text(std::string_view text, std::string &out) const;

private:
    Kind kind_ = Kind::Text;
    std::string pattern_;
    // Host format: &abcdef.
    bool plus_ = false;        // a: '+' before a number above zero
    bool zero_fill_ = false;   // b: integer part filled with zeros to `digits_`
    int digits_ = 0;           // c: most integer digits
    bool point_ = false;       // d: the decimal point is written
    int fraction_ = 0;         // e: most fraction digits, rounded half up there
    bool fraction_fill_ = false;  // f: fraction filled with zeros to `fraction_`
    // C format: the text before and after the one conversion, and the
    // whole format as snprintf takes it ("X%08.3f", "%5lld").
    std::string before_, after_, conversion_;
};

}  // namespace momsim
