#include "definition.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "host_words.h"

namespace momsim {
namespace {

// Deep enough for any real nesting; an INCLUDE cycle stops here.
constexpr int kMostIncludeDepth = 16;

struct Token {
    enum Kind { Word, String, Bracket, Open, Close, End } kind = End;
    std::string text;  // a word, a string with its escapes read, a bracket's inside
    int line = 0;
    bool glued = false;  // no blank or line break before it
};

const char *kind_name(Token::Kind kind) {
    switch (kind) {
    case Token::Word: return "a word";
    case Token::String: return "a quoted text";
    case Token::Bracket: return "a [Tcl expression]";
    case Token::Open: return "\"{\"";
    case Token::Close: return "\"}\"";
    default: return "the end of the file";
    }
}

class Lexer {
public:
    Lexer(const std::string &text, const std::string &file) : text_(text), file_(file) {}

    [[noreturn]] void fail(int line, const std::string &message) const {
        throw DefinitionError(file_ + ":" + std::to_string(line) + ": " + message);
    }

    Token next() {
        bool blank = at_ == 0;
        for (;;) {
            while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) {
                if (text_[at_] == '\n') ++line_;
                ++at_;
                blank = true;
            }
            // A comment runs to the end of its line; only where a token
            // could start, so that '#' inside a word or text stays.
            if (at_ < text_.size() && text_[at_] == '#' && blank) {
                while (at_ < text_.size() && text_[at_] != '\n') ++at_;
                continue;
            }
            break;
        }
        Token token;
        token.line = line_;
        token.glued = !blank;
        if (at_ >= text_.size()) return token;
        char c = text_[at_];
        if (c == '{' || c == '}') {
            ++at_;
            token.kind = c == '{' ? Token::Open : Token::Close;
            return token;
        }
        if (c == '"') {
            token.kind = Token::String;
            token.text = quoted();
            return token;
        }
        if (c == '[') {
            token.kind = Token::Bracket;
            token.text = bracketed();
            return token;
        }
        token.kind = Token::Word;
        // A word ends at a blank, a brace, a bracket or a quote; a switch's
        // "=" is followed by its text.
        while (at_ < text_.size()) {
            char ch = text_[at_];
            if (std::isspace(static_cast<unsigned char>(ch)) || ch == '{' || ch == '}' || ch == '[' || ch == '"') break;
            // ${NAME} stays in its word.
            std::size_t close = ch == '$' && at_ + 1 < text_.size() && text_[at_ + 1] == '{'
                                    ? text_.find('}', at_) : std::string::npos;
            if (close != std::string::npos && text_.find_first_of(" \t\r\n", at_) > close) {
                token.text.append(text_, at_, close + 1 - at_);
                at_ = close + 1;
                continue;
            }
            token.text += ch;
            ++at_;
        }
        return token;
    }

private:
    // "text": \\ and \" stand for themselves, \ and up to three octal
    // digits for that character (the octal rule); any other backslash stays.
    std::string quoted() {
        int start = line_;
        ++at_;
        std::string out;
        while (at_ < text_.size() && text_[at_] != '"') {
            char ch = text_[at_++];
            if (ch == '\n') ++line_;
            if (ch != '\\' || at_ >= text_.size()) {
                out += ch;
                continue;
            }
            char next = text_[at_];
            if (next == '\\' || next == '"') {
                out += next;
                ++at_;
            } else if (next >= '0' && next <= '7') {
                int value = 0, digits = 0;
                while (digits < 3 && at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '7') {
                    value = value * 8 + (text_[at_++] - '0');
                    ++digits;
                }
                if (value == 0 || value > 255) fail(line_, "\\" + std::to_string(value) + ": an octal character must be 1 to 377");
                out += static_cast<char>(value);
            } else {
                out += ch;
            }
        }
        if (at_ >= text_.size()) fail(start, "a quoted text is not closed: expected '\"'");
        ++at_;
        return out;
    }

    // [expression]: brackets nest; a backslash keeps the next character.
    std::string bracketed() {
        int start = line_;
        ++at_;
        int depth = 1;
        std::string out;
        while (at_ < text_.size()) {
            char ch = text_[at_++];
            if (ch == '\n') ++line_;
            if (ch == '\\' && at_ < text_.size()) {
                out += ch;
                out += text_[at_++];
                continue;
            }
            if (ch == '[') ++depth;
            if (ch == ']' && --depth == 0) return out;
            out += ch;
        }
        fail(start, "a [Tcl expression] is not closed: expected ']'");
    }

