//   open NAME ?ACCESS? ?PERMISSIONS?
//   source ?-encoding NAME? FILE
//   MOM_get_ini_string FILE SECTION KEY ?DEFAULT?
//
// What the post reads while it runs: each file it opens for reading with
// Tcl's open, each file it sources and each INI file a plug-in command
// reads becomes an input of the run's files (run_files.h). No output that
// turns out to be such a file replaces it when the run ends, and no output
// named later may be one.
#pragma once

#include <set>
#include <string>

#include <tcl.h>

#include "run_files.h"

namespace momsim {

class ReadFiles {
public:
    ReadFiles(Tcl_Interp *interp, RunFiles &files) : interp_(interp), files_(files) {}
    ReadFiles(const ReadFiles &) = delete;
    ReadFiles &operator=(const ReadFiles &) = delete;

    // Watches Tcl's open and source, and the plug-in commands that read a
    // file, as far as they are defined now; called again after a plug-in
    // loads, it adds the commands not watched yet.
    void watch();

    // --- used by the Tcl command -----------------------------------------------
    // A watched command came back with `code`, called as `call`.
    void returned(Tcl_Obj *call, int code);

private:
    void note(const std::string &path);

    Tcl_Interp *interp_;
    RunFiles &files_;
    bool made_ = false;
    std::set<std::string> noted_;  // the files noted, each once
};

}  // namespace momsim
