// What the reference player reads from the data its host delivers: the SWF header and the
// handful of tags a host can observe (background colour, frame labels, FSCommand getURLs,
// external-interface callbacks), or an FLV header. Platform-free; malformed input never
// crashes and yields a movie of kind Other.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vd::rp {

enum class MediaKind { Other, Swf, Flv };

struct FrameAction {
    int frame = 0;        // 0-based frame whose playing fires it
    std::string command;  // FSCommand name (the getURL URL after "FSCommand:")
    std::string args;     // the getURL target
};

struct MovieInfo {
    MediaKind kind = MediaKind::Other;
    bool compressed = false;  // "CWS"
    int version = 0;
    int width = 0, height = 0;  // stage in pixels
    double frameRate = 0;       // frames per second
    int frameCount = 0;
    bool hasBackground = false;
    uint32_t background = 0;                          // 0xRRGGBB
    std::vector<std::pair<int, std::string>> labels;  // (0-based frame, label)
    std::vector<FrameAction> fsCommands;
    std::vector<std::string> callbacks;  // functions the movie offers to its host
    std::string error;                   // why the data was not read as SWF/FLV (empty when it was)

    // The 0-based frame carrying the label, or -1.
    int FrameOfLabel(std::string_view label) const;
};

// Reads a whole file as delivered by the host.
MovieInfo ReadMovie(const uint8_t* data, size_t size);

// zlib inflate of a CWS body; false on corrupt data or when the result would exceed limit.
bool Inflate(const uint8_t* data, size_t size, size_t expected, size_t limit, std::vector<uint8_t>& out);

}  // namespace vd::rp
