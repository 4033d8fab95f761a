#include "rp_timer.h"

#include <map>
#include <utility>

namespace vd::rp {

namespace {
// The callbacks of the running timers by id: thread timers carry no pointer of their own.
std::map<UINT_PTR, FrameTimer::Callback>& Callbacks() {
    static std::map<UINT_PTR, FrameTimer::Callback> timers;
    return timers;
}
}  // namespace

bool FrameTimer::Start(int intervalMs, Callback onTick) {
    Stop();
    interval_ = intervalMs;
    id_ = SetTimer(nullptr, 0, static_cast<UINT>(intervalMs), Proc);
    if (id_) Callbacks()[id_] = std::move(onTick);
    return id_ != 0;
}

void FrameTimer::Stop() {
    if (!id_) return;
    KillTimer(nullptr, id_);
    Callbacks().erase(id_);
    id_ = 0;
}

void FrameTimer::Follow(bool wanted, int intervalMs, const Callback& onTick) {
    if (id_ && (!wanted || intervalMs != interval_)) Stop();
    if (wanted && !id_) Start(intervalMs, onTick);
}

void CALLBACK FrameTimer::Proc(HWND, UINT, UINT_PTR id, DWORD) {
    const auto it = Callbacks().find(id);
    if (it == Callbacks().end()) return;
    // A copy: the tick may stop this timer (or free its owner) while it runs.
    const Callback tick = it->second;
    tick();
}

}  // namespace vd::rp
