//   momsim --strict [options] script.tcl
//   momsim --quiet [options] script.tcl
//
// The account of a run: what its dialogs were given, what it stamped,
// which files and processes it touched, what failed; printed as the summary
// at the end, and the list of causes that fail a --strict run.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <tcl.h>

#include "commands.h"
#include "emuhost/dialogs.h"
#include "emuhost/part.h"
#include "places.h"

namespace momsim {

class Account {
public:
    Account() = default;
    Account(const Account &) = delete;
    Account &operator=(const Account &) = delete;

    // A dialog as shown: counted by how it was answered.
    void dialog(const emuhost::DialogRecord &record);
    // A scripted answer that did not fit (the message names FILE:LINE).
    void misfit(const std::string &message);
    int misfits() const { return misfits_; }
    // Anything else that fails a --strict run.
    void cause(const std::string &message) { causes_.push_back(message); }
    void unused_answer(const std::string &message);
    void grip_started() { ++grip_started_; }
    // A GRIP stand-in that was missing or failed: counted, and like a
    // process stand-in that was, a cause and named again at the end.
    void grip_failed(const std::string &message);
    void process_stand_in_failed(const std::string &message);
    // The first line of each stand-in's message, in order.
    const std::vector<std::string> &failed_stand_ins() const { return failed_stand_ins_; }
    // A line of the host's system log, to tell whether a process started.
    void syslog(const std::string &text);
    // The run failed or was ended: "the script failed", "SIGINT".
    void failure(const std::string &what) { failures_.push_back(what); }

    // Watches the plug-in commands defined in `interp` now (after a load):
    // their word counts, the files and processes they touch, what
    // MOM_set_attribute_program stamped. Calling it again adds only the
    // commands not watched yet.
    void watch_commands(Tcl_Interp *interp);

    // The plug-in command running now and where the script called it; empty
    // outside one. Taken when the command was entered, as asking the
    // interpreter in the middle of a command could disturb its result.
    CallSite current_site() const;

    // The summary: several lines, each ended.
    std::string summary(const emuhost::PartModel &part) const;
    // Why a --strict run fails; empty when it does not.
    const std::vector<std::string> &strict_causes() const { return causes_; }

private:
    static int noted(ClientData data, Tcl_Interp *interp, int objc, Tcl_Obj *const objv[]);
    void enter(Tcl_Interp *interp, Tcl_Obj *call);
    void leave(Tcl_Interp *interp, Tcl_Obj *call);
    void stand_in_failed(const std::string &message);

    struct Pending {
        const PluginCommand *command = nullptr;
        std::string path;       // the file a file command names
        bool existed = false;
        long long size = 0;
        std::size_t assignments = 0;
        CallSite site;
        bool process_failed = false;
    };
    std::vector<Pending> pending_;  // enter and leave nest with the calls
    std::map<std::string, int> given_;  // "scripted", "prompted", "clicked", "defaulted"
    int misfits_ = 0;
    int unused_ = 0;
    int grip_started_ = 0;
    int grip_failed_ = 0;
    int files_created_ = 0, files_emptied_ = 0, files_deleted_ = 0;
    int processes_started_ = 0, processes_failed_ = 0;
    std::vector<std::string> failed_stand_ins_;
    std::vector<std::string> failures_;
    std::vector<std::string> causes_;
    bool command_made_ = false;
};

}  // namespace momsim
