#include "grip.h"

#include <algorithm>
#include <optional>

#include "child.h"
#include "emuhost/machine.h"
#include "emuhost/paths.h"
#include "emuhost/session.h"
#include "tcl_text.h"

namespace momsim {
namespace {

// exit ?STATUS?
//
// In a GRIP stand-in: an error. The child's own exit would end momsim in
// the middle of a host call; a stand-in sets response and returns.
int refuse_exit(ClientData, Tcl_Interp *interp, int, Tcl_Obj *const[]) {
    Tcl_SetObjResult(interp, Tcl_NewStringObj(
        "a GRIP stand-in cannot exit: set response and return instead", -1));
    return TCL_ERROR;
}

}  // namespace

std::string stand_in_path(const std::string &folder, const std::string &program) {
    return emuhost::join(folder, emuhost::stem(emuhost::host_base_name(program)) + ".tcl");
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
    if (std::optional<std::string> local = emuhost::windows_machine().local_path(program))
        places.push_back(stand_in_path(emuhost::folder_of(*local), program));
    if (!folder_.empty()) places.push_back(stand_in_path(folder_, program));
    if (!part_folder_.empty()) places.push_back(stand_in_path(part_folder_, program));

    std::string looked;
    for (std::size_t i = 0; i < places.size(); ++i) {
        const std::string &place = places[i];
        if (std::find(places.begin(), places.begin() + static_cast<std::ptrdiff_t>(i), place) !=
            places.begin() + static_cast<std::ptrdiff_t>(i))
            continue;  // the same folder named twice is looked in once
        std::string file = emuhost::find_in_folder(emuhost::folder_of(place), emuhost::base_name(place));
        if (emuhost::is_file(file)) return [this, file](emuhost::GripRun &call) { return run(file, call); };
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
    ChildInterp child(parent_, "momsim_grip_stand_in");
    if (child.get() == nullptr) return fail(file, child.why());
    Tcl_CreateObjCommand(child.get(), "exit", refuse_exit, nullptr, nullptr);

    Tcl_Obj *args = Tcl_NewListObj(0, nullptr);
    for (const auto &text : call.texts) Tcl_ListObjAppendElement(nullptr, args, text_obj(text));
    child.set("args", args);
    child.set("program", call.path);
    child.set("response", Tcl_NewDoubleObj(call.response()));

    std::string problem = child.source(file);
    if (!problem.empty()) return fail(file, problem);

    Tcl_Obj *response = Tcl_GetVar2Ex(child.get(), "response", nullptr, TCL_GLOBAL_ONLY);
    if (response == nullptr) return fail(file, "the script unset response");
    double value = 0.0;
    if (Tcl_GetDoubleFromObj(nullptr, response, &value) != TCL_OK)
        return fail(file, "response \"" + std::string(Tcl_GetString(response)) + "\" is no real number");
    call.response() = value;
    return 0;
}

}  // namespace momsim
