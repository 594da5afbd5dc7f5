// The host's output commands and the other host commands a post calls, as
// Tcl commands over the output engine (the engine is their client data).
// host_words.cpp lists them with their usage lines.
#pragma once

#include <tcl.h>

namespace momsim::engine_commands {

int do_template(ClientData, Tcl_Interp *, int, Tcl_Obj *const[]);
int output_literal(ClientData, Tcl_Interp *, int, Tcl_Obj *const[]);
int output_text(ClientData, Tcl_Interp *, int, Tcl_Obj *const[]);
int force(ClientData, Tcl_Interp *, int, Tcl_Obj *const[]);
int suppress(ClientData, Tcl_Interp *, int, Tcl_Obj *const[]);
int set_address_format(ClientData, Tcl_Interp *, int, Tcl_Obj *const[]);
int enable_address(ClientData, Tcl_Interp *, int, Tcl_Obj *const[]);
int disable_address(ClientData, Tcl_Interp *, int, Tcl_Obj *const[]);
int incremental(ClientData, Tcl_Interp *, int, Tcl_Obj *const[]);
int ask_address_value(ClientData, Tcl_Interp *, int, Tcl_Obj *const[]);
int set_seq_on(ClientData, Tcl_Interp *, int, Tcl_Obj *const[]);
int set_seq_off(ClientData, Tcl_Interp *, int, Tcl_Obj *const[]);
int reset_sequence(ClientData, Tcl_Interp *, int, Tcl_Obj *const[]);
int set_line_leader(ClientData, Tcl_Interp *, int, Tcl_Obj *const[]);
int load_definition_file(ClientData, Tcl_Interp *, int, Tcl_Obj *const[]);
int ask_env_var(ClientData, Tcl_Interp *, int, Tcl_Obj *const[]);
int open_output_file(ClientData, Tcl_Interp *, int, Tcl_Obj *const[]);
int close_output_file(ClientData, Tcl_Interp *, int, Tcl_Obj *const[]);
int remove_file(ClientData, Tcl_Interp *, int, Tcl_Obj *const[]);
int set_debug_mode(ClientData, Tcl_Interp *, int, Tcl_Obj *const[]);
int load_kinematics(ClientData, Tcl_Interp *, int, Tcl_Obj *const[]);
int reload_kinematics(ClientData, Tcl_Interp *, int, Tcl_Obj *const[]);
int reload_variable(ClientData, Tcl_Interp *, int, Tcl_Obj *const[]);
int ask_library_attributes(ClientData, Tcl_Interp *, int, Tcl_Obj *const[]);

}  // namespace momsim::engine_commands
