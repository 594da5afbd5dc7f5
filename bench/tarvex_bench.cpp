// What each tarvex command costs a post, measured through the real Tcl
// interpreter with the plug-in loaded as the host loads it. Every command is
// set against the floor (the cheapest command Tcl can run) and, where the
// command asks the host or the system for work, against that work done
// directly. Prints Google Benchmark's lines and then one table of medians.
#include <benchmark/benchmark.h>
#include <tcl.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "emuhost/session.h"
#include "winapi.h"

namespace {

namespace fs = std::filesystem;
using emuhost::ObjectKind;
using emuhost::session;

// ---- The interpreter and the words of one call ------------------------------

Tcl_Interp *tcl() { return reinterpret_cast<Tcl_Interp *>(session().translator().record()); }

// Words of a command built once, so the loop measures the call alone.
class Words {
public:
    Words(std::initializer_list<std::string> words) {
        for (const auto &word : words) add(word);
    }
    explicit Words(const std::vector<std::string> &words) {
        for (const auto &word : words) add(word);
    }
    ~Words() {
        for (Tcl_Obj *obj : objv_) Tcl_DecrRefCount(obj);
    }
    Words(const Words &) = delete;
    Words &operator=(const Words &) = delete;

    // Runs the command; a Tcl error other than the expected one stops the
    // whole run, since its figures would mean nothing.
    void run(int expected = TCL_OK) const {
        int code = Tcl_EvalObjv(tcl(), static_cast<int>(objv_.size()), objv_.data(), TCL_EVAL_GLOBAL);
        if (code != expected) {
            std::fprintf(stderr, "bench: %s answered %d: %s\n", Tcl_GetString(objv_[0]), code,
                         Tcl_GetStringResult(tcl()));
            std::exit(1);
        }
    }

private:
    void add(const std::string &word) {
        Tcl_Obj *obj = Tcl_NewStringObj(word.data(), static_cast<int>(word.size()));
        Tcl_IncrRefCount(obj);
        objv_.push_back(obj);
    }
    std::vector<Tcl_Obj *> objv_;
};

// The emulated host keeps a trace of every call, log line and dialog; a long
// run empties them now and then so memory stays flat.
void tidy(benchmark::IterationCount i) {
    if ((i & 255) != 0) return;
    session().clear_calls();
    session().clear_logs();
    session().dialogs().clear_records();
}

// ---- Fixture data -------------------------------------------------------------

struct Fixture {
    std::string folder;           // temporary, removed at the end
    std::map<int, std::string> ini;  // key count -> file
    std::unique_ptr<emuhost::Plugin> plugin;
};
Fixture &fixture() {
    static Fixture f;
    return f;
}

std::string ini_key(int i) { return "key" + std::to_string(i); }

std::string write_ini(int keys) {
    std::string path = fixture().folder + "/keys" + std::to_string(keys) + ".ini";
    std::ofstream out(path, std::ios::binary);
    out << "[Post]\n";
    for (int i = 1; i <= keys; ++i) out << ini_key(i) << "=value of " << ini_key(i) << "\n";
    return path;
}

// A part whose program root holds `members` program groups P1, P2, ...,
// each group holding one operation OP1, OP2, ...; the last operation is the
// one being post-processed, so each search by name runs to the end.
void build_part(int members) {
    auto &part = session().part();
    part.reset();
    part.add_object(1, ObjectKind::Setup, "SETUP");
    part.add_object(2, ObjectKind::ProgramGroup, "NC_PROGRAM");
    part.set_setup(1, 2);
    tag_t next = 3;
    for (int i = 1; i <= members; ++i) {
        tag_t group = next++, oper = next++;
        part.add_object(group, ObjectKind::ProgramGroup, "P" + std::to_string(i));
        part.add_object(oper, ObjectKind::Operation, "OP" + std::to_string(i));
        part.add_member(2, group);
        part.add_member(group, oper);
        if (i == members) part.set_current_operation(oper);
    }
    part.add_part(next, "/parts/bracket.prt", "Bracket, milled");
    part.set_display_part(next);
}

// ---- The floor -------------------------------------------------------------------

int empty_command(MomId, InterpRecord *, int, const char *[]) { return 0; }

void BM_floor_c_command(benchmark::State &state) {
    Words words{"bench_empty"};
    for (auto _ : state) words.run();
}

void BM_floor_tcl_proc(benchmark::State &state) {
    Words words{"bench_constant"};
    for (auto _ : state) words.run();
}

// ---- Dialog commands, answered from the queue ---------------------------------------

void BM_box_message(benchmark::State &state) {
    Words words{"MOM_box_message", "Post finished", "Output: bracket.ptp"};
    for (auto _ : state) {
        words.run();
        tidy(state.iterations());
    }
}

void BM_info_message(benchmark::State &state) {
    Words words{"MOM_info_message", "RIGHT", "Operation: OP1", "Tool: T1"};
    for (auto _ : state) {
        words.run();
        tidy(state.iterations());
    }
}

void BM_about_stub(benchmark::State &state) {
    Words words{"MOM_about_stub"};
    for (auto _ : state) {
        words.run();
        tidy(state.iterations());
    }
}

void BM_ui_message(benchmark::State &state) {
    Words words{"MOM_ui_message", "QUESTION", "YESNO", "Overwrite the output?"};
    for (auto _ : state) {
        session().dialogs().answer_button("No");
        words.run();
        tidy(state.iterations());
    }
}

void BM_abort_ex(benchmark::State &state) {
    Words words{"MOM_abort_ex", "No tool in operation OP1", "Post stopped."};
    for (auto _ : state) {
        session().dialogs().answer_button(1);
        words.run(TCL_ERROR);
        tidy(state.iterations());
    }
}

void BM_ui_filebox(benchmark::State &state) {
    Words words{"MOM_ui_filebox", "bracket.ptp", "*.ptp"};
    for (auto _ : state) {
        session().dialogs().answer_filebox(emuhost::kFileboxOk, std::string("/out/bracket.ptp"));
        words.run();
        tidy(state.iterations());
    }
}

void BM_uc1600(benchmark::State &state) {
    Words words{"MOM_uc1600", "Machine name", "DMU50"};
    for (auto _ : state) {
        session().dialogs().answer_string(emuhost::kStringEntered, std::string("HMC500"));
        words.run();
        tidy(state.iterations());
    }
}

// The value input prints its values on standard output, as the host's
// console shows them; while it runs they go to /dev/null, not the report.
class Quiet {
public:
    Quiet() {
        std::fflush(stdout);
        saved_ = dup(STDOUT_FILENO);
        int null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ < 0 || null_fd < 0 || dup2(null_fd, STDOUT_FILENO) < 0) {
            std::fprintf(stderr, "bench: cannot set standard output aside\n");
            std::exit(1);
        }
        close(null_fd);
    }
    ~Quiet() {
        std::fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
    }
    Quiet(const Quiet &) = delete;
    Quiet &operator=(const Quiet &) = delete;

private:
    int saved_ = -1;
};

