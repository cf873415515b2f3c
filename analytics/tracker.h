#pragma once
// The typed, application-facing analytics tracker: AnalyticsTracker (the
// interface), AnalyticsTrackerImpl (checks, property sets, identity, flushes)
// and AnalyticsTrackerWrapper (forwards every call inside a catch-all).
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "analytics/zm_events.h"
#include "analytics/zm_exception.h"

namespace zm_analytics {
class PropertiesNode;
}
namespace Utils {
class Thread;
}

namespace zelmox::analytics {

class TrackLogger {
public:
    virtual ~TrackLogger() = default;
    virtual void open(const std::string& path) = 0;
    virtual void log(const std::string& line) = 0;
};

class NativeTrackLogger : public TrackLogger {
public:
    void open(const std::string& path) override;
    void log(const std::string& line) override;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
    std::wstring m_file;  // the same path, wide
    bool m_open = false;
    std::mutex m_lock;
};

class AnalyticsTracker {
public:
    virtual ~AnalyticsTracker() = default;
    virtual void trackActivity(ZmContextProperties& context) = 0;
    virtual void trackLaunch(ZmContextProperties& context) = 0;
    virtual void trackLogin(const ZmUser& user, bool success, const std::string& reason,
                            ZmContextProperties& context) = 0;
    virtual void trackClick(const ZmEventClick& event, ZmContextProperties& context) = 0;
    virtual void trackView(const ZmEventView& event, ZmContextProperties& context) = 0;
    virtual void trackCashier(const ZmEventCashier& event, ZmContextProperties& context) = 0;
    virtual void trackShare(const ZmEventShare& event, ZmContextProperties& context) = 0;
    virtual void trackTask(const ZmEventTask& event, ZmContextProperties& context) = 0;
    virtual void trackFile(const ZmEventFile& event, ZmContextProperties& context) = 0;
    virtual void trackOrder(const ZmEventOrder& event, ZmContextProperties& context) = 0;
    virtual void trackPayment(const ZmEventPayment& event, ZmContextProperties& context) = 0;
    virtual void trackUninstall(const std::string& reason, ZmContextProperties& context) = 0;
    virtual void trackCrash(const std::string& reason) = 0;
    virtual void trackUpdate(const ZmEventUpdate& event, ZmContextProperties& context) = 0;
    virtual void trackAppOpenNotification(const AppOpenNotification* event, ZmContextProperties& context) = 0;
    virtual void setLocale(const std::string& locale) = 0;
    virtual std::string getPrimaryDistinctId() = 0;
    virtual TrackLogger* getTrackLogger() = 0;
};

// Identity, folders and counters of one tracker.
struct ZmTrackerState {
    bool isLogined = false;
    std::string UserId;
    std::string DistinctId;
    std::string PrimaryDistinctId;
    int UserVipLevel = 0;
    std::string logPath;
    std::string locale;
    std::string dataFolder;  // always ends in "\"
    std::string settingsFile;
    std::string URL;
    std::atomic<int> pending{0};
    std::atomic<bool> stop{false};
    ZmUser pendingProfile;
    int64_t pendingProfileTime = 0;
    std::mutex profileLock;
};

class AnalyticsTrackerImpl : public AnalyticsTracker {
public:
    // The maker's collection endpoint, used when the configuration names none.
    static const char* const kDefaultServerUrl;

    explicit AnalyticsTrackerImpl(const ZmTrackerConfig& config);
    ~AnalyticsTrackerImpl() override;

    void init();

    void trackActivity(ZmContextProperties& context) override;
    void trackLaunch(ZmContextProperties& context) override;
    void trackLogin(const ZmUser& user, bool success, const std::string& reason,
                    ZmContextProperties& context) override;
    void trackClick(const ZmEventClick& event, ZmContextProperties& context) override;
    void trackView(const ZmEventView& event, ZmContextProperties& context) override;
    void trackCashier(const ZmEventCashier& event, ZmContextProperties& context) override;
    void trackShare(const ZmEventShare& event, ZmContextProperties& context) override;
    void trackTask(const ZmEventTask& event, ZmContextProperties& context) override;
    void trackFile(const ZmEventFile& event, ZmContextProperties& context) override;
    void trackOrder(const ZmEventOrder& event, ZmContextProperties& context) override;
    void trackPayment(const ZmEventPayment& event, ZmContextProperties& context) override;
    void trackUninstall(const std::string& reason, ZmContextProperties& context) override;
    void trackCrash(const std::string& reason) override;
    void trackUpdate(const ZmEventUpdate& event, ZmContextProperties& context) override;
    void trackAppOpenNotification(const AppOpenNotification* event, ZmContextProperties& context) override;
    void setLocale(const std::string& locale) override;
    std::string getPrimaryDistinctId() override;
    TrackLogger* getTrackLogger() override;

