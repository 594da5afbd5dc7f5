#include "child.h"

#include "tcl_text.h"

namespace momsim {

ChildInterp::ChildInterp(Tcl_Interp *parent, const char *name)
    : parent_(parent), interp_(Tcl_CreateSlave(parent, name, 0)) {}

ChildInterp::~ChildInterp() {
    if (interp_) Tcl_DeleteInterp(interp_);
}

std::string ChildInterp::why() const {
    return interp_ ? "" : "no child interpreter: " + std::string(Tcl_GetStringResult(parent_));
}

void ChildInterp::set(const char *name, const std::string &value) { set(name, text_obj(value)); }

void ChildInterp::set(const char *name, Tcl_Obj *value) {
    Tcl_SetVar2Ex(interp_, name, nullptr, value, TCL_GLOBAL_ONLY);
}

std::string ChildInterp::source(const std::string &file) {
    Tcl_Obj *path = text_obj(file);
    Tcl_IncrRefCount(path);
    int code = Tcl_FSEvalFileEx(interp_, path, nullptr);
    Tcl_DecrRefCount(path);
    if (code == TCL_ERROR) return error_info(interp_, code);
    if (code != TCL_OK && code != TCL_RETURN)
        return "the script ended with \"break\" or \"continue\" outside of a loop";
    return "";
}

}  // namespace momsim
