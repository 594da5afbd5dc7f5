#include "engine_commands.h"

#include <cctype>
#include <string>

#include "definition.h"
#include "output_engine.h"
#include "tcl_text.h"

namespace momsim::engine_commands {
namespace {

OutputEngine &engine_of(ClientData data) { return *static_cast<OutputEngine *>(data); }

// Refuses a call whose word count is outside [least, most] (most < 0: no
// limit), with the command's usage.
bool words_fit(Tcl_Interp *interp, int objc, Tcl_Obj *const objv[], int least, int most, const char *usage) {
    int words = objc - 1;
    if (words >= least && (most < 0 || words <= most)) return true;
    Tcl_WrongNumArgs(interp, 1, objv, usage);
    return false;
}

std::string lower(const char *text) {
    std::string out = text;
    for (char &c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Once, Always or Off, in any case; false with the message set otherwise.
bool modality(Tcl_Interp *interp, const char *command, Tcl_Obj *word, Modality &mode) {
    std::string text = lower(Tcl_GetString(word));
    if (text == "once") mode = Modality::Once;
    else if (text == "always") mode = Modality::Always;
    else if (text == "off") mode = Modality::Off;
    else {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("%s: \"%s\" is none of once, always, off", command, Tcl_GetString(word)));
        return false;
    }
    return true;
}

int set(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[], const char *command,
        OutputEngine::Setting setting) {
    if (!words_fit(interp, objc, objv, 2, -1, "once|always|off address ?address ...?")) return TCL_ERROR;
    Modality mode = Modality::Off;
    if (!modality(interp, command, objv[1], mode)) return TCL_ERROR;
    return engine_of(data).set_addresses(command, setting, mode, objc - 2, objv + 2);
}

int addresses(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[], const char *command,
              OutputEngine::Setting setting) {
    if (!words_fit(interp, objc, objv, 1, -1, "address ?address ...?")) return TCL_ERROR;
    return engine_of(data).set_addresses(command, setting, Modality::Off, objc - 1, objv + 1);
}

int accept(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[], int least, int most,
           const char *usage) {
    if (!words_fit(interp, objc, objv, least, most, usage)) return TCL_ERROR;
    engine_of(data).accepted(Tcl_GetString(objv[0]));
    Tcl_ResetResult(interp);
    return TCL_OK;
}

}  // namespace

// MOM_do_template NAME ?CREATE?
//
// Builds the block of the definition file's BLOCK_TEMPLATE NAME: each
// member's expression evaluated at the post's global level and formatted by
// its address, modal addresses left out while unchanged. Writes it as one
// line (sequence number in front, through MOM_before_output) unless every
// member was left out; with CREATE, answers the block's text and writes
// nothing.
int do_template(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    if (!words_fit(interp, objc, objv, 1, 2, "template ?CREATE?")) return TCL_ERROR;
    bool create = false;
    if (objc == 3) {
        if (lower(Tcl_GetString(objv[2])) != "create") {
            Tcl_SetObjResult(interp, Tcl_ObjPrintf("MOM_do_template %s: \"%s\" is not CREATE", Tcl_GetString(objv[1]),
                                                   Tcl_GetString(objv[2])));
            return TCL_ERROR;
        }
        create = true;
    }
    return engine_of(data).do_template(Tcl_GetString(objv[1]), create);
}

// MOM_output_literal TEXT
//
// Writes TEXT as one NC block: the line leader and the sequence number in
// front when they are on, END_OF_LINE after it, through MOM_before_output.
int output_literal(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    if (!words_fit(interp, objc, objv, 1, 1, "text")) return TCL_ERROR;
    return engine_of(data).output(objv[1], true);
}

// MOM_output_text TEXT
//
// Writes TEXT as one line as it is: no leader, no sequence number; the
// post's MOM_before_output still sees it.
int output_text(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    if (!words_fit(interp, objc, objv, 1, 1, "text")) return TCL_ERROR;
    return engine_of(data).output(objv[1], false);
}

// MOM_force once|always|off ADDRESS ?ADDRESS ...?
//
// Once: each address is written the next time a block holds it, changed or
// not; always: every time; off: only when its value changed.
int force(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    return set(data, interp, objc, objv, "MOM_force", OutputEngine::Setting::Force);
}

// MOM_suppress once|always|off ADDRESS ?ADDRESS ...?
//
// Once: each address is left out the next time it would be written;
// always: every time, until MOM_suppress off.
int suppress(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    return set(data, interp, objc, objv, "MOM_suppress", OutputEngine::Setting::Suppress);
}

// MOM_set_address_format ADDRESS FORMAT
//
// ADDRESS writes its values in the definition file's FORMAT from now on.
int set_address_format(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    if (!words_fit(interp, objc, objv, 2, 2, "address format")) return TCL_ERROR;
    return engine_of(data).set_address_format(Tcl_GetString(objv[1]), Tcl_GetString(objv[2]));
}

// MOM_enable_address ADDRESS ?ADDRESS ...?
//
// Each address is written in its blocks again after MOM_disable_address.
int enable_address(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    return addresses(data, interp, objc, objv, "MOM_enable_address", OutputEngine::Setting::Enable);
}

// MOM_disable_address ADDRESS ?ADDRESS ...?
//
// Each address is left out of every block (its expression not evaluated)
// until MOM_enable_address.
int disable_address(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    return addresses(data, interp, objc, objv, "MOM_disable_address", OutputEngine::Setting::Disable);
}

// MOM_incremental on|off ADDRESS ?ADDRESS ...?
//
// On: each address writes the step from the value it was given last (the
// first value after switching on in full); off: the value itself.
int incremental(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    if (!words_fit(interp, objc, objv, 2, -1, "on|off address ?address ...?")) return TCL_ERROR;
    std::string mode = lower(Tcl_GetString(objv[1]));
    if (mode != "on" && mode != "off") {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("MOM_incremental: \"%s\" is neither on nor off", Tcl_GetString(objv[1])));
        return TCL_ERROR;
    }
    return engine_of(data).set_addresses("MOM_incremental",
                                         mode == "on" ? OutputEngine::Setting::IncrementalOn
                                                      : OutputEngine::Setting::IncrementalOff,
                                         Modality::Off, objc - 2, objv + 2);
}

// MOM_ask_address_value ADDRESS
//
// Answers the value ADDRESS wrote last, as a number before formatting (after
// MAX, MIN and the incremental step); empty while it wrote none.
int ask_address_value(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    if (!words_fit(interp, objc, objv, 1, 1, "address")) return TCL_ERROR;
    return engine_of(data).address_value(Tcl_GetString(objv[1]));
}

// MOM_set_seq_on
//
// Blocks are numbered from here on (with a SEQUENCE in the definition
// file). Answers the setting before: on or off.
int set_seq_on(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    if (!words_fit(interp, objc, objv, 0, 0, "")) return TCL_ERROR;
    Tcl_SetObjResult(interp, Tcl_NewStringObj(engine_of(data).set_sequence(true), -1));
    return TCL_OK;
}

// MOM_set_seq_off
//
// Blocks are written without numbers from here on. Answers the setting
// before: on or off.
int set_seq_off(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    if (!words_fit(interp, objc, objv, 0, 0, "")) return TCL_ERROR;
    Tcl_SetObjResult(interp, Tcl_NewStringObj(engine_of(data).set_sequence(false), -1));
    return TCL_OK;
}

// MOM_reset_sequence ?START ?INCREMENT ?FREQUENCY???
//
// The next numbered block gets START (the SEQUENCE's own start when left
// out); the numbers then go up by INCREMENT, every FREQUENCY-th block.
int reset_sequence(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    if (!words_fit(interp, objc, objv, 0, 3, "?start ?increment ?frequency???")) return TCL_ERROR;
    return engine_of(data).reset_sequence(objc - 1, objv + 1);
}

// MOM_set_line_leader always|once|off TEXT
//
// TEXT goes first on every line MOM_output_literal and MOM_do_template
// write (always), on the next one (once), or on none (off).
int set_line_leader(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    if (!words_fit(interp, objc, objv, 1, 2, "always|once|off ?text?")) return TCL_ERROR;
    Modality mode = Modality::Off;
    if (!modality(interp, "MOM_set_line_leader", objv[1], mode)) return TCL_ERROR;
    engine_of(data).set_line_leader(mode, objc == 3 ? Tcl_GetString(objv[2]) : "");
    Tcl_ResetResult(interp);
    return TCL_OK;
}

// MOM_load_definition_file FILE
//
// Reads the definition file FILE on top of the one loaded: its formats,
// addresses and templates replace those of the same name.
int load_definition_file(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    if (!words_fit(interp, objc, objv, 1, 1, "file")) return TCL_ERROR;
    try {
        engine_of(data).load(to_native(objv[1]));
    } catch (const DefinitionError &error) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("MOM_load_definition_file: %s", error.what()));
        Tcl_SetErrorCode(interp, "MOMSIM", "DEFINITION", nullptr);
        return TCL_ERROR;
    }
    Tcl_ResetResult(interp);
    return TCL_OK;
}