void BM_uc1609(benchmark::State &state) {
    Quiet quiet;
    for (int i = 0; i <= 3; ++i) {
        session().set_array_element("bench_labels", i, "Value " + std::to_string(i));
        session().set_array_element("bench_values", i, std::to_string(1.5 * i));
    }
    Words words{"MOM_uc1609", "3", "bench_labels", "bench_values"};
    for (auto _ : state) {
        session().dialogs().answer_reals(emuhost::kRealsOk, {2.5, 3.5, 4.5});
        words.run();
        tidy(state.iterations());
    }
}

// ---- CAM data commands ------------------------------------------------------------

// MOM_assign_attribute in a part of N operations: name of the current
// operation, search by that name, one assignment.
void BM_assign_attribute(benchmark::State &state) {
    build_part(static_cast<int>(state.range(0)));
    Words words{"MOM_assign_attribute", "POSTED_BY", "bench"};
    for (auto _ : state) {
        words.run();
        tidy(state.iterations());
    }
    state.SetComplexityN(state.range(0));
}

// The same host calls made directly: what the command asks of the host.
void BM_assign_attribute_host(benchmark::State &state) {
    build_part(static_cast<int>(state.range(0)));
    MomId mom = session().mom_id();
    char value_text[] = "bench";
    for (auto _ : state) {
        char name[OPER_NAME_SIZE] = "";
        UF_OPER_ask_name(static_cast<tag_t>(reinterpret_cast<std::uintptr_t>(mom)), name);
        tag_t oper = NULL_TAG;
        UF_OBJ_cycle_by_name(name, &oper);
        AttributeValue value{};
        value.type = ATTR_TYPE_STRING;
        value.value.string = value_text;
        benchmark::DoNotOptimize(UF_ATTR_assign(oper, "POSTED_BY", value));
        tidy(state.iterations());
    }
    state.SetComplexityN(state.range(0));
}

