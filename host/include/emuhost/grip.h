// GRIP programs as the emulated host runs them: UF_call_grip looks up a
// stand-in for the program's path and runs it with the argument list.
// Tests register callables; momsim registers one that runs a Tcl script.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "emuhost/translator.h"

namespace emuhost {

// One entry of an argument list as UF_call_grip found it.
struct GripEntry {
    int32_t type = 0;     // GRIP_ARG_TEXT or GRIP_ARG_RESPONSE (anything else is refused)
    int32_t zero = 0;     // the second field, which callers leave 0
    std::string text;     // a text entry: the text it points at
    double number = 0.0;  // a response entry: the value before the run
};

// A UF_call_grip as the host recorded it.
struct GripCall {
    std::string path;
    int count = 0;
    std::vector<GripEntry> entries;
    int code = 0;  // what UF_call_grip answered
};

// What a stand-in sees and may change while it runs.
struct GripRun {
    std::string path;
    std::vector<std::string> texts;  // the text entries, in list order
    std::vector<double> numbers;     // the response entries, in list order; written back after the run

    // The user response: the last response entry of the list. Throws
    // std::logic_error when the list has none.
    double &response() {
        if (numbers.empty()) throw std::logic_error("the GRIP argument list has no response entry");
        return numbers.back();
    }
};

// A GRIP program stand-in: runs, may set numbers, answers the return code.
using GripProgram = std::function<int(GripRun &)>;
// Finds a stand-in for a path the registered ones do not cover; answers an
// empty function when it has none.
using GripResolver = std::function<GripProgram(const std::string &path)>;

class EMUHOST_API GripHost {
public:
    // Registers (or replaces) the stand-in run for exactly this path.
    void add_program(const std::string &path, GripProgram program);
    void remove_program(const std::string &path);
    void set_resolver(GripResolver resolver);
    // The stand-in for `path`: a registered one first, then the resolver's.
    GripProgram find(const std::string &path) const;

    // Every UF_call_grip that got past fault injection, in order.
    const std::vector<GripCall> &calls() const { return calls_; }
    void record(GripCall call);

    void reset();

private:
    std::map<std::string, GripProgram> programs_;
    GripResolver resolver_;
    std::vector<GripCall> calls_;
};

}  // namespace emuhost
