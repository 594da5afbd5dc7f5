#include "output_engine.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "emuhost/session.h"
#include "host_words.h"
#include "places.h"
#include "usage_error.h"

namespace momsim {
namespace {

Tcl_Obj *kept(const std::string &text) {
    Tcl_Obj *made = Tcl_NewStringObj(text.data(), static_cast<int>(text.size()));
    Tcl_IncrRefCount(made);
    return made;
}

std::string number_text(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

// A line as the NC file holds it: in the system encoding. Plain ASCII, the
// usual case, is taken as it is.
void to_system(std::string &line) {
    bool plain = true;
    for (char c : line) plain = plain && static_cast<unsigned char>(c) < 0x80;
    if (plain) return;
    Tcl_DString converted;
    Tcl_UtfToExternalDString(nullptr, line.data(), static_cast<int>(line.size()), &converted);
    line.assign(Tcl_DStringValue(&converted), static_cast<std::size_t>(Tcl_DStringLength(&converted)));
    Tcl_DStringFree(&converted);
}

// An expression as the command `::expr EXPRESSION`, its words kept in a
// list for the run: the host evaluates a template's expressions at the
// post's global level, whatever procedure called, and Tcl_EvalObjv runs a
// command there with TCL_EVAL_GLOBAL. Nothing is parsed again: `expr`
// compiles the expression on its first use and keeps it with its word.
Tcl_Obj *expression_call(const std::string &expression) {
    Tcl_Obj *words[] = {Tcl_NewStringObj("::expr", -1),
                        Tcl_NewStringObj(expression.data(), static_cast<int>(expression.size()))};
    Tcl_Obj *call = Tcl_NewListObj(2, words);
    Tcl_IncrRefCount(call);
    return call;
}

// The value of a kept expression call, held for the caller; nullptr with the
// interpreter's result saying why it failed. The caller's frame is back in
// place either way. A failure keeps only its message: the host command
// reports it, from where the post called, as its own error.
Tcl_Obj *global_value(Tcl_Interp *interp, Tcl_Obj *call) {
    int count = 0;
    Tcl_Obj **words = nullptr;
    Tcl_ListObjGetElements(nullptr, call, &count, &words);
    if (Tcl_EvalObjv(interp, count, words, TCL_EVAL_GLOBAL) != TCL_OK) {
        Tcl_Obj *why = Tcl_GetObjResult(interp);
        Tcl_IncrRefCount(why);
        Tcl_ResetResult(interp);
        Tcl_SetObjResult(interp, why);
        Tcl_DecrRefCount(why);
        return nullptr;
    }
    Tcl_Obj *value = Tcl_GetObjResult(interp);
    Tcl_IncrRefCount(value);
    return value;
}

}  // namespace

OutputEngine::OutputEngine(Tcl_Interp *interp, HostCommands &commands, RunFiles &files, Report complain,
                           Report cause)
    : interp_(interp), commands_(commands), files_(files), complain_(std::move(complain)), cause_(std::move(cause)),
      // An address without FORMAT writes its value as the host's default does.
      default_format_(NumberFormat::parse("%6.3d")) {
    buffer_name_ = kept("mom_o_buffer");
    seqnum_name_ = kept("mom_seqnum");
    handler_name_ = kept("MOM_before_output");
}

OutputEngine::~OutputEngine() {
    release_compiled();
    Tcl_DecrRefCount(buffer_name_);
    Tcl_DecrRefCount(seqnum_name_);
    Tcl_DecrRefCount(handler_name_);
}

void OutputEngine::install() {
    for (const HostWord &word : host_words())
        if (word.kind == WordKind::Command) Tcl_CreateObjCommand(interp_, word.name, word.command, this, nullptr);
}

void OutputEngine::start(const std::vector<std::pair<std::string, std::string>> &environment,
                         const std::optional<std::string> &definition) {
    for (const auto &[name, value] : environment) {
        if (Tcl_SetVar2(interp_, "env", name.c_str(), value.c_str(), TCL_GLOBAL_ONLY | TCL_LEAVE_ERR_MSG) == nullptr)
            throw UsageError("--env " + name + "=" + value + ": " + Tcl_GetStringResult(interp_));
    }
    if (!definition) return;
    try {
        load(*definition);
    } catch (const DefinitionError &error) {
        throw UsageError(error.what());
    }
    // An output that is the definition file is refused before anything runs.
    files_.check();
}

void OutputEngine::load(const std::string &written) {
    DefinitionContext context;
    context.environment = [this](const std::string &name) -> std::optional<std::string> {
        const char *value = Tcl_GetVar2(interp_, "env", name.c_str(), TCL_GLOBAL_ONLY);
        if (value == nullptr) return std::nullopt;
        return std::string(value);
    };
    context.local_path = [](const std::string &path) {
        auto local = emuhost::session().windows().local_path(path);
        return local ? *local : path;
    };
    Definition read = definition_;
    std::size_t known = read.files.size();
    read_definition(context.local_path(written), context, read);
    // What the run reads is never written over.
    for (std::size_t i = known; i < read.files.size(); ++i) files_.add_input(RunFile::Definition, read.files[i]);
    bool sequence_changed = read.sequence.has_value() &&
                            (!definition_.sequence || definition_.sequence->place.text() != read.sequence->place.text());
    definition_ = std::move(read);
    compile();
    if (sequence_changed) {
        const SequenceDef &sequence = *definition_.sequence;
        sequence_on_ = true;
        next_number_ = sequence.start;
        increment_ = sequence.increment;
        frequency_ = sequence.frequency;
        blocks_ = 0;
    }
}

void OutputEngine::release_compiled() {
    for (auto &entry : addresses_)
        if (entry.second->leader_expression) Tcl_DecrRefCount(entry.second->leader_expression);
    for (auto &entry : templates_)
        for (Member &member : entry.second->members)
            if (member.expression) Tcl_DecrRefCount(member.expression);
    templates_.clear();
}

void OutputEngine::compile() {
    release_compiled();
    std::unordered_map<std::string, std::unique_ptr<Address>> before = std::move(addresses_);
    addresses_.clear();
    for (const auto &[name, def] : definition_.addresses) {
        auto found = before.find(name);
        std::unique_ptr<Address> address;
        // An address read again from the same place keeps its modal state.
        if (found != before.end() && found->second->def.place.text() == def.place.text()) {
            address = std::move(found->second);
        } else {
            address = std::make_unique<Address>();
            address->force = def.force;
            address->incremental = def.incremental;
        }
        address->def = def;
        address->format = def.format.empty() ? &default_format_ : &definition_.formats.at(def.format).format;
        address->zero_format = def.zero_format.empty() ? nullptr : &definition_.formats.at(def.zero_format).format;
        address->leader_expression = def.leader_is_expression ? expression_call(def.leader) : nullptr;
        addresses_[name] = std::move(address);
    }
    for (const auto &[name, def] : definition_.templates) {
        auto block = std::make_unique<Template>();
        block->name = name;
        for (const MemberDef &member_def : def.members) {
            Member member;
            member.text = member_def.text;
            member.optional = member_def.optional;
            member.no_separator = member_def.no_separator;
            member.leader = member_def.leader;
            member.trailer = member_def.trailer;
            if (!member_def.address.empty()) {
                member.address = addresses_.at(member_def.address).get();
                member.expression = expression_call(member_def.expression);
                member.shown = member_def.address + "[" + member_def.expression + "]";
            } else {
                member.shown = "\"" + member_def.text + "\"";
            }
            block->members.push_back(std::move(member));
        }
        templates_[name] = std::move(block);
    }
}

OutputEngine::Address *OutputEngine::address_named(const std::string &name) {
    auto found = addresses_.find(name);
    return found == addresses_.end() ? nullptr : found->second.get();
}

// FILE:LINE of the post's command that called the running host command,
// when it was called from the post's own body (in an event, the report of
// the failed event names the place).
std::string OutputEngine::where() {
    Tcl_InterpState saved = Tcl_SaveInterpState(interp_, TCL_OK);
    int level = 0;
    if (Tcl_EvalEx(interp_, "info level", -1, 0) == TCL_OK) Tcl_GetIntFromObj(nullptr, Tcl_GetObjResult(interp_), &level);
    std::string at = level == 0 ? current_call(interp_).at : "";
    Tcl_RestoreInterpState(interp_, saved);
    return at;
}

int OutputEngine::fail(const std::string &message) {
    std::string at = where();
    std::string text = (at.empty() ? "" : at + ": ") + message;
    Tcl_SetObjResult(interp_, Tcl_NewStringObj(text.data(), static_cast<int>(text.size())));
    Tcl_SetErrorCode(interp_, "MOMSIM", "OUTPUT", nullptr);
    return TCL_ERROR;
}

void OutputEngine::warn(const std::string &message) {
    std::string at = current_call(interp_).at;
    emuhost::session().write_syslog("Warning: " + message + (at.empty() ? "" : " (" + at + ")"));
    cause_((at.empty() ? "" : at + ": ") + message);
}

int OutputEngine::do_template(const std::string &name, bool create) {
    auto found = templates_.find(name);
    if (found == templates_.end()) {
        if (definition_.files.empty())
            return fail("MOM_do_template " + name + ": no definition file is loaded (give --def FILE, put " +
                        "the post's .def file beside it, or load one with MOM_load_definition_file)");
        return fail("MOM_do_template " + name + ": the definition file defines no BLOCK_TEMPLATE " + name);
    }
    Scratch scratch(*this);
    std::string &block = scratch.block;
    bool written = false;
    if (build(*found->second, block, written) != TCL_OK) return TCL_ERROR;
    if (create) {
        // The block's text for the post to use: nothing is written.
        Tcl_SetObjResult(interp_, Tcl_NewStringObj(block.data(), static_cast<int>(block.size())));
        return TCL_OK;
    }
    Tcl_ResetResult(interp_);
    // A block whose every member was left out writes nothing and spends no
    // sequence number.
    if (!written) return TCL_OK;
    std::string &line = scratch.line;
    if (sequence_prefix(line) != TCL_OK) return TCL_ERROR;
    line += block;
    line += definition_.end_of_line;
    return emit(line);
}

int OutputEngine::build(Template &block, std::string &out, bool &written) {
    const std::string &separator = definition_.word_separator;
    bool separate = false;  // the member written last wants a separator after it
    for (Member &member : block.members) {
        std::size_t before = out.size();
        if (separate) out += separator;
        std::size_t body = out.size();
        bool member_written = false;
        if (!member.address) {
            if (member.leader) out += *member.leader;
            out += member.text;
            if (member.trailer) out += *member.trailer;
            member_written = true;
        } else if (member.address->enabled) {
            Tcl_Obj *value = global_value(interp_, member.expression);
            if (!value) {
                if (member.optional) {
                    Tcl_ResetResult(interp_);
                    out.resize(before);
                    continue;
                }
                std::string why = Tcl_GetStringResult(interp_);
                return fail("MOM_do_template " + block.name + ": " + member.shown + ": " + why);
            }
            std::string problem;
            int code = write_member(block, member, value, out, member_written, problem);
            Tcl_DecrRefCount(value);
            if (code != TCL_OK) return problem.empty() ? code : fail(problem);
        }
        if (!member_written || out.size() == body) {
            out.resize(before);
            continue;
        }
        written = true;
        separate = !member.no_separator;
    }
    return TCL_OK;
}

int OutputEngine::write_member(Template &block, Member &member, Tcl_Obj *value, std::string &out,
                               bool &member_written, std::string &problem) {
    Address &address = *member.address;
    int length = 0;
    const char *text = Tcl_GetStringFromObj(value, &length);
    // An empty value leaves the member out.
    if (length == 0) return TCL_OK;
    std::string formatted;
    std::string value_text;
    bool step = true;  // incremental: the value moved
    if (address.format->numeric()) {
        double number = 0;
        if (Tcl_GetDoubleFromObj(nullptr, value, &number) != TCL_OK) {
            problem = "MOM_do_template " + block.name + ": " + member.shown + ": \"" + std::string(text, length) +
                      "\" is no number, and address " + address.def.name + " writes numbers (FORMAT " +
                      (address.def.format.empty() ? "%6.3d" : address.def.format) + ")";
            return TCL_ERROR;
        }
        if (address.incremental) {
            double given = number;
            number = address.has_base ? number - address.base : number;
            address.base = given;
            address.has_base = true;
            step = number != 0;
        }
        const Limit *broken = number > address.def.max.value ? &address.def.max
                              : number < address.def.min.value ? &address.def.min : nullptr;
        if (broken) {
            std::string what = "MOM_do_template " + block.name + ": address " + address.def.name + ": " +
                               number_text(number) + " is " + (broken == &address.def.max ? "above MAX " : "below MIN ") +
                               number_text(broken->value);
            if (broken->action == LimitAction::Abort) {
                std::string message = what + ": posting aborted";
                Tcl_Obj *reason = Tcl_NewStringObj(message.data(), static_cast<int>(message.size()));
                Tcl_IncrRefCount(reason);
                int code = commands_.abort(interp_, reason);
                Tcl_DecrRefCount(reason);
                return code;
            }
            if (broken->action == LimitAction::Truncate) {
                warn(what + "; " + number_text(broken->value) + " written");
                number = broken->value;
            } else {
                warn(what);
            }
        }
        const NumberFormat &format = number == 0 && address.zero_format ? *address.zero_format : *address.format;
        if (!format.write(number, formatted))
            warn("MOM_do_template " + block.name + ": address " + address.def.name + ": " + formatted +
                 " has more integer digits than FORMAT " + format.pattern() + " allows");
        value_text = number_text(number);
    } else {
        address.format->write_text(std::string_view(text, static_cast<std::size_t>(length)), formatted);
        value_text.assign(text, static_cast<std::size_t>(length));
    }
    // Modality: an unchanged value is left out unless the address is forced;
    // an incremental address writes every move that is no zero step.
    if (address.suppress != Modality::Off) {
        if (address.suppress == Modality::Once) address.suppress = Modality::Off;
        return TCL_OK;
    }
    bool changed = address.incremental ? step : !address.written || formatted != address.last_text;
    if (!changed && address.force == Modality::Off) return TCL_OK;
    if (address.force == Modality::Once) address.force = Modality::Off;
    address.last_text = formatted;
    address.written = true;
    address.last_value = value_text;
    if (member.leader) {
        out += *member.leader;
    } else if (address.leader_expression) {
        Tcl_Obj *leader = global_value(interp_, address.leader_expression);
        if (!leader) {
            problem = "MOM_do_template " + block.name + ": the LEADER of address " + address.def.name + ": " +
                      Tcl_GetStringResult(interp_);
            return TCL_ERROR;
        }
        int size = 0;
        const char *leader_text = Tcl_GetStringFromObj(leader, &size);
        out.append(leader_text, static_cast<std::size_t>(size));
        Tcl_DecrRefCount(leader);
    } else {
        out += address.def.leader;
    }
    out += formatted;
    out += member.trailer ? *member.trailer : address.def.trailer;
    member_written = true;
    return TCL_OK;
}

int OutputEngine::sequence_prefix(std::string &out) {
    if (leader_mode_ != Modality::Off) {
        out += leader_text_;
        if (leader_mode_ == Modality::Once) leader_mode_ = Modality::Off;
    }
    if (!sequence_on_ || !definition_.sequence) return TCL_OK;
    // Every block written counts; each FREQUENCY-th one is numbered.
    bool due = blocks_++ % frequency_ == 0;
    if (!due) return TCL_OK;
    long long number = next_number_;
    next_number_ += increment_;
    if (next_number_ > definition_.sequence->maximum) next_number_ = definition_.sequence->start;
    std::size_t before = out.size();
    auto block = templates_.find(definition_.sequence->name);
    if (block != templates_.end()) {
        // The number is written by its template (N[$mom_seqnum]), always:
        // sequence numbers are never modal.
        Tcl_ObjSetVar2(interp_, seqnum_name_, nullptr, Tcl_NewWideIntObj(number), TCL_GLOBAL_ONLY);
        for (Member &member : block->second->members)
            if (member.address) member.address->force = Modality::Once;
        bool written = false;
        if (build(*block->second, out, written) != TCL_OK) return TCL_ERROR;
    } else if (Address *n = address_named("N")) {
        out += n->def.leader;
        n->format->write(static_cast<double>(number), out);
    } else {
        out += std::to_string(number);
    }
    if (out.size() > before) out += definition_.word_separator;
    return TCL_OK;
}

int OutputEngine::output(Tcl_Obj *text, bool numbered) {
    Scratch scratch(*this);
    std::string &line = scratch.line;
    int length = 0;
    const char *utf = Tcl_GetStringFromObj(text, &length);
    if (numbered) {
        if (sequence_prefix(line) != TCL_OK) return TCL_ERROR;
        line.append(utf, static_cast<std::size_t>(length));
        line += definition_.end_of_line;
    } else {
        line.assign(utf, static_cast<std::size_t>(length));
    }
    Tcl_ResetResult(interp_);
    return emit(line);
}

int OutputEngine::emit(std::string &line) {
    // The post sees (and may change) every line before it is written; a
    // line it writes itself from there goes out as it is.
    if (!in_handler_ && Tcl_FindCommand(interp_, "::MOM_before_output", nullptr, 0) != nullptr) {
        in_handler_ = true;
        Tcl_ObjSetVar2(interp_, buffer_name_, nullptr, Tcl_NewStringObj(line.data(), static_cast<int>(line.size())),
                       TCL_GLOBAL_ONLY);
        int code = Tcl_EvalObjv(interp_, 1, &handler_name_, TCL_EVAL_GLOBAL);
        in_handler_ = false;
        if (code == TCL_ERROR) {
            Tcl_AddErrorInfo(interp_, "\n    (in MOM_before_output)");
            return TCL_ERROR;
        }
        Tcl_Obj *changed = Tcl_ObjGetVar2(interp_, buffer_name_, nullptr, TCL_GLOBAL_ONLY);
        int length = 0;
        const char *text = changed ? Tcl_GetStringFromObj(changed, &length) : "";
        line.assign(text, static_cast<std::size_t>(length));
        Tcl_ResetResult(interp_);
        // A handler that empties the buffer drops the line.
        if (line.empty()) return TCL_OK;
    }
    to_system(line);
    line += '\n';
    return write_line(line);
}

int OutputEngine::write_line(const std::string &line) {
    // After MOM_abort nothing reaches an output, whatever the post does.
    if (commands_.aborted()) return fail("the posting was ended by MOM_abort: nothing more is written");
    if (nc_open_) {
        if (!nc_) nc_ = commands_.nc_output(interp_, "MOM_output_literal");
        if (!nc_) return TCL_ERROR;
        nc_->write(line, false);
    }
    for (OutputFile &file : opened_)
        if (file.open) file.file->write(line, false);
    return TCL_OK;
}

int OutputEngine::set_addresses(const char *command, Setting setting, Modality mode, int objc,
                                Tcl_Obj *const objv[]) {
    for (int i = 0; i < objc; ++i) {
        // Posts often hand a list of addresses as one word.
        int count = 0;
        Tcl_Obj **names = nullptr;
        if (Tcl_ListObjGetElements(interp_, objv[i], &count, &names) != TCL_OK) return TCL_ERROR;
        for (int j = 0; j < count; ++j) {
            std::string name = Tcl_GetString(names[j]);
            Address *address = address_named(name);
            if (!address)
                return fail(std::string(command) + ": the definition file defines no ADDRESS " + name);
            switch (setting) {
            case Setting::Force: address->force = mode; break;
            case Setting::Suppress: address->suppress = mode; break;
            case Setting::Enable: address->enabled = true; break;
            case Setting::Disable: address->enabled = false; break;
            case Setting::IncrementalOn: address->incremental = true; address->has_base = false; break;
            case Setting::IncrementalOff: address->incremental = false; break;
            }
        }
    }
    Tcl_ResetResult(interp_);
    return TCL_OK;
}

int OutputEngine::set_address_format(const std::string &name, const std::string &format) {
    Address *address = address_named(name);
    if (!address) return fail("MOM_set_address_format: the definition file defines no ADDRESS " + name);
    auto found = definition_.formats.find(format);
    if (found == definition_.formats.end())
        return fail("MOM_set_address_format: the definition file defines no FORMAT " + format);
    address->format = &found->second.format;
    Tcl_ResetResult(interp_);
    return TCL_OK;
}

int OutputEngine::address_value(const std::string &name) {
    Address *address = address_named(name);
    if (!address) return fail("MOM_ask_address_value: the definition file defines no ADDRESS " + name);
    Tcl_SetObjResult(interp_, Tcl_NewStringObj(address->last_value.data(), static_cast<int>(address->last_value.size())));
    return TCL_OK;
}

const char *OutputEngine::set_sequence(bool on) {
    const char *before = sequence_on_ ? "on" : "off";
    sequence_on_ = on;
    return before;
}

int OutputEngine::reset_sequence(int objc, Tcl_Obj *const objv[]) {
    if (!definition_.sequence) return fail("MOM_reset_sequence: the definition file has no SEQUENCE");
    long long values[3] = {definition_.sequence->start, increment_, frequency_};
    static const char *const names[] = {"start", "increment", "frequency"};
    for (int i = 0; i < objc; ++i) {
        Tcl_WideInt value = 0;
        if (Tcl_GetWideIntFromObj(nullptr, objv[i], &value) != TCL_OK || value < (i == 0 ? 0 : 1))
            return fail(std::string("MOM_reset_sequence: the ") + names[i] + " \"" + Tcl_GetString(objv[i]) +
                        "\" is no whole number" + (i == 0 ? "" : " of at least 1"));
        values[i] = value;
    }
    next_number_ = values[0];
    increment_ = values[1];
    frequency_ = values[2];
    blocks_ = 0;
    Tcl_ResetResult(interp_);
    return TCL_OK;
}

void OutputEngine::set_line_leader(Modality mode, const std::string &text) {
    leader_mode_ = mode;
    leader_text_ = text;
}

int OutputEngine::open_file(const std::string &written, bool open) {
    const char *command = open ? "MOM_open_output_file" : "MOM_close_output_file";
    auto local = emuhost::session().windows().local_path(written);
    if (!local) return fail(std::string(command) + " " + written + ": names no file on this machine");
    if (!nc_ && nc_open_) nc_ = commands_.nc_output(interp_, command);
    AtomicFile *known = files_.output_at(*local);
    if (known && known == nc_) {
        nc_open_ = open;
        Tcl_ResetResult(interp_);
        return TCL_OK;
    }
    for (OutputFile &file : opened_)
        if (known && file.file == known) {
            // Opened again: written on from where it was.
            file.open = open;
            Tcl_ResetResult(interp_);
            return TCL_OK;
        }
    // Closing a file that is not open changes nothing.
    if (!open) {
        Tcl_ResetResult(interp_);
        return TCL_OK;
    }
    try {
        files_.add_checked(RunFile::PostFile, *local);
        opened_.push_back(OutputFile{&files_.open(RunFile::PostFile, *local), true});
    } catch (const std::exception &error) {
        return fail(std::string(command) + ": " + error.what());
    }
    Tcl_ResetResult(interp_);
    return TCL_OK;
}

int OutputEngine::remove_file(const std::string &written) {
    auto local = emuhost::session().windows().local_path(written);
    if (!local || local->empty()) return fail("MOM_remove_file \"" + written + "\": names no file on this machine");
    std::string input = files_.input_at(*local);
    if (!input.empty())
        return fail("MOM_remove_file " + written + ": it is " + input + " of this run; momsim never removes what it reads");
    // A file the run writes starts again empty; the one on disk is replaced
    // when the run ends, as every output is.
    if (AtomicFile *output = files_.output_at(*local)) {
        output->restart();
    } else if (std::remove(local->c_str()) != 0 && errno != ENOENT) {
        return fail("MOM_remove_file " + written + ": " + std::strerror(errno));
    }
    Tcl_ResetResult(interp_);
    return TCL_OK;
}

void OutputEngine::accepted(const char *command) {
    ++accepted_[command];
    std::string at = current_call(interp_).at;
    std::string key = std::string(command) + "@" + at;
    if (accepted_at_[key]) return;
    accepted_at_[key] = true;
    cause_((at.empty() ? "" : at + ": ") + command + " does nothing in momsim");
}

std::string OutputEngine::summary() const {
    if (accepted_.empty()) return "";
    std::string list;
    for (const auto &[command, count] : accepted_)
        list += (list.empty() ? "" : ", ") + command + " " + std::to_string(count);
    return "summary: host commands accepted without effect: " + list + "\n";
}

}  // namespace momsim
