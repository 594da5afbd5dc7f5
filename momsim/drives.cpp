#include "drives.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include <sys/stat.h>

#include "emuhost/machine.h"
#include "emuhost/paths.h"
#include "usage_error.h"

namespace momsim {
namespace {

// Whether Tcl should hand `path` to the drive filesystem: a drive letter and
// a colon, alone or followed by either slash. Only asked while drives are
// mapped; an unmapped letter is claimed too, so that its failure says why.
// Asked for every path Tcl touches, so it looks at three bytes and no more.
bool names_a_drive(const char *path) {
    char letter = path[0];
    if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z')) || path[1] != ':') return false;
    return path[2] == '\0' || path[2] == '/' || path[2] == '\\';
}

// The local path of one of our paths as a Tcl path object, held for the
// object's lifetime, or none for an unmapped drive, with errno set as for a
// file that is not there.
class Local {
public:
    explicit Local(Tcl_Obj *path) {
        std::optional<std::string> local = emuhost::windows_machine().local_path(Tcl_GetString(path));
        if (!local) {
            Tcl_SetErrno(ENOENT);
            return;
        }
        obj_ = Tcl_NewStringObj(local->data(), static_cast<int>(local->size()));
        Tcl_IncrRefCount(obj_);
    }
    ~Local() {
        if (obj_) Tcl_DecrRefCount(obj_);
    }
    Local(const Local &) = delete;
    Local &operator=(const Local &) = delete;
    explicit operator bool() const { return obj_ != nullptr; }
    Tcl_Obj *get() const { return obj_; }
    // The filesystem that really holds the file: Tcl's own.
    const Tcl_Filesystem *fs() const { return Tcl_FSGetFileSystemForPath(obj_); }

private:
    Tcl_Obj *obj_ = nullptr;
};

// A second path of a two-path operation: ours mapped, any other as it is.
Tcl_Obj *either(Tcl_Obj *path, std::optional<Local> &holder) {
    if (!names_a_drive(Tcl_GetString(path))) return path;
    holder.emplace(path);
    return *holder ? holder->get() : nullptr;
}

int in_filesystem(Tcl_Obj *path, ClientData *) {
    return names_a_drive(Tcl_GetString(path)) ? TCL_OK : -1;
}

Tcl_Obj *separator(Tcl_Obj *) { return Tcl_NewStringObj("/", 1); }

// The mapped drives as Tcl's volumes ("C:/", "c:/"), so that Tcl takes a
// path on one as absolute, as Windows does, rather than joining it to the
// current folder.
Tcl_Obj *volumes() {
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    for (char letter : emuhost::windows_machine().drives()) {
        // Only "/": Tcl splits paths at "/" alone, and a volume ending in a
        // backslash would make it take backslash paths apart wrongly.
        for (char drive : {letter, static_cast<char>(letter - 'A' + 'a')}) {
            char volume[] = {drive, ':', '/', '\0'};
            Tcl_ListObjAppendElement(nullptr, list, Tcl_NewStringObj(volume, -1));
        }
    }
    // Tcl lets go of the list once it has read it.
    Tcl_IncrRefCount(list);
    return list;
}

int stat_path(Tcl_Obj *path, Tcl_StatBuf *buf) {
    Local local(path);
    if (!local || !local.fs() || !local.fs()->statProc) return -1;
    return local.fs()->statProc(local.get(), buf);
}

int lstat_path(Tcl_Obj *path, Tcl_StatBuf *buf) {
    Local local(path);
    if (!local || !local.fs() || !local.fs()->lstatProc) return -1;
    return local.fs()->lstatProc(local.get(), buf);
}

int access_path(Tcl_Obj *path, int mode) {
    Local local(path);
    if (!local || !local.fs() || !local.fs()->accessProc) return -1;
    return local.fs()->accessProc(local.get(), mode);
}

Tcl_Channel open_path(Tcl_Interp *interp, Tcl_Obj *path, int mode, int permissions) {
    Local local(path);
    if (!local) {
        if (interp)
            Tcl_SetObjResult(interp, Tcl_ObjPrintf("couldn't open \"%s\": drive %.2s is not mapped",
                                                   Tcl_GetString(path), Tcl_GetString(path)));
        return nullptr;
    }
    if (!local.fs() || !local.fs()->openFileChannelProc) return nullptr;
    Tcl_Channel channel = local.fs()->openFileChannelProc(interp, local.get(), mode, permissions);
    // The failure names the path as the post wrote it, not the folder it maps to.
    if (channel == nullptr && interp != nullptr && Tcl_GetErrno() != 0)
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("couldn't open \"%s\": %s", Tcl_GetString(path),
                                               Tcl_ErrnoMsg(Tcl_GetErrno())));
    return channel;
}

// Matches in the mapped folder, then gives each match back under the name
// the script used for the folder, so that the names it gets from glob work
// in its other file commands and read as it wrote them.
int match_in_directory(Tcl_Interp *interp, Tcl_Obj *result, Tcl_Obj *path, const char *pattern,
                       Tcl_GlobTypeData *types) {
    Local local(path);
    if (!local) return TCL_OK;  // nothing matches on a drive that is not there
    if (!local.fs() || !local.fs()->matchInDirectoryProc) return TCL_OK;
    // Windows matches names without regard to case: the folder's entries
    // of the wanted types, filtered here by the pattern read that way.
    const char *every = pattern != nullptr && pattern[0] == '.' ? ".*" : "*";
    Tcl_Obj *listed = Tcl_NewListObj(0, nullptr);
    Tcl_IncrRefCount(listed);
    int code = local.fs()->matchInDirectoryProc(interp, listed, local.get(), pattern ? every : nullptr, types);
    Tcl_Obj *found = Tcl_NewListObj(0, nullptr);
    Tcl_IncrRefCount(found);
    if (code == TCL_OK) {
        int count = 0;
        Tcl_Obj **items = nullptr;
        Tcl_ListObjGetElements(nullptr, listed, &count, &items);
        for (int i = 0; i < count; ++i) {
            std::string match = Tcl_GetString(items[i]);
            std::string tail = emuhost::base_name(match);
            if (pattern == nullptr || Tcl_StringCaseMatch(tail.c_str(), pattern, TCL_MATCH_NOCASE))
                Tcl_ListObjAppendElement(nullptr, found, items[i]);
        }
    }
    Tcl_DecrRefCount(listed);
    if (code == TCL_OK) {
        std::string from = Tcl_GetString(local.get());
        std::string as = Tcl_GetString(path);
        char slash = as.find('\\') != std::string::npos && as.find('/') == std::string::npos ? '\\' : '/';
        int count = 0;
        Tcl_Obj **items = nullptr;
        Tcl_ListObjGetElements(nullptr, found, &count, &items);
        for (int i = 0; i < count; ++i) {
            std::string match = Tcl_GetString(items[i]);
            std::string named = as;
            if (match.compare(0, from.size(), from) == 0) {
                std::string tail = match.substr(from.size());
                while (!tail.empty() && tail[0] == '/') tail.erase(0, 1);
                if (!tail.empty()) {
                    if (!named.empty() && named.back() != '/' && named.back() != '\\') named += slash;
                    named += tail;
                }
            } else {
                named = match;
            }
            Tcl_ListObjAppendElement(nullptr, result, Tcl_NewStringObj(named.data(), static_cast<int>(named.size())));
        }
    }
    Tcl_DecrRefCount(found);
    return code;
}

int utime_path(Tcl_Obj *path, struct utimbuf *times) {
    Local local(path);
    if (!local || !local.fs() || !local.fs()->utimeProc) return -1;
    return local.fs()->utimeProc(local.get(), times);
}

const char *const *attribute_names(Tcl_Obj *path, Tcl_Obj **objects) {
    Local local(path);
    if (!local || !local.fs() || !local.fs()->fileAttrStringsProc) return nullptr;
    return local.fs()->fileAttrStringsProc(local.get(), objects);
}

int get_attribute(Tcl_Interp *interp, int index, Tcl_Obj *path, Tcl_Obj **value) {
    Local local(path);
    if (!local || !local.fs() || !local.fs()->fileAttrsGetProc) return TCL_ERROR;
    return local.fs()->fileAttrsGetProc(interp, index, local.get(), value);
}

int set_attribute(Tcl_Interp *interp, int index, Tcl_Obj *path, Tcl_Obj *value) {
    Local local(path);
    if (!local || !local.fs() || !local.fs()->fileAttrsSetProc) return TCL_ERROR;
    return local.fs()->fileAttrsSetProc(interp, index, local.get(), value);
}

int create_directory(Tcl_Obj *path) {
    Local local(path);
    if (!local || !local.fs() || !local.fs()->createDirectoryProc) return TCL_ERROR;
    return local.fs()->createDirectoryProc(local.get());
}

int remove_directory(Tcl_Obj *path, int recursive, Tcl_Obj **error) {
    Local local(path);
    if (!local || !local.fs() || !local.fs()->removeDirectoryProc) return TCL_ERROR;
    return local.fs()->removeDirectoryProc(local.get(), recursive, error);
}

int delete_file(Tcl_Obj *path) {
    Local local(path);
    if (!local || !local.fs() || !local.fs()->deleteFileProc) return TCL_ERROR;
    return local.fs()->deleteFileProc(local.get());
}

int copy_file(Tcl_Obj *from, Tcl_Obj *to) {
    Local local(from);
    std::optional<Local> held;
    Tcl_Obj *target = either(to, held);
    if (!local || !target || !local.fs() || !local.fs()->copyFileProc) return TCL_ERROR;
    return local.fs()->copyFileProc(local.get(), target);
}

int rename_file(Tcl_Obj *from, Tcl_Obj *to) {
    Local local(from);
    std::optional<Local> held;
    Tcl_Obj *target = either(to, held);
    if (!local || !target || !local.fs() || !local.fs()->renameFileProc) return TCL_ERROR;
    return local.fs()->renameFileProc(local.get(), target);
}

int copy_directory(Tcl_Obj *from, Tcl_Obj *to, Tcl_Obj **error) {
    Local local(from);
    std::optional<Local> held;
    Tcl_Obj *target = either(to, held);
    if (!local || !target || !local.fs() || !local.fs()->copyDirectoryProc) return TCL_ERROR;
    return local.fs()->copyDirectoryProc(local.get(), target, error);
}

Tcl_Filesystem drive_filesystem = {
    "momsim_drive",
    sizeof(Tcl_Filesystem),
    TCL_FILESYSTEM_VERSION_1,
    in_filesystem,
    nullptr,  // dupInternalRepProc
    nullptr,  // freeInternalRepProc
    nullptr,  // internalToNormalizedProc
    nullptr,  // createInternalRepProc
    nullptr,  // normalizePathProc
    nullptr,  // filesystemPathTypeProc
    separator,
    stat_path,
    access_path,
    open_path,
    match_in_directory,
    utime_path,
    nullptr,  // linkProc
    volumes,
    attribute_names,
    get_attribute,
    set_attribute,
    create_directory,
    remove_directory,
    delete_file,
    copy_file,
    rename_file,
    copy_directory,
    lstat_path,
    nullptr,  // loadFileProc
    nullptr,  // getCwdProc
    nullptr,  // chdirProc
};

// cd DIR, wrapped: a folder on a drive becomes the folder it maps to, so
// that the process's current folder really changes and the post's relative
// paths (and the programs it starts) work from there. Tcl's own "cd" does
// the rest; "pwd" answers the folder on this machine.
int drive_cd(ClientData, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    std::vector<Tcl_Obj *> words(objv, objv + objc);
    words[0] = Tcl_NewStringObj("::momsim::native_cd", -1);
    if (objc == 2 && names_a_drive(Tcl_GetString(objv[1]))) {
        std::optional<std::string> local = emuhost::windows_machine().local_path(Tcl_GetString(objv[1]));
        if (!local) {
            Tcl_SetObjResult(interp, Tcl_ObjPrintf("couldn't change working directory to \"%s\": drive %.2s is not mapped",
                                                   Tcl_GetString(objv[1]), Tcl_GetString(objv[1])));
            return TCL_ERROR;
        }
        words[1] = Tcl_NewStringObj(local->data(), static_cast<int>(local->size()));
    }
    for (Tcl_Obj *word : words) Tcl_IncrRefCount(word);
    int code = Tcl_EvalObjv(interp, static_cast<int>(words.size()), words.data(), 0);
    for (Tcl_Obj *word : words) Tcl_DecrRefCount(word);
    return code;
}

}  // namespace

