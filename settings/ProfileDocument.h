// Device profiles: a device's whole settings (what its settings window
// edits, the wireless group settings never) as a readable JSON document.
// This module holds what every device kind shares: the envelope (format
// name, version, model), loading and saving, the field reader that names
// the field and the rule of the first problem, and the comparison of two
// profiles. Each device kind converts its form values to and from the
// "settings" object in its own module. Toolkit-free.
//
//   {
//     "format": "rzset-device-profile",
//     "version": 1,
//     "model": { "name": "TQ-RZ900E", "code": 14, "ext": 0 },
//     "settings": { ... }
//   }
//
// Keys keep the order in which they were built and the text is indented by
// two blanks, so that two profiles compare line by line.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

using ProfileJson = nlohmann::ordered_json;

inline constexpr const char* PROFILE_FORMAT = "rzset-device-profile";
// The newest version this program reads and the one it writes.
constexpr int PROFILE_VERSION = 1;

// Why a profile was refused: the field (a dotted path such as
// "settings.commandPort"; empty for the file as a whole) and the rule.
struct ProfileError {
    std::string field;
    std::string rule;
    // "settings.commandPort: <rule>", or the rule alone.
    std::string Text() const;
};

struct ProfileModel {
    int code = 0;
    int ext = 0;  // meaningful for code 15 only; 0 otherwise
};

// The document around a settings object, for the model.
ProfileJson MakeProfile(const ProfileModel& model, ProfileJson settings);
// Two-blank indent, the key order as built, UTF-8, a final newline.
std::string ProfileText(const ProfileJson& doc);

// Parses text and checks the envelope: well-formed JSON without repeated
// keys, the format name, a version from 1 to PROFILE_VERSION, a model whose
// name is the catalogue's name of its code and extension and which has a
// settings window, a "settings" object, no other keys. The settings
// themselves are checked by the device kind. False with the first problem.
bool ParseProfile(const std::string& text, ProfileJson* doc, ProfileModel* model, ProfileError* error);
bool ReadProfileFile(const std::string& path, ProfileJson* doc, ProfileModel* model, ProfileError* error);
// Writes the whole file or nothing (a temporary file renamed over it).
bool WriteProfileFile(const std::string& path, const ProfileJson& doc, ProfileError* error);

// The profile's model against the target's code and extension.
bool CheckProfileModel(const ProfileModel& profile, int code, int ext, ProfileError* error);

// Reads the fields of one object of a profile. Every call names its key;
// the first problem (missing, wrong type, outside its rule) is kept in the
// shared error and every later call does nothing and returns false, so a
// device kind reads all its fields in a row and looks at the error once.
class ProfileReader {
public:
    // object may be null (a missing parent): every read then fails.
    ProfileReader(const ProfileJson* object, std::string path, ProfileError* error);

    bool Ok() const { return m_error->rule.empty(); }
    std::string Path(const std::string& key) const;
    // Records a problem with a field (only the first problem is kept).
    void Fail(const std::string& key, const std::string& rule);

    // An integer low..high; outside it, rangeRule (the window's message
    // where it has one) or "low-highの範囲で指定してください。".
    bool Int(const char* key, long long low, long long high, int* out, const char* rangeRule = nullptr);
    bool Bool(const char* key, bool* out);
    bool Text(const char* key, std::string* out);
    // A number (integer or not); its range is the kind's to check.
    bool Number(const char* key, double* out);
    // One of the list's texts, exactly; its index.
    bool Choice(const char* key, const char* const* items, int count, int* index);
    // The object under key (read with the returned reader).
    ProfileReader Object(const char* key);
    // Refuses the first key that no call above has read.
    bool Finish();

private:
    const ProfileJson* Field(const char* key);
    const ProfileJson* m_object;
    std::string m_path;
    ProfileError* m_error;
    std::vector<std::string> m_read;
};

// What ProfileReader::Choice reads: a list's text at index, or null for
// NO_CHOICE / outside the list.
ProfileJson ChoiceValue(const char* const* items, int count, int index);

// One field that differs between two profiles, with both values as JSON
// text ("(none)" where a profile lacks the field).
struct ProfileDifference {
    std::string field;
    std::string expected;
    std::string actual;
};
// Compares leaf by leaf, in the order of expected, then the fields only
// actual has.
std::vector<ProfileDifference> DiffProfiles(const ProfileJson& expected, const ProfileJson& actual);
