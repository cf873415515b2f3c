#pragma once
// Event records of the tracker, their enumerations, the tracker configuration
// and the per-report context properties.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zelmox::analytics {

enum ZmEventType {
    Activity = 0, PaLaunchPal = 1, Login = 2, Click = 3, View = 4, Cashier = 5, Share = 6, Task = 7, File = 8,
    Order = 9, Payment = 10, Uninstall = 11, Update = 12, Crashed = 13, AppOpenNotificationEvent = 14,
};
constexpr int kEventTypeCount = 15;

enum ZmResult { Success = 0, Cancelled = 1, Fail = 2, Unknown = 3 };
enum ClickType { Button = 0, Banner = 1, Tutorial = 2, ClickFile = 3, Others = 4 };
enum ZmIOType { Input = 0, Output = 1 };
enum ZmUserType {
    UserUnknown = 0, MobilePhone = 1, Email = 2, Weixin = 3, QQ = 4, DeviceId = 5, Baidu = 6, Huawei = 7,
    Apple = 8, ZelmoxUserId = 9, Google = 10, Facebook = 11,
};
enum ZmCurrency { CNY = 0, USD, EUR, HKD, TWD, MOP, SGD, JPY, KRW, INR, GBP };
enum ZmPaidPlatform { Alipay = 0, WeChatPay, PayPal, Tenpay, CIECC, GooglePay, HuaweiPay, AppleIAP, Paddle,
                      ChinaUnionPay };
enum ZmIapType { Consumable = 1, NonConsumable = 2, AutoRenewable = 3, NonRenewable = 4 };
enum ZmUpdateOp { UpdateCheck = 0, DownloadStart = 1, DownloadEnd = 2, UpgrateStart = 3, UpgrateEnd = 4 };
enum ZmUpdateResult { UpdateSuccess = 0, UpdateCancelled = 1, UpdateTimeout = 2, UpdateFail = 3, UpdateLatest = 4,
                      UpdateUpdateable = 5 };

// Texts of the enumerations; other values raise ZmException with the message
// of each enumeration (function: the caller's operation name).
std::string EventTypeText(int value, const char* function = "eventTypeText");
std::string ResultText(int value, const char* function = "resultText");
std::string ClickTypeText(int value, const char* function = "clickTypeText");
std::string IOTypeText(int value, const char* function = "ioTypeText");
std::string UserTypeText(int value, const char* function = "userTypeText");
std::string CurrencyText(int value, const char* function = "currencyText");
std::string PaidPlatformText(int value, const char* function = "paidPlatformText");
std::string IapTypeText(int value, const char* function = "iapTypeText");
std::string UpdateOpText(int value, const char* function = "updateOpText");
std::string UpdateResultText(int value, const char* function = "updateResultText");
std::string EditionText(int value, const char* function = "editionText");

struct ZmTrackerConfig {
    std::string appName;
    std::string appVersion;
    std::string appStore;
    std::string dlAppId;
    std::string dlAppVersion;
    std::string logPath;
    int edition = 0;  // 0 china, 1 overseas
    std::string serverUrl;
    // The limit of one batch upload.
    long sendTimeoutMs = 3000;
    // The per-user folder under which "ZMLocal\" holds the tracker's data;
    // empty: the system's (local application data).
    std::string baseFolder;
};

struct ZmEventTask {
    std::string aname;
    std::string name;
    std::string reason;
    std::shared_ptr<float> elapsed;
    std::shared_ptr<int> result;  // ZmResult
};

struct ZmEventClick {
    std::string aname;
    std::string name;
    int clickType = Others;
    std::string title;
    std::string module;
    std::string position;
    std::shared_ptr<int> tabIndex;
    std::string tabName;
    std::shared_ptr<int> bannerIndex;
    std::string bannerName;
};

struct ZmEventView {
    std::string aname;
    std::string name;
    std::string title;
    std::string position;
};