void map_drives(const std::vector<std::pair<char, std::string>> &drives) {
    for (const auto &[letter, folder] : drives) {
        std::string option = std::string("--drive ") + letter + ":=" + folder;
        struct stat info {};
        if (::stat(folder.c_str(), &info) != 0) throw UsageError(option + ": " + std::strerror(errno));
        if (!S_ISDIR(info.st_mode)) throw UsageError(option + ": it is no folder");
        std::optional<std::string> resolved = emuhost::real_path(folder);
        if (!resolved) throw UsageError(option + ": no such folder");
        emuhost::windows_machine().map_drive(letter, *resolved);
    }
}

std::string local_path_of(const std::string &source, const std::string &path) {
    const emuhost::WindowsMachine &machine = emuhost::windows_machine();
    if (!machine.has_drives()) return path;
    if (path.compare(0, 2, "\\\\") == 0)
        throw UsageError(source + " " + path + ": a network path names no file here (map a drive with --drive X:=DIR)");
    if (!emuhost::WindowsMachine::has_drive_letter(path)) return path;
    char letter = path[0] >= 'a' && path[0] <= 'z' ? static_cast<char>(path[0] - 'a' + 'A') : path[0];
    std::string drive = std::string(1, letter) + ":";
    if (!machine.drive_folder(path[0]))
        throw UsageError(source + " " + path + ": drive " + drive + " is not mapped (map it with --drive " + drive +
                         "=DIR)");
    return machine.local_path(path).value_or(path);
}

void map_option_paths(Options &options) {
    std::pair<const char *, std::optional<std::string> *> paths[] = {
        {"--answers", &options.answers},   {"--part", &options.part},         {"--save", &options.save},
        {"--transcript", &options.transcript}, {"--syslog", &options.syslog}, {"--grip-dir", &options.grip_dir},
        {"--exec-dir", &options.exec_dir}, {"--def", &options.definition}};
    for (auto &[option, path] : paths)
        if (*path) *path = local_path_of(option, **path);
}

DriveFilesystem::DriveFilesystem(Tcl_Interp *interp) {
    if (!emuhost::windows_machine().has_drives()) return;
    registered_ = Tcl_FSRegister(nullptr, &drive_filesystem) == TCL_OK;
    if (Tcl_Eval(interp, "namespace eval ::momsim {}; rename ::cd ::momsim::native_cd") == TCL_OK)
        Tcl_CreateObjCommand(interp, "::cd", drive_cd, nullptr, nullptr);
    Tcl_ResetResult(interp);
}

DriveFilesystem::~DriveFilesystem() {
    if (registered_) Tcl_FSUnregister(&drive_filesystem);
}

}  // namespace momsim
