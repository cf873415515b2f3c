#pragma once
// The analytics core: property sets with their exact JSON form, the name, id
// and UTF-8 checks, and the process-wide Sdk that turns operations into JSON
// records and hands them to the transport queue.
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace zm_analytics {

class RecordQueue;
class PropertiesNode;

struct DateTime {
    int64_t seconds = 0;  // since 1970-01-01 UTC
    int milliseconds = 0;
};

// One property value. The kind numbers are those of the checks and the JSON form.
class ObjectNode {
public:
    enum Kind { Number = 0, Integer = 1, String = 2, List = 3, DateTimeKind = 4, Bool = 5, Object = 6 };

    static ObjectNode FromNumber(double v);
    static ObjectNode FromInteger(int64_t v);
    static ObjectNode FromString(std::string v);
    static ObjectNode FromList(std::vector<std::string> v);
    static ObjectNode FromDateTime(DateTime v);
    static ObjectNode FromBool(bool v);
    static ObjectNode FromObject(const PropertiesNode& v);

    Kind GetKind() const { return m_kind; }
    double AsNumber() const { return std::get<double>(m_value); }
    int64_t AsInteger() const { return std::get<int64_t>(m_value); }
    const std::string& AsString() const { return std::get<std::string>(m_value); }
    const std::vector<std::string>& AsList() const { return std::get<std::vector<std::string>>(m_value); }
    DateTime AsDateTime() const { return std::get<DateTime>(m_value); }
    bool AsBool() const { return std::get<bool>(m_value); }
    const PropertiesNode& AsObject() const { return *std::get<std::shared_ptr<const PropertiesNode>>(m_value); }

    void AppendJson(std::string& out) const;

private:
    Kind m_kind = Integer;
    std::variant<double, int64_t, std::string, std::vector<std::string>, DateTime, bool,
                 std::shared_ptr<const PropertiesNode>>
        m_value;
};

// Properties ordered by key (ascending bytes), one value per key.
class PropertiesNode {
public:
    void SetNumber(const std::string& key, double v);
    void SetInteger(const std::string& key, int64_t v);
    // Checked: over 8192 bytes or not well-formed UTF-8 -> message on the standard
    // error stream, the property is left out, false.
    bool SetString(const std::string& key, const std::string& v);
    void SetList(const std::string& key, std::vector<std::string> v);
    void SetDateTime(const std::string& key, DateTime v);
    void SetBool(const std::string& key, bool v);
    void SetObject(const std::string& key, const PropertiesNode& v);
    void Set(const std::string& key, ObjectNode v);
    void Merge(const PropertiesNode& other);  // other's values win
    bool Has(const std::string& key) const { return m_items.count(key) != 0; }
    const ObjectNode* Find(const std::string& key) const;
    void Remove(const std::string& key) { m_items.erase(key); }
    void Clear() { m_items.clear(); }
    size_t Size() const { return m_items.size(); }
    const std::map<std::string, ObjectNode>& Items() const { return m_items; }

    std::string ToJson() const;
    void AppendJson(std::string& out) const;

private:
    std::map<std::string, ObjectNode> m_items;
};

// The checks. Each returns true when the text passes; otherwise it writes its
// message to the standard error stream (and returns it in *message).
// Writes `text` and a line end to the standard error stream (the SDK's own
// diagnostics) and flushes it.
void ErrorLine(const std::string& text);
bool IsWellFormedUtf8(const std::string& s);
bool CheckId(const std::string& label, const std::string& text, std::string* message = nullptr);
bool CheckKey(const std::string& label, const std::string& text, std::string* message = nullptr);
// Writes a double as the standard stream does by default (6 significant digits).
std::string FormatDouble(double v);
// "%04d-%02d-%02d %02d:%02d:%02d.%03d" in local time.
std::string FormatDateTime(DateTime v);
// The random record id: 2 + 3 digits of random numbers and the last 4 digits of nowMs.
int64_t MakeTrackId(int64_t nowMs);
int64_t NowMilliseconds();

class Sdk {
public:
    static constexpr const char* kLibName = "cpp";
    static constexpr const char* kLibVersion = "0.9";

    // Creates the singleton on the first call; false when the distinct id is invalid.
    static bool Init(const std::string& stagingPath, const std::string& serverUrl, const std::string& distinctId,
                     bool isLoginId, long sendTimeoutMs = 3000);
    static void Shutdown();
    static bool Exists();

    static void RegisterSuperProperties(const PropertiesNode& properties);
    static void ClearSuperProperties();
    static PropertiesNode SuperProperties();

    static void Track(const std::string& eventName, const PropertiesNode& properties);
    static void TrackInstallation(const std::string& eventName, const PropertiesNode& properties);
    static void Login(const std::string& loginId);
    static void SetIdentity(const std::string& distinctId, bool isLoginId);
    static std::string DistinctId();

    static void ProfileSet(const PropertiesNode& properties);
    static void ProfileSet(const std::string& key, const std::string& value);
    static void ProfileSet(const std::string& key, int64_t value);
    static void ProfileSet(const std::string& key, double value);
    static void ProfileSet(const std::string& key, DateTime value);
    static void ProfileSetOnce(const PropertiesNode& properties);
    static void ProfileSetOnce(const std::string& key, const std::string& value);
    static void ProfileSetOnce(const std::string& key, int64_t value);
    static void ProfileSetOnce(const std::string& key, double value);
    static void ProfileSetOnce(const std::string& key, DateTime value);
    static void ProfileIncrement(const std::string& key, int64_t value);
    static void ProfileIncrement(const std::string& key, double value);
    static void ProfileAppend(const std::string& key, const std::string& value);

    // Sends everything queued (false when a batch failed or there is no core).
    static bool Flush();
    // Whether the last batch sent was accepted (false without a core).
    static bool LastSendSucceeded();

    // Runs make and returns the records it made on this thread, which are
    // not queued.
    static std::vector<std::string> Capture(const std::function<void()>& make);
    // The records a crash handler is to write (see RecordQueue).
    static void PrepareCrashRecords(const std::vector<std::string>& records);
    // Writes them to the staging file; no lock, no allocation.
    static bool WriteCrashRecords();
    // The transport queue of the singleton (null without one).
    static RecordQueue* Queue();

private:
    Sdk(const std::string& stagingPath, const std::string& serverUrl, const std::string& distinctId, bool login,
        long sendTimeoutMs);
    ~Sdk();
    static void ClearSuperPropertiesOf(PropertiesNode& node);
    void AddRecord(const std::string& type, const std::string& eventName, const PropertiesNode& properties,
                   const std::string& distinctId, const std::string& originalId);

    PropertiesNode m_super;
    std::string m_distinctId;
    bool m_isLoginId;
    std::unique_ptr<RecordQueue> m_queue;
};

}  // namespace zm_analytics
