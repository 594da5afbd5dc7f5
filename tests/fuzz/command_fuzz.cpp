// libFuzzer target: one input is one call of one of the eighteen commands,
// with everything around it that the command reads: its words, the
// post-processor variables and arrays, queued dialog answers, a file for the
// file commands to find, a GRIP program's answer, and one host call made to
// fail or, inside a guard, to throw.
//
// Harmless by construction: the platform stand-ins are built confined (they
// refuse every path outside the scratch folder and only record process
// starts), the path words of the file, INI and GRIP commands are mapped into
// that folder before the call, and the C library's remove() is wrapped to
// refuse anything outside it too.
//
// Input format (see make_corpus.py, which writes the seeds):
//   byte 0   command, by its place in the table (modulo 18)
//   byte 1   fault: 0 none; else call (b - 1) / 2 of kHostCalls fails,
//            or throws when (b - 1) is odd and the call sits in a guard
//   byte 2   fault code, an index into kCodes
//   byte 3   flags: 1 load the part, 2 the part is managed, 4 the host
//            fills a description in place
//   then chunks: tag byte, length (2 bytes, little-endian, at most 8192),
//   that many bytes:
//     'w' one argument word (at most 64 are used)
//     'v' a variable: first byte picks the name, the rest is the value
//     'a' an array element: first byte picks argument 2's or 3's array,
//         second byte the index, the rest is the value
//     'd' a dialog answer line; 'D' a button answer by response value
//         (int32), 'F' 'S' file box and string answers (response byte,
//         then the text), 'R' real answers (response byte, then doubles)
//     'c' the content of the file the first argument names
//     'g' the GRIP program's response (a double)
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "emuhost/session.h"
#include "openapi.h"
#include "winapi.h"

extern "C" void ufusr(char *param, int *retcode, int len);

// The C library's remove() as the plug-in calls it, refused outside the
// scratch folder (linked with --wrap=remove).
extern "C" int __real_remove(const char *path);
extern "C" int __wrap_remove(const char *path) {
    if (!tarvex_path_confined(path)) {
        errno = EACCES;
        return -1;
    }
    return __real_remove(path);
}

namespace {

const char *const kCommands[] = {
    "MOM_box_message",      "MOM_ui_message",     "MOM_abort_ex",       "MOM_info_message",
    "MOM_ui_filebox",       "MOM_uc1600",         "MOM_uc1609",         "MOM_assign_attribute",
    "MOM_set_attribute_program", "MOM_ask_part_attr", "MOM_call_grip",  "MOM_get_ini_string",
    "MOM_remove_file_ex",   "MOM_deletefile",     "MOM_createfile",     "MOM_run_exec",
    "MOM_shell_exec",       "MOM_about_stub",
};
constexpr int kCommandCount = sizeof kCommands / sizeof kCommands[0];

// Commands whose first argument is a path the command acts on.
bool takes_path(const std::string &command) {
    return command == "MOM_call_grip" || command == "MOM_get_ini_string" || command == "MOM_remove_file_ex" ||
           command == "MOM_deletefile" || command == "MOM_createfile";
}

const char *const kHostCalls[] = {
    "ShellAboutA", "UF_ASSEM_ask_work_part", "UF_ATTR_assign", "UF_CFI_ask_file_exist",
    "UF_MOM_ask_double_array", "UF_MOM_ask_string", "UF_MOM_ask_string_array", "UF_MOM_set_int",
    "UF_MOM_set_string", "UF_NCGROUP_ask_member_list", "UF_OBJ_ask_name", "UF_OBJ_cycle_by_name",
    "UF_OPER_ask_name", "UF_OPER_ask_program_group", "UF_PART_ask_description", "UF_PART_ask_display_part",
    "UF_PART_ask_part_name", "UF_SETUP_ask_program_root", "UF_SETUP_ask_setup", "UF_UGMGR_ask_part_name_desc",
    "UF_UGMGR_ask_part_tag", "UF_UGMGR_decode_part_filename", "UF_UI_ONT_ask_selected_nodes",
    "UF_UI_create_filebox", "UF_UI_display_nonmodal_msg", "UF_UI_message_dialog", "UF_UI_set_status",
    "UF_call_grip", "UF_get_fail_message", "UF_is_ugmanager_active", "UF_print_syslog", "uc1600", "uc1601",
    "uc1609", "uc4583",
};
constexpr int kHostCallCount = sizeof kHostCalls / sizeof kHostCalls[0];

// The calls the 64-bit plug-in makes inside a catch-all guard, with the
// command that guards them: only there may a host call throw.
bool guarded(const std::string &command, const std::string &call) {
    return (command == "MOM_about_stub" && call == "ShellAboutA") ||
           (command == "MOM_set_attribute_program" && call == "UF_MOM_ask_string");
}

const int kCodes[] = {emuhost::kErrNotFound, emuhost::kErrInvalidArgument, emuhost::kErrInvalidTag, 1, -1, 424242};

const char *const kVariables[] = {
    "operation_name", "group_name", "output_file_basename", "output_file_suffix",
    "machine_time", "machine_name", "ui_message_return", "ui_filebox_filename",
};

// The part the CAM and part commands work on.
const char kPart[] = R"({
  "parts": [{"tag": 1, "file_name": "C:\\parts\\bracket.prt", "description": "Bracket"}],
  "display_part": 1,
  "work_part": 1,
  "objects": [
    {"tag": 10, "kind": "setup", "name": "SETUP", "program_root": 20},
    {"tag": 20, "kind": "program_group", "name": "NC_PROGRAM", "members": [21, 22]},
    {"tag": 21, "kind": "program_group", "name": "P1", "members": [31]},
    {"tag": 22, "kind": "program_group", "name": "P2"},
    {"tag": 31, "kind": "operation", "name": "OP1"},
    {"tag": 50, "kind": "other", "name": "FIXTURE"}
  ],
  "current_operation": 31
})";

