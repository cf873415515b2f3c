#include "analytics/tracker.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <random>

#include "analytics/zm_core.h"
#include "analytics/zm_transport.h"
#include "utils/fs.h"
#include "utils/ini.h"
#include "utils/log.h"
#include "utils/sysinfo.h"
#include "utils/text.h"
#include "utils/thread.h"
#include "utils/time.h"

namespace zelmox::analytics {

using zm_analytics::DateTime;
using zm_analytics::PropertiesNode;
using zm_analytics::Sdk;

std::shared_ptr<AnalyticsTracker> GlobalTracker;

const char* const AnalyticsTrackerImpl::kDefaultServerUrl = "https://sa.zelmox.com/sa?project=pc";

namespace {

constexpr const char* kSource = "AnalyticsTrackerImpl";

// Serialises flush bodies across the process.
std::mutex g_sendLock;
// Set while a crash report is prepared on this thread: its calls do not flush.
thread_local bool t_preparingCrash = false;

std::string Replace(std::string s, char from, char to) {
    std::replace(s.begin(), s.end(), from, to);
    return s;
}

// "/" -> "\", a trailing "\", and every missing component created in turn.
std::string MakeFolders(std::string path) {
    path = Replace(path, '/', '\\');
    if (path.empty() || path.back() != '\\') path += '\\';
    Utils::CreateDirectories(Utils::AnsiToWide(path));
    return path;
}

DateTime Now() {
    int64_t ms = zm_analytics::NowMilliseconds();
    return {ms / 1000, static_cast<int>(ms % 1000)};
}

}  // namespace

// ---- logger ----------------------------------------------------------------------

void NativeTrackLogger::open(const std::string& path) {
    std::lock_guard<std::mutex> g(m_lock);
    if (path == m_path && m_open) return;
    m_path = path;
    m_file = Utils::AnsiToWide(path);
    m_open = Utils::FileExists(m_file) || Utils::WriteFileBytes(m_file, "");
}

void NativeTrackLogger::log(const std::string& line) {
    std::lock_guard<std::mutex> g(m_lock);
    // Each line goes to the disk at once (the log is read while the program runs).
    if (m_open) Utils::AppendFileBytes(m_file, line + "\n");
}

// ---- environment -------------------------------------------------------------------

std::string AnalyticsTrackerImpl::OsVersionNameFromNumbers(uint32_t major, uint32_t minor, uint32_t build,
                                                           bool is64, bool serverR2) {
    build &= 0xFFFF;
    switch (major) {
        case 5:
            if (minor == 0) return "2K";
            if (minor == 1) return "XP";
            if (minor == 2) return is64 ? "XP64" : serverR2 ? "Server 2003 R2" : "Server 2003";
            return "XP+";
        case 6:
            if (minor == 0) return is64 ? "Vista64" : "Vista";
            if (minor == 1) return is64 ? "7" : "7-32";
            if (minor == 2) return is64 ? "8" : "8-32";
            if (minor == 3) return "8.1";
            return "8.1+";
        case 10:
            if (minor == 0) return build < 22000 ? "10" : "11";
            return "11+";
        default:
            if (major <= 4) return "XP-";
            return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(build);
    }
}

bool AnalyticsTrackerImpl::Is64BitWindows() { return Utils::IsOs64Bit(); }

std::string AnalyticsTrackerImpl::OsVersionName() {
    uint32_t major, minor, build;
    bool r2;
    if (!Utils::GetOsVersionNumbers(major, minor, build, r2)) return "XP-";
    return OsVersionNameFromNumbers(major, minor, build, Is64BitWindows(), r2);
}

std::string AnalyticsTrackerImpl::UserAgent() {
    return std::string("Mozilla/5.0(") + "Windows" + " " + OsVersionName() + "; Win" +
           (Is64BitWindows() ? "64;)" : "32;)");
}

std::string AnalyticsTrackerImpl::NewDistinctId() {
    for (int attempt = 0; attempt <= 10; ++attempt) {
        std::string hex = Utils::WideToUtf8(Utils::NewGuidString());
        if (hex.size() != 32) continue;
        for (char& c : hex) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" + hex.substr(16, 4) + "-" +
               hex.substr(20);
    }
    static std::mutex lock;
    static std::mt19937 generator;
    std::lock_guard<std::mutex> g(lock);
    uint32_t v[8];
    for (auto& x : v) x = generator();
    v[3] = (v[3] & 0xFFF) | 0x4000;
    v[4] = v[4] % 0x3FFF + 0x8000;
    char buf[128];
    std::snprintf(buf, sizeof buf, "%x%x-%x-%x-%x-%x%x%x", v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
    return buf;
}

// ---- identity and folders ------------------------------------------------------------

void AnalyticsTrackerImpl::SelectFolders() {
    // The settings are read and written through the narrow file APIs: every
    // folder is taken in a form they can reach (the short form where a
    // character has no ANSI form, say a Cyrillic user name under a Chinese
    // code page).
    std::string module = Replace(Utils::AnsiPathOf(Utils::GetModulePath()), '/', '\\');
    std::string overridePath;
    auto slash = module.rfind('\\');
    if (slash != std::string::npos) {
        std::string setIni = module.substr(0, slash + 1) + "Set.ini";
        if (Utils::FileExists(Utils::AnsiToWide(setIni)))
            overridePath = Replace(Utils::IniReadStringA(setIni, "Install", "ZMAnalyticsIni", "", 128), '/', '\\');
    }
    if (!overridePath.empty() && overridePath.find('\\') != std::string::npos) {
        m_state->settingsFile = overridePath;
        m_state->dataFolder = MakeFolders(overridePath.substr(0, overridePath.rfind('\\')));
        return;
    }
    std::string base = m_baseFolder;
    if (base.empty()) {
        uint32_t major = 0, minor = 0, build = 0;
        bool r2 = false;
        Utils::GetOsVersionNumbers(major, minor, build, r2);
        bool modern = major > 6 || (major == 6 && minor != 0);
        std::wstring folder = Utils::GetSpecialFolder(modern ? Utils::SpecialFolder::LocalAppData
                                                             : Utils::SpecialFolder::CommonDocuments);
        if (!folder.empty()) base = Utils::AnsiPathOf(folder);
        if (base.empty() && modern) {
            DEBUG_LOG(L"the local application data folder has no ANSI form: the shared documents take the data\r\n");
            base = Utils::AnsiPathOf(Utils::GetSpecialFolder(Utils::SpecialFolder::CommonDocuments));
        }
    }
    std::string local = MakeFolders(base + "\\ZMLocal\\");
    m_state->dataFolder = MakeFolders(local + m_appName + "\\");
    m_state->settingsFile = m_state->dataFolder + m_appName + "_" + "ZMSConfigure.ini";
}

void AnalyticsTrackerImpl::LoadIdentity() {
    ZmTrackerState& s = *m_state;
    s.UserId.clear();
    s.DistinctId.clear();
    s.PrimaryDistinctId.clear();
    s.isLogined = false;
    s.URL.clear();
    const std::string& f = s.settingsFile;
    if (Utils::FileExists(Utils::AnsiToWide(f))) {
        s.DistinctId = Utils::IniReadStringA(f, "Base", "DistinctId", "", 128);
        s.PrimaryDistinctId = Utils::IniReadStringA(f, "Base", "PrimaryDistinctId", "", 128);
        if (s.PrimaryDistinctId.empty()) s.PrimaryDistinctId = s.DistinctId;
        s.UserId = Utils::IniReadStringA(f, "Base", "UserId", "", 128);
        s.UserVipLevel = Utils::IniReadInt(Utils::AnsiToWide(f), L"Base", L"UserVipLevel", 0);
        s.isLogined = Utils::IniReadStringA(f, "Base", "isLogined", "", 128) == "OK";
        s.URL = Utils::IniReadStringA(f, "Base", "URL", "", 128);
    }
    const bool made = s.DistinctId.empty();
    if (made) s.DistinctId = NewDistinctId();
    // A new identity is saved once, with the server it is adopted for.
    if (!AdoptServerIdentity() && made) SaveIdentity();
    if (s.UserId.empty()) s.isLogined = false;
}

bool AnalyticsTrackerImpl::AdoptServerIdentity() {
    ZmTrackerState& s = *m_state;
    // A login belongs to the server it was made with: another server starts
    // from the device's primary identity.
    if (s.URL != m_serverUrl || s.DistinctId.empty()) {
        s.UserId.clear();
        s.isLogined = false;
        if (s.PrimaryDistinctId.empty()) {
            s.DistinctId = NewDistinctId();
            s.PrimaryDistinctId = s.DistinctId;
        } else {
            s.DistinctId = s.PrimaryDistinctId;
        }
        s.URL = m_serverUrl;
        SaveIdentity();
        return true;
    }
    return false;
}

void AnalyticsTrackerImpl::setServerUrl(const std::string& url) {
    const std::string target = url.empty() ? kDefaultServerUrl : url;
    if (target == m_serverUrl) return;
    m_serverUrl = target;
    if (m_state->settingsFile.empty()) return;  // never initialised: nothing is sent anyway
    AdoptServerIdentity();
    if (zm_analytics::RecordQueue* queue = Sdk::Queue()) queue->SetServerUrl(target);
    Sdk::SetIdentity(m_state->DistinctId, false);
}

void AnalyticsTrackerImpl::SaveIdentity() {
    const ZmTrackerState& s = *m_state;
    if (s.settingsFile.empty()) return;
    const std::string& f = s.settingsFile;
    Utils::IniWriteStringA(f, "Base", "DistinctId", s.DistinctId);
    Utils::IniWriteStringA(f, "Base", "PrimaryDistinctId", s.PrimaryDistinctId);
    Utils::IniWriteStringA(f, "Base", "UserId", s.UserId);
    Utils::IniWriteStringA(f, "Base", "UserVipLevel", std::to_string(s.UserVipLevel));
    Utils::IniWriteStringA(f, "Base", "URL", s.URL);
    Utils::IniWriteStringA(f, "Base", "isLogined", s.isLogined ? "OK" : "NG");
}

// ---- life cycle ---------------------------------------------------------------------

struct AnalyticsTrackerImpl::FlushThread {
    std::atomic<bool> done{false};
    std::unique_ptr<Utils::Thread> thread;
};

AnalyticsTrackerImpl::AnalyticsTrackerImpl(const ZmTrackerConfig& c)
    : m_serverUrl(c.serverUrl),
      m_appName(c.appName),
      m_appVersion(c.appVersion),
      m_appStore(c.appStore),
      m_dlAppId(c.dlAppId),
      m_dlAppVersion(c.dlAppVersion),
      m_baseFolder(c.baseFolder),
      m_sendTimeoutMs(c.sendTimeoutMs),
      m_edition(c.edition),
      m_state(std::make_unique<ZmTrackerState>()) {
    m_state->logPath = c.logPath;
}

AnalyticsTrackerImpl::~AnalyticsTrackerImpl() {
    SaveIdentity();
    m_state->stop = true;
    // Flush threads started by track calls end before the final flush: they only
    // ever wait for one send (bounded by the send timeout).
    reapFlushThreads(true);
    for (int attempt = 0; attempt < 3 && m_state->pending > 0; ++attempt) {
        if (Sdk::Exists() && Sdk::Flush()) {
            m_state->pending = 0;
            break;
        }
    }
    if (m_startedCore) Sdk::Shutdown();
    m_logger.reset();
}

void AnalyticsTrackerImpl::init() {
    m_debug = false;
    if (m_appName.empty()) ZM_THROW(kSource, "init", "appName is empty");
    if (m_appVersion.empty()) ZM_THROW(kSource, "init", "appVersion is empty");
    if (m_appStore.empty()) ZM_THROW(kSource, "init", "appStore is empty");
    m_state->pending = 0;
    SelectFolders();
    if (m_serverUrl.empty()) m_serverUrl = kDefaultServerUrl;
    LoadIdentity();
    if (m_state->logPath.empty()) m_state->logPath = m_state->dataFolder + m_appName + "_" + "ZMSLog.txt";
    m_logger = std::make_unique<NativeTrackLogger>();
    m_logger->open(m_state->logPath);

    // Unsent records wait in a file of their own in the data folder.
    std::string staging = m_state->dataFolder + m_appName + "_ZMSQueue.txt";
    const ZmTrackerState& s = *m_state;
    bool login = s.isLogined && !s.UserId.empty();
    bool existed = Sdk::Exists();
    if (!Sdk::Init(staging, m_serverUrl, login ? s.UserId : s.DistinctId, login, m_sendTimeoutMs))
        ZM_THROW(kSource, "init", "zm_analytics::Sdk::Init is failed");
    m_startedCore = !existed;

    PropertiesNode preset;
    preset.SetString("zm_app_id", m_appName);
    preset.SetString("$app_version", m_appVersion);
    preset.SetString("$app_id", m_appName);
    preset.SetString("zm_app_store", m_appStore);
    preset.SetString("zm_edition", EditionText(m_edition, "init"));
    if (!m_dlAppId.empty()) preset.SetString("zm_dlapp_id", m_dlAppId);
    if (!m_dlAppVersion.empty()) preset.SetString("zm_dlapp_version", m_dlAppVersion);
    preset.SetString("zm_app_platform", "Windows");
    preset.SetString("zm_track_type", "Client");
    preset.SetString("zm_sdk_version", "3.3.8");
    preset.SetString("zm_sdk", "WindowsCPP");
    preset.SetString("$os", "Windows");
    preset.SetString("$os_version", OsVersionName());
    localeProperties(preset);
    int width = 0, height = 0;
    Utils::GetPrimaryScreenSize(width, height);
    preset.SetInteger("$screen_height", height);
    preset.SetInteger("$screen_width", width);
    if (!s.UserId.empty()) preset.SetString("zm_user_id", s.UserId);
    Sdk::RegisterSuperProperties(preset);

    Utils::IniWriteStringA(s.settingsFile, "UninstallInfo", "AppStore", m_appStore);
    Utils::IniWriteStringA(s.settingsFile, "UninstallInfo", "AppName", m_appName);
    Utils::IniWriteStringA(s.settingsFile, "UninstallInfo", "AppVersion", m_appVersion);
}

void AnalyticsTrackerImpl::localeProperties(PropertiesNode& props) {
    std::string locale, language, country;
    const std::string& text = m_state->locale;
    auto sep = text.find('_');
    if (!text.empty() && sep != std::string::npos) {
        language = text.substr(0, sep);
        country = text.substr(sep + 1);
        locale = text;
    }
    if (language.empty()) {
        std::string l, c;
        if (Utils::GetUserLocaleNames(l, c)) {
            language = l;
            country = c;
            locale = l + "_" + c;
        } else {
            locale.clear();
            country.clear();
        }
    }
    props.SetString("zm_l10n_locale", locale);
    props.SetString("zm_l10n_language", language);
    props.SetString("zm_l10n_country", country);
}

void AnalyticsTrackerImpl::setLocale(const std::string& locale) {
    m_state->locale = locale;
    PropertiesNode props;
    localeProperties(props);
    Sdk::RegisterSuperProperties(props);
}

std::string AnalyticsTrackerImpl::getPrimaryDistinctId() { return m_state->PrimaryDistinctId; }
TrackLogger* AnalyticsTrackerImpl::getTrackLogger() { return m_logger.get(); }

// ---- flushing -----------------------------------------------------------------------

void AnalyticsTrackerImpl::reapFlushThreads(bool all) {
    std::vector<std::unique_ptr<FlushThread>> finished;
    {
        std::lock_guard<std::mutex> g(m_threadsLock);
        auto split = std::stable_partition(m_threads.begin(), m_threads.end(),
                                           [all](const auto& t) { return !all && !t->done.load(); });
        for (auto it = split; it != m_threads.end(); ++it) finished.push_back(std::move(*it));
        m_threads.erase(split, m_threads.end());
    }
    finished.clear();  // joins outside the lock
}

void AnalyticsTrackerImpl::flushBody(bool force) {
    std::lock_guard<std::mutex> g(g_sendLock);
    if (m_state->stop) {
        // The tracker is going away and makes the final flush itself.
        ++m_state->pending;
        return;
    }
    if (force) {
        for (int attempt = 0; attempt < 3 && m_state->pending > 0; ++attempt) {
            if (Sdk::Exists() && Sdk::Flush()) {
                m_state->pending = 0;
                break;
            }
            Utils::SleepMs(1);
        }
    } else {
        Utils::SleepMs(1);
        ++m_state->pending;
    }
}

void AnalyticsTrackerImpl::prepareCrashReport(const std::function<void()>& report) {
    t_preparingCrash = true;
    std::vector<std::string> records;
    try {
        records = Sdk::Capture(report);
    } catch (...) {
    }
    t_preparingCrash = false;
    Sdk::PrepareCrashRecords(records);
}

void AnalyticsTrackerImpl::flushStep(bool force) {
    if (t_preparingCrash) return;
    if (Sdk::LastSendSucceeded()) {
        flushBody(force);
        return;
    }
    DEBUG_LOG(L"[Sensors] Sending messages asynchronously\r\n");
    reapFlushThreads(false);
    auto ft = std::make_unique<FlushThread>();
    FlushThread* raw = ft.get();
    ft->thread = std::make_unique<Utils::Thread>(nullptr, L"ZmFlush", [this, force, raw](void*) -> uint32_t {
        flushBody(force);
        raw->done = true;
        return 0;
    });
    std::lock_guard<std::mutex> g(m_threadsLock);
    if (ft->thread->Start()) m_threads.push_back(std::move(ft));
}

// ---- track pipeline -----------------------------------------------------------------

void AnalyticsTrackerImpl::mergeContext(PropertiesNode& props, const ZmContextProperties& context, int kind) {
    for (const auto& e : context.getEventProperties(kind)) {
        const auto& v = *e.value;
        switch (e.kind) {
            case ZmContextProperties::BoolValue: props.SetBool(e.key, v.b); break;
            case ZmContextProperties::DateTimeValue: {
                DateTime dt = v.dateTime >= 157789440000LL ? DateTime{v.dateTime / 1000, int(v.dateTime % 1000)}
                                                            : DateTime{v.dateTime, 0};
                props.SetString(e.key, zm_analytics::FormatDateTime(dt));
                break;
            }
            case ZmContextProperties::NumberValue: props.SetNumber(e.key, v.number); break;
            case ZmContextProperties::StringValue: props.SetString(e.key, v.text); break;
            case ZmContextProperties::ListValue: props.SetList(e.key, v.list); break;
        }
    }
}

namespace {
void SetIfNotEmpty(PropertiesNode& p, const char* key, const std::string& v) {
    if (!v.empty()) p.SetString(key, v);
}
}  // namespace

void AnalyticsTrackerImpl::trackTask(const ZmEventTask& e, ZmContextProperties& context) {
    if (e.name.empty()) ZM_THROW(kSource, "trackTask", "zmEventTask.name is empty");
    PropertiesNode p;
    p.SetString("zm_task_name", e.name);
    if (e.elapsed) p.SetNumber("zm_task_elapsed", *e.elapsed);
    if (e.result && *e.result >= 0 && *e.result <= 2) p.SetString("zm_task_result", ResultText(*e.result, "trackTask"));
    SetIfNotEmpty(p, "zm_aname", e.aname);
    SetIfNotEmpty(p, "zm_reason", e.reason);
    p.SetBool("$is_first_time", true);
    mergeContext(p, context, Task);
    Sdk::Track("ZmEventTask", p);
    flushStep(false);
}

void AnalyticsTrackerImpl::trackClick(const ZmEventClick& e, ZmContextProperties& context) {
    if (e.name.empty()) ZM_THROW(kSource, "trackClick", "zmEventClick.name is empty");
    PropertiesNode p;
    SetIfNotEmpty(p, "zm_aname", e.aname);
    p.SetString("zm_name", e.name);
    p.SetString("zm_click_type", ClickTypeText(e.clickType, "trackClick"));
    SetIfNotEmpty(p, "zm_title", e.title);
    SetIfNotEmpty(p, "zm_module", e.module);
    SetIfNotEmpty(p, "zm_position", e.position);
    if (e.tabIndex) p.SetInteger("zm_tab_index", *e.tabIndex);
    SetIfNotEmpty(p, "zm_tab_name", e.tabName);
    if (e.bannerIndex) p.SetInteger("zm_banner_index", *e.bannerIndex);
    SetIfNotEmpty(p, "zm_banner_name", e.bannerName);
    p.SetBool("$is_first_time", true);
    mergeContext(p, context, Click);
    Sdk::Track("ZmEventClick", p);
    ++m_state->pending;
    flushStep(false);
}

void AnalyticsTrackerImpl::trackView(const ZmEventView& e, ZmContextProperties& context) {
    if (e.name.empty()) ZM_THROW(kSource, "trackView", "zmEventView.name is empty");
    PropertiesNode p;
    SetIfNotEmpty(p, "zm_aname", e.aname);
    p.SetString("zm_name", e.name);
    SetIfNotEmpty(p, "zm_title", e.title);
    SetIfNotEmpty(p, "zm_position", e.position);
    p.SetBool("$is_first_time", true);
    mergeContext(p, context, View);
    Sdk::Track("ZmEventView", p);
    ++m_state->pending;
    flushStep(false);
}

void AnalyticsTrackerImpl::trackCashier(const ZmEventCashier& e, ZmContextProperties& context) {
    if (e.cashierName.empty()) ZM_THROW(kSource, "trackCashier", "zmEventCashier.zm_cashier_name is empty");
    PropertiesNode p;
    p.SetString("zm_cashier_name", e.cashierName);
    SetIfNotEmpty(p, "zm_cashier_title", e.cashierTitle);
    SetIfNotEmpty(p, "zm_subitem", e.subitem);
    p.SetBool("$is_first_time", true);
    mergeContext(p, context, Cashier);
    Sdk::Track("ZmEventCashier", p);
    ++m_state->pending;
    flushStep(false);
}

void AnalyticsTrackerImpl::trackShare(const ZmEventShare& e, ZmContextProperties& context) {
    PropertiesNode p;
    SetIfNotEmpty(p, "zm_aname", e.aname);
    SetIfNotEmpty(p, "zm_channel", e.channel);
    SetIfNotEmpty(p, "zm_position", e.position);
    SetIfNotEmpty(p, "zm_shared_name", e.sharedName);
    if (e.result) p.SetString("zm_result", ResultText(*e.result, "trackShare"));
    p.SetBool("$is_first_time", true);
    mergeContext(p, context, Share);
    Sdk::Track("ZmEventShare", p);
    ++m_state->pending;
    flushStep(false);
}

void AnalyticsTrackerImpl::trackFile(const ZmEventFile& e, ZmContextProperties& context) {
    if (e.aname.empty()) ZM_THROW(kSource, "trackFile", "zmEventFile.aname is empty");
    PropertiesNode p;
    p.SetString("zm_aname", e.aname);
    SetIfNotEmpty(p, "zm_name", e.name);
    if (e.io) p.SetString("zm_io", IOTypeText(*e.io, "trackFile"));
    SetIfNotEmpty(p, "zm_ext", e.ext);
    if (e.size && *e.size > 0) p.SetNumber("zm_size", *e.size);
    if (e.duration) p.SetInteger("zm_duration", *e.duration);
    if (e.fps) p.SetNumber("zm_fps", *e.fps);
    if (e.bps) p.SetNumber("zm_bps", *e.bps);
    if (e.width) p.SetInteger("zm_width", *e.width);
    if (e.height) p.SetInteger("zm_height", *e.height);
    if (e.depth) p.SetInteger("zm_depth", *e.depth);
    if (e.result && *e.result >= 0 && *e.result <= 2) p.SetString("zm_result", ResultText(*e.result, "trackFile"));
    p.SetBool("$is_first_time", true);
    mergeContext(p, context, File);
    Sdk::Track("ZmEventFile", p);
    ++m_state->pending;
    flushStep(false);
}

void AnalyticsTrackerImpl::trackOrder(const ZmEventOrder& e, ZmContextProperties& context) {
    if (e.suitId.empty()) ZM_THROW(kSource, "trackOrder", "zmEventOrder.zmSuitId is empty");
    if (!e.currency) ZM_THROW(kSource, "trackOrder", "zmEventOrder.zmCurrency is nullptr");
    if (!(e.originalAmount > 0)) ZM_THROW(kSource, "trackOrder", "zmEventOrder.originalAmount is less than zero");
    if (!(e.paidAmount > 0)) ZM_THROW(kSource, "trackOrder", "zmEventOrder.originalAmount is less than zero");
    PropertiesNode p;
    SetIfNotEmpty(p, "zm_order_id", e.orderId);
    SetIfNotEmpty(p, "zm_subitem", e.subitem);
    SetIfNotEmpty(p, "zm_sku", e.sku);
    p.SetString("zm_suit_id", e.suitId);
    p.SetString("zm_currency", CurrencyText(*e.currency, "trackOrder"));
    p.SetNumber("zm_original_amount", e.originalAmount);
    SetIfNotEmpty(p, "zm_voucher_id", e.voucherId);
    p.SetNumber("zm_paid_amount", e.paidAmount);
    SetIfNotEmpty(p, "zm_cashier_name", e.cashierName);
    SetIfNotEmpty(p, "zm_cashier_title", e.cashierTitle);
    if (e.campaignCode) p.SetInteger("zm_campaign_code", *e.campaignCode);
    if (e.curOriginalAmount > 0) p.SetNumber("zm_cur_original_amount", e.curOriginalAmount);
    if (e.curPaidAmount > 0) p.SetNumber("zm_cur_paid_amount", e.curPaidAmount);
    p.SetBool("$is_first_time", true);
    mergeContext(p, context, Order);
    Sdk::Track("ZmEventOrder", p);
    ++m_state->pending;
    flushStep(false);
}

void AnalyticsTrackerImpl::trackPayment(const ZmEventPayment& e, ZmContextProperties& context) {
    if (e.orderId.empty()) ZM_THROW(kSource, "trackPayment", "zmEventPayment.zmOrderId is empty");
    if (e.paidAmount < 0)
        ZM_THROW(kSource, "trackPayment", "paidAmount = " + std::to_string(e.paidAmount) + " is invalid");
    if (e.originalAmount < 0)
        ZM_THROW(kSource, "trackPayment", "originalAmount = " + std::to_string(e.originalAmount) + " is invalid");
    if (!e.result || (*e.result != Success && *e.result != Fail))
        ZM_THROW(kSource, "trackPayment", "zmEventPayment.result is invalid");
    // A payment without currency or platform cannot be booked: refuse it.
    if (!e.currency) ZM_THROW(kSource, "trackPayment", "zmEventPayment.zmCurrency is nullptr");
    if (!e.paidPlatform) ZM_THROW(kSource, "trackPayment", "zmEventPayment.zmPaidPlatform is nullptr");
    PropertiesNode p;
    SetIfNotEmpty(p, "zm_order_id", e.orderId);
    SetIfNotEmpty(p, "zm_subitem", e.subitem);
    SetIfNotEmpty(p, "zm_sku", e.sku);
    p.SetString("zm_currency", CurrencyText(*e.currency, "trackPayment"));
    p.SetNumber("zm_original_amount", e.originalAmount);
    if (e.campaignCode) p.SetInteger("zm_campaign_code", *e.campaignCode);
    SetIfNotEmpty(p, "zm_voucher_id", e.voucherId);
    SetIfNotEmpty(p, "zm_used_voucher_id", e.usedVoucherId);
    p.SetNumber("zm_paid_amount", e.paidAmount);
    SetIfNotEmpty(p, "zm_suit_id", e.suitId);
    SetIfNotEmpty(p, "zm_cashier_name", e.cashierName);
    SetIfNotEmpty(p, "zm_cashier_title", e.cashierTitle);
    p.SetString("zm_paid_platform", PaidPlatformText(*e.paidPlatform, "trackPayment"));
    p.SetString("zm_result", ResultText(*e.result, "trackPayment"));
    if (e.iapType) p.SetString("zm_iap_type", IapTypeText(*e.iapType, "trackPayment"));
    if (e.curOriginalAmount > 0) p.SetNumber("zm_cur_original_amount", e.curOriginalAmount);
    if (e.curPaidAmount > 0) p.SetNumber("zm_cur_paid_amount", e.curPaidAmount);
    p.SetBool("$is_first_time", true);
    mergeContext(p, context, Payment);
    Sdk::Track("ZmEventPayment", p);
    DateTime now = Now();
    NativeUserTracker::ProfileUserPropertyNumber("zm_paid_count", int64_t{1});
    NativeUserTracker::ProfileUserPropertyNumber("zm_consumption", static_cast<double>(e.paidAmount));
    NativeUserTracker::ProfileUserPropertyDateTime("zm_first_paid_date", now.seconds, now.milliseconds);
    NativeUserTracker::ProfileUserPropertyDateTime("zm_last_paid_date", now.seconds, now.milliseconds);
    m_state->pending += 4;
    if (*e.result == Success) {
        m_state->UserVipLevel = 1;
        SaveIdentity();
    }
    flushStep(true);
}

void AnalyticsTrackerImpl::trackUninstall(const std::string& reason, ZmContextProperties& context) {
    PropertiesNode p;
    SetIfNotEmpty(p, "zm_uninstall_reason", reason);
    mergeContext(p, context, Uninstall);
    Sdk::Track("ZmEventUninstall", p);
    flushStep(true);
}

void AnalyticsTrackerImpl::trackCrash(const std::string& reason) {
    PropertiesNode p;
    SetIfNotEmpty(p, "app_crashed_reason", reason);
    Sdk::Track("AppCrashed", p);
    flushStep(true);
}

void AnalyticsTrackerImpl::trackUpdate(const ZmEventUpdate& e, ZmContextProperties& context) {
    PropertiesNode p;
    p.SetString("zm_update_op", UpdateOpText(e.op, "trackUpdate"));
    if (e.op == UpdateCheck) {
        p.SetString("zm_update_result", e.result ? UpdateResultText(*e.result, "trackUpdate") : std::string());
    } else if (e.op == DownloadEnd || e.op == UpgrateEnd) {
        if (!e.result) ZM_THROW(kSource, "trackUpdate", "Unknown updateResultInfo info");
        if (!e.elapsed) ZM_THROW(kSource, "trackUpdate", "invalid elapsed info");
        p.SetString("zm_update_result", UpdateResultText(*e.result, "trackUpdate"));
        p.SetNumber("zm_elapsed", *e.elapsed);
        if (e.op == UpgrateEnd) p.SetBool("$is_first_time", true);
    }
    mergeContext(p, context, Update);
    Sdk::Track("ZmEventUpdate", p);
    flushStep(true);
}

void AnalyticsTrackerImpl::trackAppOpenNotification(const AppOpenNotification* e, ZmContextProperties& context) {
    if (!e) ZM_THROW(kSource, "trackAppOpenNotification", "&appOpenNotification is nullptr");
    if (e->planId.empty()) ZM_THROW(kSource, "trackAppOpenNotification", "planID is emptry");
    if (e->planType.empty()) ZM_THROW(kSource, "trackAppOpenNotification", "planType is emptry");
    if (e->msgTitle.empty()) ZM_THROW(kSource, "trackAppOpenNotification", "msgTitle is emptry");
    PropertiesNode p;
    p.SetString("$sf_msg_title", e->msgTitle);
    SetIfNotEmpty(p, "$sf_msg_content", e->msgContent);
    SetIfNotEmpty(p, "$sf_link_url", e->linkUrl);
    p.SetString("$sf_plan_id", e->planId);
    SetIfNotEmpty(p, "$sf_audience_id", e->audienceId);
    SetIfNotEmpty(p, "$sf_plan_strategy_id", e->planStrategyId);
    p.SetString("$sf_plan_type", e->planType);
    SetIfNotEmpty(p, "$sf_strategy_unit_id", e->strategyUnitId);
    p.SetBool("$is_first_time", true);
    mergeContext(p, context, AppOpenNotificationEvent);
    Sdk::Track("AppOpenNotification", p);
    flushStep(false);
}

void AnalyticsTrackerImpl::trackActivity(ZmContextProperties& context) {
    PropertiesNode p;
    SetIfNotEmpty(p, "zm_app_store", m_appStore);
    SetIfNotEmpty(p, "zm_app_id", m_appName);
    SetIfNotEmpty(p, "$app_id", m_appName);
    SetIfNotEmpty(p, "$app_version", m_appVersion);
    const std::string installSource = "android_id=123##imei=1234##mac=123";
    p.SetString("$ios_install_source", installSource);
    SetIfNotEmpty(p, "$user_agent", UserAgent());
    p.SetBool("$is_first_time", true);
    p.SetString("$os", "Windows");
    p.SetString("$os_version", OsVersionName());
    mergeContext(p, context, Activity);
    Sdk::TrackInstallation("ZmEventActivity", p);
    DateTime now = Now();
    NativeUserTracker::ProfileUserPropertyDateTime("$first_visit_time", now.seconds, now.milliseconds);
    NativeUserTracker::ProfileUserPropertyDateTime("zm_first_visit_date", now.seconds, now.milliseconds);
    NativeUserTracker::ProfileUserPropertyDateTime("zm_last_visit_date", now.seconds, now.milliseconds);
    NativeUserTracker::ProfileUserPropertyString("zm_os", "Windows");
    NativeUserTracker::ProfileUserPropertyString("zm_os_version", OsVersionName());
    NativeUserTracker::ProfileUserPropertyString("zm_app_store", m_appStore);
    NativeUserTracker::ProfileUserPropertyString("zm_app_platform", "Windows");
    NativeUserTracker::ProfileUserPropertyString("zm_last_app_id", m_appName);
    NativeUserTracker::ProfileUserPropertyString("zm_last_app_version", m_appVersion);
    NativeUserTracker::ProfileUserPropertyString("$ios_install_source", installSource);
    m_state->pending += 9;
    flushStep(true);
}

void AnalyticsTrackerImpl::trackLaunch(ZmContextProperties& context) {
    PropertiesNode p;
    mergeContext(p, context, PaLaunchPal);
    Sdk::Track("ZmEventLaunch", p);
    if (!m_state->UserId.empty()) {
        DateTime now = Now();
        NativeUserTracker::ProfileUserPropertyDateTime("$first_visit_time", now.seconds, now.milliseconds);
        NativeUserTracker::ProfileUserPropertyDateTime("zm_first_visit_date", now.seconds, now.milliseconds);
        NativeUserTracker::ProfileUserPropertyDateTime("zm_last_visit_date", now.seconds, now.milliseconds);
        m_state->pending += 4;
    }
    flushStep(true);
}

void AnalyticsTrackerImpl::trackLogin(const ZmUser& user, bool success, const std::string& reason,
                                      ZmContextProperties& context) {
    PropertiesNode p;
    SetIfNotEmpty(p, "zm_user_id", user.userId);
    SetIfNotEmpty(p, "zm_login_id", user.userId);
    p.SetString("zm_type", UserTypeText(user.userType, "trackLogin"));
    p.SetString("zm_result", success ? "Success" : "Fail");
    SetIfNotEmpty(p, "zm_reason", reason);
    if (!user.userId.empty()) p.SetBool("$is_first_time", true);
    mergeContext(p, context, Login);
    Sdk::Track("ZmEventLogin", p);
    if (!user.userId.empty()) {
        ZmTrackerState& s = *m_state;
        s.UserVipLevel = user.vipLevel;
        if (!s.isLogined || s.UserId.empty()) {
            Sdk::Login(user.userId);
            s.isLogined = true;
            s.UserId = user.userId;
            s.DistinctId = user.userId;
            Sdk::SetIdentity(user.userId, true);
            PropertiesNode super;
            super.SetString("zm_user_id", user.userId);
            Sdk::RegisterSuperProperties(super);
        }
        SaveIdentity();
        std::lock_guard<std::mutex> g(s.profileLock);
        s.pendingProfile = user;
        s.pendingProfileTime = zm_analytics::NowMilliseconds();
    }
    flushStep(true);
}

// ---- wrapper ------------------------------------------------------------------------

template <class F>
void AnalyticsTrackerWrapper::Guard(const char* operation, F&& f) {
    try {
        if (m_impl) f();
    } catch (...) {
        if (m_impl && m_impl->getTrackLogger()) {
            std::printf("Failed to %s\n", operation);
            std::fflush(stdout);
        }
    }
}

void AnalyticsTrackerWrapper::trackActivity(ZmContextProperties& c) {
    Guard("trackActivity", [&] { m_impl->trackActivity(c); });
}
void AnalyticsTrackerWrapper::trackLaunch(ZmContextProperties& c) {
    Guard("trackLaunch", [&] { m_impl->trackLaunch(c); });
}
void AnalyticsTrackerWrapper::trackLogin(const ZmUser& u, bool ok, const std::string& r, ZmContextProperties& c) {
    Guard("trackLogin", [&] { m_impl->trackLogin(u, ok, r, c); });
}
void AnalyticsTrackerWrapper::trackClick(const ZmEventClick& e, ZmContextProperties& c) {
    Guard("trackClick", [&] { m_impl->trackClick(e, c); });
}
void AnalyticsTrackerWrapper::trackView(const ZmEventView& e, ZmContextProperties& c) {
    Guard("trackView", [&] { m_impl->trackView(e, c); });
}
void AnalyticsTrackerWrapper::trackCashier(const ZmEventCashier& e, ZmContextProperties& c) {
    Guard("trackCashier", [&] { m_impl->trackCashier(e, c); });
}
void AnalyticsTrackerWrapper::trackShare(const ZmEventShare& e, ZmContextProperties& c) {
    Guard("trackShare", [&] { m_impl->trackShare(e, c); });
}
void AnalyticsTrackerWrapper::trackTask(const ZmEventTask& e, ZmContextProperties& c) {
    Guard("trackTask", [&] { m_impl->trackTask(e, c); });
}
void AnalyticsTrackerWrapper::trackFile(const ZmEventFile& e, ZmContextProperties& c) {
    Guard("trackFile", [&] { m_impl->trackFile(e, c); });
}
void AnalyticsTrackerWrapper::trackOrder(const ZmEventOrder& e, ZmContextProperties& c) {
    Guard("trackOrder", [&] { m_impl->trackOrder(e, c); });
}
void AnalyticsTrackerWrapper::trackPayment(const ZmEventPayment& e, ZmContextProperties& c) {
    Guard("trackPayment", [&] { m_impl->trackPayment(e, c); });
}
void AnalyticsTrackerWrapper::trackUninstall(const std::string& r, ZmContextProperties& c) {
    Guard("trackUninstall", [&] { m_impl->trackUninstall(r, c); });
}
void AnalyticsTrackerWrapper::trackCrash(const std::string& r) {
    Guard("trackCrash", [&] { m_impl->trackCrash(r); });
}
void AnalyticsTrackerWrapper::trackUpdate(const ZmEventUpdate& e, ZmContextProperties& c) {
    Guard("trackUpdate", [&] { m_impl->trackUpdate(e, c); });
}
void AnalyticsTrackerWrapper::trackAppOpenNotification(const AppOpenNotification* e, ZmContextProperties& c) {
    Guard("trackAppOpenNotification", [&] { m_impl->trackAppOpenNotification(e, c); });
}
void AnalyticsTrackerWrapper::setLocale(const std::string& l) {
    Guard("setLocale", [&] { m_impl->setLocale(l); });
}
std::string AnalyticsTrackerWrapper::getPrimaryDistinctId() {
    return m_impl ? m_impl->getPrimaryDistinctId() : std::string();
}

std::shared_ptr<AnalyticsTracker> MakeAnalyticsTracker(const ZmTrackerConfig& config) {
    auto impl = std::make_unique<AnalyticsTrackerImpl>(config);
    try {
        impl->init();
    } catch (...) {
        // A partly initialised tracker still takes reports; they go as far as they can.
    }
    return std::make_shared<AnalyticsTrackerWrapper>(std::move(impl));
}

void CreateAnalyticsTracker(const ZmTrackerConfig& config) {
    GlobalTracker.reset();  // the previous tracker shuts its core down first
    GlobalTracker = MakeAnalyticsTracker(config);
}

// ---- user-profile families ---------------------------------------------------------------

int NativeUserTracker::OperationOf(const std::string& key) {
    static const std::map<std::string, int> table = [] {
        std::map<std::string, int> t;
        for (const char* k : {"$first_visit_time", "zm_first_visit_date", "$ios_install_source", "zm_first_paid_date"})
            t[k] = SetOnce;
        for (const char* k : {"zm_visit_count", "zm_paid_count", "zm_consumption"}) t[k] = Increment;
        for (const char* k :
             {"zm_label", "zm_os", "zm_os_version", "zm_manufacturer", "zm_model", "zm_app_store", "zm_app_platform",
              "zm_last_app_id", "zm_last_app_version", "zm_carrier", "zm_last_visit_date", "aurora_pushid",
              "zm_user_id", "zm_user_name", "zm_user_type", "zm_user_nickname", "zm_user_portrait",
              "zm_user_mobilephone", "zm_user_email", "zm_user_weixin", "zm_user_qq", "zm_user_did",
              "zm_user_created", "zm_user_last_login", "zm_user_last_ip", "zm_user_vip_level",
              "zm_user_vip_enddate", "idfa", "imei", "android_id", "oaid", "zm_ip", "zm_country_code", "zm_country",
              "zm_province", "zm_city", "zm_last_paid_date"})
            t[k] = Set;
        return t;
    }();
    auto it = table.find(key);
    return it == table.end() ? -1 : it->second;
}

namespace {
constexpr const char* kUserSource = "NativeUserTracker";
}

void NativeUserTracker::ProfileUserPropertyString(const std::string& key, const std::string& value) {
    const char* f = "ProfileUserPropertyString";
    switch (OperationOf(key)) {
        case SetOnce: Sdk::ProfileSetOnce(key, value); return;
        case Set: Sdk::ProfileSet(key, value); return;
        case Increment:
            ZM_THROW(kUserSource, f, "user property [" + key + "] is string type value, it cannot be accumulated!");
        case Append: Sdk::ProfileAppend(key, value); return;
        default: ZM_THROW(kUserSource, f, "Not supported user property [" + key + "]!");
    }
}

void NativeUserTracker::ProfileUserPropertyNumber(const std::string& key, int64_t value) {
    const char* f = "ProfileUserPropertyNumber";
    switch (OperationOf(key)) {
        case SetOnce: Sdk::ProfileSetOnce(key, value); return;
        case Set: Sdk::ProfileSet(key, value); return;
        case Increment: Sdk::ProfileIncrement(key, value); return;
        case Append:
            ZM_THROW(kUserSource, f, "user property [" + key + "] is number value, it cannot be append to list!");
        default: ZM_THROW(kUserSource, f, "Not supported user property [" + key + "]!");
    }
}

void NativeUserTracker::ProfileUserPropertyNumber(const std::string& key, double value) {
    const char* f = "ProfileUserPropertyNumber";
    switch (OperationOf(key)) {
        case SetOnce: Sdk::ProfileSetOnce(key, value); return;
        case Set: Sdk::ProfileSet(key, value); return;
        case Increment: Sdk::ProfileIncrement(key, value); return;
        case Append:
            ZM_THROW(kUserSource, f, "user property [" + key + "] is number value, it cannot be append to list!");
        default: ZM_THROW(kUserSource, f, "Not supported user property [" + key + "]!");
    }
}

void NativeUserTracker::ProfileUserPropertyDateTime(const std::string& key, int64_t seconds, int milliseconds) {
    const char* f = "ProfileUserPropertyDateTime";
    DateTime v{seconds, milliseconds};
    switch (OperationOf(key)) {
        case SetOnce: Sdk::ProfileSetOnce(key, v); return;
        case Set: Sdk::ProfileSet(key, v); return;
        case Increment:
            ZM_THROW(kUserSource, f, "user property [" + key + "] is boolean value, it cannot be accumulative!");
        case Append:
            ZM_THROW(kUserSource, f, "user property [" + key + "] is boolean value, it cannot be append to list!");
        default: ZM_THROW(kUserSource, f, "Not supported user property [" + key + "]!");
    }
}

}  // namespace zelmox::analytics
