// The live display list of a timeline: what stands at each depth, sprites with their own lists.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "swf_movie.h"
#include "vd_swf.h"

namespace vd::swf {

struct DisplayList;

// An object on a display list: its character and what its placements set.
struct Instance : Placement {
    uint16_t charId = 0;
    const Character* ch = nullptr;
    int placedFrame = 0;  // the frame of its timeline that placed this character
    std::unique_ptr<DisplayList> sprite;
    int64_t* live = nullptr;  // the stage's count of live objects

    Instance() = default;
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;
    Instance(Instance&& o) noexcept;
    Instance& operator=(Instance&&) = delete;
    ~Instance();
};

struct DisplayList {
    const Timeline* timeline = nullptr;
    int frame = 0;
    std::map<int, Instance> items;
};

// Timeline operations on a display list; nesting counts the sprites above it.
struct Player {
    const MovieData& movie;
    int64_t& live;
    int64_t work = kMaxTimelineWork;  // control tags this step may still carry out

    // Makes the list show frame 0 of its timeline from nothing.
    void Start(DisplayList& list, int nesting);
    // Jumps to frame (clamped): forward runs the frames between, backward rebuilds the state
    // of that frame keeping the objects that stood there already.
    void Goto(DisplayList& list, int frame, int nesting);
    // One tick: existing sprites advance, then the list's own next frame (wrapping to 0).
    void Advance(DisplayList& list, int nesting);

private:
    void RunFrame(DisplayList& list, int frame, int nesting);
    void Place(DisplayList& list, const PlaceObject& p, int frame, int nesting);
    bool MakeInstance(Instance& inst, uint16_t id, int nesting);
};

}  // namespace vd::swf
