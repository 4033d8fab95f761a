// Small helpers for tests that compare form text.
#pragma once

#include <string>

namespace vdtest {

// Form text as the writer produces it: CRLF line ends, from a literal written with "\n".
inline std::string Crlf(const std::string& lf) {
    std::string out;
    for (char c : lf) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

}  // namespace vdtest
