// INI lookups as scripts make them, checked against the Windows rules: the
// file's bytes, the section and key asked for, and the value the lookup
// answers (the empty text when there is none). The POSIX build runs them
// through MOM_get_ini_string on the stand-in; the Windows build runs the same
// table on the system's own INI reader.
#pragma once

#include <string>
#include <vector>

namespace tarvex_test {

struct IniCase {
    std::string what;
    std::string content;
    std::string section;
    std::string key;
    std::string value;
};

inline std::vector<IniCase> ini_cases() {
    const std::string long_value(300, 'x');
    return {
        {"plain value", "[Post]\nmachine=HMC500\n", "Post", "machine", "HMC500"},
        {"second section", "[A]\nk=1\n[B]\nk=2\n", "B", "k", "2"},
        {"missing key", "[Post]\nmachine=HMC500\n", "Post", "spindle", ""},
        {"missing section", "[Post]\nmachine=HMC500\n", "Tools", "machine", ""},
        {"empty file", "", "Post", "machine", ""},
        {"section without keys", "[A]\nk=1\n[B]\n", "B", "k", ""},
        {"section name without regard to case", "[My Post]\nk=v\n", "my POST", "k", "v"},
        {"key name without regard to case", "[Post]\nMachine=v\n", "Post", "MACHINE", "v"},
        {"blanks in the names asked for", "[Post]\nk=v\n", "  Post\t", " k ", "v"},
        {"blanks inside the brackets", "[ Post ]\nk=v\n", "Post", "k", "v"},
        {"blanks around key and value", "[Post]\n  k  =  v  \n", "Post", "k", "v"},
        {"tabs around key and value", "[Post]\n\tk\t=\tv\t\n", "Post", "k", "v"},
        {"inner blanks kept", "[Post]\nmy key=a  b\n", "Post", "my key", "a  b"},
        {"inner blanks must match", "[Post]\nmy key=v\n", "Post", "my  key", ""},
        {"blanks before the heading", "  [Post]  \nk=v\n", "Post", "k", "v"},
        {"double quotes taken off", "[Post]\nk=\"v\"\n", "Post", "k", "v"},
        {"single quotes taken off", "[Post]\nk='v'\n", "Post", "k", "v"},
        {"blanks inside quotes kept", "[Post]\nk=\" v \"\n", "Post", "k", " v "},
        {"only one pair of quotes taken off", "[Post]\nk=\"\"v\"\"\n", "Post", "k", "\"v\""},
        {"inner quote kept", "[Post]\nk=\"a\"b\"\n", "Post", "k", "a\"b"},
        {"unmatched quote kept", "[Post]\nk=\"v\n", "Post", "k", "\"v"},
        {"mixed quotes kept", "[Post]\nk=\"v'\n", "Post", "k", "\"v'"},
        {"a lone quote kept", "[Post]\nk=\"\n", "Post", "k", "\""},
        {"empty quotes", "[Post]\nk=\"\"\n", "Post", "k", ""},
        {"empty value", "[Post]\nk=\n", "Post", "k", ""},
        {"blank value", "[Post]\nk=   \n", "Post", "k", ""},
        {"first equals sign splits", "[Post]\nk = a = b\n", "Post", "k", "a = b"},
        {"semicolon in a value kept", "[Post]\nk=v ; note\n", "Post", "k", "v ; note"},
        {"comment line is no key", "[Post]\n;k=v\n", "Post", "k", ""},
        {"heading text after the bracket ignored", "[Post] ; note\nk=v\n", "Post", "k", "v"},
        {"last bracket ends the heading", "[Post]x]\nk=v\n", "Post]x", "k", "v"},
        {"key on the heading line ignored", "[Post]k=v\nj=w\n", "Post", "k", ""},
        {"line after a heading with a key", "[Post]k=v\nj=w\n", "Post", "j", "w"},
        {"unclosed bracket is no heading", "[Post\nk=v\n", "Post", "k", ""},
        {"CRLF line ends", "[Post]\r\nk=v\r\n", "Post", "k", "v"},
        {"CR line ends", "[Post]\rk=v\rj=w\r", "Post", "j", "w"},
        {"lone CR ends a line", "[Post]\nk=a\rb=c\n", "Post", "k", "a"},
        {"empty lines skipped", "[Post]\r\n\r\n\nk=v\r\n", "Post", "k", "v"},
        {"no line end at the end", "[Post]\nk=v", "Post", "k", "v"},
        {"UTF-8 byte order mark skipped", "\xEF\xBB\xBF[Post]\nk=v\n", "Post", "k", "v"},
        {"byte order mark then empty line", "\xEF\xBB\xBF\n[Post]\nk=v\n", "Post", "k", "v"},
        {"end-of-file mark trimmed", "[Post]\nk=v\x1a\n", "Post", "k", "v"},
        {"first of two keys", "[Post]\nk=1\nk=2\n", "Post", "k", "1"},
        {"first of two sections", "[Post]\nk=1\n[Post]\nk=2\n", "Post", "k", "1"},
        {"only the first section of a name", "[Post]\nk=1\n[Post]\nj=3\n", "Post", "j", ""},
        {"first key without a value", "[Post]\nk\nk=2\n", "Post", "k", ""},
        {"keys before any heading", "k=top\n[Post]\nk=1\n", "", "k", "top"},
        {"quoted key name is another name", "[Post]\n\"k\"=v\n", "Post", "k", ""},
        {"value cut to 255 characters", "[Post]\nk=" + long_value + "\n", "Post", "k", long_value.substr(0, 255)},
        {"quoted value cut to 255 characters", "[Post]\nk=\"" + long_value + "\"\n", "Post", "k",
         long_value.substr(0, 255)},
        {"value of 255 characters", "[Post]\nk=" + long_value.substr(0, 255) + "\n", "Post", "k",
         long_value.substr(0, 255)},
    };
}

}  // namespace tarvex_test
