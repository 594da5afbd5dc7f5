// Where momsim finds the plug-in and its data: beside itself, built or
// installed.
#pragma once

#include <string>
#include <vector>

namespace momsim {

// The folder momsim's executable lies in (symbolic links resolved).
std::string executable_folder();

// Folders searched for a plug-in named without a path.
std::vector<std::string> plugin_folders();

// The library a --load or MOM_run_user_function names, as a path to load:
//  - an existing file (a path, or a name in the current folder) as it is;
//  - with --drive, a host path read through the drive mapping: the file
//    itself when it is no ".dll", else NAME.so beside it;
//  - "tarvex" as the plug-in of this pointer width;
//  - any other name, or a host path such as C:\posts\tarvex_x64.dll, by its
//    base name (".dll" read as ".so") in the plug-in folders, so that a
//    script written for the host runs here unchanged.
// Names match as Windows matches them, without regard to case. The plug-in
// of the other pointer width is refused with a message that names the one
// that would load. Throws std::runtime_error listing where it looked.
std::string resolve_library(const std::string &library);

// Folders searched for the demo files.
std::vector<std::string> data_folders();

// The first data folder holding `name`, joined with it; empty if none does.
std::string find_data_file(const std::string &name);

}  // namespace momsim
