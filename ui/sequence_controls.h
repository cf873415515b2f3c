#pragma once
// Frame-sequence animation controls: a label and a button whose background
// shows numbered images one after another on a timer. The image name is a
// printf-style pattern with one integer conversion
// ("res\mainWnd\installBtnAnimate\%.3d.png").
#include <string>
#include <string_view>

#include "toolkit/control.h"

// The animation state both controls share, and its frame step.
struct SequenceAnimation {
    static constexpr unsigned kTimerId = 2100;
    std::wstring pattern;
    int count = 0;
    int span = 30;
    bool autostart = false;
    bool loop = true;
    bool round = false;
    bool forward = true;
    int index = 0;

    struct Step {
        bool draw = false;       // a frame is shown ...
        int frame = 0;           // ... with this number
        bool stopTimer = false;  // the sequence ended
    };
    // One timer tick: which frame to show and whether the timer stops.
    Step Advance();
    // Applies "sequencebkimage" (exact name) and the other attributes (any
    // case); false for a name that is not the animation's.
    bool ApplyAttribute(std::wstring_view name, std::wstring_view value);
    // The image name for a frame (at most 260 characters).
    std::wstring FrameName(int frame) const;
};

class CSequenceLabelUI : public toolkit::Label {
public:
    CSequenceLabelUI() = default;
    ~CSequenceLabelUI() override;
    std::wstring_view GetClass() const override { return kClass; }
    void* GetInterface(std::wstring_view name) override;
    void Init() override;
    void OnTimer(unsigned id) override;
    // From frame 0 in the current direction.
    void Start();
    const SequenceAnimation& Animation() const { return m_anim; }
    static constexpr std::wstring_view kClass = L"SequenceLabel";

protected:
    bool ApplyAttribute(std::wstring_view name, std::wstring_view value) override;
    SequenceAnimation m_anim;
};

class CSequenceButtonUI : public toolkit::Button {
public:
    CSequenceButtonUI();
    std::wstring_view GetClass() const override { return kClass; }
    void* GetInterface(std::wstring_view name) override;
    void Init() override;
    void OnTimer(unsigned id) override;
    const SequenceAnimation& Animation() const { return m_anim; }
    static constexpr std::wstring_view kClass = L"SequenceButton";

protected:
    bool ApplyAttribute(std::wstring_view name, std::wstring_view value) override;
    SequenceAnimation m_anim;
};

// The skinned windows' custom-control builder: "SequenceButton" and
// "SequenceLabel" (any case); nullptr for every other element.
std::unique_ptr<toolkit::Control> CreateSkinControl(std::wstring_view element);
