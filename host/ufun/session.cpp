#include "emuhost/session.h"

#include <algorithm>
#include <cstdlib>

namespace emuhost {
namespace {

const std::map<int, std::string> &default_fail_texts() {
    static const std::map<int, std::string> texts = {
        {kErrNotFound, "The requested object, variable or file was not found"},
        {kErrInvalidArgument, "Invalid argument"},
        {kErrInvalidTag, "Invalid object tag"},
        {kErrNotNumber, "The value is not a real number"},
        {kErrCannotBind, "The command cannot be bound in the translator"},
    };
    return texts;
}

}  // namespace

Session::Session() { reset(TranslatorKind::Table); }
Session::~Session() = default;

void Session::reset(TranslatorKind kind) {
    translator_ = kind == TranslatorKind::Tcl ? make_tcl_translator() : make_table_translator();
    clear_state();
}

void Session::use_translator(std::unique_ptr<Translator> translator) { translator_ = std::move(translator); }

void Session::clear_state() {
    syslog_.clear();
    status_.clear();
    calls_.clear();
    release_errors_.clear();
    faults_.clear();
    for (auto &block : live_) std::free(block.first);
    live_.clear();
    fail_texts_ = default_fail_texts();
    open_count_ = 0;
    syslog_sink_ = nullptr;
    status_sink_ = nullptr;
    dialogs_.reset();
    part_.reset();
    grip_.reset();
    windows_.reset();
}

Translator &Session::translator() { return *translator_; }

// The MOM id is the session itself: handlers hand it back to the
// UF_MOM_ calls, which check it before they touch the translator.
MomId Session::mom_id() { return this; }

// `param` points at the session's parameter block, which leads back to the
// session and so to the translator's record and the MOM id.
void *Session::ufusr_param() { return &param_block_; }

bool Session::is_mom(MomId mom) const { return mom == this; }

bool Session::is_param(void *param) const {
    return param == &param_block_;
}

void Session::set_variable(const std::string &name, const std::string &value) {
    translator_->set("mom_" + name, value);
}

void Session::set_array_element(const std::string &name, int index, const std::string &value) {
    translator_->set_element("mom_" + name, std::to_string(index), value);
}

void Session::unset_variable(const std::string &name) { translator_->unset("mom_" + name); }

std::optional<std::string> Session::variable(const std::string &name) {
    const char *value = translator_->get("mom_" + name);
    if (!value) return std::nullopt;
    return std::string(value);
}

void Session::clear_logs() {
    syslog_.clear();
    status_.clear();
}

void Session::write_syslog(const std::string &text) {
    syslog_.push_back(text);
    if (syslog_sink_) syslog_sink_(text);
}

void Session::write_status(const std::string &text) {
    status_.push_back(text);
    if (status_sink_) status_sink_(text);
}

void Session::set_fail_text(int code, const std::string &text) { fail_texts_[code] = text; }
void Session::remove_fail_text(int code) { fail_texts_.erase(code); }

std::optional<std::string> Session::fail_text(int code) const {
    auto found = fail_texts_.find(code);
    if (found == fail_texts_.end()) return std::nullopt;
    return found->second;
}

void Session::fail_call(const std::string &call, int code, bool once) {
    faults_[call] = Fault{code, once, false};
}

void Session::throw_in_call(const std::string &call, bool once) {
    faults_[call] = Fault{0, once, true};
}

void Session::crash_in_call(const std::string &call, bool once) {
    Fault fault;
    fault.once = once;
    fault.crash = true;
    faults_[call] = fault;
}

void Session::clear_faults() { faults_.clear(); }

std::size_t Session::count_calls(const std::string &call) const {
    return static_cast<std::size_t>(std::count(calls_.begin(), calls_.end(), call));
}

std::optional<int> Session::enter(const char *call) {
    calls_.emplace_back(call);
    if (faults_.empty()) return std::nullopt;
    auto found = faults_.find(call);
    if (found == faults_.end()) return std::nullopt;
    Fault fault = found->second;
    if (fault.once) faults_.erase(found);
    if (fault.raise) throw InjectedFault(call);
    if (fault.crash) {
        // The session is consistent here: the call is recorded and a
        // one-time fault already taken back.
        // (The pointer itself is volatile, so the compiler cannot see that
        // it is null and put a trap of its own in place of the write.)
        volatile int *volatile nowhere = nullptr;
        *nowhere = 0;
    }
    return fault.code;
}

void *Session::allocate(std::size_t bytes) {
    void *block = std::malloc(bytes ? bytes : 1);
    if (!block) throw std::bad_alloc();
    live_[block] = bytes;
    return block;
}

void Session::release(void *data) {
    if (!data) return;
    auto found = live_.find(data);
    if (found == live_.end()) {
        release_errors_.push_back("UF_free of memory the host did not hand out or already took back");
        return;
    }
    std::free(found->first);
    live_.erase(found);
}

Session &session() {
    static Session the_session;
    return the_session;
}

}  // namespace emuhost