std::string scratch;

void empty_scratch() {
    DIR *dir = opendir(scratch.c_str());
    if (dir == nullptr) return;
    std::vector<std::string> names;
    while (dirent *entry = readdir(dir))
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.push_back(scratch + "/" + entry->d_name);
    closedir(dir);
    for (const std::string &name : names) __real_remove(name.c_str());
}

// A path word mapped into the scratch folder: slashes become underscores,
// so it names a file directly inside the folder whatever its bytes.
std::string confine(const std::string &word) {
    std::string name = word.substr(0, word.find('\0'));
    for (char &c : name)
        if (c == '/') c = '_';
    return scratch + "/" + name;
}

void fail(const char *what) {
    std::fprintf(stderr, "command_fuzz: %s\n", what);
    std::abort();
}

struct Reader {
    const uint8_t *data;
    size_t size;
    size_t at = 0;
    bool chunk(uint8_t &tag, std::string &bytes) {
        if (size - at < 3) return false;
        tag = data[at];
        size_t length = data[at + 1] | (size_t(data[at + 2]) << 8);
        at += 3;
        if (length > 8192) length = 8192;
        if (length > size - at) length = size - at;
        bytes.assign(reinterpret_cast<const char *>(data + at), length);
        at += length;
        return true;
    }
};

