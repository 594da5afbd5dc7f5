// The dialog record and the scripted answers behind the emulated dialogs.
#include "emuhost/dialogs.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <type_traits>

#include "openapi.h"

namespace emuhost {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string trim(const std::string &text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && is_blank(text[begin])) ++begin;
    while (end > begin && is_blank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

// A whole decimal integer in the range of int, or nothing.
std::optional<int> parse_int(const std::string &word) {
    if (word.empty()) return std::nullopt;
    char *end = nullptr;
    errno = 0;
    long value = std::strtol(word.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE || value < INT_MIN || value > INT_MAX) return std::nullopt;
    return static_cast<int>(value);
}

// A whole finite real number, or nothing.
std::optional<double> parse_real(const std::string &word) {
    char *end = nullptr;
    errno = 0;
    double value = std::strtod(word.c_str(), &end);
    if (end == word.c_str() || *end != '\0' || errno == ERANGE || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::vector<std::string> words_of(const std::string &text) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && is_blank(text[i])) ++i;
        std::size_t start = i;
        while (i < text.size() && !is_blank(text[i])) ++i;
        if (i > start) words.push_back(text.substr(start, i - start));
    }
    return words;
}

// "RESPONSE [REST]": the response and, when a blank follows it, the rest of
// the line after that one blank.
struct ResponseLine {
    int response = 0;
    std::optional<std::string> rest;
};

std::string quoted(const std::string &text) { return "\"" + text + "\""; }

std::string list_of(const std::vector<int> &values) {
    std::string out;
    for (int value : values) out += (out.empty() ? "" : " ") + std::to_string(value);
    return out;
}

// Reads the response of a file box, string or value answer; answers the
// problem text when the line does not fit.
std::string read_response(const std::string &call, const std::string &line,
                          const std::vector<int> &allowed, ResponseLine &out) {
    std::size_t start = 0;
    while (start < line.size() && is_blank(line[start])) ++start;
    std::size_t end = start;
    while (end < line.size() && !is_blank(line[end])) ++end;
    auto response = parse_int(line.substr(start, end - start));
    if (!response)
        return "answer " + quoted(line) + " to " + call + " does not begin with a response number";
    bool known = false;
    for (int value : allowed) known = known || value == *response;
    if (!known)
        return "answer " + quoted(line) + " to " + call + ": " + std::to_string(*response) +
               " is no response of this dialog (" + list_of(allowed) + ")";
    out.response = *response;
    if (end < line.size()) out.rest = line.substr(end + 1);
    return "";
}

std::string cut(const std::string &text, std::size_t field_size) {
    return text.size() < field_size ? text : text.substr(0, field_size - 1);
}

std::string button_list(const MessageDialog &dialog) {
    std::string out;
    for (const auto &button : dialog.buttons) {
        if (!button.shown) continue;
        if (!out.empty()) out += " ";
        out += quoted(button.label.value_or("")) + "=" + std::to_string(button.response);
    }
    return out;
}

// Each reader fills the answer fields from `line`, or leaves them and
// answers why the line does not fit.
std::string read_answer(const std::string &call, const std::string &line, MessageDialog &dialog) {
    const std::string wanted = trim(line);
    for (std::size_t i = 0; i < dialog.buttons.size(); ++i) {
        const auto &button = dialog.buttons[i];
        if (button.shown && button.label && *button.label == wanted) {
            dialog.pressed = static_cast<int>(i) + 1;
            dialog.response = button.response;
            return "";
        }
    }
    if (auto value = parse_int(wanted)) {
        for (std::size_t i = 0; i < dialog.buttons.size(); ++i) {
            const auto &button = dialog.buttons[i];
            if (button.shown && button.response == *value) {
                dialog.pressed = static_cast<int>(i) + 1;
                dialog.response = button.response;
                return "";
            }
        }
    }
    return "answer " + quoted(line) + " names no button of " + call + " (shown: " + button_list(dialog) + ")";
}

std::string read_answer(const std::string &call, const std::string &line, FileBox &dialog) {
    ResponseLine read;
    std::string problem = read_response(call, line, {kFileboxBack, kFileboxCancel, kFileboxOk}, read);
    if (!problem.empty()) return problem;
    dialog.response = read.response;
    dialog.filename = cut(read.rest.value_or(dialog.default_name), FILEBOX_NAME_SIZE);
    return "";
}

std::string read_answer(const std::string &call, const std::string &line, StringInput &dialog) {
    ResponseLine read;
    std::string problem = read_response(
        call, line, {kStringBack, kStringCancel, kStringDefault, kStringEntered}, read);
    if (!problem.empty()) return problem;
    // 3 is OK keeping the default: a text after it was meant for 5, and
    // taking it would answer what the dialog never gives with 3.
    if (read.response == kStringDefault && read.rest && !read.rest->empty())
        return "answer " + quoted(line) + " to " + call + ": 3 keeps the default text and takes none; " +
               "write 5 TEXT to answer with a text";
    dialog.response = read.response;
    dialog.text = cut(read.rest.value_or(dialog.default_text), UC1600_ANSWER_SIZE);
    return "";
}

std::string read_answer(const std::string &call, const std::string &line, RealInput &dialog) {
    ResponseLine read;
    std::string problem = read_response(call, line, {kRealsBack, kRealsCancel, kRealsOk}, read);
    if (!problem.empty()) return problem;
    std::vector<double> answered = dialog.values;
    auto words = words_of(read.rest.value_or(""));
    if (words.size() > dialog.values.size())
        return "answer " + quoted(line) + " to " + call + " gives " + std::to_string(words.size()) +
               " values for " + std::to_string(dialog.values.size()) + " items";
    for (std::size_t i = 0; i < words.size(); ++i) {
        auto value = parse_real(words[i]);
        if (!value)
            return "answer " + quoted(line) + " to " + call + ": " + quoted(words[i]) +
                   " is no real number";
        answered[i] = *value;
    }
    dialog.response = read.response;
    dialog.answered = answered;
    return "";
}

void take_default(MessageDialog &dialog) {
    for (std::size_t i = 0; i < dialog.buttons.size(); ++i) {
        if (dialog.buttons[i].shown) {
            dialog.pressed = static_cast<int>(i) + 1;
            dialog.response = dialog.buttons[i].response;
            return;
        }
    }
}

void take_default(FileBox &dialog) {
    dialog.response = kFileboxOk;
    dialog.filename = cut(dialog.default_name, FILEBOX_NAME_SIZE);
}

void take_default(StringInput &dialog) {
    dialog.response = kStringDefault;
    dialog.text = cut(dialog.default_text, UC1600_ANSWER_SIZE);
}

void take_default(RealInput &dialog) {
    dialog.response = kRealsOk;
    dialog.answered = dialog.values;
}

const char *kind_name(int kind) {
    static const char *const names[] = {"any dialog", "a message dialog", "a file box",
                                        "a string input", "a real-value input"};
    return names[kind];
}

std::string single_line(const std::string &text, const char *what) {
    if (text.find_first_of("\r\n") != std::string::npos)
        throw std::invalid_argument(std::string("an answer's ") + what + " cannot hold a line break");
    return text;
}

}  // namespace