// MOM_set_attribute_program in argument mode against a program root of N
// members; the program stamped is the last member, so the search runs the
// whole member list.
void BM_set_attribute_program(benchmark::State &state) {
    int members = static_cast<int>(state.range(0));
    build_part(members);
    Words words{"MOM_set_attribute_program", "P" + std::to_string(members), "bracket.ptp", "12.50", "DMU50"};
    for (auto _ : state) {
        words.run();
        session().clear_calls();
        tidy(state.iterations());
    }
    state.SetComplexityN(state.range(0));
}

void BM_set_attribute_program_host(benchmark::State &state) {
    int members = static_cast<int>(state.range(0));
    build_part(members);
    const std::string wanted = "P" + std::to_string(members);
    char file[] = "bracket.ptp", time[] = "12.50", machine[] = "DMU50";
    char *texts[] = {file, nullptr, time, machine};
    const char *titles[] = {"OPU_FILE_UP_NAME", "OPU_FILE_UP_CREATE", "OPU_FILE_UP_TIME", "OPU_FILE_UP_MACHINE"};
    for (auto _ : state) {
        tag_t setup = NULL_TAG, root = NULL_TAG, target = NULL_TAG, *list = nullptr;
        int count = 0;
        UF_SETUP_ask_setup(&setup);
        UF_SETUP_ask_program_root(setup, &root);
        UF_NCGROUP_ask_member_list(root, &count, &list);
        for (int i = 0; i < count; ++i) {
            char name[OBJ_NAME_SIZE] = "";
            UF_OBJ_ask_name(list[i], name);
            if (wanted == name) {
                target = list[i];
                break;
            }
        }
        if (count != 0) UF_free(list);
        for (int row = 0; row < 4; ++row) {
            AttributeValue value{};
            if (row == 1) {
                value.type = ATTR_TYPE_TIME;
                uc4583("", "", value.value.time);
            } else {
                value.type = ATTR_TYPE_STRING;
                value.value.string = texts[row];
            }
            UF_ATTR_assign(target, titles[row], value);
        }
        session().clear_calls();
        tidy(state.iterations());
    }
    state.SetComplexityN(state.range(0));
}

void BM_ask_part_attr(benchmark::State &state) {
    build_part(10);
    Words words{"MOM_ask_part_attr"};
    for (auto _ : state) {
        words.run();
        tidy(state.iterations());
    }
}

// ---- GRIP ----------------------------------------------------------------------------

std::string grip_program() { return fixture().folder + "/answer.grx"; }

void BM_call_grip(benchmark::State &state) {
    Words words{"MOM_call_grip", grip_program(), "HMC500", "T1"};
    for (auto _ : state) {
        words.run();
        tidy(state.iterations());
        session().grip().reset();
        session().grip().add_program(grip_program(), [](emuhost::GripRun &run) {
            run.response() = 42.0;
            return 0;
        });
    }
}

