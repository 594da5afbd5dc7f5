// The profile (INI) reader's parsed files: what the reader
// (GetPrivateProfileStringA, profile.cpp) asks, and its cache
// (profile_cache.cpp) keeps.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace emuhost::stand_ins {

struct ProfileKey {
    std::string name;
    std::optional<std::string> value;  // none for a line without '='
};

struct ProfileSection {
    std::string name;
    std::vector<ProfileKey> keys;
};

// An INI file as parsed, with indexes that answer the first section of a
// name and the first key of a name within a section without a scan.
struct Profile {
    std::vector<ProfileSection> sections;
    std::unordered_map<std::string, std::size_t> section_at;             // folded name -> first
    std::vector<std::unordered_map<std::string, std::size_t>> key_at;    // per section: folded name -> first
};

// Parses INI text into its sections, in file order, and indexes them. Keys
// before the first heading belong to a section without a name.
void parse_profile(const std::string &text, Profile &profile);

// The parsed file at `path`, read and parsed again only when the file has
// changed; null when it cannot be read as a file.
std::shared_ptr<const Profile> cached_profile(const std::string &path);

}  // namespace emuhost::stand_ins
