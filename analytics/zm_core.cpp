#include "analytics/zm_core.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <cstdio>

#include "analytics/zm_transport.h"
#include "utils/time.h"

namespace zm_analytics {

void ErrorLine(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

namespace {

std::atomic<Sdk*> g_sdk{nullptr};
// While Capture runs on a thread: where that thread's records go instead of the queue.
thread_local std::vector<std::string>* t_capture = nullptr;

void Report(const std::string& message, std::string* out) {
    ErrorLine(message);
    if (out) *out = message;
}

void AppendQuoted(std::string& out, const std::string& s) {
    out += '"';
    size_t run = 0;  // start of the bytes copied unchanged
    for (size_t i = 0; i < s.size(); ++i) {
        const char* esc = nullptr;
        switch (s[i]) {
            case '\b': esc = "\\b"; break;
            case '\t': esc = "\\t"; break;
            case '\n': esc = "\\n"; break;
            case '\f': esc = "\\f"; break;
            case '\r': esc = "\\r"; break;
            case '"': esc = "\\\""; break;
            case '\\': esc = "\\\\"; break;
            default: continue;
        }
        out.append(s, run, i - run);
        out += esc;
        run = i + 1;
    }
    out.append(s, run, std::string::npos);
    out += '"';
}

bool IsAsciiLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// One more checked string member of the record: ',"key":"value"', or left out
// with the string check's message.
void AppendCheckedString(std::string& out, const char* key, const std::string& value) {
    if (value.size() > 8192) {
        ErrorLine(std::string("String property '") + key + "' is too long, value: " + value);
        return;
    }
    if (!IsWellFormedUtf8(value)) {
        ErrorLine(std::string("String property '") + key + "' is not valid UTF-8 string, value: " + value);
        return;
    }
    out += ",\"";
    out += key;
    out += "\":";
    AppendQuoted(out, value);
}

}  // namespace

// ---- values -----------------------------------------------------------------

ObjectNode ObjectNode::FromNumber(double v) {
    ObjectNode n;
    n.m_kind = Number;
    n.m_value = v;
    return n;
}
ObjectNode ObjectNode::FromInteger(int64_t v) {
    ObjectNode n;
    n.m_kind = Integer;
    n.m_value = v;
    return n;
}
ObjectNode ObjectNode::FromString(std::string v) {
    ObjectNode n;
    n.m_kind = String;
    n.m_value = std::move(v);
    return n;
}
ObjectNode ObjectNode::FromList(std::vector<std::string> v) {
    ObjectNode n;
    n.m_kind = List;
    n.m_value = std::move(v);
    return n;
}
ObjectNode ObjectNode::FromDateTime(DateTime v) {
    ObjectNode n;
    n.m_kind = DateTimeKind;
    n.m_value = v;
    return n;
}
ObjectNode ObjectNode::FromBool(bool v) {
    ObjectNode n;
    n.m_kind = Bool;
    n.m_value = v;
    return n;
}
ObjectNode ObjectNode::FromObject(const PropertiesNode& v) {
    ObjectNode n;
    n.m_kind = Object;
    n.m_value = std::make_shared<const PropertiesNode>(v);
    return n;
}

void ObjectNode::AppendJson(std::string& out) const {
    switch (m_kind) {
        case Number: out += FormatDouble(AsNumber()); break;
        case Integer: out += std::to_string(AsInteger()); break;
        case String: AppendQuoted(out, AsString()); break;
        case List: {
            out += '[';
            bool first = true;
            for (const auto& s : AsList()) {
                if (!first) out += ',';
                first = false;
                AppendQuoted(out, s);
            }
            out += ']';
            break;
        }
        case DateTimeKind: AppendQuoted(out, FormatDateTime(AsDateTime())); break;
        case Bool: out += AsBool() ? "true" : "false"; break;
        case Object: AsObject().AppendJson(out); break;
    }
}

// ---- property sets ------------------------------------------------------------

void PropertiesNode::Set(const std::string& key, ObjectNode v) { m_items.insert_or_assign(key, std::move(v)); }
void PropertiesNode::SetNumber(const std::string& key, double v) { Set(key, ObjectNode::FromNumber(v)); }
void PropertiesNode::SetInteger(const std::string& key, int64_t v) { Set(key, ObjectNode::FromInteger(v)); }
void PropertiesNode::SetList(const std::string& key, std::vector<std::string> v) {
    Set(key, ObjectNode::FromList(std::move(v)));
}
void PropertiesNode::SetDateTime(const std::string& key, DateTime v) { Set(key, ObjectNode::FromDateTime(v)); }
void PropertiesNode::SetBool(const std::string& key, bool v) { Set(key, ObjectNode::FromBool(v)); }
void PropertiesNode::SetObject(const std::string& key, const PropertiesNode& v) { Set(key, ObjectNode::FromObject(v)); }

bool PropertiesNode::SetString(const std::string& key, const std::string& v) {
    if (v.size() > 8192) {
        ErrorLine(std::string("String property '") + key + "' is too long, value: " + v);
        return false;
    }
    if (!IsWellFormedUtf8(v)) {
        ErrorLine(std::string("String property '") + key + "' is not valid UTF-8 string, value: " + v);
        return false;
    }
    Set(key, ObjectNode::FromString(v));
    return true;
}

void PropertiesNode::Merge(const PropertiesNode& other) {
    for (const auto& [k, v] : other.m_items) m_items.insert_or_assign(k, v);
}

const ObjectNode* PropertiesNode::Find(const std::string& key) const {
    auto it = m_items.find(key);
    return it == m_items.end() ? nullptr : &it->second;
}

void PropertiesNode::AppendJson(std::string& out) const {
    out += '{';
    bool first = true;
    for (const auto& [k, v] : m_items) {
        if (!first) out += ',';
        first = false;
        out += '"';
        out += k;
        out += "\":";
        v.AppendJson(out);
    }
    out += '}';
}

std::string PropertiesNode::ToJson() const {
    std::string out;
    AppendJson(out);
    return out;
}

// ---- checks and formats -----------------------------------------------------------

bool IsWellFormedUtf8(const std::string& s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    size_t n = s.size(), i = 0;
    auto cont = [&](size_t k, unsigned char lo = 0x80, unsigned char hi = 0xBF) {
        return i + k < n && p[i + k] >= lo && p[i + k] <= hi;
    };
    while (i < n) {
        unsigned char c = p[i];
        if (c == 0x09 || c == 0x0A || c == 0x0D || (c >= 0x20 && c <= 0x7E)) {
            i += 1;
        } else if (c >= 0xC2 && c <= 0xDF) {
            if (!cont(1)) return false;
            i += 2;
        } else if (c == 0xE0) {
            if (!cont(1, 0xA0, 0xBF) || !cont(2)) return false;
            i += 3;
        } else if ((c >= 0xE1 && c <= 0xEC) || c == 0xEE || c == 0xEF) {
            if (!cont(1) || !cont(2)) return false;
            i += 3;
        } else if (c == 0xED) {
            if (!cont(1, 0x80, 0x9F) || !cont(2)) return false;
            i += 3;
        } else if (c == 0xF0) {
            if (!cont(1, 0x90, 0xBF) || !cont(2) || !cont(3)) return false;
            i += 4;
        } else if (c >= 0xF1 && c <= 0xF3) {
            if (!cont(1) || !cont(2) || !cont(3)) return false;
            i += 4;
        } else if (c == 0xF4) {
            if (!cont(1, 0x80, 0x8F) || !cont(2) || !cont(3)) return false;
            i += 4;
        } else {
            return false;
        }
    }
    return true;
}

bool CheckId(const std::string& label, const std::string& text, std::string* message) {
    if (text.empty()) {
        Report("The " + label + " is empty.", message);
        return false;
    }
    if (text.size() >= 256) {
        Report("The " + label + " is too long, max length is 255.", message);
        return false;
    }
    return true;
}

bool CheckKey(const std::string& label, const std::string& text, std::string* message) {
    if (text.empty() || text.size() > 100) {
        Report("The " + label + " is empty or too long, max length is 100", message);
        return false;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        bool ok = IsAsciiLetter(c) || c == '$' || c == '_' || (i > 0 && IsAsciiDigit(c));
        if (!ok) {
            Report("The " + label + " need to be a valid variable name.", message);
            return false;
        }
    }
    return true;
}

std::string FormatDouble(double v) {
    if (!std::isfinite(v)) return "null";  // JSON has no text for these
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", v);
    // The C library may follow a locale with a decimal comma; JSON needs the point.
    for (char& c : buf)
        if (c == ',') c = '.';
    return buf;
}

std::string FormatDateTime(DateTime v) {
    auto t = Utils::LocalTimeFromEpoch(v.seconds, v.milliseconds);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second, t.milliseconds);
    return buf;
}

int64_t NowMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

int64_t MakeTrackId(int64_t nowMs) {
    int a = (std::rand() % 99 + 100) % 100;
    int b = (std::rand() % 999 + 1000) % 1000;
    int c = static_cast<int>(((nowMs % 10000) + 10000) % 10000);
    // The digit groups side by side: 2 + 3 + 4 digits.
    return static_cast<int64_t>(a) * 10000000 + static_cast<int64_t>(b) * 10000 + c;
}

// ---- the singleton ---------------------------------------------------------------

Sdk::Sdk(const std::string& stagingPath, const std::string& serverUrl, const std::string& distinctId, bool login,
         long sendTimeoutMs)
    : m_distinctId(distinctId),
      m_isLoginId(login),
      m_queue(std::make_unique<RecordQueue>(serverUrl, stagingPath, sendTimeoutMs)) {
    ClearSuperPropertiesOf(m_super);
}

Sdk::~Sdk() = default;

void Sdk::ClearSuperPropertiesOf(PropertiesNode& node) {
    node.Clear();
    node.SetString("$lib", kLibName);
    node.SetString("$lib_version", kLibVersion);
}

bool Sdk::Init(const std::string& stagingPath, const std::string& serverUrl, const std::string& distinctId,
               bool isLoginId, long sendTimeoutMs) {
    if (!CheckId("Distinct ID", distinctId)) return false;
    if (!g_sdk.load()) {
        g_sdk.store(new Sdk(stagingPath, serverUrl, distinctId, isLoginId, sendTimeoutMs));
        std::srand(static_cast<unsigned>(std::time(nullptr)));
    }
    return true;
}

void Sdk::Shutdown() {
    Sdk* sdk = g_sdk.exchange(nullptr);
    if (!sdk) return;
    sdk->m_queue->Close();
    sdk->m_super.Clear();
    delete sdk;
}

bool Sdk::Exists() { return g_sdk.load() != nullptr; }

void Sdk::RegisterSuperProperties(const PropertiesNode& properties) {
    if (Sdk* sdk = g_sdk.load()) sdk->m_super.Merge(properties);
}

void Sdk::ClearSuperProperties() {
    if (Sdk* sdk = g_sdk.load()) ClearSuperPropertiesOf(sdk->m_super);
}

PropertiesNode Sdk::SuperProperties() {
    Sdk* sdk = g_sdk.load();
    return sdk ? sdk->m_super : PropertiesNode();
}

std::string Sdk::DistinctId() {
    Sdk* sdk = g_sdk.load();
    return sdk ? sdk->m_distinctId : std::string();
}

void Sdk::SetIdentity(const std::string& distinctId, bool isLoginId) {
    if (Sdk* sdk = g_sdk.load()) {
        sdk->m_distinctId = distinctId;
        sdk->m_isLoginId = isLoginId;
    }
}

void Sdk::Track(const std::string& eventName, const PropertiesNode& properties) {
    if (Sdk* sdk = g_sdk.load()) sdk->AddRecord("track", eventName, properties, sdk->m_distinctId, "");
}

void Sdk::TrackInstallation(const std::string& eventName, const PropertiesNode& properties) {
    Sdk* sdk = g_sdk.load();
    if (!sdk) return;
    PropertiesNode all;
    all.SetString("$ios_install_source", "");
    all.Merge(properties);
    sdk->AddRecord("track", eventName, all, sdk->m_distinctId, "");
}

void Sdk::Login(const std::string& loginId) {
    Sdk* sdk = g_sdk.load();
    if (!sdk) return;
    sdk->AddRecord("track_signup", "$SignUp", PropertiesNode(), loginId, sdk->m_distinctId);
    sdk->m_distinctId = loginId;
    sdk->m_isLoginId = true;
}

#define ZM_PROFILE_ONE(Op, type, Setter, T)                                   \
    void Sdk::Op(const std::string& key, T value) {                           \
        PropertiesNode p;                                                     \
        p.Setter(key, value);                                                 \
        if (Sdk* sdk = g_sdk.load()) sdk->AddRecord(type, "", p, sdk->m_distinctId, ""); \
    }

void Sdk::ProfileSet(const PropertiesNode& properties) {
    if (Sdk* sdk = g_sdk.load()) sdk->AddRecord("profile_set", "", properties, sdk->m_distinctId, "");
}
void Sdk::ProfileSetOnce(const PropertiesNode& properties) {
    if (Sdk* sdk = g_sdk.load()) sdk->AddRecord("profile_set_once", "", properties, sdk->m_distinctId, "");
}
ZM_PROFILE_ONE(ProfileSet, "profile_set", SetString, const std::string&)
ZM_PROFILE_ONE(ProfileSet, "profile_set", SetInteger, int64_t)
ZM_PROFILE_ONE(ProfileSet, "profile_set", SetNumber, double)
ZM_PROFILE_ONE(ProfileSet, "profile_set", SetDateTime, DateTime)
ZM_PROFILE_ONE(ProfileSetOnce, "profile_set_once", SetString, const std::string&)
ZM_PROFILE_ONE(ProfileSetOnce, "profile_set_once", SetInteger, int64_t)
ZM_PROFILE_ONE(ProfileSetOnce, "profile_set_once", SetNumber, double)
ZM_PROFILE_ONE(ProfileSetOnce, "profile_set_once", SetDateTime, DateTime)
ZM_PROFILE_ONE(ProfileIncrement, "profile_increment", SetInteger, int64_t)
ZM_PROFILE_ONE(ProfileIncrement, "profile_increment", SetNumber, double)
#undef ZM_PROFILE_ONE

void Sdk::ProfileAppend(const std::string& key, const std::string& value) {
    PropertiesNode p;
    p.SetList(key, {value});
    if (Sdk* sdk = g_sdk.load()) sdk->AddRecord("profile_append", "", p, sdk->m_distinctId, "");
}

bool Sdk::Flush() {
    Sdk* sdk = g_sdk.load();
    return sdk && sdk->m_queue->Flush();
}

bool Sdk::LastSendSucceeded() {
    Sdk* sdk = g_sdk.load();
    return sdk && sdk->m_queue->LastSendSucceeded();
}

std::vector<std::string> Sdk::Capture(const std::function<void()>& make) {
    std::vector<std::string> records;
    std::vector<std::string>* outer = t_capture;
    t_capture = &records;
    try {
        make();
    } catch (...) {
        t_capture = outer;
        throw;
    }
    t_capture = outer;
    return records;
}

void Sdk::PrepareCrashRecords(const std::vector<std::string>& records) {
    if (Sdk* sdk = g_sdk.load()) sdk->m_queue->PrepareCrashRecords(records);
}

bool Sdk::WriteCrashRecords() {
    Sdk* sdk = g_sdk.load();
    return sdk && sdk->m_queue->WriteCrashRecords();
}

RecordQueue* Sdk::Queue() {
    Sdk* sdk = g_sdk.load();
    return sdk ? sdk->m_queue.get() : nullptr;
}

void Sdk::AddRecord(const std::string& type, const std::string& eventName, const PropertiesNode& properties,
                    const std::string& distinctId, const std::string& originalId) {
    for (const auto& [key, value] : properties.Items()) {
        if (!CheckKey("Property Key", key)) return;
        if (key == "$time" && value.GetKind() != ObjectNode::DateTimeKind) {
            Report("The property '$time' should be DateTime type.", nullptr);
            return;
        }
        if (key == "$project" && value.GetKind() != ObjectNode::String) {
            Report("The property '$project' should be String type.", nullptr);
            return;
        }
    }
    if (type == "track" && !CheckKey("Event Name", eventName)) return;
    if (type == "track_signup" && !CheckId("Original ID", originalId)) return;

    // The record is written straight into its JSON text: its own keys are fixed
    // and already in order, and the properties are the super properties merged
    // with the given ones (given values win) without building a merged copy.
    const bool withSuper = type.find("track") != std::string::npos;
    auto lookup = [&](const std::string& key) -> const ObjectNode* {
        if (const ObjectNode* v = properties.Find(key)) return v;
        return withSuper ? m_super.Find(key) : nullptr;
    };
    int64_t time;
    const ObjectNode* t = lookup("$time");
    if (t && t->GetKind() == ObjectNode::DateTimeKind) {
        DateTime dt = t->AsDateTime();
        time = dt.seconds * 1000 + dt.milliseconds;
    } else {
        time = NowMilliseconds();
    }
    std::string project;
    if (const ObjectNode* p = lookup("$project"); p && p->GetKind() == ObjectNode::String) project = p->AsString();

    using Item = std::pair<const std::string*, const ObjectNode*>;
    std::vector<Item> merged;
    merged.reserve(properties.Size() + (withSuper ? m_super.Size() : 0) + 1);
    {
        static const std::map<std::string, ObjectNode> kEmpty;
        const auto& a = withSuper ? m_super.Items() : kEmpty;
        const auto& b = properties.Items();
        auto ia = a.begin(), ib = b.begin();
        while (ia != a.end() || ib != b.end()) {
            if (ib == b.end() || (ia != a.end() && ia->first < ib->first)) {
                merged.emplace_back(&ia->first, &ia->second);
                ++ia;
            } else {
                if (ia != a.end() && ia->first == ib->first) ++ia;
                merged.emplace_back(&ib->first, &ib->second);
                ++ib;
            }
        }
    }
    if (m_isLoginId) {
        static const std::string kLoginKey = "$is_login_id";
        static const ObjectNode kTrue = ObjectNode::FromBool(true);
        auto pos = std::lower_bound(merged.begin(), merged.end(), kLoginKey,
                                    [](const Item& i, const std::string& k) { return *i.first < k; });
        if (pos != merged.end() && *pos->first == kLoginKey)
            pos->second = &kTrue;
        else
            merged.insert(pos, Item(&kLoginKey, &kTrue));
    }

    std::string out;
    out.reserve(512 + merged.size() * 48);
    out += "{\"_track_id\":";
    out += std::to_string(MakeTrackId(NowMilliseconds()));
    AppendCheckedString(out, "distinct_id", distinctId);
    if (type == "track" || type == "track_signup") AppendCheckedString(out, "event", eventName);
    out += ",\"lib\":{\"$lib\":\"cpp\",\"$lib_method\":\"code\",\"$lib_version\":\"0.9\"}";
    if (type == "track_signup") AppendCheckedString(out, "original_id", originalId);
    if (!project.empty()) AppendCheckedString(out, "project", project);
    out += ",\"properties\":{";
    bool first = true;
    for (const auto& [key, value] : merged) {
        if (*key == "$time" || *key == "$project") continue;
        if (!first) out += ',';
        first = false;
        out += '"';
        out += *key;
        out += "\":";
        value->AppendJson(out);
    }
    out += "},\"time\":";
    out += std::to_string(time);
    out += ",\"type\":";
    AppendQuoted(out, type);
    out += '}';
    if (t_capture) {
        t_capture->push_back(std::move(out));
        return;
    }
    m_queue->Add(std::move(out));
}

}  // namespace zm_analytics