void DialogHost::reset() {
    queue_.clear();
    records_.clear();
    errors_.clear();
    prompt_ = nullptr;
    prompt_source_ = AnswerSource::Prompted;
    sink_ = nullptr;
}

void DialogHost::answer(const std::string &line) {
    queue_.push_back(Queued{Kind::Any, single_line(line, "line")});
}

void DialogHost::answer_lines(const std::string &text) {
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!trim(line).empty()) queue_.push_back(Queued{Kind::Any, line});
        start = end + 1;
    }
}

void DialogHost::answer_button(const std::string &label) {
    queue_.push_back(Queued{Kind::Message, single_line(label, "button label")});
}

void DialogHost::answer_button(int response) {
    queue_.push_back(Queued{Kind::Message, std::to_string(response)});
}

void DialogHost::answer_filebox(int response, std::optional<std::string> filename) {
    std::string line = std::to_string(response);
    if (filename) line += " " + single_line(*filename, "file name");
    queue_.push_back(Queued{Kind::Filebox, line});
}

void DialogHost::answer_string(int response, std::optional<std::string> text) {
    std::string line = std::to_string(response);
    if (text) line += " " + single_line(*text, "text");
    queue_.push_back(Queued{Kind::String, line});
}

void DialogHost::answer_reals(int response, const std::vector<double> &values) {
    std::string line = std::to_string(response);
    for (double value : values) {
        char text[40];
        std::snprintf(text, sizeof text, " %.17g", value);
        line += text;
    }
    queue_.push_back(Queued{Kind::Reals, line});
}