struct ZmEventCashier {
    std::string cashierName;
    std::string cashierTitle;
    std::string subitem;
};

struct ZmEventShare {
    std::string aname;
    std::string channel;
    std::string position;
    std::string sharedName;
    std::shared_ptr<int> result;  // ZmResult
};

struct ZmEventFile {
    std::string aname;
    std::string name;
    std::shared_ptr<int> io;  // ZmIOType
    std::string ext;
    std::shared_ptr<float> size;
    std::shared_ptr<int> duration;
    std::shared_ptr<float> fps;
    std::shared_ptr<float> bps;
    std::shared_ptr<int> width;
    std::shared_ptr<int> height;
    std::shared_ptr<int> depth;
    std::shared_ptr<int> result;  // ZmResult
};

struct ZmEventOrder {
    std::string orderId;
    std::string subitem;
    std::string sku;
    std::string suitId;
    std::shared_ptr<int> currency;  // ZmCurrency
    float originalAmount = 0;
    std::string voucherId;
    float paidAmount = 0;
    std::string cashierName;
    std::string cashierTitle;
    std::shared_ptr<int> campaignCode;
    float curOriginalAmount = 0;
    float curPaidAmount = 0;
};

struct ZmEventPayment {
    std::string orderId;
    std::string subitem;
    std::string sku;
    std::shared_ptr<int> currency;  // ZmCurrency
    float originalAmount = 0;
    std::shared_ptr<int> campaignCode;
    std::string voucherId;
    std::string usedVoucherId;
    float paidAmount = 0;
    std::string suitId;
    std::string cashierName;
    std::string cashierTitle;
    std::shared_ptr<int> paidPlatform;  // ZmPaidPlatform
    std::shared_ptr<int> result;        // ZmResult
    std::shared_ptr<int> iapType;       // ZmIapType
    float curOriginalAmount = 0;
    float curPaidAmount = 0;
};

struct ZmEventUpdate {
    int op = UpdateCheck;               // ZmUpdateOp
    std::shared_ptr<int> result;        // ZmUpdateResult
    std::shared_ptr<float> elapsed;
};

struct AppOpenNotification {
    std::string msgTitle;
    std::string msgContent;
    std::string linkUrl;
    std::string planId;
    std::string audienceId;
    std::string planStrategyId;
    std::string planType;
    std::string strategyUnitId;
};

struct ZmUser {
    std::string userId;
    std::string userName;
    int userType = UserUnknown;
    std::string nickname;
    std::string portrait;
    std::string mobilePhone;
    std::string email;
    std::string weixin;
    std::string qq;
    std::string did;
    int64_t created = 0;
    int64_t lastLogin = 0;
    std::string lastIp;
    int vipLevel = 0;
    int64_t vipEndDate = 0;
};

// Properties a caller attaches to chosen event kinds for one report.
class ZmContextProperties {
public:
    enum ValueKind { BoolValue = 0, DateTimeValue = 1, NumberValue = 2, StringValue = 3, ListValue = 4 };
    struct Value {
        ValueKind kind = StringValue;
        bool b = false;
        int64_t dateTime = 0;
        double number = 0;
        std::string text;
        std::vector<std::string> list;
    };
    struct Entry {
        const Value* value;
        ValueKind kind;
        std::string key;
    };

    ZmContextProperties();
    ZmContextProperties(const ZmContextProperties&) = delete;
    ZmContextProperties& operator=(const ZmContextProperties&) = delete;

    // Stores value under "zmc_ab" for each given kind.
    void setProperty(const std::vector<int>& eventKinds, const std::string& value);
    const std::vector<Entry>& getEventProperties(int kind) const;
    // The A/B group check: empty -> false; otherwise true or ZmException.
    static bool isValidABValue(const std::string& text);

private:
    std::map<std::string, std::unique_ptr<Value>> m_table;
    std::vector<std::vector<Entry>> m_lists;
};

}  // namespace zelmox::analytics
