#include "ui/install_progress.h"

#include "ui/language.h"

namespace {
constexpr size_t kTextBuffer = 250;  // the text never grows beyond this many characters
constexpr wchar_t kPatientText[] = L"正在安装中:%d%%，请耐心等待...";
constexpr wchar_t kWaitText[] = L"正在安装中:%d%%，请稍候...";
}  // namespace

float InstallProgress::ElapsedSeconds(uint32_t nowTick) const {
    if (!m_clockRunning) return 0.0f;
    return static_cast<float>(nowTick - m_clockStart) / 1000.0f;  // unsigned difference survives wrap-around
}

int InstallProgress::DownloadPercent(double fraction) const {
    return static_cast<int>(fraction * m_downloadScale * 100.0);
}

int InstallProgress::InstallPercent(double value) {
    m_pseudo += 0.15;
    if (m_pseudo > 0.95) m_pseudo = 0.95;
    double shown = m_pseudo;
    if (value > m_pseudo) {
        shown = value;
        m_pseudo = value;
    }
    return static_cast<int>(((1.0 - m_downloadScale) * shown + m_downloadScale) * 100.0);
}

bool InstallProgress::FormatOneNumber(const std::wstring& format, int value, std::wstring& out) {
    out.clear();
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != L'%') {
            out += format[i];
            continue;
        }
        if (i + 1 >= format.size()) return false;
        wchar_t next = format[++i];
        if (next == L'%') out += L'%';
        else if (next == L'd' || next == L'i') out += std::to_wstring(value);
        else return false;
    }
    if (out.size() >= kTextBuffer) out.resize(kTextBuffer - 1);
    return true;
}

std::wstring InstallProgress::Text(int percent, uint32_t nowTick, const std::wstring& userFormat) const {
    std::wstring text;
    if (!userFormat.empty() && FormatOneNumber(userFormat, percent, text)) return text;
    const bool patient = ElapsedSeconds(nowTick) > 60.0f;
    FormatOneNumber(patient ? LanguageText(L"307", kPatientText) : LanguageText(L"306", kWaitText), percent, text);
    return text;
}
