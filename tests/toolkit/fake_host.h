#pragma once
// A window stand-in for the control tree: records notifications and timers.
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "toolkit/control.h"
#include "toolkit/dispatch.h"

struct FakeHost : toolkit::Host {
    std::vector<toolkit::Notification> notes;
    std::set<std::pair<toolkit::Control*, unsigned>> timers;
    int layouts = 0;
    void Invalidate(const toolkit::Rect&) override {}
    void NeedLayout() override { ++layouts; }
    bool SetTimer(toolkit::Control* c, unsigned id, unsigned) override {
        timers.emplace(c, id);
        return true;
    }
    bool KillTimer(toolkit::Control* c, unsigned id) override { return timers.erase({c, id}) > 0; }
    void SendNotify(toolkit::Control* sender, std::wstring_view type, intptr_t w, intptr_t l, bool) override {
        notes.push_back({std::wstring(type), sender, w, l});
    }
    int MeasureTextWidth(const toolkit::Control*, std::wstring_view text) override {
        return static_cast<int>(text.size()) * 7;
    }
    void ControlRemoved(toolkit::Control* c) override {
        for (auto it = timers.begin(); it != timers.end();) it = it->first == c ? timers.erase(it) : std::next(it);
    }
    std::vector<std::wstring> Types() const {
        std::vector<std::wstring> t;
        for (auto& n : notes) t.push_back(n.type);
        return t;
    }
};
