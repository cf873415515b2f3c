// Context properties and the enumeration texts of the event catalogue.
#include <string>

#include "analytics/zm_events.h"
#include "analytics/zm_exception.h"

namespace zelmox::analytics {

namespace {

constexpr const char* kContextSource = "ZmContextProperties";
constexpr const char* kTrackerSource = "AnalyticsTrackerImpl";

template <size_t N>
std::string TextOf(int value, const char* const (&texts)[N], int first, const std::string& prefix,
                   const char* function) {
    if (value < first || value >= first + static_cast<int>(N))
        ZM_THROW(kTrackerSource, function, prefix + std::to_string(value) + "]!");
    return texts[value - first];
}

bool IsUpper(unsigned char c) { return c >= 'A' && c <= 'Z'; }
bool IsAlnum(unsigned char c) { return IsUpper(c) || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

}  // namespace

std::string EventTypeText(int v, const char* f) {
    static const char* const t[] = {"Activity", "PaLaunchPal", "Login", "Click", "View",
                                    "Cashier", "Share", "Task", "File", "Order",
                                    "Payment", "Uninstall", "Update", "Crashed", "AppOpenNotification"};
    return TextOf(v, t, 0, "Unknown Event [", f);
}
std::string ResultText(int v, const char* f) {
    static const char* const t[] = {"Success", "Cancelled", "Fail", "Unknown"};
    return TextOf(v, t, 0, "Unknown task result [", f);
}
std::string ClickTypeText(int v, const char* f) {
    static const char* const t[] = {"Button", "Banner", "Tutorial", "File", "Others"};
    return TextOf(v, t, 0, "Unknown ClickType [", f);
}
std::string IOTypeText(int v, const char* f) {
    if (v == Input) return "Input";
    if (v == Output) return "Output";
    ZM_THROW(kTrackerSource, f, "the io type is invalid");
}
std::string UserTypeText(int v, const char* f) {
    static const char* const t[] = {"unknown", "mobilephone", "email", "weixin", "qq", "deviceid",
                                    "baidu", "huawei", "apple", "zelmoxuserid", "google", "facebook"};
    return TextOf(v, t, 0, "Unknown user type [", f);
}
std::string CurrencyText(int v, const char* f) {
    static const char* const t[] = {"CNY", "USD", "EUR", "HKD", "TWD", "MOP", "SGD", "JPY", "KRW", "INR", "GBP"};
    return TextOf(v, t, 0, "Unknown currency [", f);
}
std::string PaidPlatformText(int v, const char* f) {
    static const char* const t[] = {"Alipay", "WeChatPay", "PayPal", "Tenpay", "CIECC",
                                    "GooglePay", "HuaweiPay", "AppleIAP", "Paddle", "ChinaUnionPay"};
    return TextOf(v, t, 0, "Unknown paid platform [", f);
}
std::string IapTypeText(int v, const char* f) {
    static const char* const t[] = {"Consumable", "NonConsumable", "AutoRenewable", "NonRenewable"};
    return TextOf(v, t, 1, "Unknown zmIapType [", f);
}
std::string UpdateOpText(int v, const char* f) {
    static const char* const t[] = {"UpdateCheck", "DownloadStart", "DownloadEnd", "UpgrateStart", "UpgrateEnd"};
    return TextOf(v, t, 0, "Unknown ZmUpdateOp [", f);
}
std::string UpdateResultText(int v, const char* f) {
    static const char* const t[] = {"Success", "Cancelled", "Timeout", "Fail", "Latest", "Updateable"};
    return TextOf(v, t, 0, "Unknown ZmUpdateResult [", f);
}
std::string EditionText(int v, const char* f) {
    static const char* const t[] = {"china", "overseas"};
    return TextOf(v, t, 0, "Unknown edition [", f);
}

ZmContextProperties::ZmContextProperties() : m_lists(kEventTypeCount) {}

void ZmContextProperties::setProperty(const std::vector<int>& eventKinds, const std::string& value) {
    static const std::string kKey = "zmc_ab";
    if (m_table.count(kKey)) ZM_THROW(kContextSource, "setProperty", "Property[" + kKey + "] already exist!");
    auto stored = std::make_unique<Value>();
    stored->kind = StringValue;
    stored->text = value;
    const Value* ref = stored.get();
    m_table.emplace(kKey, std::move(stored));
    for (int kind : eventKinds) {
        if (kind < 0 || kind >= kEventTypeCount)
            ZM_THROW(kContextSource, "setProperty", "ZmEvent[" + std::to_string(kind) + "] overflow!");
        m_lists[kind].push_back(Entry{ref, StringValue, kKey});
    }
}

const std::vector<ZmContextProperties::Entry>& ZmContextProperties::getEventProperties(int kind) const {
    if (kind < 0 || kind >= kEventTypeCount)
        ZM_THROW(kContextSource, "getEventProperties", "ZmEvent[" + std::to_string(kind) + "] overflow!");
    return m_lists[kind];
}

bool ZmContextProperties::isValidABValue(const std::string& text) {
    if (text.empty()) return false;
    if (text.size() >= 4) ZM_THROW(kContextSource, "isValidABValue", "value's length is great than 3.");
    if (!IsUpper(static_cast<unsigned char>(text[0])))
        ZM_THROW(kContextSource, "isValidABValue", "First char is not in A to Z");
    if (text.size() > 1 && !IsAlnum(static_cast<unsigned char>(text[1])))
        ZM_THROW(kContextSource, "isValidABValue", "second char is not in A to Z and 0 to 9");
    if (text.size() > 2 && !IsAlnum(static_cast<unsigned char>(text[2])))
        ZM_THROW(kContextSource, "isValidABValue", "third char is not in A to Z and 0 to 9");
    return true;
}

}  // namespace zelmox::analytics