    const ZmTrackerState& state() const { return *m_state; }
    const std::string& serverUrl() const { return m_serverUrl; }
    // Sends from now on (also what is queued) to another server; empty means
    // the maker's endpoint. The identity follows as if the tracker had been
    // made for that server.
    void setServerUrl(const std::string& url);

    // Identity and environment steps (public for the tests).
    void SelectFolders();
    void LoadIdentity();
    void SaveIdentity();
    static std::string NewDistinctId();
    static std::string OsVersionName();
    static std::string OsVersionNameFromNumbers(uint32_t major, uint32_t minor, uint32_t build, bool is64,
                                                bool serverR2);
    static bool Is64BitWindows();
    static std::string UserAgent();

    // Makes the records of a crash report now, while no lock is held, so that
    // a crash handler only has to write them (Sdk::WriteCrashRecords):
    // report makes the tracking calls of the report, whose records are kept
    // for that instead of being queued, and no flush follows them.
    void prepareCrashReport(const std::function<void()>& report);

private:
    bool AdoptServerIdentity();  // true when it changed and saved the identity
    void flushStep(bool force);
    void flushBody(bool force);
    void reapFlushThreads(bool all);
    void mergeContext(zm_analytics::PropertiesNode& props, const ZmContextProperties& context, int kind);
    void localeProperties(zm_analytics::PropertiesNode& props);

    std::string m_serverUrl;
    std::string m_appName;
    std::string m_appVersion;
    std::string m_appStore;
    std::string m_dlAppId;
    std::string m_dlAppVersion;
    std::string m_baseFolder;
    long m_sendTimeoutMs = 3000;
    std::unique_ptr<NativeTrackLogger> m_logger;
    bool m_debug = false;
    bool m_startedCore = false;
    int m_edition = 0;
    std::unique_ptr<ZmTrackerState> m_state;

    struct FlushThread;
    std::mutex m_threadsLock;
    std::vector<std::unique_ptr<FlushThread>> m_threads;
};

class AnalyticsTrackerWrapper : public AnalyticsTracker {
public:
    explicit AnalyticsTrackerWrapper(std::unique_ptr<AnalyticsTrackerImpl> impl) : m_impl(std::move(impl)) {}

    void trackActivity(ZmContextProperties& context) override;
    void trackLaunch(ZmContextProperties& context) override;
    void trackLogin(const ZmUser& user, bool success, const std::string& reason,
                    ZmContextProperties& context) override;
    void trackClick(const ZmEventClick& event, ZmContextProperties& context) override;
    void trackView(const ZmEventView& event, ZmContextProperties& context) override;
    void trackCashier(const ZmEventCashier& event, ZmContextProperties& context) override;
    void trackShare(const ZmEventShare& event, ZmContextProperties& context) override;
    void trackTask(const ZmEventTask& event, ZmContextProperties& context) override;
    void trackFile(const ZmEventFile& event, ZmContextProperties& context) override;
    void trackOrder(const ZmEventOrder& event, ZmContextProperties& context) override;
    void trackPayment(const ZmEventPayment& event, ZmContextProperties& context) override;
    void trackUninstall(const std::string& reason, ZmContextProperties& context) override;
    void trackCrash(const std::string& reason) override;
    void trackUpdate(const ZmEventUpdate& event, ZmContextProperties& context) override;
    void trackAppOpenNotification(const AppOpenNotification* event, ZmContextProperties& context) override;
    void setLocale(const std::string& locale) override;
    std::string getPrimaryDistinctId() override;
    TrackLogger* getTrackLogger() override { return nullptr; }

    AnalyticsTrackerImpl* impl() { return m_impl.get(); }

private:
    template <class F>
    void Guard(const char* operation, F&& f);
    std::unique_ptr<AnalyticsTrackerImpl> m_impl;
};

// Builds, initialises (failures swallowed) and wraps a tracker.
std::shared_ptr<AnalyticsTracker> MakeAnalyticsTracker(const ZmTrackerConfig& config);
// The same, stored in the process-wide handle (replacing the previous tracker).
void CreateAnalyticsTracker(const ZmTrackerConfig& config);

// The process-wide tracker handle.
extern std::shared_ptr<AnalyticsTracker> GlobalTracker;

// The key-to-operation table of user-profile properties and its typed calls.
class NativeUserTracker {
public:
    enum Operation { SetOnce, Increment, Set, Append };
    // -1 when the key is not a known profile property.
    static int OperationOf(const std::string& key);
    static void ProfileUserPropertyString(const std::string& key, const std::string& value);
    static void ProfileUserPropertyNumber(const std::string& key, int64_t value);
    static void ProfileUserPropertyNumber(const std::string& key, double value);
    static void ProfileUserPropertyDateTime(const std::string& key, int64_t seconds, int milliseconds);
};

}  // namespace zelmox::analytics
