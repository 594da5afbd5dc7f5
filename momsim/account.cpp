#include "account.h"

#include <sys/stat.h>

#include "emuhost/session.h"
#include "shown.h"

namespace momsim {
namespace {

std::string count_of(int count, const char *one, const char *many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

void Account::dialog(const emuhost::DialogRecord &record) {
    std::string given = answer_source_name(record.source);
    if (!given.empty()) ++given_[given];
}

void Account::misfit(const std::string &message) {
    ++misfits_;
    causes_.push_back(message);
}

void Account::unused_answer(const std::string &message) {
    ++unused_;
    causes_.push_back(message);
}

void Account::grip_failed(const std::string &message) {
    ++grip_failed_;
    stand_in_failed(message);
}

void Account::process_stand_in_failed(const std::string &message) { stand_in_failed(message); }

void Account::stand_in_failed(const std::string &message) {
    std::string first_line = message.substr(0, message.find('\n'));
    causes_.push_back(first_line);
    failed_stand_ins_.push_back(first_line);
}

void Account::syslog(const std::string &text) {
    if (pending_.empty() || !pending_.back().command || pending_.back().command->kind != CommandKind::Process) return;
    if (text.find("CreateProcess don't Start") != std::string::npos ||
        text.find("ShellExecute execute with error") != std::string::npos)
        pending_.back().process_failed = true;
}

void Account::watch_commands(Tcl_Interp *interp) {
    if (!command_made_) {
        Tcl_CreateObjCommand(interp, "::momsim::noted", noted, this, nullptr);
        command_made_ = true;
    }
    for (const PluginCommand &command : plugin_commands()) {
        Tcl_CmdInfo info;
        if (!Tcl_GetCommandInfo(interp, command.name, &info)) continue;
        // Watched already when a second plug-in or a second load comes.
        std::string name = command.name;
        std::string script = "if {[lsearch -exact [trace info execution " + name +
                             "] {{enter leave} ::momsim::noted}] < 0} {trace add execution " + name +
                             " {enter leave} ::momsim::noted}";
        if (Tcl_EvalEx(interp, script.c_str(), -1, TCL_EVAL_GLOBAL) != TCL_OK) Tcl_ResetResult(interp);
    }
}

// ::momsim::noted CALL ?CODE RESULT? OP: the execution trace of a watched
// command, on its way in (OP enter) and out (OP leave).
int Account::noted(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]) {
    auto *account = static_cast<Account *>(data);
    if (objc < 3) return TCL_OK;
    std::string op = Tcl_GetString(objv[objc - 1]);
    // The trace's own work must leave the command's result alone.
    Tcl_InterpState saved = Tcl_SaveInterpState(interp, TCL_OK);
    if (op == "enter") account->enter(interp, objv[1]);
    else if (op == "leave") account->leave(interp, objv[1]);
    Tcl_RestoreInterpState(interp, saved);
    return TCL_OK;
}

void Account::enter(Tcl_Interp *interp, Tcl_Obj *call) {
    int count = 0;
    Tcl_Obj **words = nullptr;
    Pending pending;
    if (Tcl_ListObjGetElements(nullptr, call, &count, &words) != TCL_OK || count == 0) {
        pending_.push_back(pending);
        return;
    }
    std::string name = Tcl_GetString(words[0]);
    pending.command = plugin_command(name);
    std::string short_text = short_call(name, count - 1);
    pending.site = current_call(interp);
    pending.site.command = name;
    const std::string &at = pending.site.at;
    if (!short_text.empty()) causes_.push_back((at.empty() ? "" : at + ": ") + short_text);
    // Only the plug-in's commands are watched: each has its row.
    CommandKind kind = pending.command ? pending.command->kind : CommandKind::Dialog;
    if (kind == CommandKind::Stamp) pending.assignments = emuhost::session().part().assignments();
    if (kind == CommandKind::File && count > 1) {
        // The file on this machine, read through the drives as the plug-in reads it.
        pending.path = emuhost::session().windows().local_path(Tcl_GetString(words[1])).value_or("");
        struct stat info {};
        pending.existed = ::stat(pending.path.c_str(), &info) == 0;
        pending.size = pending.existed ? static_cast<long long>(info.st_size) : 0;
    }
    pending_.push_back(pending);
}

void Account::leave(Tcl_Interp *, Tcl_Obj *) {
    if (pending_.empty()) return;
    Pending pending = pending_.back();
    pending_.pop_back();
    if (!pending.command) return;
    if (pending.command->kind == CommandKind::Stamp && emuhost::session().part().assignments() == pending.assignments)
        causes_.push_back((pending.site.at.empty() ? "" : pending.site.at + ": ") + pending.command->name +
                          " stamped nothing");
    if (!pending.path.empty()) {
        struct stat info {};
        bool exists = ::stat(pending.path.c_str(), &info) == 0;
        if (!pending.existed && exists) ++files_created_;
        else if (pending.existed && !exists) ++files_deleted_;
        else if (pending.existed && exists && pending.size > 0 && info.st_size == 0) ++files_emptied_;
    }
    if (pending.command->kind == CommandKind::Process) {
        if (pending.process_failed) ++processes_failed_;
        else ++processes_started_;
    }
}

CallSite Account::current_site() const {
    for (auto it = pending_.rbegin(); it != pending_.rend(); ++it)
        if (it->command) return it->site;
    return {};
}

std::string Account::summary(const emuhost::PartModel &part) const {
    auto given = [this](const char *how) {
        auto it = given_.find(how);
        return std::to_string(it == given_.end() ? 0 : it->second);
    };
    // Clicked answers come only with --gui, and are named only then.
    std::string clicked = given("clicked") == "0" ? "" : given("clicked") + " clicked, ";
    std::string out = "summary: dialogs " + given("scripted") + " scripted, " + given("prompted") + " prompted, " +
                      clicked + given("defaulted") + " defaulted; answers " + std::to_string(misfits_) + " not fitting, " +
                      std::to_string(unused_) + " left over\n";
    std::string stamped;
    for (const auto &object : part.objects()) {
        auto it = part.assignments_per_object().find(object.tag);
        if (it == part.assignments_per_object().end()) continue;
        if (!stamped.empty()) stamped += ", ";
        stamped += (object.name.empty() ? "tag " + std::to_string(object.tag) : object.name) + " " +
                   std::to_string(it->second);
    }
    out += "summary: attributes stamped: " + (stamped.empty() ? std::string("none") : stamped) + "\n";
    out += "summary: files " + std::to_string(files_created_) + " created, " + std::to_string(files_emptied_) +
           " emptied, " + std::to_string(files_deleted_) + " deleted; " +
           count_of(processes_started_, "process", "processes") + " started, " +
           std::to_string(processes_failed_) + " failed to start; " +
           count_of(grip_started_, "GRIP program", "GRIP programs") + " run, " + std::to_string(grip_failed_) +
           " failed\n";
    std::string failures;
    for (const auto &failure : failures_) failures += (failures.empty() ? "" : "; ") + failure;
    out += "summary: failures: " + (failures.empty() ? std::string("none") : failures) + "\n";
    return out;
}

}  // namespace momsim