void BM_call_grip_host(benchmark::State &state) {
    std::string path = grip_program();
    char text1[] = "HMC500", text2[] = "T1";
    for (auto _ : state) {
        int status = -1;
        UF_CFI_ask_file_exist(path.c_str(), &status);
        double response = 0.0;
        GripArg list[3] = {{GRIP_ARG_TEXT, 0, text1}, {GRIP_ARG_TEXT, 0, text2}, {GRIP_ARG_RESPONSE, 0, &response}};
        benchmark::DoNotOptimize(UF_call_grip(path.c_str(), 3, list));
        char line[64];
        std::snprintf(line, sizeof line, " UF_call_grip=%d user_response=%lf\n", 0, response);
        UF_print_syslog(line, 0);
        tidy(state.iterations());
        session().grip().reset();
        session().grip().add_program(path, [](emuhost::GripRun &run) {
            run.response() = 42.0;
            return 0;
        });
    }
}

// ---- Files -----------------------------------------------------------------------------

std::string scratch_file() { return fixture().folder + "/scratch.tmp"; }

void make_file(const std::string &path) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) close(fd);
}

void BM_createfile(benchmark::State &state) {
    Words words{"MOM_createfile", scratch_file()};
    for (auto _ : state) {
        words.run();
        tidy(state.iterations());
    }
}

void BM_createfile_host(benchmark::State &state) {
    std::string path = scratch_file();
    for (auto _ : state) {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        CloseHandle(file);
    }
}

// Each round makes the file again, the same way in both measurements, so
// that the difference is the command's own cost.
void BM_deletefile(benchmark::State &state) {
    Words words{"MOM_deletefile", scratch_file()};
    for (auto _ : state) {
        make_file(scratch_file());
        words.run();
        tidy(state.iterations());
    }
}

void BM_deletefile_host(benchmark::State &state) {
    std::string path = scratch_file();
    for (auto _ : state) {
        make_file(path);
        // The command makes sure the file can be read before it deletes it.
        HANDLE probe = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        CloseHandle(probe);
        benchmark::DoNotOptimize(DeleteFileA(path.c_str()));
    }
}

void BM_remove_file_ex(benchmark::State &state) {
    Words words{"MOM_remove_file_ex", scratch_file()};
    for (auto _ : state) {
        make_file(scratch_file());
        words.run();
        tidy(state.iterations());
    }
}

void BM_remove_file_ex_host(benchmark::State &state) {
    std::string path = scratch_file();
    for (auto _ : state) {
        make_file(path);
        benchmark::DoNotOptimize(std::remove(path.c_str()));
    }
}

// ---- Processes -----------------------------------------------------------------------

const char *kTrue = "/bin/true";

void BM_run_exec(benchmark::State &state) {
    Words words{"MOM_run_exec", kTrue, "bracket.ptp"};
    for (auto _ : state) words.run();
}

