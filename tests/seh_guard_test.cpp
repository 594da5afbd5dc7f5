// The 64-bit Windows plug-in's catch-all guards against real structured
// exceptions. Each guarded operation is made to raise an access violation
// twice in a row: inside the host (a bad pointer behind UF_MOM_ask_string)
// or inside the Windows call itself, whose entry in the plug-in's import
// table is pointed at a stand-in that writes to address 0, as a misbehaving
// shell extension would; the shell call also overflows the stack twice in
// a row. Each time the command must answer as its guard says and the host
// carry on; then the call goes through normally again.
// The disabled test is run from outside by seh_unguarded_fault: a fault
// where no guard is must still end the program. The 32-bit plug-in, which
// has no guards, is checked in its Linux build: an exception raised inside
// each of the guarded calls must reach the host.
#if defined(_WIN32)
#include <malloc.h>
#include <windows.h>
#endif

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#if !defined(_WIN32) && UINTPTR_MAX <= 0xFFFFFFFFu
#define UNGUARDED 1
#include <elf.h>
#include <link.h>
#include <sys/mman.h>
#include <unistd.h>
#else
#define UNGUARDED 0
#endif

#include "cam_support.h"
#include "file_scratch.h"

namespace {

using Lines = std::vector<std::string>;
using tarvex_test::Scratch;

#if defined(_WIN32) && UINTPTR_MAX > 0xFFFFFFFFu
#define SEH_GUARDS 1
#define REQUIRE_SEH_GUARDS()
#else
#define SEH_GUARDS 0
#define REQUIRE_SEH_GUARDS() GTEST_SKIP() << "only the 64-bit Windows plug-in catches structured exceptions"
#endif

#if SEH_GUARDS
void access_violation() {
    volatile int *volatile nowhere = nullptr;
    *nowhere = 0;
}

// Recurses until the stack runs out, each level with a frame of its own.
unsigned exhaust_stack(volatile char *caller) {
    if (caller == nullptr) return 0;
    volatile char frame[256];
    frame[0] = caller[0];
    return exhaust_stack(frame) + frame[0];
}

void stack_overflow() {
    volatile char first[1] = {1};
    exhaust_stack(first);
}

// Points the plug-in's import of FUNCTION from DLL at `replacement` for
// as long as the object lives.
class ImportPatch {
public:
    ImportPatch(const char *dll, const char *function, void *replacement) {
        auto *base = reinterpret_cast<BYTE *>(GetModuleHandleA("tarvex_x64.dll"));
        if (base == nullptr) throw std::runtime_error("tarvex_x64.dll is not loaded");
        auto *dos = reinterpret_cast<IMAGE_DOS_HEADER *>(base);
        auto *nt = reinterpret_cast<IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
        const IMAGE_DATA_DIRECTORY &imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        auto *descriptor = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR *>(base + imports.VirtualAddress);
        for (; descriptor->Name != 0 && slot_ == nullptr; ++descriptor) {
            if (_stricmp(reinterpret_cast<const char *>(base + descriptor->Name), dll) != 0) continue;
            auto *names = reinterpret_cast<IMAGE_THUNK_DATA *>(base + descriptor->OriginalFirstThunk);
            auto *slots = reinterpret_cast<IMAGE_THUNK_DATA *>(base + descriptor->FirstThunk);
            for (; names->u1.AddressOfData != 0; ++names, ++slots) {
                if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
                auto *name = reinterpret_cast<IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData);
                if (std::strcmp(reinterpret_cast<const char *>(name->Name), function) == 0) {
                    slot_ = reinterpret_cast<void **>(&slots->u1.Function);
                    break;
                }
            }
        }
        if (slot_ == nullptr) throw std::runtime_error(std::string("the plug-in imports no ") + function);
        original_ = *slot_;
        write(replacement);
    }
    ~ImportPatch() { write(original_); }
    ImportPatch(const ImportPatch &) = delete;
    ImportPatch &operator=(const ImportPatch &) = delete;
    void *original() const { return original_; }

private:
    void write(void *value) {
        DWORD was = 0;
        VirtualProtect(slot_, sizeof *slot_, PAGE_READWRITE, &was);
        *slot_ = value;
        VirtualProtect(slot_, sizeof *slot_, was, &was);
    }
    void **slot_ = nullptr;
    void *original_ = nullptr;
};

// The stand-ins: the next `faults_left` calls raise `fault`, later ones are
// recorded (and the INI lookup is passed on to Windows).
int faults_left = 0;
void (*fault)() = access_violation;
Lines stand_in_calls;
void *real_profile_string = nullptr;