    const std::string &text_;
    std::string file_;
    std::size_t at_ = 0;
    int line_ = 1;
};

std::string lower(std::string text) {
    for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool ends_with_nocase(const std::string &text, const std::string &tail) {
    return text.size() >= tail.size() && lower(text.substr(text.size() - tail.size())) == tail;
}

std::string folder_of(const std::string &path) {
    auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

bool is_name(const std::string &text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    return true;
}

class Parser {
public:
    Parser(const std::string &text, const std::string &file, const DefinitionContext &context, Definition &into,
           int depth)
        : lexer_(text, file), file_(file), context_(context), into_(into), depth_(depth) {
        advance();
    }

    void file() {
        while (token_.kind != Token::End) statement(false);
    }

private:
    void advance() { token_ = lexer_.next(); }

    [[noreturn]] void fail(const std::string &message) const { lexer_.fail(token_.line, message); }

    std::string shown(const Token &token) const {
        if (token.kind == Token::Word) return "\"" + token.text + "\"";
        return kind_name(token.kind);
    }

    void expect(Token::Kind kind, const std::string &what) {
        if (token_.kind != kind) fail("expected " + what + ", found " + shown(token_));
        advance();
    }

    std::string name(const std::string &what) {
        if (token_.kind != Token::Word || !is_name(token_.text))
            fail("expected " + what + " (letters, digits and _), found " + shown(token_));
        std::string text = token_.text;
        advance();
        return text;
    }

    // A text: quoted, or a single word.
    std::string text(const std::string &what) {
        if (token_.kind != Token::String && token_.kind != Token::Word)
            fail("expected " + what + " (a quoted text), found " + shown(token_));
        std::string value = token_.text;
        advance();
        return value;
    }

    double number(const std::string &what) {
        if (token_.kind == Token::Word) {
            errno = 0;
            char *end = nullptr;
            double value = std::strtod(token_.text.c_str(), &end);
            if (!token_.text.empty() && *end == '\0' && errno == 0) {
                advance();
                return value;
            }
        }
        fail("expected " + what + " (a number), found " + shown(token_));
    }

    long long whole(const std::string &what, long long least) {
        if (token_.kind == Token::Word) {
            errno = 0;
            char *end = nullptr;
            long long value = std::strtoll(token_.text.c_str(), &end, 10);
            if (!token_.text.empty() && *end == '\0' && errno == 0 && value >= least) {
                advance();
                return value;
            }
        }
        fail("expected " + what + " (a whole number of at least " + std::to_string(least) + "), found " +
             shown(token_));
    }

    Place here() const { return Place{file_, token_.line}; }

    void statement(bool in_formatting) {
        if (token_.kind != Token::Word)
            fail("expected a keyword (" + host_word_list(WordKind::Keyword) + "), found " + shown(token_));
        std::string keyword = token_.text;
        Place place = here();
        if (!find_host_word(keyword, WordKind::Keyword))
            fail("\"" + keyword + "\" is no keyword of a definition file; expected one of " +
                 host_word_list(WordKind::Keyword));
        advance();
        if (keyword == "MACHINE") {
            into_.machine = text("the machine's kind after MACHINE");
        } else if (keyword == "INCLUDE") {
            include();
        } else if (keyword == "FORMATTING") {
            if (in_formatting) lexer_.fail(place.line, "FORMATTING inside FORMATTING");
            expect(Token::Open, "\"{\" after FORMATTING");
            while (token_.kind != Token::Close) {
                if (token_.kind == Token::End) fail("FORMATTING { is not closed: expected \"}\"");
                statement(true);
            }
            advance();
        } else if (keyword == "WORD_SEPARATOR") {
            into_.word_separator = text("the separator after WORD_SEPARATOR");
        } else if (keyword == "END_OF_LINE") {
            into_.end_of_line = text("the text after END_OF_LINE");
        } else if (keyword == "SEQUENCE") {
            SequenceDef sequence;
            sequence.place = place;
            sequence.name = name("the name of the block template that writes the number after SEQUENCE");
            sequence.start = whole("the first number", 0);
            sequence.increment = whole("the increment", 1);
            sequence.frequency = whole("the frequency (a number every so many blocks)", 1);
            sequence.maximum = whole("the largest number", sequence.start);
            into_.sequence = sequence;
        } else if (keyword == "FORMAT") {
            std::string format_name = name("the format's name after FORMAT");
            int line = token_.line;
            std::string pattern = text("the format after FORMAT " + format_name);
            try {
                into_.formats[format_name] = FormatDef{NumberFormat::parse(pattern), place};
            } catch (const std::invalid_argument &error) {
                lexer_.fail(line, "FORMAT " + format_name + ": " + error.what());
            }
        } else if (keyword == "ADDRESS") {
            address(place);
        } else if (keyword == "BLOCK_TEMPLATE") {
            block_template(place);
        }
    }

    void include() {
        expect(Token::Open, "\"{\" and the files after INCLUDE");
        while (token_.kind != Token::Close) {
            if (token_.kind != Token::Word && token_.kind != Token::String)
                fail("expected a file to include or \"}\", found " + shown(token_));
            std::string written = token_.text;
            int line = token_.line;
            advance();
            // A .cdl file describes the dialogs of user-defined events for
            // the host's interface: nothing of it shapes the NC output.
            if (ends_with_nocase(written, ".cdl")) continue;
            std::string path = expand(written, line);
            bool absolute = !path.empty() && (path[0] == '/' || path[0] == '\\' ||
                                              (path.size() > 1 && path[1] == ':'));
            if (!absolute) path = folder_of(file_) + path;
            std::string local = context_.local_path ? context_.local_path(path) : path;
            if (depth_ >= kMostIncludeDepth)
                lexer_.fail(line, "INCLUDE " + written + ": includes nest deeper than " +
                                      std::to_string(kMostIncludeDepth) + " files (does a file include itself?)");
            std::ifstream in(local, std::ios::binary);
            if (!in) lexer_.fail(line, "INCLUDE " + written + ": cannot read " + local + ": " + std::strerror(errno));
            std::ostringstream content;
            content << in.rdbuf();
            into_.files.push_back(local);
            const std::string included = content.str();
            Parser inner(included, local, context_, into_, depth_ + 1);
            inner.file();
        }
        advance();
    }

    // $NAME and ${NAME} from the environment.
    std::string expand(const std::string &written, int line) {
        std::string out;
        for (std::size_t i = 0; i < written.size(); ++i) {
            if (written[i] != '$') {
                out += written[i];
                continue;
            }
            std::string variable;
            std::size_t j = i + 1;
            if (j < written.size() && written[j] == '{') {
                auto close = written.find('}', j);
                if (close == std::string::npos) lexer_.fail(line, "INCLUDE " + written + ": ${ without }");
                variable = written.substr(j + 1, close - j - 1);
                j = close + 1;
            } else {
                while (j < written.size() && (std::isalnum(static_cast<unsigned char>(written[j])) || written[j] == '_'))
                    variable += written[j++];
            }
            auto value = context_.environment ? context_.environment(variable) : std::nullopt;
            if (variable.empty() || !value)
                lexer_.fail(line, "INCLUDE " + written + ": $" + variable +
                                      " is not set in the environment (momsim --env " + variable + "=VALUE sets it)");
            out += *value;
            i = j - 1;
        }
        return out;
    }

    Modality modality(const std::string &what) {
        std::string word = token_.kind == Token::Word ? lower(token_.text) : "";
        if (word == "off" || word == "once" || word == "always") {
            advance();
            return word == "off" ? Modality::Off : word == "once" ? Modality::Once : Modality::Always;
        }
        fail("expected Off, Once or Always after " + what + ", found " + shown(token_));
    }

    Limit limit(const std::string &what) {
        Limit limit;
        limit.value = number("the limit after " + what);
        std::string word = token_.kind == Token::Word ? lower(token_.text) : "";
        if (word == "abort" || word == "warning" || word == "truncate") {
            limit.action = word == "abort" ? LimitAction::Abort
                           : word == "warning" ? LimitAction::Warning : LimitAction::Truncate;
            advance();
        }
        return limit;
    }

    void address(const Place &place) {
        AddressDef address;
        address.place = place;
        address.name = name("the address's name after ADDRESS");
        expect(Token::Open, "\"{\" after ADDRESS " + address.name);
        while (token_.kind != Token::Close) {
            if (token_.kind != Token::Word || !find_host_word(token_.text, WordKind::AddressAttribute))
                fail("ADDRESS " + address.name + ": expected one of " + host_word_list(WordKind::AddressAttribute) +
                     " or \"}\", found " + shown(token_));
            std::string attribute = token_.text;
            advance();
            if (attribute == "FORMAT") {
                address.format = name("a format's name after FORMAT");
            } else if (attribute == "FORCE") {
                address.force = modality("FORCE");
            } else if (attribute == "MAX") {
                address.max = limit("MAX");
            } else if (attribute == "MIN") {
                address.min = limit("MIN");
            } else if (attribute == "LEADER") {
                address.leader_is_expression = token_.kind == Token::Bracket;
                if (address.leader_is_expression) {
                    address.leader = token_.text;
                    advance();
                } else {
                    address.leader = text("the leader after LEADER");
                }
            } else if (attribute == "TRAILER") {
                address.trailer = text("the trailer after TRAILER");
            } else if (attribute == "ZERO_FORMAT") {
                address.zero_format = name("a format's name after ZERO_FORMAT");
            } else if (attribute == "INCREMENTAL") {
                std::string word = token_.kind == Token::Word ? lower(token_.text) : "";
                if (word != "on" && word != "off") fail("expected On or Off after INCREMENTAL, found " + shown(token_));
                address.incremental = word == "on";
                advance();
            }
        }
        advance();
        into_.addresses[address.name] = address;
    }

    void block_template(const Place &place) {
        TemplateDef block;
        block.place = place;
        block.name = name("the template's name after BLOCK_TEMPLATE");
        expect(Token::Open, "\"{\" after BLOCK_TEMPLATE " + block.name);
        while (token_.kind != Token::Close) {
            MemberDef member;
            member.place = here();
            if (token_.kind == Token::String) {
                member.text = token_.text;
                advance();
            } else if (token_.kind == Token::Word && is_name(token_.text)) {
                member.address = token_.text;
                advance();
                if (token_.kind != Token::Bracket || !token_.glued)
                    fail("BLOCK_TEMPLATE " + block.name + ": expected [expression] right after " + member.address +
                         ", found " + shown(token_));
                member.expression = token_.text;
                if (member.expression.find_first_not_of(" \t\r\n") == std::string::npos)
                    fail("BLOCK_TEMPLATE " + block.name + ": " + member.address + "[] has no expression");
                advance();
            } else if (token_.kind == Token::End) {
                fail("BLOCK_TEMPLATE " + block.name + " { is not closed: expected \"}\"");
            } else {
                fail("BLOCK_TEMPLATE " + block.name + ": expected a member (Address[expression] or \"text\") or "
                     "\"}\", found " + shown(token_));
            }
            switches(block.name, member);
            block.members.push_back(std::move(member));
        }
        advance();
        into_.templates[block.name] = std::move(block);
    }

    // \opt \nows \ldr=TEXT \trlr=TEXT after a member, glued or apart.
    void switches(const std::string &block, MemberDef &member) {
        while (token_.kind == Token::Word && !token_.text.empty() && token_.text[0] == '\\') {
            std::string word = token_.text;
            advance();
            std::size_t start = 0;
            while (start < word.size()) {
                std::size_t end = word.find('\\', start + 1);
                std::string one = word.substr(start, end == std::string::npos ? std::string::npos : end - start);
                start = end == std::string::npos ? word.size() : end;
                auto equals = one.find('=');
                std::string key = one.substr(0, equals);
                if (!find_host_word(key, WordKind::MemberSwitch))
                    fail("BLOCK_TEMPLATE " + block + ": " + key + " is no switch; expected one of " +
                         host_word_list(WordKind::MemberSwitch));
                bool takes_text = key == "\\ldr" || key == "\\trlr";
                if (takes_text != (equals != std::string::npos))
                    fail("BLOCK_TEMPLATE " + block + ": " + key + (takes_text ? " needs =TEXT" : " takes no value"));
                std::string value = takes_text ? one.substr(equals + 1) : "";
                // \ldr="TEXT": the quoted text follows the word.
                if (takes_text && value.empty() && start == word.size() && token_.kind == Token::String &&
                    token_.glued) {
                    value = token_.text;
                    advance();
                }
                if (key == "\\opt") member.optional = true;
                else if (key == "\\nows") member.no_separator = true;
                else if (key == "\\ldr") member.leader = value;
                else member.trailer = value;
            }
        }
    }

    Lexer lexer_;
    std::string file_;
    const DefinitionContext &context_;
    Definition &into_;
    int depth_;
    Token token_;
};

// Every name a definition uses must be defined (in any file read).
void check_references(const Definition &definition) {
    for (const auto &[name, address] : definition.addresses) {
        if (!address.format.empty() && !definition.formats.count(address.format))
            throw DefinitionError(address.place.text() + ": ADDRESS " + name + ": no FORMAT named " + address.format);
        if (!address.zero_format.empty() && !definition.formats.count(address.zero_format))
            throw DefinitionError(address.place.text() + ": ADDRESS " + name + ": no FORMAT named " +
                                  address.zero_format + " (its ZERO_FORMAT)");
    }
    for (const auto &[name, block] : definition.templates)
        for (const MemberDef &member : block.members)
            if (!member.address.empty() && !definition.addresses.count(member.address))
                throw DefinitionError(member.place.text() + ": BLOCK_TEMPLATE " + name + ": no ADDRESS named " +
                                      member.address);
}

}  // namespace

void parse_definition(const std::string &text, const std::string &path, const DefinitionContext &context,
                      Definition &into) {
    Definition read = into;
    read.files.push_back(path);
    Parser parser(text, path, context, read, 0);
    parser.file();
    check_references(read);
    into = std::move(read);
}

void read_definition(const std::string &path, const DefinitionContext &context, Definition &into) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw DefinitionError(path + ": cannot read the definition file: " + std::strerror(errno));
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) throw DefinitionError(path + ": cannot read the definition file");
    parse_definition(content.str(), path, context, into);
}

}  // namespace momsim
