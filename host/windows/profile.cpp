// The stand-ins' profile (INI) reader: GetPrivateProfileStringA, by the
// Windows rules winapi.h lists, over files parsed once and kept while they
// stay unchanged (profile_cache.cpp).
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "emuhost/machine.h"
#include "emuhost/paths.h"
#include "profile.h"
#include "stand_ins.h"

namespace emuhost::stand_ins {
namespace {

// Blanks as the INI reader sees them; ^Z, the old end-of-file mark, too.
bool is_profile_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == '\x1a';
}

std::string trim(const char *begin, const char *end) {
    while (begin < end && is_profile_space(*begin)) ++begin;
    while (end > begin && is_profile_space(end[-1])) --end;
    return std::string(begin, end);
}

std::string trim(const std::string &text) { return trim(text.data(), text.data() + text.size()); }

// Folds A-Z to a-z and nothing else, as emuhost::same_name() compares.
std::string folded(const std::string &text) {
    std::string out = text;
    for (char &c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// The first section of that name; only it is searched.
const ProfileSection *find_section(const Profile &profile, const std::string &name) {
    auto found = profile.section_at.find(folded(name));
    return found == profile.section_at.end() ? nullptr : &profile.sections[found->second];
}

// Copies a value into the caller's buffer: one pair of surrounding quotes
// taken off, cut to size - 1 characters, terminated. Answers the length.
DWORD copy_value(const std::string &value, LPSTR out, DWORD size) {
    const char *text = value.data();
    std::size_t whole = value.size();
    if (whole >= 2 && (text[0] == '"' || text[0] == '\'') && value.back() == text[0]) {
        ++text;
        whole -= 2;
    }
    std::size_t length = whole < size - 1 ? whole : size - 1;
    std::memcpy(out, text, length);
    out[length] = '\0';
    return static_cast<DWORD>(length);
}

// Copies a list of names, each terminated, and a final terminator. A name
// goes in whole only while room for more stays after it; the first that
// does not is cut so that the list ends with two terminators at the end of
// the buffer, and the answer is then size - 2.
DWORD copy_names(const std::vector<std::string> &names, LPSTR out, DWORD size) {
    if (size == 1) {
        out[0] = '\0';
        return 0;
    }
    std::size_t used = 0;  // stays at most size - 2
    for (const std::string &name : names) {
        if (used + name.size() + 1 >= size - 1) {
            std::memcpy(out + used, name.data(), size - 2 - used);
            out[size - 2] = '\0';
            out[size - 1] = '\0';
            return size - 2;
        }
        std::memcpy(out + used, name.c_str(), name.size() + 1);
        used += name.size() + 1;
    }
    out[used] = '\0';
    return static_cast<DWORD>(used);
}

// The file a profile call reads. Windows reads a relative path that does
// not start at the current folder (".\" or "..\") from the Windows folder,
// C:\Windows: a bare name and one with folders alike. Any other path is
// read as every call reads it.
std::string profile_file(const char *path) {
    auto separator = [](char c) { return c == '\\' || c == '/'; };
    bool rooted = separator(path[0]) || emuhost::WindowsMachine::has_drive_letter(path);
    bool from_here = path[0] == '.' && (separator(path[1]) || (path[1] == '.' && separator(path[2])));
    if (rooted || from_here) return enter_path(path);
    return enter_path((std::string("C:\\Windows\\") + path).c_str());
}

}  // namespace

void parse_profile(const std::string &text, Profile &profile) {
    std::vector<ProfileSection> &sections = profile.sections;
    const char *p = text.data(), *end = text.data() + text.size();
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) p += 3;

    sections.assign(1, ProfileSection{});
    while (p < end) {
        const char *line = p;
        while (p < end && *p != '\n' && *p != '\r') ++p;
        const char *line_end = p;
        if (p < end) ++p;
        while (line < line_end && is_profile_space(*line)) ++line;
        while (line_end > line && is_profile_space(line_end[-1])) --line_end;
        if (line == line_end) continue;

        if (*line == '[') {
            const char *close = line_end;
            while (close > line && close[-1] != ']') --close;
            if (close > line + 1) {  // the last ']' on the line ends the name
                sections.push_back(ProfileSection{trim(line + 1, close - 1), {}});
                continue;
            }
        }
        ProfileKey key;
        const char *equals = static_cast<const char *>(std::memchr(line, '=', static_cast<std::size_t>(line_end - line)));
        if (equals != nullptr) {
            key.name = trim(line, equals);
            key.value = trim(equals + 1, line_end);
        } else {
            key.name = std::string(line, line_end);
        }
        // A run of lines with empty names keeps only the first.
        std::vector<ProfileKey> &keys = sections.back().keys;
        if (!key.name.empty() || keys.empty() || !keys.back().name.empty()) keys.push_back(std::move(key));
    }
    profile.key_at.assign(sections.size(), {});
    for (std::size_t s = 0; s < sections.size(); ++s) {
        profile.section_at.emplace(folded(sections[s].name), s);
        for (std::size_t k = 0; k < sections[s].keys.size(); ++k)
            profile.key_at[s].emplace(folded(sections[s].keys[k].name), k);
    }
}

}  // namespace emuhost::stand_ins

using namespace emuhost::stand_ins;

extern "C" {

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR default_value, LPSTR value, DWORD size,
                               LPCSTR path) {
    if (value == nullptr || size == 0) return 0;
    try {
        std::string fallback = default_value ? default_value : "";
        while (!fallback.empty() && fallback.back() == ' ') fallback.pop_back();

        const std::string file = path != nullptr ? profile_file(path) : std::string();
        std::shared_ptr<const Profile> profile = path != nullptr ? cached_profile(file) : nullptr;
        if (!profile) fail(path == nullptr ? ERROR_INVALID_PARAMETER : missing_error(file));
        static const std::vector<ProfileSection> none;
        const std::vector<ProfileSection> &sections = profile ? profile->sections : none;

        if (section == nullptr) {
            std::vector<std::string> names;
            for (const ProfileSection &found : sections)
                if (!found.name.empty()) names.push_back(found.name);
            return copy_names(names, value, size);
        }
        if (key == nullptr) {
            // The keys with a value, comments aside, of the first section
            // of the name as given (untrimmed). An empty list answers the
            // default.
            std::vector<std::string> names;
            for (const ProfileSection &candidate : sections) {
                if (!emuhost::same_name(candidate.name, section)) continue;
                for (const ProfileKey &entry : candidate.keys)
                    if (entry.value && (entry.name.empty() || entry.name[0] != ';')) names.push_back(entry.name);
                break;
            }
            DWORD length = copy_names(names, value, size);
            return length > 0 ? length : copy_value(fallback, value, size);
        }
        const ProfileSection *found = profile ? find_section(*profile, trim(section)) : nullptr;
        if (found != nullptr) {
            const auto &keys = profile->key_at[static_cast<std::size_t>(found - profile->sections.data())];
            auto first = keys.find(folded(trim(key)));
            // Only the first key of the name counts; without a value it
            // answers the default.
            if (first != keys.end() && found->keys[first->second].value)
                return copy_value(*found->keys[first->second].value, value, size);
        }
        return copy_value(fallback, value, size);
    } catch (const std::bad_alloc &) {
        fail(ERROR_NOT_ENOUGH_MEMORY);
        value[0] = '\0';
        return 0;
    }
}

}  // extern "C"