HINSTANCE WINAPI shell_execute_stand_in(HWND, LPCSTR operation, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                                        INT show) {
    if (faults_left > 0) {
        --faults_left;
        fault();
    }
    stand_in_calls.push_back(std::string(operation ? operation : "(default)") + "|" + file + "|" +
                             (parameters ? parameters : "(none)") + "|" + (directory ? directory : "(none)") + "|" +
                             std::to_string(show));
    return reinterpret_cast<HINSTANCE>(static_cast<intptr_t>(42));
}

INT WINAPI shell_about_stand_in(HWND, LPCSTR application, LPCSTR other, HICON) {
    if (faults_left > 0) {
        --faults_left;
        fault();
    }
    stand_in_calls.push_back(std::string(application) + "|" + other);
    return TRUE;
}

DWORD WINAPI profile_string_stand_in(LPCSTR section, LPCSTR key, LPCSTR default_value, LPSTR value, DWORD size,
                                     LPCSTR file) {
    if (faults_left > 0) {
        --faults_left;
        // Some of the value is written before the fault.
        std::snprintf(value, size, "partial");
        fault();
    }
    stand_in_calls.push_back(file);
    using Lookup = DWORD(WINAPI *)(LPCSTR, LPCSTR, LPCSTR, LPSTR, DWORD, LPCSTR);
    return reinterpret_cast<Lookup>(real_profile_string)(section, key, default_value, value, size, file);
}
#endif

#if UNGUARDED
// The address of the loaded plug-in's own function `name`. The plug-in
// links the Windows call stand-ins in and hides them, so no other library
// can stand in for them: the function is found in its file's symbol table.
void *plugin_function(const std::string &name) {
    struct Load {
        std::string file;
        ElfW(Addr) base;
    } load{TARVEX_PLUGIN_PATH, 0};
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *data) {
            Load *found = static_cast<Load *>(data);
            if (found->file != info->dlpi_name) return 0;
            found->base = info->dlpi_addr;
            return 1;
        },
        &load);
    std::ifstream in(load.file, std::ios::binary);
    const std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto *header = reinterpret_cast<const ElfW(Ehdr) *>(image.data());
    const auto *sections = reinterpret_cast<const ElfW(Shdr) *>(image.data() + header->e_shoff);
    for (int i = 0; load.base != 0 && i < header->e_shnum; ++i) {
        if (sections[i].sh_type != SHT_SYMTAB) continue;
        const char *names = image.data() + sections[sections[i].sh_link].sh_offset;
        const auto *symbols = reinterpret_cast<const ElfW(Sym) *>(image.data() + sections[i].sh_offset);
        for (std::size_t k = 0; k < sections[i].sh_size / sizeof *symbols; ++k)
            if (name == names + symbols[k].st_name) return reinterpret_cast<void *>(load.base + symbols[k].st_value);
    }
    throw std::runtime_error("the loaded plug-in has no function " + name);
}

// Makes the function at `function` jump to `replacement` for as long as the
// object lives.
class JumpPatch {
public:
    JumpPatch(void *function, void *replacement) : at_(static_cast<unsigned char *>(function)) {
        std::memcpy(saved_, at_, sizeof saved_);
        unsigned char jump[sizeof saved_] = {0xE9};  // jmp rel32
        auto offset = static_cast<int32_t>(reinterpret_cast<uintptr_t>(replacement) -
                                           reinterpret_cast<uintptr_t>(at_ + sizeof jump));
        std::memcpy(jump + 1, &offset, sizeof offset);
        write(jump);
    }
    ~JumpPatch() { write(saved_); }
    JumpPatch(const JumpPatch &) = delete;
    JumpPatch &operator=(const JumpPatch &) = delete;

private:
    void write(const unsigned char *bytes) {
        const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
        const uintptr_t start = reinterpret_cast<uintptr_t>(at_) & ~(page - 1);
        const std::size_t length = reinterpret_cast<uintptr_t>(at_) + sizeof saved_ - start;
        mprotect(reinterpret_cast<void *>(start), length, PROT_READ | PROT_WRITE | PROT_EXEC);
        std::memcpy(at_, bytes, sizeof saved_);
        mprotect(reinterpret_cast<void *>(start), length, PROT_READ | PROT_EXEC);
    }
    unsigned char *at_;
    unsigned char saved_[5];
};

// GetPrivateProfileStringA's stand-in, raising.
uint32_t profile_string_raising(const char *, const char *, const char *, char *, uint32_t, const char *) {
    throw emuhost::InjectedFault("GetPrivateProfileStringA");
}
#endif

class Guards : public tarvex_test::CamTest {
protected:
    void SetUp() override {
        CamTest::SetUp();
#if SEH_GUARDS
        faults_left = 0;
        fault = access_violation;
        stand_in_calls.clear();
#endif
    }
};

