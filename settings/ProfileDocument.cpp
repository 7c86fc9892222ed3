#include "settings/ProfileDocument.h"

#include "forms/ProfileTexts.h"
#include "link/Catalogue.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace {

std::string Format(const char* format, const std::string& a, const std::string& b = {}) {
    char buf[512];
    std::snprintf(buf, sizeof buf, format, a.c_str(), b.c_str());
    return buf;
}

std::string Format(const char* format, long long a, long long b) {
    char buf[256];
    std::snprintf(buf, sizeof buf, format, a, b);
    return buf;
}

// "12行目 5文字目" of a byte offset (1-based, as an editor shows it).
std::string Position(const std::string& text, std::size_t byte) {
    byte = std::min(byte, text.size());
    int line = 1;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < byte; ++i) {
        if (text[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    // byte counts past the offending character.
    const std::size_t column = byte > lineStart ? byte - lineStart : 1;
    return std::to_string(line) + "行目 " + std::to_string(column) + "文字目";
}

// A file name in UTF-8 (as the windows and the command line give it) as a
// path of the platform.
std::filesystem::path PathOf(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

}  // namespace

std::string ProfileError::Text() const { return field.empty() ? rule : field + ": " + rule; }

ProfileJson MakeProfile(const ProfileModel& model, ProfileJson settings) {
    ProfileJson doc;
    doc["format"] = PROFILE_FORMAT;
    doc["version"] = PROFILE_VERSION;
    doc["model"]["name"] = GetModelName(model.code, model.ext);
    doc["model"]["code"] = model.code;
    doc["model"]["ext"] = model.ext;
    doc["settings"] = std::move(settings);
    return doc;
}

std::string ProfileText(const ProfileJson& doc) { return doc.dump(2) + "\n"; }

bool ParseProfile(const std::string& text, ProfileJson* doc, ProfileModel* model, ProfileError* error) {
    *error = ProfileError{};
    // Repeated keys would silently keep one of the values: refused.
    std::vector<std::set<std::string>> keys;
    std::string repeated;
    auto callback = [&](int /*depth*/, nlohmann::json::parse_event_t event, ProfileJson& parsed) {
        using E = nlohmann::json::parse_event_t;
        if (event == E::object_start) keys.emplace_back();
        else if (event == E::object_end && !keys.empty()) keys.pop_back();
        else if (event == E::key && !keys.empty() && !keys.back().insert(parsed.get<std::string>()).second &&
                 repeated.empty())
            repeated = parsed.get<std::string>();
        return true;
    };
    ProfileJson parsed;
    try {
        parsed = ProfileJson::parse(text, callback);
    } catch (const nlohmann::json::parse_error& e) {
        error->rule = Format(MSG_PROFILE_NOT_JSON, Position(text, e.byte));
        return false;
    }
    if (!repeated.empty()) {
        error->field = repeated;
        error->rule = Format(MSG_PROFILE_NOT_JSON, "\"" + repeated + "\" が2回あります");
        return false;
    }
    if (!parsed.is_object() || !parsed.contains("format") || parsed["format"] != PROFILE_FORMAT) {
        error->rule = MSG_PROFILE_NOT_PROFILE;
        return false;
    }
    ProfileReader top(&parsed, "", error);
    std::string format;
    int version = 0;
    top.Text("format", &format);
    // The version first: a newer file is refused as newer, whatever else it holds.
    if (top.Int("version", 1, INT_MAX, &version, MSG_PROFILE_BAD_VERSION) && version > PROFILE_VERSION)
        top.Fail("version", Format(FMT_PROFILE_NEWER, version, PROFILE_VERSION));
    ProfileReader m = top.Object("model");
    std::string name;
    ProfileModel pm;
    m.Text("name", &name);
    m.Int("code", 0, 15, &pm.code);
    m.Int("ext", 0, 255, &pm.ext);
    if (m.Ok() && name != GetModelName(pm.code, pm.ext)) m.Fail("name", MSG_PROFILE_MODEL_NAME);
    if (m.Ok() && SettingsKindForModel(pm.code) == SettingsKind::None) m.Fail("code", MSG_PROFILE_UNSUPPORTED);
    m.Finish();
    top.Object("settings");  // missing or not an object: named here; its fields are the kind's
    top.Finish();
    if (!top.Ok()) return false;
    *doc = std::move(parsed);
    *model = pm;
    return true;
}

bool ReadProfileFile(const std::string& path, ProfileJson* doc, ProfileModel* model, ProfileError* error) {
    std::ifstream in(PathOf(path), std::ios::binary);
    std::stringstream text;
    if (in) text << in.rdbuf();
    if (!in || in.bad()) {
        *error = ProfileError{"", Format(FMT_PROFILE_CANNOT_READ, path + ": " + std::strerror(errno))};
        return false;
    }
    return ParseProfile(text.str(), doc, model, error);
}

bool WriteProfileFile(const std::string& path, const ProfileJson& doc, ProfileError* error) {
    const std::filesystem::path target = PathOf(path);
    std::filesystem::path tmp = target;
    tmp += ".tmp";
    bool ok = false;
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (out) {
            out << ProfileText(doc);
            out.flush();
            ok = static_cast<bool>(out);
        }
    }
    std::error_code ec(errno, std::generic_category());
    // Replaces an existing file at once, on every platform.
    if (ok) std::filesystem::rename(tmp, target, ec);
    if (!ok || ec) {
        std::error_code ignored;
        std::filesystem::remove(tmp, ignored);
        *error = ProfileError{"", Format(FMT_PROFILE_CANNOT_WRITE, path + ": " + ec.message())};
        return false;
    }
    return true;
}

bool CheckProfileModel(const ProfileModel& profile, int code, int ext, ProfileError* error) {
    const int profileExt = profile.code == MODEL_EXTENDED ? profile.ext : 0;
    const int targetExt = code == MODEL_EXTENDED ? ext : 0;
    if (profile.code == code && profileExt == targetExt) return true;
    *error = ProfileError{"model", Format(FMT_PROFILE_OTHER_MODEL, GetModelName(profile.code, profile.ext),
                                         GetModelName(code, ext))};
    return false;
}

// ---------------------------------------------------------------- reader

ProfileReader::ProfileReader(const ProfileJson* object, std::string path, ProfileError* error)
    : m_object(object), m_path(std::move(path)), m_error(error) {}

std::string ProfileReader::Path(const std::string& key) const { return m_path.empty() ? key : m_path + "." + key; }

void ProfileReader::Fail(const std::string& key, const std::string& rule) {
    if (!Ok()) return;
    m_error->field = Path(key);
    m_error->rule = rule;
}

const ProfileJson* ProfileReader::Field(const char* key) {
    if (!Ok() || !m_object) return nullptr;
    m_read.emplace_back(key);
    auto it = m_object->find(key);
    if (it == m_object->end()) {
        Fail(key, MSG_FIELD_MISSING);
        return nullptr;
    }
    return &*it;
}

bool ProfileReader::Int(const char* key, long long low, long long high, int* out, const char* rangeRule) {
    const ProfileJson* v = Field(key);
    if (!v) return false;
    if (!v->is_number_integer()) {
        Fail(key, MSG_FIELD_INTEGER);
        return false;
    }
    const bool tooBig = v->is_number_unsigned() && v->get<unsigned long long>() > static_cast<unsigned long long>(high);
    const long long value = tooBig ? high : v->get<long long>();
    if (tooBig || value < low || value > high) {
        Fail(key, rangeRule ? std::string(rangeRule) : Format(FMT_FIELD_RANGE, low, high));
        return false;
    }
    *out = static_cast<int>(value);
    return true;
}

bool ProfileReader::Bool(const char* key, bool* out) {
    const ProfileJson* v = Field(key);
    if (!v) return false;
    if (!v->is_boolean()) {
        Fail(key, MSG_FIELD_BOOL);
        return false;
    }
    *out = v->get<bool>();
    return true;
}

bool ProfileReader::Text(const char* key, std::string* out) {
    const ProfileJson* v = Field(key);
    if (!v) return false;
    if (!v->is_string()) {
        Fail(key, MSG_FIELD_TEXT);
        return false;
    }
    *out = v->get<std::string>();
    return true;
}

bool ProfileReader::Number(const char* key, double* out) {
    const ProfileJson* v = Field(key);
    if (!v) return false;
    if (!v->is_number()) {
        Fail(key, MSG_FIELD_NUMBER);
        return false;
    }
    *out = v->get<double>();
    return true;
}

bool ProfileReader::Choice(const char* key, const char* const* items, int count, int* index) {
    const ProfileJson* v = Field(key);
    if (!v) return false;
    for (int i = 0; v->is_string() && i < count; ++i) {
        if (v->get<std::string>() == items[i]) {
            *index = i;
            return true;
        }
    }
    // Anything else, null included (a device value outside the list).
    std::string list;
    for (int i = 0; i < count; ++i) list += (i ? ", " : "") + std::string(items[i]);
    Fail(key, Format(FMT_FIELD_CHOICE, list));
    return false;
}

ProfileReader ProfileReader::Object(const char* key) {
    const ProfileJson* v = Field(key);
    if (v && !v->is_object()) {
        Fail(key, MSG_FIELD_OBJECT);
        v = nullptr;
    }
    return ProfileReader(v, Path(key), m_error);
}

bool ProfileReader::Finish() {
    if (!Ok() || !m_object) return false;
    for (auto it = m_object->begin(); it != m_object->end(); ++it) {
        if (std::find(m_read.begin(), m_read.end(), it.key()) == m_read.end()) {
            Fail(it.key(), MSG_FIELD_UNKNOWN);
            return false;
        }
    }
    return true;
}

ProfileJson ChoiceValue(const char* const* items, int count, int index) {
    if (index < 0 || index >= count) return nullptr;
    return items[index];
}

// ---------------------------------------------------------------- comparison

namespace {
void DiffInto(const ProfileJson* expected, const ProfileJson* actual, const std::string& path,
              std::vector<ProfileDifference>* out) {
    auto text = [](const ProfileJson* v) { return v ? v->dump() : std::string("(none)"); };
    if (expected && actual && expected->is_object() && actual->is_object()) {
        for (auto it = expected->begin(); it != expected->end(); ++it) {
            auto other = actual->find(it.key());
            DiffInto(&it.value(), other == actual->end() ? nullptr : &other.value(),
                     path.empty() ? it.key() : path + "." + it.key(), out);
        }
        for (auto it = actual->begin(); it != actual->end(); ++it) {
            if (!expected->contains(it.key()))
                DiffInto(nullptr, &it.value(), path.empty() ? it.key() : path + "." + it.key(), out);
        }
        return;
    }
    if (expected && actual && *expected == *actual) return;
    out->push_back(ProfileDifference{path, text(expected), text(actual)});
}
}  // namespace

std::vector<ProfileDifference> DiffProfiles(const ProfileJson& expected, const ProfileJson& actual) {
    std::vector<ProfileDifference> out;
    DiffInto(&expected, &actual, "", &out);
    return out;
}
