#include "shown.h"

#include <cstdio>
#include <cstdlib>
#include <type_traits>

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

const char *dialog_type_name(int type) {
    static const char *const names[] = {"error", "warning", "information", "question"};
    return type >= 0 && type < 4 ? names[type] : "unknown";
}

std::string first_button_label(const MessageDialog &dialog) {
    for (const auto &button : dialog.buttons)
        if (button.shown) return button.label ? *button.label : std::to_string(button.response);
    return "";
}

// Indents each line of a multi-line text.
std::string indented(const std::string &text) {
    std::string out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        out += "  " + text.substr(start, end - start) + "\n";
        start = end + 1;
    }
    return out;
}

}  // namespace

std::string number_text(double value) {
    // 15 digits read back the same for values typed by hand (0.1 stays 0.1);
    // 17 for the others.
    char text[40];
    std::snprintf(text, sizeof text, "%.15g", value);
    if (std::strtod(text, nullptr) != value) std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

std::string answer_source_name(emuhost::AnswerSource source) {
    switch (source) {
    case emuhost::AnswerSource::Scripted: return "scripted";
    case emuhost::AnswerSource::Prompted: return "prompted";
    case emuhost::AnswerSource::Clicked: return "clicked";
    case emuhost::AnswerSource::Defaulted: return "defaulted";
    case emuhost::AnswerSource::None: break;
    }
    return "";
}

bool takes_answer(const DialogRecord &record) {
    return record.is<MessageDialog>() || record.is<FileBox>() || record.is<StringInput>() ||
           record.is<RealInput>();
}

nlohmann::ordered_json transcript_record(const DialogRecord &record, const std::string &from) {
    nlohmann::ordered_json out{{"call", record.call}};
    std::visit(
        [&](const auto &dialog) {
            using T = std::decay_t<decltype(dialog)>;
            if constexpr (std::is_same_v<T, MessageDialog>) {
                out["title"] = dialog.title;
                out["type"] = dialog.type;
                out["lines"] = dialog.lines;
                out["translate"] = dialog.translate;
                nlohmann::ordered_json buttons = nlohmann::ordered_json::array();
                for (std::size_t i = 0; i < dialog.buttons.size(); ++i) {
                    const auto &button = dialog.buttons[i];
                    if (!button.shown) continue;
                    buttons.push_back({{"button", i + 1},
                                       {"label", button.label ? nlohmann::ordered_json(*button.label) : nlohmann::ordered_json()},
                                       {"response", button.response}});
                }
                out["buttons"] = buttons;
                const auto *pressed = dialog.pressed >= 1 && dialog.pressed <= 3
                                          ? &dialog.buttons[static_cast<std::size_t>(dialog.pressed - 1)]
                                          : nullptr;
                out["answer"] = {{"button", dialog.pressed},
                                 {"label", pressed && pressed->label ? nlohmann::ordered_json(*pressed->label)
                                                                     : nlohmann::ordered_json()},
                                 {"response", dialog.response}};
            } else if constexpr (std::is_same_v<T, OkMessage>) {
                out["text"] = dialog.text;
                out["flag"] = dialog.flag;
            } else if constexpr (std::is_same_v<T, InfoWindow>) {
                out["title"] = dialog.title;
                out["text"] = dialog.text;
                out["position"] = dialog.position;
            } else if constexpr (std::is_same_v<T, FileBox>) {
                out["prompt"] = dialog.prompt;
                out["title"] = dialog.title;
                out["filter"] = dialog.filter;
                out["default_name"] = dialog.default_name;
                out["answer"] = {{"response", dialog.response}, {"filename", dialog.filename}};
            } else if constexpr (std::is_same_v<T, StringInput>) {
                out["cue"] = dialog.cue;
                out["default_text"] = dialog.default_text;
                out["answer"] = {{"response", dialog.response}, {"text", dialog.text}};
            } else if constexpr (std::is_same_v<T, RealInput>) {
                out["title"] = dialog.title;
                out["labels"] = dialog.labels;
                out["values"] = dialog.values;
                out["answer"] = {{"response", dialog.response}, {"values", dialog.answered}};
            } else if constexpr (std::is_same_v<T, AboutBox>) {
                out["application"] = dialog.application;
                out["other"] = dialog.other;
                out["owner_given"] = dialog.owner_given;
                out["icon_given"] = dialog.icon_given;
            }
        },
        record.details);
    if (takes_answer(record)) {
        out["given"] = answer_source_name(record.source);
        if (!record.answer.empty()) out["answer_line"] = record.answer;
        if (!from.empty()) out["from"] = from;
        if (!record.problem.empty()) out["problem"] = record.problem;
    }
    return out;
}

std::string dialog_text(const DialogRecord &record) {
    std::string out = "---- " + record.call;
    std::visit(
        [&](const auto &dialog) {
            using T = std::decay_t<decltype(dialog)>;
            if constexpr (std::is_same_v<T, MessageDialog>) {
                out += " (" + std::string(dialog_type_name(dialog.type)) + "): " + dialog.title + "\n";
                for (const auto &line : dialog.lines) out += "  " + line + "\n";
                out += "  buttons:";
                for (const auto &button : dialog.buttons)
                    if (button.shown)
                        out += " [" + (button.label ? *button.label : std::string("?")) + " = " +
                               std::to_string(button.response) + "]";
                out += "\n";
            } else if constexpr (std::is_same_v<T, FileBox>) {
                out += ": " + dialog.title + "\n  " + dialog.prompt + "\n  filter: " + dialog.filter +
                       "\n  file name: " + dialog.default_name + "\n";
            } else if constexpr (std::is_same_v<T, StringInput>) {
                out += ": " + dialog.cue + "\n  default: " + dialog.default_text + "\n";
            } else if constexpr (std::is_same_v<T, RealInput>) {
                out += ": " + dialog.title + "\n";
                for (std::size_t i = 0; i < dialog.labels.size() && i < dialog.values.size(); ++i)
                    out += "  " + std::to_string(i + 1) + ". " + dialog.labels[i] + " = " +
                           number_text(dialog.values[i]) + "\n";
            } else if constexpr (std::is_same_v<T, OkMessage>) {
                out += "\n" + indented(dialog.text);
            } else if constexpr (std::is_same_v<T, InfoWindow>) {
                out += ": " + dialog.title + "\n" + indented(dialog.text);
            } else if constexpr (std::is_same_v<T, AboutBox>) {
                out += ": " + dialog.application + "\n" + indented(dialog.other);
            }
        },
        record.details);
    return out;
}

std::string answer_request(const DialogRecord &record) {
    if (record.is<MessageDialog>())
        return "answer with a button label or response (empty line: " +
               first_button_label(record.as<MessageDialog>()) + "): ";
    if (record.is<FileBox>())
        return "answer RESPONSE [FILENAME], 1 Back, 2 Cancel, 3 OK (empty line: 3 with the name shown): ";
    if (record.is<StringInput>())
        return "answer with the text itself, or RESPONSE [TEXT], 1 Back, 2 Cancel, 3 OK keeping the "
               "default, 5 OK with TEXT (empty line: 3): ";
    if (record.is<RealInput>())
        return "answer RESPONSE [VALUE ...], 1 Back, 2 Cancel, 3 OK (empty line: 3 with the values shown): ";
    return "";
}

std::string dialog_gist(const DialogRecord &record) {
    std::string out;
    auto add = [&out](const std::string &text) {
        if (text.empty()) return;
        if (!out.empty()) out += " / ";
        out += text;
    };
    std::visit(
        [&](const auto &dialog) {
            using T = std::decay_t<decltype(dialog)>;
            if constexpr (std::is_same_v<T, MessageDialog>) {
                for (const auto &line : dialog.lines) add(line);
            } else if constexpr (std::is_same_v<T, FileBox>) {
                add(dialog.title);
                add(dialog.default_name);
            } else if constexpr (std::is_same_v<T, StringInput>) {
                add(dialog.cue);
            } else if constexpr (std::is_same_v<T, RealInput>) {
                add(dialog.title);
                for (const auto &label : dialog.labels) add(label);
            } else if constexpr (std::is_same_v<T, OkMessage> || std::is_same_v<T, InfoWindow>) {
                add(dialog.text);
            } else if constexpr (std::is_same_v<T, AboutBox>) {
                add(dialog.application);
            }
        },
        record.details);
    for (char &c : out)
        if (c == '\n' || c == '\r') c = ' ';
    return out;
}

std::string answer_gist(const DialogRecord &record) {
    std::string out;
    std::visit(
        [&](const auto &dialog) {
            using T = std::decay_t<decltype(dialog)>;
            if constexpr (std::is_same_v<T, MessageDialog>) {
                const auto *pressed = dialog.pressed >= 1 && dialog.pressed <= 3
                                          ? &dialog.buttons[static_cast<std::size_t>(dialog.pressed - 1)]
                                          : nullptr;
                out = pressed && pressed->label ? *pressed->label : std::to_string(dialog.response);
            } else if constexpr (std::is_same_v<T, FileBox>) {
                out = std::to_string(dialog.response) + " " + dialog.filename;
            } else if constexpr (std::is_same_v<T, StringInput>) {
                out = std::to_string(dialog.response) + " " + dialog.text;
            } else if constexpr (std::is_same_v<T, RealInput>) {
                out = std::to_string(dialog.response);
                for (double value : dialog.answered) out += " " + number_text(value);
            }
        },
        record.details);
    return out;
}

}  // namespace momsim