const DialogRecord &DialogHost::last() const {
    if (records_.empty()) throw std::logic_error("no dialog has been shown");
    return records_.back();
}

std::size_t DialogHost::count(const std::string &call) const {
    std::size_t n = 0;
    for (const auto &record : records_) n += record.call == call ? 1 : 0;
    return n;
}

void DialogHost::clear_records() {
    records_.clear();
    errors_.clear();
}

const DialogRecord &DialogHost::finish(DialogRecord record) {
    records_.push_back(std::move(record));
    if (sink_) sink_(records_.back());
    return records_.back();
}

const DialogRecord &DialogHost::show(const char *call, DialogDetails details) {
    DialogRecord record;
    record.call = call;
    record.details = std::move(details);
    return finish(std::move(record));
}

const DialogRecord &DialogHost::ask(const char *call, DialogDetails details) {
    DialogRecord record;
    record.call = call;
    record.details = std::move(details);

    Kind kind = Kind::Any;
    if (record.is<MessageDialog>()) kind = Kind::Message;
    else if (record.is<FileBox>()) kind = Kind::Filebox;
    else if (record.is<StringInput>()) kind = Kind::String;
    else if (record.is<RealInput>()) kind = Kind::Reals;
    else throw std::logic_error(std::string(call) + " is not a dialog that takes an answer");

    // Reads `line` into the record's answer fields; answers the problem.
    auto read = [&](const std::string &line) {
        return std::visit(
            [&](auto &dialog) -> std::string {
                using T = std::decay_t<decltype(dialog)>;
                if constexpr (std::is_same_v<T, MessageDialog> || std::is_same_v<T, FileBox> ||
                              std::is_same_v<T, StringInput> || std::is_same_v<T, RealInput>)
                    return read_answer(record.call, line, dialog);
                else
                    return "";
            },
            record.details);
    };
    auto take_defaults = [&] {
        std::visit(
            [](auto &dialog) {
                using T = std::decay_t<decltype(dialog)>;
                if constexpr (std::is_same_v<T, MessageDialog> || std::is_same_v<T, FileBox> ||
                              std::is_same_v<T, StringInput> || std::is_same_v<T, RealInput>)
                    take_default(dialog);
            },
            record.details);
    };

    if (!queue_.empty()) {
        Queued queued = queue_.front();
        queue_.pop_front();
        record.answer = queued.line;
        if (queued.kind != Kind::Any && queued.kind != kind) {
            record.problem = "answer " + quoted(queued.line) + " was made for " +
                             kind_name(static_cast<int>(queued.kind)) + " but " + record.call +
                             " took it";
        } else {
            record.problem = read(queued.line);
        }
        if (record.problem.empty()) {
            record.source = AnswerSource::Scripted;
        } else {
            errors_.push_back(record.problem);
            record.source = AnswerSource::Defaulted;
            take_defaults();
        }
        return finish(std::move(record));
    }

    if (prompt_) {
        std::string problem;
        while (auto line = prompt_(record, problem)) {
            problem = read(*line);
            if (problem.empty()) {
                record.answer = *line;
                record.source = prompt_source_;
                return finish(std::move(record));
            }
        }
    }
    record.source = AnswerSource::Defaulted;
    take_defaults();
    return finish(std::move(record));
}

}  // namespace emuhost
