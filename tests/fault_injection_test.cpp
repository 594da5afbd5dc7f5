// Systematic fault injection: every happy-path case below is run once to
// record the host calls it makes; then it is rerun once for each call in
// that record with the call failing the first time it is made, once with it
// failing every time, and, where the 64-bit plug-in guards the call, once
// with it throwing. Every run must end without a leak or a double release,
// with a readable result, with the failure reported where the plug-in
// reports it, and with the outcome the case expects for that failure.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "cam_support.h"
#include "file_scratch.h"
#include "harness.h"

using emuhost::GripRun;
using tarvex_test::capture;
using tarvex_test::HostTest;
using tarvex_test::Scratch;

namespace {

constexpr int kCode = emuhost::kErrNotFound;

// The calls the plug-in wraps in its report: a failure prints where it was
// made and the host's text for the code.
const std::set<std::string> kReported = {
    "uc4583", "UF_ATTR_assign", "UF_SETUP_ask_setup", "UF_SETUP_ask_program_root",
    "UF_NCGROUP_ask_member_list", "UF_UI_ONT_ask_selected_nodes", "UF_is_ugmanager_active",
    "UF_PART_ask_part_name", "UF_UGMGR_decode_part_filename", "UF_PART_ask_description",
    "UF_UGMGR_ask_part_tag", "UF_UGMGR_ask_part_name_desc", "UF_call_grip",
    "UF_MOM_ask_interp_from_param", "UF_MOM_ask_mom",
};

// Calls that only show, log or store what the command has already worked
// out: their failure must leave the result text as it is.
const std::set<std::string> kOutputOnly = {
    "UF_print_syslog", "UF_UI_set_status", "UF_get_fail_message", "uc1601", "UF_UI_display_nonmodal_msg",
    "UF_MOM_set_int", "UF_MOM_set_string", "ShellAboutA",
};

// What one run left behind.
struct Outcome {
    std::string failed;  // the call made to fail or throw; empty for the recording run
    bool every_time = false;
    bool thrown = false;
    emuhost::CallResult result;
    tarvex_test::Output output;
    std::vector<std::string> calls;
    std::vector<std::string> syslog;
    bool logged(const std::string &line) const {
        return std::find(syslog.begin(), syslog.end(), line) != syslog.end();
    }
};

struct Case {
    const char *name;
    std::vector<std::string> words;  // empty: the case is the host loading the plug-in
    std::string happy_result;
    // Prepares the host (the plug-in is loaded, logs and calls cleared).
    std::function<void(emuhost::Session &, const Scratch &)> setup;
    // Calls the 64-bit plug-in makes inside a guard, where a throw is caught.
    std::set<std::string> guarded;
    // Checks a run with a failure or throw for the outcome documented for it;
    // answers nothing for calls that have no outcome of their own.
    std::function<void(const Outcome &, emuhost::Session &)> expect;
};

void stamp_variables(emuhost::Session &host) {
    host.set_variable("group_name", "P2");
    host.set_variable("operation_name", "OP1");
    host.set_variable("output_file_basename", "bracket");
    host.set_variable("output_file_suffix", "ptp");
    host.set_variable("machine_time", "00:12:30");
    host.set_variable("machine_name", "DMU 50");
}

void cam_part(emuhost::Session &host) {
    host.part().load_text(tarvex_test::kCamPart, "cam part");
    host.part().fix_clock(tarvex_test::kFixedTime);
}

bool stamped(emuhost::Session &host, tag_t tag) {
    return host.part().attribute(tag, "OPU_FILE_UP_NAME") != nullptr;
}

std::vector<Case> cases() {
    auto none = [](emuhost::Session &, const Scratch &) {};
    return {
        {"load", {}, "", none, {},
         [](const Outcome &run, emuhost::Session &host) {
             if (run.failed == "UF_initialize") {
                 EXPECT_EQ(host.translator().bound().size(), 0u) << "bound commands without the Open API";
             }
             if (run.failed == "UF_MOM_ask_interp_from_param") {
                 EXPECT_TRUE(run.logged("Don't get the TCL interpreter id from the ufusr 'param'\nDLL terminated...\n"));
             }
             if (run.failed == "UF_MOM_ask_mom") {
                 EXPECT_TRUE(run.logged("Don't get the MOM id from the ufusr param\nDLL terminated...\n"));
             }
             if (run.failed == "UF_MOM_extend_xlator" && !run.every_time) {
                 EXPECT_TRUE(run.logged("Don't get UF_MOM_extend_xlator ... MOM_box_message \n"));
             }
             if (run.failed == "UF_terminate" || run.failed == "UF_initialize") {
                 EXPECT_FALSE(host.status_lines().empty()) << "the failed start or end is not shown";
             }
         }},
        {"box_message", {"MOM_box_message", "Tool change", "T12"}, "0", none, {}, nullptr},
        {"ui_message", {"MOM_ui_message", "QUESTION", "YESNO", "Go on?"}, "3",
         [](emuhost::Session &host, const Scratch &) { host.dialogs().answer("No"); }, {},
         [](const Outcome &run, emuhost::Session &host) {
             if (run.failed == "UF_UI_message_dialog") {
                 EXPECT_EQ(run.result.result, "0");
                 EXPECT_EQ(host.variable("ui_message_return"), "0");
             }
         }},
        {"abort_ex", {"MOM_abort_ex", "Post stopped", "no tool"}, "Post stopped\nno tool\n", none, {},
         [](const Outcome &run, emuhost::Session &) { EXPECT_EQ(run.result.code, 1); }},
        {"info_message", {"MOM_info_message", "CASCADE", "first", "second"}, "", none, {}, nullptr},
        {"ui_filebox", {"MOM_ui_filebox", "C:\\out\\a.ptp", "*.ptp"}, "C:\\out\\b.ptp",
         [](emuhost::Session &host, const Scratch &) { host.dialogs().answer_filebox(3, "C:\\out\\b.ptp"); }, {},
         [](const Outcome &run, emuhost::Session &host) {
             if (run.failed == "UF_UI_create_filebox") {
                 EXPECT_EQ(host.variable("ui_filebox_return"), "-1");
                 EXPECT_EQ(run.result.result, "C:\\out\\a.ptp");
             }
         }},
        {"uc1600", {"MOM_uc1600", "Enter feed", "250"}, "300",
         [](emuhost::Session &host, const Scratch &) { host.dialogs().answer_string(5, "300"); }, {},
         [](const Outcome &run, emuhost::Session &) {
             if (run.failed == "uc1600") {
                 EXPECT_EQ(run.result.result, "");
                 EXPECT_TRUE(run.logged(" uc1600 ( response=" + std::to_string(kCode) + "  ca2=250 )\n"));
             }
         }},
        {"uc1609", {"MOM_uc1609", "2", "labels", "values"}, "3",
         [](emuhost::Session &host, const Scratch &) {
             host.set_array_element("labels", 0, "Feed");
             host.set_array_element("labels", 1, "Speed");
             host.set_array_element("values", 0, "250");
             host.set_array_element("values", 1, "1200");
             host.dialogs().answer_reals(3, {300.0});
         },
         {},
         [](const Outcome &run, emuhost::Session &host) {
             if (run.failed == "UF_MOM_ask_string_array" || run.failed == "UF_MOM_ask_double_array") {
                 EXPECT_EQ(run.result.result, "8");
                 EXPECT_EQ(host.dialogs().count("uc1609"), 0u) << "values shown that were never read";
             }
         }},
        {"assign_attribute", {"MOM_assign_attribute", "OPU_NOTE", "checked"}, "0",
         [](emuhost::Session &host, const Scratch &) {
             cam_part(host);
             host.set_variable("operation_name", "OP1");
         },
         {},
         [](const Outcome &run, emuhost::Session &host) {
             if (run.failed == "UF_OBJ_cycle_by_name") {
                 EXPECT_EQ(run.result.result, "1");
                 EXPECT_TRUE(run.logged(" mom_create_attribute - wrong assign attribute for 'operation_name'\n"));
             }
             // Without the host's own answer the variable names the operation.
             if (run.failed == "UF_OPER_ask_name") {
                 EXPECT_NE(host.part().attribute(31, "OPU_NOTE"), nullptr);
             }
             if (run.failed == "UF_ATTR_assign") {
                 EXPECT_EQ(host.part().attribute(31, "OPU_NOTE"), nullptr);
             }
         }},
        {"assign_time", {"MOM_assign_attribute", "OPU_WHEN", "TIME", "PROGRAM"}, "0",
         [](emuhost::Session &host, const Scratch &) { cam_part(host); }, {},
         [](const Outcome &run, emuhost::Session &) {
             if (run.failed == "UF_MOM_ask_string" || run.failed == "UF_OBJ_cycle_by_name") {
                 EXPECT_EQ(run.result.result, "1");
             }
         }},
        {"stamp_variables", {"MOM_set_attribute_program"}, "",
         [](emuhost::Session &host, const Scratch &) {
             cam_part(host);
             stamp_variables(host);
         },
         {"UF_MOM_ask_string"},
         [](const Outcome &run, emuhost::Session &host) {
             if (run.failed == "UF_MOM_ask_string") {
                 EXPECT_FALSE(stamped(host, 22)) << "stamped without its texts";
             }
             if (run.failed == "UF_NCGROUP_ask_member_list" || run.failed == "UF_OBJ_ask_name") {
                 EXPECT_TRUE(stamped(host, 22)) << "the search by name must still find P2";
             }
         }},
        {"stamp_selection", {"MOM_set_attribute_program"}, "",
         [](emuhost::Session &host, const Scratch &) {
             cam_part(host);
             stamp_variables(host);
             host.part().select({31, 32});
         },
         {"UF_MOM_ask_string"},
         [](const Outcome &run, emuhost::Session &host) {
             if (run.failed == "UF_UI_ONT_ask_selected_nodes") {
                 EXPECT_FALSE(stamped(host, 31));
             }
             if (run.failed == "UF_ATTR_assign" && !run.every_time) {
                 EXPECT_NE(host.part().attribute(31, "OPU_FILE_UP_CREATE"), nullptr)
                     << "one failed assignment must not stop the others";
             }
         }},
        {"stamp_arguments", {"MOM_set_attribute_program", "P1", "bracket.ptp", "00:10", "DMU"}, "",
         [](emuhost::Session &host, const Scratch &) { cam_part(host); }, {},
         [](const Outcome &run, emuhost::Session &host) {
             if (run.failed == "UF_SETUP_ask_setup" || run.failed == "UF_SETUP_ask_program_root") {
                 EXPECT_TRUE(stamped(host, 21)) << "the search by name must still find P1";
             }
         }},
        {"ask_part_attr_native", {"MOM_ask_part_attr"}, "bracket.prt",
         [](emuhost::Session &host, const Scratch &) { cam_part(host); }, {},
         [](const Outcome &run, emuhost::Session &) {
             if (run.failed == "UF_PART_ask_display_part") {
                 EXPECT_EQ(run.result.result, "");
             }
         }},
        {"ask_part_attr_managed", {"MOM_ask_part_attr"}, "bracket_A",
         [](emuhost::Session &host, const Scratch &) {
             host.part().load_text(R"({
               "managed": true,
               "parts": [{"tag": 1, "file_name": "@db:4711/A/nc/bracket", "description": "Bracket"}],
               "display_part": 1, "work_part": 1,
               "database": [{"number": "4711", "name": "Bracket", "description": "Holds the shaft"}]
             })", "managed part");
         },
         {},
         [](const Outcome &run, emuhost::Session &) {
             if (run.failed == "UF_is_ugmanager_active") {
                 EXPECT_EQ(run.result.result, "@db:4711/A/nc/bracket");
             }
         }},
        {"call_grip", {"MOM_call_grip", "", "a", "b"}, "2.500000",
         [](emuhost::Session &host, const Scratch &scratch) {
             std::string program = scratch.write("prog.grx", "GRIP");
             host.grip().add_program(program, [](GripRun &run) {
                 run.response() = 2.5;
                 return 0;
             });
         },
         {},
         [](const Outcome &run, emuhost::Session &) {
             if (run.failed == "UF_CFI_ask_file_exist") {
                 EXPECT_EQ(run.result.result, "");
             }
             if (run.failed == "UF_call_grip") {
                 EXPECT_EQ(run.result.result, "0.000000");
             }
         }},
        {"get_ini_string", {"MOM_get_ini_string", "", "Tools", "T1"}, "End mill 10",
         [](emuhost::Session &, const Scratch &scratch) {
             scratch.write("tool.ini", "[Tools]\r\nT1 = \"End mill 10\"\r\n");
         },
         {}, nullptr},
        {"get_ini_string_missing", {"MOM_get_ini_string", "", "S", "K"}, "", none, {}, nullptr},
        {"remove_file_ex", {"MOM_remove_file_ex", ""}, "0",
         [](emuhost::Session &, const Scratch &scratch) { scratch.write("old.ptp", "x"); }, {}, nullptr},
        {"deletefile_missing", {"MOM_deletefile", ""}, "0", none, {}, nullptr},
        {"createfile_no_folder", {"MOM_createfile", ""}, "1", none, {}, nullptr},
        {"run_exec_missing", {"MOM_run_exec", "/nonexistent/tarvex/program", "a"}, "", none, {}, nullptr},
        {"shell_exec_missing", {"MOM_shell_exec", "/nonexistent/tarvex/notes.txt"}, "", none, {}, nullptr},
        {"about_stub", {"MOM_about_stub"}, "", none, {"ShellAboutA"},
         [](const Outcome &run, emuhost::Session &host) {
             if (run.failed == "ShellAboutA" && run.thrown) {
                 EXPECT_TRUE(run.logged(" ShellAbout error process \n"));
                 EXPECT_EQ(host.dialogs().count("uc1601"), 1u) << "the credits must still be shown";
             }
         }},
    };
}

