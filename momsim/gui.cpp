#include "gui.h"

#include <cstdio>
#include <cstdlib>
#include <type_traits>

#include "gui_script.h"
#include "openapi.h"
#include "shown.h"
#include "tcl_text.h"
#include "usage_error.h"

namespace momsim {
namespace {

using emuhost::AboutBox;
using emuhost::DialogRecord;
using emuhost::FileBox;
using emuhost::InfoWindow;
using emuhost::MessageDialog;
using emuhost::OkMessage;
using emuhost::RealInput;
using emuhost::StringInput;

Tcl_Obj *list_obj(const std::vector<std::string> &texts) {
    Tcl_Obj *list = Tcl_NewListObj(0, nullptr);
    for (const auto &text : texts) Tcl_ListObjAppendElement(nullptr, list, text_obj(text));
    return list;
}

// The words of a window's result, as Tcl reads the list.
std::vector<std::string> words_of(Tcl_Interp *interp, const std::string &result) {
    std::vector<std::string> words;
    Tcl_Obj *list = Tcl_NewStringObj(result.data(), static_cast<int>(result.size()));
    Tcl_IncrRefCount(list);
    int count = 0;
    Tcl_Obj **elements = nullptr;
    if (Tcl_ListObjGetElements(interp, list, &count, &elements) == TCL_OK)
        for (int i = 0; i < count; ++i) words.push_back(to_native(elements[i]));
    Tcl_DecrRefCount(list);
    return words;
}

// What a file name or text answered from a window must be to be taken
// whole: it is stored in a field of `field_size` bytes and read back as
// one line, so a longer one is refused rather than cut.
std::string field_problem(const std::string &text, std::size_t field_size, const char *what) {
    if (text.find_first_of("\r\n") != std::string::npos) return std::string("the ") + what + " cannot hold a line break";
    if (text.size() >= field_size)
        return std::string("the ") + what + " is " + std::to_string(text.size()) + " bytes long; at most " +
               std::to_string(field_size - 1) + " fit";
    return "";
}

}  // namespace

Gui::Gui(const std::string &log_path) {
    const char *display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0')
        throw UsageError("--gui needs an X display to show its windows, and DISPLAY is not set");
    interp_ = Tcl_CreateInterp();
    if (Tcl_Init(interp_) != TCL_OK || Tcl_Eval(interp_, "package require Tk 8.6") != TCL_OK) {
        std::string reason = Tcl_GetStringResult(interp_);
        Tcl_DeleteInterp(interp_);
        interp_ = nullptr;
        throw UsageError(std::string("--gui cannot show windows on display \"") + display + "\": " + reason);
    }
    if (Tcl_Eval(interp_, kGuiScript) != TCL_OK) {
        std::string reason = Tcl_GetStringResult(interp_);
        Tcl_DeleteInterp(interp_);
        interp_ = nullptr;
        throw std::runtime_error("momsim's window script failed: " + reason);
    }
    if (!call("init", {Tcl_NewStringObj(log_path.c_str(), -1)})) {
        Tcl_DeleteInterp(interp_);
        interp_ = nullptr;
        throw UsageError("--gui: the windows cannot start (MOMSIM_GUI_LOG=" + log_path + ")");
    }
}

Gui::~Gui() {
    if (interp_ != nullptr) Tcl_DeleteInterp(interp_);
}

std::optional<std::string> Gui::call(const std::string &procedure, const std::vector<Tcl_Obj *> &words) {
    Tcl_Obj *command = Tcl_NewListObj(0, nullptr);
    Tcl_IncrRefCount(command);
    Tcl_ListObjAppendElement(nullptr, command, Tcl_NewStringObj(("gui::" + procedure).c_str(), -1));
    for (Tcl_Obj *word : words) Tcl_ListObjAppendElement(nullptr, command, word);
    int code = Tcl_EvalObjEx(interp_, command, TCL_EVAL_GLOBAL);
    Tcl_DecrRefCount(command);
    if (code != TCL_OK) {
        const char *info = Tcl_GetVar(interp_, "errorInfo", TCL_GLOBAL_ONLY);
        std::fprintf(stderr, "momsim: the window failed (gui::%s): %s\n", procedure.c_str(),
                     info ? info : Tcl_GetStringResult(interp_));
        Tcl_ResetResult(interp_);
        ++failures_;
        return std::nullopt;
    }
    return std::string(Tcl_GetStringResult(interp_));
}

std::optional<std::string> Gui::ask(const DialogRecord &record, const std::string &problem_in) {
    std::string problem = problem_in;
    for (;;) {
        std::optional<std::string> result;
        if (record.is<MessageDialog>()) {
            const auto &dialog = record.as<MessageDialog>();
            std::vector<std::string> labels;
            for (const auto &button : dialog.buttons)
                if (button.shown) labels.push_back(button.label.value_or(std::to_string(button.response)));
            result = call("message_dialog", {text_obj(dialog.title), Tcl_NewIntObj(dialog.type), list_obj(dialog.lines),
                                      list_obj(labels), text_obj(problem)});
        } else if (record.is<FileBox>()) {
            const auto &dialog = record.as<FileBox>();
            result = call("filebox", {text_obj(dialog.title), text_obj(dialog.prompt), text_obj(dialog.filter),
                                      text_obj(dialog.default_name), text_obj(problem)});
        } else if (record.is<StringInput>()) {
            const auto &dialog = record.as<StringInput>();
            result = call("string_input", {text_obj(dialog.cue), text_obj(dialog.default_text), text_obj(problem)});
        } else if (record.is<RealInput>()) {
            const auto &dialog = record.as<RealInput>();
            std::vector<std::string> values;
            for (double value : dialog.values) values.push_back(number_text(value));
            result = call("value_form", {text_obj(dialog.title), list_obj(dialog.labels), list_obj(values),
                                     text_obj(problem)});
        }
        if (!result) return std::nullopt;
        problem.clear();
        if (auto line = answer_line(record, *result, problem)) return line;
    }
}

std::optional<std::string> Gui::answer_line(const DialogRecord &record, const std::string &result,
                                            std::string &problem) {
    auto words = words_of(interp_, result);
    std::string first = words.empty() ? "" : words[0];
    // Closing the window is Cancel, or Escape on a message dialog.
    if (record.is<MessageDialog>()) {
        const auto &dialog = record.as<MessageDialog>();
        std::vector<std::size_t> shown;
        for (std::size_t i = 0; i < dialog.buttons.size(); ++i)
            if (dialog.buttons[i].shown) shown.push_back(i);
        std::size_t pick = shown.back();
        if (first != "closed") {
            std::size_t index = static_cast<std::size_t>(std::strtoul(first.c_str(), nullptr, 10));
            if (index < shown.size()) pick = shown[index];
        }
        // The answer names the pressed button by its label when that label
        // finds it first, else by its response value; two buttons alike in
        // both give the same answer either way.
        const auto &pressed = dialog.buttons[pick];
        auto first_with = [&](auto same) {
            for (std::size_t i : shown)
                if (same(dialog.buttons[i])) return i;
            return pick;
        };
        if (pressed.label && first_with([&](const emuhost::DialogButton &b) { return b.label == pressed.label; }) == pick &&
            pressed.label->find_first_of(" \t\r\n") == std::string::npos)
            return *pressed.label;
        if (first_with([&](const emuhost::DialogButton &b) { return b.response == pressed.response; }) == pick ||
            !pressed.label)
            return std::to_string(pressed.response);
        return *pressed.label;
    }
    if (first == "closed" || words.empty()) return std::string("2");
    if (first != "3") return first;
    std::string rest = words.size() > 1 ? words[1] : "";
    if (record.is<FileBox>()) {
        if (rest.empty()) problem = "no file name given";
        else problem = field_problem(rest, FILEBOX_NAME_SIZE, "file name");
        if (!problem.empty()) return std::nullopt;
        return "3 " + rest;
    }
    if (record.is<StringInput>()) {
        const auto &dialog = record.as<StringInput>();
        if (rest == dialog.default_text) return std::string("3");
        problem = field_problem(rest, UC1600_ANSWER_SIZE, "text");
        if (!problem.empty()) return std::nullopt;
        return "5 " + rest;
    }
    std::string line = "3";
    for (std::size_t i = 1; i < words.size(); ++i) line += " " + words[i];
    return line;
}

void Gui::show(const DialogRecord &record) {
    std::visit(
        [&](const auto &dialog) {
            using T = std::decay_t<decltype(dialog)>;
            if constexpr (std::is_same_v<T, OkMessage>)
                call("ok_box", {Tcl_NewStringObj("Message", -1), text_obj(dialog.text)});
            else if constexpr (std::is_same_v<T, InfoWindow>)
                call("info_window", {text_obj(dialog.title), text_obj(dialog.text), Tcl_NewIntObj(dialog.position)});
            else if constexpr (std::is_same_v<T, AboutBox>)
                call("about_box", {text_obj(dialog.application), text_obj(dialog.other)});
        },
        record.details);
}

void Gui::status(const std::string &text) { call("status_line", {text_obj(text)}); }

}  // namespace momsim