TEST_P(Guards, ShellExecSurvivesAccessViolationsInTheShell) {
    REQUIRE_SEH_GUARDS();
#if SEH_GUARDS
    ImportPatch patch("SHELL32.dll", "ShellExecuteA", reinterpret_cast<void *>(shell_execute_stand_in));
    faults_left = 2;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        host().clear_logs();
        auto result = call({"MOM_shell_exec", "C:\\posts\\viewer.exe", "-open out.ptp"});
        EXPECT_EQ(result.code, 0);
        EXPECT_EQ(result.result, "");
        EXPECT_EQ(host().syslog(), Lines{" ShellExecute execute with error \n"});
    }
    EXPECT_EQ(faults_left, 0);
    EXPECT_TRUE(stand_in_calls.empty());

    host().clear_logs();
    EXPECT_EQ(call({"MOM_shell_exec", "C:\\posts\\viewer.exe", "-open out.ptp"}).code, 0);
    EXPECT_TRUE(host().syslog().empty());
    EXPECT_EQ(stand_in_calls, Lines{"(default)|C:\\posts\\viewer.exe|-open out.ptp|(none)|5"});
#endif
}

// A stack overflow uses up the stack's guard page: unless the guard puts a
// new one in place, the second overflow ends the program.
TEST_P(Guards, ShellExecSurvivesStackOverflowsInTheShell) {
    REQUIRE_SEH_GUARDS();
#if SEH_GUARDS
    // Wine commits a thread's whole stack at once, its guard page right
    // above the last page, and handling an overflow takes more than the 8 KB
    // it keeps for that (12 KB here): the thread gets Windows' layout, the
    // guard page at the current frame (moving down as the stack grows), and
    // 16 KB for handling an overflow.
    ULONG guaranteed = 16 * 1024;
    ASSERT_TRUE(SetThreadStackGuarantee(&guaranteed));
    ASSERT_NE(_resetstkoflw(), 0);
    ImportPatch patch("SHELL32.dll", "ShellExecuteA", reinterpret_cast<void *>(shell_execute_stand_in));
    fault = stack_overflow;
    faults_left = 2;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        host().clear_logs();
        EXPECT_EQ(call({"MOM_shell_exec", "C:\\posts\\viewer.exe"}).code, 0);
        EXPECT_EQ(host().syslog(), Lines{" ShellExecute execute with error \n"});
    }
    host().clear_logs();
    call({"MOM_shell_exec", "C:\\posts\\viewer.exe"});
    EXPECT_TRUE(host().syslog().empty());
    EXPECT_EQ(stand_in_calls, Lines{"(default)|C:\\posts\\viewer.exe|(none)|(none)|5"});
#endif
}

TEST_P(Guards, AboutBoxFallsBackToTheHostsBoxAfterAccessViolations) {
    REQUIRE_SEH_GUARDS();
#if SEH_GUARDS
    ImportPatch patch("SHELL32.dll", "ShellAboutA", reinterpret_cast<void *>(shell_about_stand_in));
    faults_left = 2;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        host().clear_logs();
        host().dialogs().clear_records();
        EXPECT_EQ(call({"MOM_about_stub"}).code, 0);
        EXPECT_EQ(host().syslog(), Lines{" ShellAbout error process \n"});
        ASSERT_EQ(host().dialogs().records().size(), 1u);
        EXPECT_EQ(host().dialogs().last().call, "uc1601");
        const auto &box = host().dialogs().last().as<emuhost::OkMessage>();
        EXPECT_EQ(box.text.rfind("tarvex: ", 0), 0u) << box.text;
        EXPECT_EQ(box.flag, 1);
    }
    EXPECT_TRUE(stand_in_calls.empty());

    host().clear_logs();
    host().dialogs().clear_records();
    call({"MOM_about_stub"});
    EXPECT_TRUE(host().syslog().empty());
    EXPECT_TRUE(host().dialogs().records().empty());
    ASSERT_EQ(stand_in_calls.size(), 1u);
    EXPECT_EQ(stand_in_calls[0].rfind("Quentor for UniGraphics|tarvex: ", 0), 0u) << stand_in_calls[0];
#endif
}

TEST_P(Guards, IniLookupAnswersWhatWasWrittenBeforeAnAccessViolation) {
    REQUIRE_SEH_GUARDS();
#if SEH_GUARDS
    Scratch scratch;
    std::string path = scratch.write("shop.ini", "[Machine]\nname=DMU50\n");
    ImportPatch patch("KERNEL32.dll", "GetPrivateProfileStringA", reinterpret_cast<void *>(profile_string_stand_in));
    real_profile_string = patch.original();
    faults_left = 2;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        host().clear_logs();
        auto result = call({"MOM_get_ini_string", path, "Machine", "name"});
        EXPECT_EQ(result.code, 0);
        EXPECT_EQ(result.result, "partial");
        EXPECT_EQ(host().syslog(), Lines{"GetPrivateProfileString - Can't open and read *.ini file!\n"});
    }
    host().clear_logs();
    EXPECT_EQ(call({"MOM_get_ini_string", path, "Machine", "name"}).result, "DMU50");
    EXPECT_TRUE(host().syslog().empty());
    EXPECT_EQ(stand_in_calls, Lines{path});