void BM_run_exec_host(benchmark::State &state) {
    for (auto _ : state) {
        char line[] = "/bin/true bracket.ptp";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        benchmark::DoNotOptimize(
            CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    }
}

void BM_shell_exec(benchmark::State &state) {
    Words words{"MOM_shell_exec", kTrue, "bracket.ptp"};
    for (auto _ : state) words.run();
}

void BM_shell_exec_host(benchmark::State &state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(ShellExecuteA(nullptr, nullptr, kTrue, "bracket.ptp", nullptr, SW_SHOW));
}

// ---- INI lookup against tcllib's inifile -------------------------------------------------

void BM_ini_tarvex(benchmark::State &state) {
    int keys = static_cast<int>(state.range(0));
    Words words{"MOM_get_ini_string", fixture().ini[keys], "Post", ini_key(keys)};
    for (auto _ : state) words.run();
}

void BM_ini_tcllib_open_per_lookup(benchmark::State &state) {
    int keys = static_cast<int>(state.range(0));
    Words words{"bench_ini_open_read_close", fixture().ini[keys], "Post", ini_key(keys)};
    for (auto _ : state) words.run();
}

void BM_ini_tcllib_reused_handle(benchmark::State &state) {
    int keys = static_cast<int>(state.range(0));
    Words open{"::ini::open", fixture().ini[keys], "r"};
    open.run();
    std::string handle = Tcl_GetStringResult(tcl());
    Words words{"::ini::value", handle, "Post", ini_key(keys)};
    for (auto _ : state) words.run();
    Words close{"::ini::close", handle};
    close.run();
}

// What the lookup asks of the system: the probe, and the INI reader itself.
void BM_ini_probe(benchmark::State &state) {
    std::string path = fixture().ini[1000];
    for (auto _ : state) {
        HANDLE probe = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        CloseHandle(probe);
    }
}

void BM_ini_reader(benchmark::State &state) {
    int keys = static_cast<int>(state.range(0));
    std::string path = fixture().ini[keys], key = ini_key(keys);
    char value[256];
    for (auto _ : state)
        benchmark::DoNotOptimize(GetPrivateProfileStringA("Post", key.c_str(), "", value, sizeof value, path.c_str()));
}

// ---- Registration ---------------------------------------------------------------------------

void fast(benchmark::internal::Benchmark *b) { b->MinTime(0.2); }
// Processes run beside the benchmark: wall-clock time is what they cost.
void slow(benchmark::internal::Benchmark *b) { b->Iterations(40)->UseRealTime(); }

BENCHMARK(BM_floor_c_command)->Apply(fast);
BENCHMARK(BM_floor_tcl_proc)->Apply(fast);
BENCHMARK(BM_box_message)->Apply(fast);
BENCHMARK(BM_ui_message)->Apply(fast);
BENCHMARK(BM_abort_ex)->Apply(fast);
BENCHMARK(BM_info_message)->Apply(fast);
BENCHMARK(BM_ui_filebox)->Apply(fast);
BENCHMARK(BM_uc1600)->Apply(fast);
BENCHMARK(BM_uc1609)->Apply(fast);
BENCHMARK(BM_about_stub)->Apply(fast);
BENCHMARK(BM_assign_attribute)->Arg(10)->Arg(1000)->Arg(100000)->Apply(fast);
BENCHMARK(BM_assign_attribute_host)->Arg(10)->Arg(1000)->Arg(100000)->Apply(fast);
BENCHMARK(BM_set_attribute_program)->Arg(10)->Arg(1000)->Arg(100000)->Apply(fast);
BENCHMARK(BM_set_attribute_program_host)->Arg(10)->Arg(1000)->Arg(100000)->Apply(fast);
BENCHMARK(BM_ask_part_attr)->Apply(fast);
BENCHMARK(BM_call_grip)->Apply(fast);
BENCHMARK(BM_call_grip_host)->Apply(fast);
BENCHMARK(BM_createfile)->Apply(fast);
BENCHMARK(BM_createfile_host)->Apply(fast);
BENCHMARK(BM_deletefile)->Apply(fast);
BENCHMARK(BM_deletefile_host)->Apply(fast);
BENCHMARK(BM_remove_file_ex)->Apply(fast);
BENCHMARK(BM_remove_file_ex_host)->Apply(fast);
BENCHMARK(BM_run_exec)->Apply(slow);
BENCHMARK(BM_run_exec_host)->Apply(slow);
BENCHMARK(BM_shell_exec)->Apply(slow);
BENCHMARK(BM_shell_exec_host)->Apply(slow);
BENCHMARK(BM_ini_probe)->Apply(fast);
BENCHMARK(BM_ini_reader)->Arg(10)->Arg(1000)->Arg(10000)->Apply(fast);
BENCHMARK(BM_ini_tarvex)->Arg(10)->Arg(1000)->Arg(10000)->Apply(fast);
BENCHMARK(BM_ini_tcllib_open_per_lookup)->Arg(10)->Arg(1000)->Arg(10000)->Apply(fast);
BENCHMARK(BM_ini_tcllib_reused_handle)->Arg(10)->Arg(1000)->Arg(10000)->Apply(fast);

// ---- The table ---------------------------------------------------------------------------------

// Keeps the median of each benchmark's repetitions, in nanoseconds per
// call: the thread's CPU time, which other work on a shared machine does not
// inflate; wall-clock time for the process commands, whose cost lies mostly
// outside this thread.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    MedianReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &run : runs) {
            if (run.run_type != Run::RT_Aggregate || run.aggregate_name != "median") continue;
            std::string name = run.run_name.function_name;
            if (!run.run_name.args.empty()) name += "/" + run.run_name.args;
            bool wall = name.find("exec") != std::string::npos;
            double time = wall ? run.GetAdjustedRealTime() : run.GetAdjustedCPUTime();
            medians_[name] = time * benchmark::GetTimeUnitMultiplier(benchmark::kNanosecond) /
                             benchmark::GetTimeUnitMultiplier(run.time_unit);
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double operator[](const std::string &name) const {
        auto found = medians_.find(name);
        return found == medians_.end() ? 0.0 : found->second;
    }
    bool has(const std::string &name) const { return medians_.count(name) != 0; }

private:
    std::map<std::string, double> medians_;
};