// The path arguments of the file cases, by case name: inside the scratch folder.
std::string path_for(const std::string &name, const Scratch &scratch) {
    if (name == "call_grip") return scratch.path("prog.grx");
    if (name == "get_ini_string") return scratch.path("tool.ini");
    if (name == "get_ini_string_missing") return scratch.path("none.ini");
    if (name == "remove_file_ex") return scratch.path("old.ptp");
    if (name == "deletefile_missing") return scratch.path("gone.ptp");
    if (name == "createfile_no_folder") return scratch.path("no/folder/new.ptp");
    return "";
}

class FaultInjection : public HostTest {
protected:
    // One run of `c`: `failed` empty records the happy path.
    Outcome run(const Case &c, const std::string &failed, bool every_time, bool thrown) {
        Scratch scratch;
        host().reset(GetParam());
        if (!c.words.empty()) load();
        host().clear_logs();
        host().clear_calls();
        c.setup(host(), scratch);
        std::vector<std::string> words = c.words;
        if (words.size() > 1 && words[1].empty()) words[1] = path_for(c.name, scratch);

        Outcome out;
        out.failed = failed;
        out.every_time = every_time;
        out.thrown = thrown;
        if (!failed.empty()) {
            if (thrown)
                host().throw_in_call(failed, !every_time);
            else
                host().fail_call(failed, kCode, !every_time);
        }
        out.output = capture([&] {
            try {
                if (words.empty())
                    out.result.code = plugin_->run_ufusr();
                else
                    out.result = call(words);
            } catch (const emuhost::InjectedFault &fault) {
                ADD_FAILURE() << c.name << ": " << fault.what() << " escaped the command";
            }
        });
        host().clear_faults();
        out.calls = host().calls();
        out.syslog = host().syslog();

        const char *text = host().translator().record()->result;
        if (text != nullptr && !words.empty()) {
            EXPECT_EQ(std::string(text), out.result.result) << c.name;
        }
        EXPECT_EQ(host().outstanding_allocations(), 0u) << c.name << " with " << failed << " failing";
        EXPECT_TRUE(host().release_errors().empty()) << c.name << " with " << failed << " failing";
        return out;
    }
};

