// A small SWF reader for the tests: header, decompression, and a walk over the tags (sprites
// included) that refuses anything lying outside the file. Platform-free.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace swftest {

struct Tag {
    uint16_t Code = 0;
    std::string Body;
    int SpriteId = 0;  // the sprite holding the tag, 0 on the main timeline
};

struct Movie {
    std::string Signature;
    int Version = 0;
    uint32_t DeclaredLength = 0;                     // from the header
    size_t InflatedLength = 0;                       // header plus the inflated rest
    int32_t XMin = 0, XMax = 0, YMin = 0, YMax = 0;  // twips
    double FrameRate = 0;
    int FrameCount = 0;
    std::vector<Tag> Tags;  // main timeline in order, each sprite's tags after its DefineSprite
};

struct BadMovie : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Raises BadMovie for anything malformed: unknown signature, a length that disagrees, a tag
// running past its container, a timeline without its End tag.
Movie ReadMovie(const std::string& bytes);

// PlaceObject2 fields the checks need.
struct Placement {
    uint16_t Depth = 0;
    int Character = -1;
    std::string Name;
};
Placement ReadPlaceObject2(const std::string& body);

// The action records of a DoAction body (or a button's action list): each record's code and
// payload; raises BadMovie when a record runs past the body or the end flag is missing.
struct Action {
    uint8_t Code;
    std::string Payload;
};
std::vector<Action> ReadActions(const std::string& body, size_t offset = 0);

}  // namespace swftest
