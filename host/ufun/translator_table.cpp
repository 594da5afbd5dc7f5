// The Tcl-free translator: enough of an interpreter to bind commands, call
// them by their words and keep variables, for builds without Tcl.
#include <map>
#include <sstream>

#include "emuhost/translator.h"

namespace emuhost {
namespace {

class TableTranslator final : public Translator {
public:
    TableTranslator() { reset_record(); }

    InterpRecord *record() override { return &record_; }

    bool bind(const std::string &name, CommandHandler handler, MomId client_data) override {
        if (name.empty() || handler == nullptr) return false;
        if (commands_.find(name) == commands_.end()) order_.push_back(name);
        commands_[name] = Command{handler, client_data};
        return true;
    }

    std::vector<std::string> bound() const override { return order_; }

    CallResult call(const std::vector<std::string> &words) override {
        // Like the Tcl interpreter, every command starts from an empty result.
        reset_record();
        CallResult out;
        if (words.empty()) return out;
        auto found = commands_.find(words[0]);
        if (found == commands_.end()) {
            out.code = 1;
            out.result = "invalid command name \"" + words[0] + "\"";
            return out;
        }
        std::vector<const char *> argv;
        for (const auto &word : words) argv.push_back(word.c_str());
        argv.push_back(nullptr);
        out.code = found->second.handler(found->second.client_data, &record_,
                                         static_cast<int>(words.size()), argv.data());
        out.result = record_.result ? record_.result : "";
        out.error_line = record_.error_line;
        return out;
    }

    CallResult eval(const std::string &script) override {
        CallResult last;
        std::istringstream lines(script);
        std::string line;
        while (std::getline(lines, line)) {
            std::istringstream in(line);
            std::vector<std::string> words;
            for (std::string word; in >> word;) words.push_back(word);
            if (words.empty() || words[0][0] == '#') continue;
            last = call(words);
            if (last.code != 0) break;
        }
        return last;
    }

    const char *get(const std::string &name) override {
        auto found = variables_.find(name);
        return found == variables_.end() ? nullptr : found->second.c_str();
    }
    bool set(const std::string &name, const std::string &value) override {
        variables_[name] = value;
        return true;
    }
    void unset(const std::string &name) override {
        variables_.erase(name);
        const std::string prefix = name + "(";
        for (auto it = variables_.lower_bound(prefix);
             it != variables_.end() && it->first.compare(0, prefix.size(), prefix) == 0;)
            it = variables_.erase(it);
    }
    const char *get_element(const std::string &array, const std::string &index) override {
        return get(array + "(" + index + ")");
    }
    bool set_element(const std::string &array, const std::string &index,
                     const std::string &value) override {
        return set(array + "(" + index + ")", value);
    }

    bool is_tcl() const override { return false; }

private:
    struct Command {
        CommandHandler handler;
        MomId client_data;
    };
    void reset_record() {
        empty_[0] = '\0';
        record_.result = empty_;
        record_.free_proc = nullptr;
        record_.error_line = 0;
    }

    InterpRecord record_{};
    char empty_[1] = {'\0'};
    std::map<std::string, Command> commands_;
    std::vector<std::string> order_;
    std::map<std::string, std::string> variables_;
};

}  // namespace

std::unique_ptr<Translator> make_table_translator() { return std::make_unique<TableTranslator>(); }

}  // namespace emuhost
