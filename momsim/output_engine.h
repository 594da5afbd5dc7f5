//   momsim --post [--def FILE] [--env NAME=VALUE] post.tcl
//
// The host's output engine: the definition file's formats, addresses and
// block templates at work. MOM_do_template builds a block from a template,
// each member's expression evaluated at the post's global level, formatted
// by its address and left out while its address is modal and unchanged;
// every line written (templates, MOM_output_literal, MOM_output_text)
// passes the post's MOM_before_output and goes to every output file open,
// the NC output first, with the line leader and the sequence number in
// front where they are on. docs/definition-file.md describes it all.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include <tcl.h>

#include "definition.h"
#include "host_commands.h"
#include "run_files.h"

namespace momsim {

class OutputEngine {
public:
    using Report = std::function<void(const std::string &)>;

    // `complain` reports a problem on standard error; `cause` notes one that
    // fails a --strict run.
    OutputEngine(Tcl_Interp *interp, HostCommands &commands, RunFiles &files, Report complain, Report cause);
    ~OutputEngine();
    OutputEngine(const OutputEngine &) = delete;
    OutputEngine &operator=(const OutputEngine &) = delete;

    // Defines the host's output commands (replacing MOM_output_literal and
    // MOM_output_text as they were) and the other host commands of the
    // table in host_words.cpp.
    void install();

    // Before the script runs: the --env variables into the environment,
    // and the definition file at `definition` (a path as the post writes
    // it), when there is one. Throws UsageError for a file that cannot be
    // read or is no definition file: the run then writes nothing.
    void start(const std::vector<std::pair<std::string, std::string>> &environment,
               const std::optional<std::string> &definition);

    // Reads a definition file (a path as the post writes it) on top of what
    // was read before. Throws DefinitionError; nothing changes then.
    void load(const std::string &path);

    // The summary's lines about the engine (host commands momsim only
    // accepted), each ended; empty when there is nothing to say.
    std::string summary() const;

    // --- used by the Tcl commands (engine_commands.cpp) --------------------
    Tcl_Interp *interp() const { return interp_; }
    int do_template(const std::string &name, bool create);
    // MOM_output_literal (numbered: leader, sequence number, END_OF_LINE)
    // and MOM_output_text (as it is).
    int output(Tcl_Obj *text, bool numbered);
    // MOM_force, MOM_suppress, MOM_enable_address and MOM_disable_address,
    // MOM_incremental: sets each address named in words[first..]. Answers
    // TCL_ERROR, with the message in the interpreter, for a word that names
    // no address.
    enum class Setting { Force, Suppress, Enable, Disable, IncrementalOn, IncrementalOff };
    int set_addresses(const char *command, Setting setting, Modality mode, int objc, Tcl_Obj *const objv[]);
    int set_address_format(const std::string &address, const std::string &format);
    int address_value(const std::string &address);
    // MOM_set_seq_on / MOM_set_seq_off: answers the setting before ("on", "off").
    const char *set_sequence(bool on);
    int reset_sequence(int objc, Tcl_Obj *const objv[]);
    void set_line_leader(Modality mode, const std::string &text);
    int open_file(const std::string &path, bool open);
    int remove_file(const std::string &path);
    // A host command that only accepts its words: noted for the summary and
    // --strict, once per place in the post.
    void accepted(const char *command);

private:
    struct Address {
        AddressDef def;
        const NumberFormat *format = nullptr;
        const NumberFormat *zero_format = nullptr;
        Modality force = Modality::Off;
        Modality suppress = Modality::Off;
        bool enabled = true;
        bool incremental = false;
        Tcl_Obj *leader_expression = nullptr;
        std::string last_text;      // the last text written, without leader and trailer
        bool written = false;       // it has written a value
        double base = 0;            // incremental: the last value given
        bool has_base = false;
        std::string last_value;     // what MOM_ask_address_value answers
    };
    struct Member {
        Address *address = nullptr;  // null: a text member
        Tcl_Obj *expression = nullptr;
        std::string text;
        bool optional = false, no_separator = false;
        std::optional<std::string> leader, trailer;
        std::string shown;  // Address[expression], for messages
    };
    struct Template {
        std::string name;
        std::vector<Member> members;
    };

    // Rebuilds the run-time addresses and templates from definition_,
    // keeping the modal state of every address whose definition stayed.
    void compile();
    void release_compiled();
    // Appends the block of `block` to `out`; answers TCL_ERROR with the
    // message set. `written` tells whether any member was.
    int build(Template &block, std::string &out, bool &written);
    // Fails with `problem` set, or (MAX or MIN Abort) with the result set.
    int write_member(Template &block, Member &member, Tcl_Obj *value, std::string &out, bool &written,
                     std::string &problem);
    // The line leader and the sequence number in front of a block, when due.
    int sequence_prefix(std::string &out);
    // Passes the line to MOM_before_output and writes it to every open output.
    int emit(std::string &line);
    int write_line(const std::string &line);
    std::string where();
    int fail(const std::string &message);
    Address *address_named(const std::string &name);
    void warn(const std::string &message);

    Tcl_Interp *interp_;
    HostCommands &commands_;
    RunFiles &files_;
    Report complain_, cause_;
    Definition definition_;
    NumberFormat default_format_;
    std::unordered_map<std::string, std::unique_ptr<Address>> addresses_;
    std::unordered_map<std::string, std::unique_ptr<Template>> templates_;
    // Sequence numbers.
    bool sequence_on_ = false;
    long long next_number_ = 0, increment_ = 1, frequency_ = 1;
    long long blocks_ = 0;  // blocks written since the numbers started
    // The line leader.
    Modality leader_mode_ = Modality::Off;
    std::string leader_text_;
    // Output files: the NC output (until the post closes it) and those the
    // post opened itself.
    struct OutputFile {
        AtomicFile *file = nullptr;
        bool open = true;
    };
    AtomicFile *nc_ = nullptr;
    bool nc_open_ = true;
    std::vector<OutputFile> opened_;
    bool in_handler_ = false;  // MOM_before_output is running
    // The block and the line being built, reused from call to call; a host
    // command called from a member's expression or from MOM_before_output
    // gets buffers of its own.
    struct Buffers {
        std::string block, line;
    };
    std::vector<std::unique_ptr<Buffers>> buffers_;
    std::size_t depth_ = 0;
    Buffers &take_buffers() {
        if (buffers_.size() <= depth_) buffers_.push_back(std::make_unique<Buffers>());
        Buffers &buffers = *buffers_[depth_++];
        buffers.block.clear();
        buffers.line.clear();
        return buffers;
    }
    struct Scratch {
        explicit Scratch(OutputEngine &owner) : engine(owner), buffers(owner.take_buffers()) {}
        ~Scratch() { --engine.depth_; }
        Scratch(const Scratch &) = delete;
        Scratch &operator=(const Scratch &) = delete;
        OutputEngine &engine;
        Buffers &buffers;
        std::string &block = buffers.block;
        std::string &line = buffers.line;
    };
    Tcl_Obj *buffer_name_;     // mom_o_buffer
    Tcl_Obj *seqnum_name_;     // mom_seqnum
    Tcl_Obj *handler_name_;    // MOM_before_output
    // Commands that only accepted their words: how often, and the places
    // already noted for --strict.
    std::map<std::string, int> accepted_;
    std::map<std::string, bool> accepted_at_;
};

}  // namespace momsim
