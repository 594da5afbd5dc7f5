#include "grip.h"

#include <algorithm>

#include "drives.h"
#include "emuhost/session.h"
#include "locate.h"

namespace momsim {
namespace {

Tcl_Obj *text_obj(const std::string &text) { return Tcl_NewStringObj(text.data(), static_cast<int>(text.size())); }

// The child's own "exit" would end momsim in the middle of a host call.
int refuse_exit(ClientData, Tcl_Interp *interp, int, Tcl_Obj *const[]) {
    Tcl_SetObjResult(interp, Tcl_NewStringObj(
        "a GRIP stand-in cannot exit: set response and return instead", -1));
    return TCL_ERROR;
}

// Owns one child interpreter for the length of a call.
class Child {
public:
    explicit Child(Tcl_Interp *parent) {
        // One call at a time: the plug-in waits for UF_call_grip to return.
        interp_ = Tcl_CreateSlave(parent, "momsim_grip_stand_in", 0);
    }
    ~Child() {
        if (interp_) Tcl_DeleteInterp(interp_);
    }
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;
    Tcl_Interp *get() const { return interp_; }

private:
    Tcl_Interp *interp_ = nullptr;
};

}  // namespace

std::string stand_in_path(const std::string &folder, const std::string &program) {
    std::string name = program.substr(program.find_last_of("/\\") + 1);
    auto dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    if (folder.empty() || folder.back() == '/') return folder + name + ".tcl";
    return folder + "/" + name + ".tcl";
}

GripStandIns::GripStandIns(Tcl_Interp *parent, std::string folder, std::string part_folder,
                           std::function<void(const std::string &)> complain,
                           std::function<void(const std::string &)> failed)
    : parent_(parent),
      folder_(std::move(folder)),
      part_folder_(std::move(part_folder)),
      complain_(std::move(complain)),
      failed_(std::move(failed)) {}

emuhost::GripProgram GripStandIns::resolve(const std::string &program) const {
    std::vector<std::string> places;
    // Beside the program: the stand-in travels with the post's own files.
    std::string local = machine_path(program);
    if (!local.empty()) {
        auto slash = local.rfind('/');
        std::string beside = slash == std::string::npos ? "." : slash == 0 ? "/" : local.substr(0, slash);
        places.push_back(stand_in_path(beside, program));
    }
    if (!folder_.empty()) places.push_back(stand_in_path(folder_, program));
    if (!part_folder_.empty()) places.push_back(stand_in_path(part_folder_, program));

    std::string looked;
    for (std::size_t i = 0; i < places.size(); ++i) {
        const std::string &place = places[i];
        if (std::find(places.begin(), places.begin() + static_cast<std::ptrdiff_t>(i), place) !=
            places.begin() + static_cast<std::ptrdiff_t>(i))
            continue;  // the same folder named twice is looked in once
        auto slash = place.rfind('/');
        std::string file = slash == std::string::npos ? find_in_folder(".", place)
                                                      : find_in_folder(place.substr(0, slash == 0 ? 1 : slash),
                                                                       place.substr(slash + 1));
        if (is_file(file)) return [this, file](emuhost::GripRun &call) { return run(file, call); };
        looked += (looked.empty() ? "" : ", ") + place;
    }
    std::string message = "no GRIP stand-in for " + program + ": looked for " + looked;
    if (folder_.empty() && part_folder_.empty()) message += " (no --grip-dir given and no grip_dir in the part)";
    complain_(message);
    if (failed_) failed_(message);
    return {};
}

int GripStandIns::fail(const std::string &file, const std::string &why) const {
    std::string message = "GRIP stand-in " + file + " failed: " + why;
    // The plug-in reports the host's failure text; it shows the first line.
    std::string first_line = message.substr(0, message.find('\n'));
    emuhost::session().set_fail_text(kGripStandInFailed, first_line);
    complain_(message);
    if (failed_) failed_(message);
    return kGripStandInFailed;
}

int GripStandIns::run(const std::string &file, emuhost::GripRun &call) const {
    if (call.numbers.empty()) return fail(file, "the argument list has no response entry");
    Child child(parent_);
    Tcl_Interp *interp = child.get();
    if (interp == nullptr) return fail(file, "no child interpreter: " + std::string(Tcl_GetStringResult(parent_)));
    Tcl_CreateObjCommand(interp, "exit", refuse_exit, nullptr, nullptr);

    Tcl_Obj *args = Tcl_NewListObj(0, nullptr);
    for (const auto &text : call.texts) Tcl_ListObjAppendElement(nullptr, args, text_obj(text));
    Tcl_SetVar2Ex(interp, "args", nullptr, args, TCL_GLOBAL_ONLY);
    Tcl_SetVar2Ex(interp, "program", nullptr, text_obj(call.path), TCL_GLOBAL_ONLY);
    Tcl_SetVar2Ex(interp, "response", nullptr, Tcl_NewDoubleObj(call.response()), TCL_GLOBAL_ONLY);

    Tcl_Obj *path = text_obj(file);
    Tcl_IncrRefCount(path);
    int code = Tcl_FSEvalFileEx(interp, path, nullptr);
    Tcl_DecrRefCount(path);
    if (code == TCL_ERROR) {
        const char *info = Tcl_GetVar(interp, "errorInfo", TCL_GLOBAL_ONLY);
        return fail(file, info ? info : Tcl_GetStringResult(interp));
    }
    if (code != TCL_OK && code != TCL_RETURN)
        return fail(file, "the script ended with \"break\" or \"continue\" outside of a loop");

    Tcl_Obj *response = Tcl_GetVar2Ex(interp, "response", nullptr, TCL_GLOBAL_ONLY);
    if (response == nullptr) return fail(file, "the script unset response");
    double value = 0.0;
    if (Tcl_GetDoubleFromObj(nullptr, response, &value) != TCL_OK)
        return fail(file, "response \"" + std::string(Tcl_GetString(response)) + "\" is no real number");
    call.response() = value;
    return 0;
}

}  // namespace momsim