#endif
}

TEST_P(Guards, StampEndsQuietlyWhenTheHostsVariableReadFaults) {
    REQUIRE_SEH_GUARDS();
#if SEH_GUARDS
    host().set_variable("group_name", "P1");
    host().set_variable("operation_name", "OP1");
    host().set_variable("output_file_basename", "PART");
    host().set_variable("output_file_suffix", "ptp");
    host().set_variable("machine_time", "12.50");
    host().set_variable("machine_name", "DMU50");
    host().crash_in_call("UF_MOM_ask_string");
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        host().clear_calls();
        auto result = tarvex_test::capture([&] {
            EXPECT_EQ(call({"MOM_set_attribute_program"}).code, 0);
        });
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(host().count_calls("UF_MOM_ask_string"), 1u);
        EXPECT_EQ(host().count_calls("UF_UI_ONT_ask_selected_nodes"), 0u);
        EXPECT_EQ(host().count_calls("UF_ATTR_assign"), 0u);
        EXPECT_TRUE(host().syslog().empty());
    }
    EXPECT_FALSE(part().attribute(21, "OPU_FILE_UP_NAME"));

    host().clear_faults();
    call({"MOM_set_attribute_program"});
    EXPECT_EQ(text_of(21, "OPU_FILE_UP_NAME"), "PART.ptp");
    EXPECT_EQ(text_of(21, "OPU_FILE_UP_MACHINE"), "DMU50");
#endif
}

// The 32-bit plug-in makes the guarded calls without a guard: an exception
// raised inside each (the host's, or the stand-in's of the Windows call)
// leaves the command for the host to handle, and nothing is logged.
TEST_P(Guards, ThirtyTwoBitPluginLeavesEveryExceptionToTheHost) {
#if !UNGUARDED
    GTEST_SKIP() << "only the 32-bit plug-in has no guards, and only its Linux build runs here";
#else
    Scratch scratch;
    const std::string ini = scratch.write("shop.ini", "[Machine]\nname=DMU50\n");
    std::unique_ptr<JumpPatch> profile_patch;
    struct Raise {
        std::string call;
        std::vector<std::string> words;
        std::function<void()> arm;
    };
    const Raise raises[] = {
        {"ShellAboutA", {"MOM_about_stub"}, [&] { host().throw_in_call("ShellAboutA"); }},
        {"UF_MOM_ask_string", {"MOM_set_attribute_program"}, [&] { host().throw_in_call("UF_MOM_ask_string"); }},
        {"GetPrivateProfileStringA", {"MOM_get_ini_string", ini, "Machine", "name"},
         [&] {
             profile_patch = std::make_unique<JumpPatch>(plugin_function("GetPrivateProfileStringA"),
                                                         reinterpret_cast<void *>(profile_string_raising));
         }},
        {"ShellExecuteA", {"MOM_shell_exec", "C:\\posts\\viewer.exe"},
         [&] {
             host().windows().set_process_hook([](const emuhost::ProcessStart &) -> emuhost::ProcessOutcome {
                 throw emuhost::InjectedFault("ShellExecuteA");
             });
         }},
    };
    for (const Raise &raise : raises) {
        SCOPED_TRACE(raise.call);
        host().clear_logs();
        raise.arm();
        try {
            call(raise.words);
            ADD_FAILURE() << "the command caught the exception";
        } catch (const emuhost::InjectedFault &fault) {
            EXPECT_EQ(fault.what(), "injected fault in " + raise.call);
        }
        EXPECT_TRUE(host().syslog().empty());
        host().clear_faults();
        host().windows().set_process_hook(nullptr);
        profile_patch.reset();
    }
    EXPECT_EQ(call({"MOM_get_ini_string", ini, "Machine", "name"}).result, "DMU50");
#endif
}

// Run only by seh_unguarded_fault, which checks from outside that the
// program ended in the fault: the message box's host call is not guarded.
TEST_P(Guards, DISABLED_AccessViolationOutsideTheGuardsEndsTheProgram) {
    host().crash_in_call("uc1601");
    std::printf("tarvex: faulting outside the guards\n");
    std::fflush(stdout);
    call({"MOM_box_message", "never shown"});
    std::printf("tarvex: the fault did not end the program\n");
    std::fflush(stdout);
}

TARVEX_ALL_TRANSLATORS(Guards);

}  // namespace
