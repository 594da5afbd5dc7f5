// Soak: one million command calls through the real Tcl translator, mixed
// over the non-interactive commands and the dialog commands with scripted
// answers. After a warm-up of 10,000 calls the process may grow by less than
// 1 MiB, and every host array and every private copy of message lines must be
// given back. Labelled "soak"; not part of the everyday presets.
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "cam_support.h"
#include "file_scratch.h"

using tarvex_test::Scratch;

namespace {

constexpr long kCalls = 1000000;
constexpr long kWarmUp = 10000;
constexpr long kMiB = 1024 * 1024;

// Resident memory of this process in bytes.
long resident_bytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// Bytes the C heap holds for the program right now.
long heap_in_use() { return static_cast<long>(mallinfo2().uordblks); }

class Soak : public tarvex_test::HostTest {};

TEST_P(Soak, MillionCallsKeepMemoryFlat) {
    ASSERT_EQ(load(), 0);
    Scratch scratch;
    host().part().load_text(tarvex_test::kCamPart, "cam part");
    host().part().fix_clock(tarvex_test::kFixedTime);
    host().set_variable("group_name", "P2");
    host().set_variable("operation_name", "OP1");
    host().set_variable("output_file_basename", "bracket");
    host().set_variable("output_file_suffix", "ptp");
    host().set_variable("machine_time", "00:12:30");
    host().set_variable("machine_name", "DMU 50");
    host().set_array_element("labels", 0, "Feed");
    host().set_array_element("labels", 1, "Speed");
    host().set_array_element("values", 0, "250");
    host().set_array_element("values", 1, "1200");
    const std::string ini = scratch.write("tool.ini", "[Tools]\nT1 = End mill 10\n");
    const std::string grip = scratch.write("prog.grx", "GRIP");
    const std::string made = scratch.path("made.ptp");
    auto add_grip_program = [&] {
        host().grip().add_program(grip, [](emuhost::GripRun &run) {
            run.response() = 1.5;
            return 0;
        });
    };
    add_grip_program();

    // One round of the mix: a Tcl command, the answers its dialog takes,
    // and the result it must give.
    struct Step {
        std::string script;
        std::function<void()> answer;
        std::string result;
    };
    auto braced = [](const std::string &text) { return "{" + text + "}"; };
    const std::vector<Step> round = {
        {"MOM_box_message {Tool change} T12", nullptr, "0"},
        {"MOM_info_message LEFT first second", nullptr, ""},
        {"MOM_ui_message QUESTION YESNO {Go on?} {second line}", [&] { host().dialogs().answer("No"); }, "3"},
        {"MOM_uc1600 {Enter feed} 250", [&] { host().dialogs().answer_string(5, "300"); }, "300"},
        {"MOM_ui_filebox C:/out/a.ptp *.ptp", [&] { host().dialogs().answer_filebox(3, "C:/out/b.ptp"); },
         "C:/out/b.ptp"},
        {"MOM_uc1609 2 labels values", [&] { host().dialogs().answer_reals(3, {300.0}); }, "3"},
        {"catch {MOM_abort_ex {Post stopped} {no tool}} message; set message", nullptr, "Post stopped\nno tool\n"},
        {"MOM_assign_attribute OPU_NOTE checked", nullptr, "0"},
        {"MOM_set_attribute_program", nullptr, ""},
        {"MOM_ask_part_attr", nullptr, "bracket.prt"},
        {"MOM_get_ini_string " + braced(ini) + " Tools T1", nullptr, "End mill 10"},
        {"MOM_createfile " + braced(made), nullptr, "0"},
        {"MOM_deletefile " + braced(made), nullptr, "0"},
        {"MOM_remove_file_ex " + braced(made), nullptr, "0"},
        {"MOM_call_grip " + braced(grip) + " a b", nullptr, "1.500000"},
        {"MOM_about_stub", nullptr, ""},
    };

    // TARVEX_SOAK_ONLY=N runs only the N-th step of the round (to find
    // which command grows, should one do so).
    const char *only_text = std::getenv("TARVEX_SOAK_ONLY");
    const long only = only_text != nullptr ? std::atol(only_text) : -1;
    long resident_after_warm_up = 0, heap_after_warm_up = 0;
    auto started = std::chrono::steady_clock::now();
    long calls = 0;
    while (calls < kCalls) {
        for (size_t i = 0; i < round.size(); ++i) {
            const Step &step = round[i];
            if (only >= 0 && static_cast<long>(i) != only) continue;
            if (step.answer) step.answer();
            emuhost::CallResult result = host().translator().eval(step.script);
            if (result.result != step.result) {
                FAIL() << "call " << calls << ": " << step.script << " gave \"" << result.result << "\"";
            }
            ++calls;
        }
        // The host's own records would grow without end: keep them short.
        host().dialogs().clear_records();
        host().clear_logs();
        host().clear_calls();
        host().grip().reset();
        add_grip_program();
        if (host().outstanding_allocations() != 0 || !host().release_errors().empty())
            FAIL() << "after " << calls << " calls: " << host().outstanding_allocations()
                   << " host arrays unreleased, " << host().release_errors().size() << " bad releases";
        if (resident_after_warm_up == 0 && calls >= kWarmUp) {
            resident_after_warm_up = resident_bytes();
            heap_after_warm_up = heap_in_use();
        }
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    long resident_growth = resident_bytes() - resident_after_warm_up;
    long heap_growth = heap_in_use() - heap_after_warm_up;
    std::printf("[ soak ] %ld calls in %.1f s; after the first %ld: resident %+ld bytes, heap in use %+ld bytes\n",
                calls, seconds, kWarmUp, resident_growth, heap_growth);
    EXPECT_LT(resident_growth, kMiB);
    // Line copies and host arrays come and go with each call: once warm,
    // the heap in use stays where it was, give or take the translator's
    // own caches.
    EXPECT_LT(heap_growth, 64 * 1024);
}

INSTANTIATE_TEST_SUITE_P(Tcl, Soak, ::testing::Values(emuhost::TranslatorKind::Tcl), tarvex_test::translator_name);

}  // namespace