template <class T> T take(const std::string &bytes, size_t at) {
    T value{};
    if (bytes.size() >= at + sizeof value) std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

// Refuses to fuzz unless the confinement holds: nothing outside the scratch
// folder opens or goes, and a program inside it is recorded, not started.
void check_confinement() {
    HANDLE outside = CreateFileA("/etc/passwd", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (outside != INVALID_HANDLE_VALUE) fail("a file outside the scratch folder opened");
    const std::string up = scratch + "/../tarvex-fuzz-outside";
    if (CreateFileA(up.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr) !=
        INVALID_HANDLE_VALUE)
        fail("a path leading out of the scratch folder was created");
    if (__wrap_remove("/tmp") == 0 || errno != EACCES) fail("remove() outside the scratch folder was not refused");
    for (const std::string &self : {scratch + "/", scratch + "/.", scratch + "//"})
        if (__wrap_remove(self.c_str()) == 0) fail("the scratch folder itself could be removed");

    const std::string program = scratch + "/program";
    const std::string marker = scratch + "/started";
    {
        std::ofstream script(program);
        script << "#!/bin/sh\ntouch '" << marker << "'\n";
    }
    chmod(program.c_str(), 0755);
    std::string line = "\"" + program + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        fail("a program inside the scratch folder was not taken");
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    usleep(200000);
    if (tarvex_recorded_starts() != 1 || access(marker.c_str(), F_OK) == 0)
        fail("a process start was made instead of recorded");
    tarvex_clear_recorded_starts();
    empty_scratch();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // The commands print their reports; the fuzzer's own output is stderr.
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, 1);
    char folder[] = "/tmp/tarvex-fuzz-XXXXXX";
    if (mkdtemp(folder) == nullptr) fail("cannot make the scratch folder");
    char resolved[4096];
    if (realpath(folder, resolved) == nullptr) fail("cannot resolve the scratch folder");
    scratch = resolved;
    tarvex_confine_to(scratch.c_str());
    std::atexit([] {
        empty_scratch();
        rmdir(scratch.c_str());
    });
    check_confinement();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 4) return 0;
    emuhost::Session &host = emuhost::session();
    host.reset(emuhost::TranslatorKind::Table);
    const std::string command = kCommands[data[0] % kCommandCount];
    const int fault = data[1];
    const int code = kCodes[data[2] % (sizeof kCodes / sizeof kCodes[0])];
    const int flags = data[3];

    int retcode = -1;
    ufusr(static_cast<char *>(host.ufusr_param()), &retcode, 0);
    if (host.translator().bound().size() != kCommandCount) fail("not every command was bound");

    if (flags & 1) {
        host.part().load_text(kPart, "fuzz part");
        host.part().set_managed(flags & 2);
        host.part().set_description_in_place(flags & 4);
    }

    std::vector<std::string> words{command};
    std::string file_content;
    bool have_file = false;
    double grip_response = 0.0;
    struct Element {
        int array;
        int index;
        std::string value;
    };
    std::vector<Element> elements;

    Reader in{data + 4, size - 4};
    uint8_t tag;
    std::string bytes;
    auto take_chunk = [&](uint8_t kind, const std::string &chunk) {
        switch (kind) {
        case 'w':
            if (words.size() <= 64) words.push_back(chunk);
            break;
        case 'v':
            if (!chunk.empty())
                host.set_variable(kVariables[uint8_t(chunk[0]) % (sizeof kVariables / sizeof kVariables[0])],
                                  chunk.substr(1));
            break;
        case 'a':
            if (chunk.size() >= 2) elements.push_back({chunk[0] & 1, uint8_t(chunk[1]), chunk.substr(2)});
            break;
        case 'd':
            host.dialogs().answer(chunk);
            break;
        case 'D':
            host.dialogs().answer_button(take<int32_t>(chunk, 0));
            break;
        case 'F':
        case 'S': {
            int response = chunk.empty() ? 0 : int8_t(chunk[0]);
            std::string text = chunk.empty() ? std::string() : chunk.substr(1);
            if (kind == 'F')
                host.dialogs().answer_filebox(response, text);
            else
                host.dialogs().answer_string(response, text);
            break;
        }
        case 'R': {
            int response = chunk.empty() ? 0 : int8_t(chunk[0]);
            std::vector<double> values;
            for (size_t at = 1; at + sizeof(double) <= chunk.size() && values.size() < 20; at += sizeof(double))
                values.push_back(take<double>(chunk, at));
            host.dialogs().answer_reals(response, values);
            break;
        }
        case 'c':
            file_content = chunk;
            have_file = true;
            break;
        case 'g':
            grip_response = take<double>(chunk, 0);
            break;
        default:
            break;
        }
    };
    while (in.chunk(tag, bytes)) {
        // The control API refuses what no user could give (a line break in
        // an answer line, say): such a chunk is skipped.
        try {
            take_chunk(tag, bytes);
        } catch (const std::invalid_argument &) {
        }
    }

    // The arrays MOM_uc1609 reads are those its second and third words name.
    for (const Element &element : elements) {
        size_t word = element.array == 0 ? 2 : 3;
        if (words.size() > word && !words[word].empty() && words[word].find('\0') == std::string::npos)
            host.set_array_element(words[word], element.index, element.value);
    }

    if (takes_path(command) && words.size() > 1) {
        words[1] = confine(words[1]);
        if (have_file) {
            std::ofstream file(words[1], std::ios::binary);
            file << file_content;
        }
    }
    host.grip().set_resolver([grip_response](const std::string &) -> emuhost::GripProgram {
        return [grip_response](emuhost::GripRun &run) {
            if (!run.numbers.empty()) run.response() = grip_response;
            return 0;
        };
    });

    if (fault != 0) {
        const std::string call = kHostCalls[((fault - 1) / 2) % kHostCallCount];
        if ((fault - 1) % 2 == 1 && guarded(command, call))
            host.throw_in_call(call);
        else
            host.fail_call(call, code);
    }

    emuhost::CallResult result = host.translator().call(words);
    host.clear_faults();

    // The result text the interpreter reads after the call: terminated and
    // readable (ASan flags a read past its end).
    const char *text = host.translator().record()->result;
    if (text != nullptr && result.result != std::string(text, std::strlen(text)))
        fail("the result text changed after the call");
    if (host.outstanding_allocations() != 0) fail("host memory handed out and never released");
    if (!host.release_errors().empty()) fail(host.release_errors().front().c_str());

    empty_scratch();
    if (access(scratch.c_str(), F_OK) != 0) fail("the scratch folder is gone");
    tarvex_clear_recorded_starts();
    return 0;
}
