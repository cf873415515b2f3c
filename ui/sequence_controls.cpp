#include "ui/sequence_controls.h"

#include <algorithm>
#include <cwchar>

#include "toolkit/values.h"

using toolkit::EqualsNoCase;

SequenceAnimation::Step SequenceAnimation::Advance() {
    Step step;
    if (pattern.empty()) return step;
    if (forward) {
        if (index > count - 1) {
            if (round) {
                forward = false;
                index = count - 2;
            } else {
                index = 0;
                if (!loop) {
                    step.stopTimer = true;
                    return step;
                }
            }
        }
    }
    if (!forward) {
        if (index == 0) {
            if (round) forward = true;
            index = 0;
            if (!loop) {
                step.stopTimer = true;
                return step;
            }
        }
    }
    step.draw = true;
    step.frame = index;
    index += forward ? 1 : -1;
    return step;
}

bool SequenceAnimation::ApplyAttribute(std::wstring_view name, std::wstring_view value) {
    int n;
    if (name == L"sequencebkimage") pattern = value;
    else if (EqualsNoCase(name, L"sequencecount")) { if (toolkit::ParseInt(value, n)) count = n; }
    else if (EqualsNoCase(name, L"sequencespan")) { if (toolkit::ParseInt(value, n)) span = n; }
    else if (EqualsNoCase(name, L"sequenceloop")) loop = value != L"false";
    else if (EqualsNoCase(name, L"autostart")) autostart = value != L"false";
    else if (EqualsNoCase(name, L"sequenceround")) round = value != L"false";
    else return false;
    return true;
}

std::wstring SequenceAnimation::FrameName(int frame) const {
    // The pattern comes from the skin: its first integer conversion
    // ("%[flags][width][.precision]d") is formatted here, "%%" is a percent
    // sign, everything else is taken literally.
    std::wstring out;
    bool used = false;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const wchar_t c = pattern[i];
        if (c != L'%') {
            out.push_back(c);
            continue;
        }
        if (i + 1 < pattern.size() && pattern[i + 1] == L'%') {
            out.push_back(L'%');
            ++i;
            continue;
        }
        size_t j = i + 1;
        bool left = false, zero = false, plus = false, space = false;
        for (; j < pattern.size() && std::wcschr(L"-0+ #", pattern[j]); ++j) {
            left |= pattern[j] == L'-';
            zero |= pattern[j] == L'0';
            plus |= pattern[j] == L'+';
            space |= pattern[j] == L' ';
        }
        long width = 0, precision = -1;
        for (; j < pattern.size() && pattern[j] >= L'0' && pattern[j] <= L'9'; ++j) width = std::min(width * 10 + (pattern[j] - L'0'), 1000L);
        if (j < pattern.size() && pattern[j] == L'.') {
            precision = 0;
            for (++j; j < pattern.size() && pattern[j] >= L'0' && pattern[j] <= L'9'; ++j)
                precision = std::min(precision * 10 + (pattern[j] - L'0'), 1000L);
        }
        if (used || j >= pattern.size() || (pattern[j] != L'd' && pattern[j] != L'i')) {
            out.push_back(L'%');  // not a conversion this control formats: literal text
            continue;
        }
        used = true;
        std::wstring digits = std::to_wstring(frame < 0 ? -static_cast<long long>(frame) : frame);
        if (precision >= 0 && static_cast<long>(digits.size()) < precision) digits.insert(0, precision - digits.size(), L'0');
        std::wstring sign = frame < 0 ? L"-" : plus ? L"+" : space ? L" " : L"";
        std::wstring field = sign + digits;
        if (static_cast<long>(field.size()) < width) {
            const size_t pad = static_cast<size_t>(width) - field.size();
            if (left) field.append(pad, L' ');
            else if (zero && precision < 0) field.insert(sign.size(), pad, L'0');
            else field.insert(0, pad, L' ');
        }
        out += field;
        i = j;
    }
    if (out.size() > 260) return std::wstring();  // longer than a path may be
    return out;
}

// ---------------------------------------------------------------- label

CSequenceLabelUI::~CSequenceLabelUI() {
    if (m_host) m_host->KillTimer(this, SequenceAnimation::kTimerId);
}

void* CSequenceLabelUI::GetInterface(std::wstring_view name) {
    return name == kClass ? this : toolkit::Label::GetInterface(name);
}

bool CSequenceLabelUI::ApplyAttribute(std::wstring_view name, std::wstring_view value) {
    return m_anim.ApplyAttribute(name, value) || toolkit::Label::ApplyAttribute(name, value);
}

void CSequenceLabelUI::Init() {
    toolkit::Label::Init();
    if (m_anim.autostart && m_host) m_host->SetTimer(this, SequenceAnimation::kTimerId, static_cast<unsigned>(m_anim.span));
}

void CSequenceLabelUI::Start() {
    m_anim.index = 0;
    if (m_host) m_host->SetTimer(this, SequenceAnimation::kTimerId, static_cast<unsigned>(m_anim.span));
}

void CSequenceLabelUI::OnTimer(unsigned id) {
    toolkit::Label::OnTimer(id);
    if (id != SequenceAnimation::kTimerId) return;
    auto step = m_anim.Advance();
    if (step.stopTimer && m_host) m_host->KillTimer(this, SequenceAnimation::kTimerId);
    if (step.draw) SetBkImage(m_anim.FrameName(step.frame));
}

// ---------------------------------------------------------------- button

CSequenceButtonUI::CSequenceButtonUI() {
    m_anim.span = 60;
    m_anim.round = true;
}

void* CSequenceButtonUI::GetInterface(std::wstring_view name) {
    return name == kClass ? this : toolkit::Button::GetInterface(name);
}

bool CSequenceButtonUI::ApplyAttribute(std::wstring_view name, std::wstring_view value) {
    return m_anim.ApplyAttribute(name, value) || toolkit::Button::ApplyAttribute(name, value);
}

void CSequenceButtonUI::Init() {
    toolkit::Button::Init();
    if (m_anim.autostart && m_host) m_host->SetTimer(this, SequenceAnimation::kTimerId, static_cast<unsigned>(m_anim.span));
}

void CSequenceButtonUI::OnTimer(unsigned id) {
    toolkit::Button::OnTimer(id);
    if (id != SequenceAnimation::kTimerId) return;
    auto step = m_anim.Advance();
    if (step.stopTimer && m_host) m_host->KillTimer(this, SequenceAnimation::kTimerId);
    if (step.draw) SetBkImage(m_anim.FrameName(step.frame));
}

std::unique_ptr<toolkit::Control> CreateSkinControl(std::wstring_view element) {
    if (EqualsNoCase(element, L"SequenceButton")) return std::make_unique<CSequenceButtonUI>();
    if (EqualsNoCase(element, L"SequenceLabel")) return std::make_unique<CSequenceLabelUI>();
    return nullptr;
}
