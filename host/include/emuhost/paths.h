// Paths as the emulated host and momsim take them apart and look them up.
// Two spellings meet here: a local path separates its names with "/" only;
// a host path, written for Windows, with "\" as well ("C:\posts\a.grx").
// Case-blind means ASCII letters only, as Windows compares file names.
#pragma once

#include <optional>
#include <string>

#include "emuhost/translator.h"  // EMUHOST_API

namespace emuhost {

// The folder part of a local path: "." when it has none, "/" for a name
// at the root.
EMUHOST_API std::string folder_of(const std::string &path);

// The last name of a local path (after its last "/").
EMUHOST_API std::string base_name(const std::string &path);

// The last name of a host path (after its last "/" or "\").
EMUHOST_API std::string host_base_name(const std::string &path);

// A name without its extension: up to its last dot, unless that dot starts
// the name (".hidden" is a name). "probe.v2.grx" gives "probe.v2".
EMUHOST_API std::string stem(const std::string &name);

// A name's extension without the dot; empty where stem() keeps the name.
EMUHOST_API std::string extension(const std::string &name);

// `folder` and `name` joined with one "/"; `name` alone for no folder.
EMUHOST_API std::string join(const std::string &folder, const std::string &name);

// The absolute path with every symbolic link, "." and ".." resolved; none
// when the path does not name an existing file or folder.
EMUHOST_API std::optional<std::string> real_path(const std::string &path);

// Whether `a` and `b` are the same name without regard to case.
EMUHOST_API bool same_name(const std::string &a, const std::string &b);

// Whether `text` ends with `tail` without regard to case.
EMUHOST_API bool ends_with_nocase(const std::string &text, const std::string &tail);

// The entry of `folder` that `name` names: `name` itself when it is there,
// else the first entry in name order that differs from it only in case;
// none when neither is there.
EMUHOST_API std::optional<std::string> find_entry(const std::string &folder, const std::string &name);

// `folder` joined with the entry find_entry() answers, or with `name` as
// it is when there is none.
EMUHOST_API std::string find_in_folder(const std::string &folder, const std::string &name);

// Whether `path` names a regular file.
EMUHOST_API bool is_file(const std::string &path);

}  // namespace emuhost
