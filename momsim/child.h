// A stand-in script run in a child interpreter of the post's, as the GRIP
// and the process stand-ins run theirs: fresh for each run, so that no run
// sees what an earlier one left, and gone when the run is over.
#pragma once

#include <string>

#include <tcl.h>

namespace momsim {

class ChildInterp {
public:
    // One at a time: the plug-in waits for the host call that runs it.
    ChildInterp(Tcl_Interp *parent, const char *name);
    ~ChildInterp();
    ChildInterp(const ChildInterp &) = delete;
    ChildInterp &operator=(const ChildInterp &) = delete;

    // Null when Tcl could not make one; why() then says so.
    Tcl_Interp *get() const { return interp_; }
    std::string why() const;

    // Sets the global variable `name` (the value in the system encoding).
    void set(const char *name, const std::string &value);
    void set(const char *name, Tcl_Obj *value);

    // Sources `file`; answers "" or why it failed: the error with its
    // stack, or a "break" or "continue" outside of a loop.
    std::string source(const std::string &file);

private:
    Tcl_Interp *parent_;
    Tcl_Interp *interp_ = nullptr;
};

}  // namespace momsim