// MOM_ask_env_var NAME
//
// Answers the environment variable NAME (momsim --env NAME=VALUE sets one),
// empty when it is not set.
int ask_env_var(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    if (!words_fit(interp, objc, objv, 1, 1, "name")) return TCL_ERROR;
    Tcl_Obj *value = Tcl_GetVar2Ex(interp, "env", Tcl_GetString(objv[1]), TCL_GLOBAL_ONLY);
    Tcl_SetObjResult(interp, value ? value : Tcl_NewObj());
    return TCL_OK;
}

// MOM_open_output_file FILE
//
// Output goes to FILE too from here on. A file opened before in this run
// (the NC output among them) is written on where it was; another one starts
// empty, and replaces the file on disk when the run ends.
int open_output_file(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    if (!words_fit(interp, objc, objv, 1, 1, "file")) return TCL_ERROR;
    return engine_of(data).open_file(to_native(objv[1]), true);
}

// MOM_close_output_file FILE
//
// Output no longer goes to FILE (until it is opened again).
int close_output_file(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    if (!words_fit(interp, objc, objv, 1, 1, "file")) return TCL_ERROR;
    return engine_of(data).open_file(to_native(objv[1]), false);
}

// MOM_remove_file FILE
//
// Removes FILE. A file this run writes starts again empty instead; a file
// the run reads (the post, the part, the definition file) is refused.
int remove_file(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    if (!words_fit(interp, objc, objv, 1, 1, "file")) return TCL_ERROR;
    return engine_of(data).remove_file(to_native(objv[1]));
}

// MOM_set_debug_mode ON|OFF
//
// The host's review tool; momsim has none: accepted, noted in the summary.
int set_debug_mode(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    return accept(data, interp, objc, objv, 1, 1, "on|off");
}

// MOM_load_kinematics
//
// The machine's kinematics from the host's machine library; momsim's part
// has none: accepted, noted in the summary.
int load_kinematics(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    return accept(data, interp, objc, objv, 0, 0, "");
}

// MOM_reload_kinematics
//
// As MOM_load_kinematics: accepted, noted in the summary.
int reload_kinematics(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    return accept(data, interp, objc, objv, 0, 0, "");
}

// MOM_reload_variable ?-a? NAME ?NAME ...?
//
// The host sets each variable again from its own copy; momsim keeps no
// second copy, so the post's values stay: accepted, noted in the summary.
int reload_variable(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    return accept(data, interp, objc, objv, 1, -1, "?-a? name ?name ...?");
}

// MOM_ask_library_attributes ?WORD ...?
//
// The host's machine library; momsim has none: sets nothing, noted in the
// summary.
int ask_library_attributes(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    return accept(data, interp, objc, objv, 0, -1, "?word ...?");
}

}  // namespace momsim::engine_commands
