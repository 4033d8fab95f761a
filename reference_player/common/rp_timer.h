// The frame timer both front ends run their movies on: a thread timer of the message loop
// (SetTimer without a window), one per player instance. It owns its callback and stops when it
// goes, so an instance never outlives a timer that still names it.
#pragma once

#include "vd_windows.h"

#include <functional>

namespace vd::rp {

class FrameTimer {
public:
    using Callback = std::function<void()>;

    FrameTimer() = default;
    ~FrameTimer() { Stop(); }
    FrameTimer(const FrameTimer&) = delete;
    FrameTimer& operator=(const FrameTimer&) = delete;

    // Calls onTick every intervalMs from the message loop; a running timer is stopped first.
    // False when Windows gives no timer (the next Start or Follow tries again).
    bool Start(int intervalMs, Callback onTick);
    void Stop();
    bool Running() const { return id_ != 0; }

    // Keeps the timer in step with what the player wants: stopped while not wanted, restarted
    // when the interval changed, started when wanted and not running.
    void Follow(bool wanted, int intervalMs, const Callback& onTick);

private:
    static void CALLBACK Proc(HWND, UINT, UINT_PTR id, DWORD);

    UINT_PTR id_ = 0;
    int interval_ = 0;
};

}  // namespace vd::rp