void print_table(const MedianReporter &m, std::FILE *out) {
    const double floor = m["BM_floor_c_command"];
    auto key = [&](const std::string &name) { return name; };
    std::fprintf(out, "\n| Measurement | median ns/call | x floor | host work ns | (call - host work) / floor |\n");
    std::fprintf(out, "|---|---:|---:|---:|---:|\n");
    // `host` names the measurements of the host work, joined by '+'.
    auto row = [&](const std::string &label, const std::string &name, const std::string &host) {
        if (!m.has(key(name))) return;
        double t = m[key(name)];
        double h = 0;
        bool measured = !host.empty();
        for (std::size_t from = 0; measured && from < host.size();) {
            std::size_t plus = host.find('+', from);
            std::string part = host.substr(from, plus == std::string::npos ? std::string::npos : plus - from);
            measured = m.has(key(part));
            h += m[key(part)];
            from = plus == std::string::npos ? host.size() : plus + 1;
        }
        if (!measured) {
            std::fprintf(out, "| %s | %.0f | %.1f | | |\n", label.c_str(), t, t / floor);
        } else {
            std::fprintf(out, "| %s | %.0f | %.1f | %.0f | %.1f |\n", label.c_str(), t, t / floor, h, (t - h) / floor);
        }
    };
    row("floor: empty C command", "BM_floor_c_command", "");
    row("floor: Tcl proc returning a constant", "BM_floor_tcl_proc", "");
    for (const char *name : {"box_message", "ui_message", "abort_ex", "info_message", "ui_filebox", "uc1600",
                             "uc1609", "about_stub"})
        row(std::string("MOM_") + name, std::string("BM_") + name, "");
    for (const char *n : {"10", "1000", "100000"}) {
        row(std::string("MOM_assign_attribute, ") + n + " operations", std::string("BM_assign_attribute/") + n,
            std::string("BM_assign_attribute_host/") + n);
    }
    for (const char *n : {"10", "1000", "100000"}) {
        row(std::string("MOM_set_attribute_program, ") + n + " members",
            std::string("BM_set_attribute_program/") + n, std::string("BM_set_attribute_program_host/") + n);
    }
    row("MOM_ask_part_attr", "BM_ask_part_attr", "");
    row("MOM_call_grip", "BM_call_grip", "BM_call_grip_host");
    row("MOM_createfile", "BM_createfile", "BM_createfile_host");
    row("MOM_deletefile (file made again each call)", "BM_deletefile", "BM_deletefile_host");
    row("MOM_remove_file_ex (file made again each call)", "BM_remove_file_ex", "BM_remove_file_ex_host");
    row("MOM_run_exec /bin/true", "BM_run_exec", "BM_run_exec_host");
    row("MOM_shell_exec /bin/true", "BM_shell_exec", "BM_shell_exec_host");
    row("MOM_get_ini_string, 1,000 keys", "BM_ini_tarvex/1000", "BM_ini_probe+BM_ini_reader/1000");
    row("  its probe (CreateFileA, CloseHandle)", "BM_ini_probe", "");
    row("  its INI reader, 10 keys", "BM_ini_reader/10", "");
    row("  its INI reader, 1,000 keys", "BM_ini_reader/1000", "");
    row("  its INI reader, 10,000 keys", "BM_ini_reader/10000", "");

    std::fprintf(out, "\n| INI keys | MOM_get_ini_string ns | tcllib open-read-close ns | speed-up | tcllib reused handle ns | "
                "tarvex / reused |\n");
    std::fprintf(out, "|---:|---:|---:|---:|---:|---:|\n");
    for (const char *n : {"10", "1000", "10000"}) {
        double ours = m[key(std::string("BM_ini_tarvex/") + n)];
        double each = m[key(std::string("BM_ini_tcllib_open_per_lookup/") + n)];
        double reused = m[key(std::string("BM_ini_tcllib_reused_handle/") + n)];
        if (ours <= 0) continue;
        std::fprintf(out, "| %s | %.0f | %.0f | %.1fx | %.0f | %.2f |\n", n, ours, each, each / ours, reused, ours / reused);
    }

    std::fprintf(out, "\n| Growth, 10 -> 1,000 -> 100,000 | per 100x more (1,000/10) | per 100x more (100,000/1,000) |\n");
    std::fprintf(out, "|---|---:|---:|\n");
    for (const char *name : {"assign_attribute", "set_attribute_program"}) {
        double a = m[key(std::string("BM_") + name + "/10")], b = m[key(std::string("BM_") + name + "/1000")],
               c = m[key(std::string("BM_") + name + "/100000")];
        if (a > 0 && b > 0) std::fprintf(out, "| MOM_%s | %.1fx | %.1fx |\n", name, b / a, c / b);
    }
}

