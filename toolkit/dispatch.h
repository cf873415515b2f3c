#pragma once
// Bookkeeping a window keeps for its controls: timers identified by
// (control, id) mapped onto the platform's numeric timer ids, and the queue of
// notifications raised for later delivery.
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace toolkit {

class Control;

struct Notification {
    std::wstring type;       // "click", "selectchanged", "tabselect", "timer", "itemselect", or the window's own
    Control* sender = nullptr;
    intptr_t wParam = 0;
    intptr_t lParam = 0;
};

class TimerTable {
public:
    // The platform id for (control, id); the same pair keeps its id.
    unsigned Add(Control* control, unsigned id) {
        auto key = std::make_pair(control, id);
        auto it = m_byKey.find(key);
        if (it != m_byKey.end()) return it->second;
        unsigned platformId = m_next++;
        if (m_next == 0) m_next = kFirstId;
        m_byKey.emplace(key, platformId);
        m_byId.emplace(platformId, key);
        return platformId;
    }
    // Forgets (control, id); its platform id in `platformId`. False when unknown.
    bool Remove(Control* control, unsigned id, unsigned& platformId) {
        auto it = m_byKey.find(std::make_pair(control, id));
        if (it == m_byKey.end()) return false;
        platformId = it->second;
        m_byId.erase(platformId);
        m_byKey.erase(it);
        return true;
    }
    bool Lookup(unsigned platformId, Control*& control, unsigned& id) const {
        auto it = m_byId.find(platformId);
        if (it == m_byId.end()) return false;
        control = it->second.first;
        id = it->second.second;
        return true;
    }
    // Forgets every timer of the control; returns their platform ids.
    std::vector<unsigned> RemoveControl(Control* control) {
        std::vector<unsigned> ids;
        for (auto it = m_byKey.begin(); it != m_byKey.end();) {
            if (it->first.first == control) {
                ids.push_back(it->second);
                m_byId.erase(it->second);
                it = m_byKey.erase(it);
            } else {
                ++it;
            }
        }
        return ids;
    }
    size_t Count() const { return m_byKey.size(); }

private:
    static constexpr unsigned kFirstId = 0x1000;
    unsigned m_next = kFirstId;
    std::map<std::pair<Control*, unsigned>, unsigned> m_byKey;
    std::map<unsigned, std::pair<Control*, unsigned>> m_byId;
};

class NotifyQueue {
public:
    void Push(Notification n) { m_queue.push_back(std::move(n)); }
    bool Empty() const { return m_queue.empty(); }
    bool Pop(Notification& n) {
        if (m_queue.empty()) return false;
        n = std::move(m_queue.front());
        m_queue.pop_front();
        return true;
    }
    // A control that leaves the tree must not be delivered later as a sender.
    void RemoveSender(Control* control) {
        for (auto it = m_queue.begin(); it != m_queue.end();) {
            if (it->sender == control) it = m_queue.erase(it);
            else ++it;
        }
    }

private:
    std::deque<Notification> m_queue;
};

}  // namespace toolkit
