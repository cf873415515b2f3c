#include "ui/sequence_controls.h"

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
    // The pattern comes from the skin: only one integer conversion is allowed
    // through, anything else is taken literally.
    std::wstring safe;
    bool used = false;
    for (size_t i = 0; i < pattern.size(); ++i) {
        wchar_t c = pattern[i];
        if (c != L'%') { safe.push_back(c); continue; }
        if (i + 1 < pattern.size() && pattern[i + 1] == L'%') { safe += L"%%"; ++i; continue; }
        size_t j = i + 1;
        while (j < pattern.size() && (std::wcschr(L"0123456789.-+ #", pattern[j]) != nullptr)) ++j;
        if (!used && j < pattern.size() && (pattern[j] == L'd' || pattern[j] == L'i')) {
            safe.append(pattern, i, j - i + 1);
            used = true;
            i = j;
        } else {
            safe += L"%%";
        }
    }
    wchar_t buf[261];
    int n = std::swprintf(buf, 261, safe.c_str(), frame);
    if (n < 0) return std::wstring();
    return std::wstring(buf);
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