void prepare(const char *plugin_path) {
    char pattern[] = "/tmp/tarvex-bench-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("cannot make a temporary folder");
    fixture().folder = pattern;

    session().reset(emuhost::TranslatorKind::Tcl);
    fixture().plugin = std::make_unique<emuhost::Plugin>(plugin_path);
    fixture().plugin->run_ufusr();
    if (!session().translator().bind("bench_empty", empty_command, session().mom_id()))
        throw std::runtime_error("cannot bind the empty command");
    auto defined = session().translator().eval(
        "proc bench_constant {} { return 1 }\n"
        "package require inifile\n"
        "proc bench_ini_open_read_close {file section key} {\n"
        "    set h [::ini::open $file r]\n"
        "    set v [::ini::value $h $section $key {}]\n"
        "    ::ini::close $h\n"
        "    return $v\n"
        "}\n");
    if (defined.code != TCL_OK) throw std::runtime_error("Tcl set-up failed (is tcllib installed?): " + defined.result);

    for (int keys : {10, 1000, 10000}) fixture().ini[keys] = write_ini(keys);
    make_file(grip_program());
    session().grip().add_program(grip_program(), [](emuhost::GripRun &run) {
        run.response() = 42.0;
        return 0;
    });
    // The INI reader keeps a parsed file only once it has stood still for a
    // moment: a post's INI files are written long before the post runs.
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
}

}  // namespace

int main(int argc, char **argv) {
    std::vector<char *> args(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=5";
    std::string aggregates = "--benchmark_report_aggregates_only=true";
    args.insert(args.begin() + 1, aggregates.data());
    args.insert(args.begin() + 1, repetitions.data());
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
    try {
        prepare(TARVEX_PLUGIN_PATH);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "bench: %s\n", error.what());
        return 1;
    }
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    print_table(reporter, stdout);
    std::error_code ignored;
    fs::remove_all(fixture().folder, ignored);
    benchmark::Shutdown();
    return 0;
}