TEST_P(FaultInjection, EveryHostCallOfEveryCaseFailsCleanly) {
    int injected = 0;
    std::set<std::string> commands_covered;
    for (const Case &c : cases()) {
        SCOPED_TRACE(c.name);
        Outcome happy = run(c, "", false, false);
        if (!c.words.empty()) {
            EXPECT_EQ(happy.result.result, c.happy_result) << "the happy path itself went wrong";
            commands_covered.insert(c.words[0]);
        } else {
            EXPECT_EQ(host().translator().bound().size(), 18u);
        }

        std::vector<std::string> distinct;
        for (const std::string &name : happy.calls)
            if (std::find(distinct.begin(), distinct.end(), name) == distinct.end()) distinct.push_back(name);

        for (const std::string &name : distinct) {
            std::vector<std::pair<bool, bool>> modes = {{false, false}, {true, false}};
            if (c.guarded.count(name) && sizeof(void *) == 8) modes.push_back({false, true});
            for (auto [every_time, thrown] : modes) {
                SCOPED_TRACE(name + (thrown ? " throwing" : every_time ? " failing every time" : " failing once"));
                Outcome faulty = run(c, name, every_time, thrown);
                ++injected;
                EXPECT_NE(std::find(faulty.calls.begin(), faulty.calls.end(), name), faulty.calls.end())
                    << "the faulty call was never made";
                if (!thrown && kReported.count(name) && name != "UF_MOM_ask_interp_from_param" &&
                    name != "UF_MOM_ask_mom") {
                    std::string line = "    returned error " + std::to_string(kCode) + ":  " +
                                       host().fail_text(kCode).value_or("") + "\n";
                    EXPECT_NE(faulty.output.out.find(line), std::string::npos)
                        << "no report of the failure:\n" << faulty.output.out;
                    EXPECT_NE(faulty.output.out.find(name), std::string::npos) << faulty.output.out;
                }
                if (!c.words.empty() && kOutputOnly.count(name) && !thrown) {
                    EXPECT_EQ(faulty.result.result, happy.result.result)
                        << "a failed log or display call changed the result";
                }
                if (c.expect) c.expect(faulty, host());
            }
        }
    }
    EXPECT_EQ(commands_covered.size(), 18u) << "a command has no case";
    std::printf("[ fault injection ] %d injected runs\n", injected);
    RecordProperty("injected_runs", injected);
}

TARVEX_ALL_TRANSLATORS(FaultInjection);

}  // namespace
