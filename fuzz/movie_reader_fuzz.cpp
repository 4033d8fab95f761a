// The reference player's readers of host-supplied data: SWF/FLV movies (compressed bodies
// included) and external-interface request texts. Whatever the bytes, reading never crashes,
// and a request that reads back writes out to text that reads back the same.
#include "rp_extxml.h"
#include "rp_movie.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const vd::rp::MovieInfo m = vd::rp::ReadMovie(data, size);
    if (m.kind == vd::rp::MediaKind::Swf) {
        for (const auto& [frame, label] : m.labels) {
            if (frame < 0) __builtin_trap();
            (void)label;
        }
    }
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (const auto req = vd::rp::ReadRequest(text)) {
        const auto again = vd::rp::ReadRequest(vd::rp::WriteRequest(*req));
        if (!again || again->name != req->name || again->args != req->args) __builtin_trap();
    }
    (void)vd::rp::ReadValue(text);
    return 0;
}
