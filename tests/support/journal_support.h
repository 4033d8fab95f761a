// Reading the reference player's journal of the calls it received, shared by the drivers' tests.
#pragma once

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

namespace vdtest {

inline bool Has(const std::vector<std::string>& lines, const std::string& line) {
    for (const auto& l : lines)
        if (l == line) return true;
    return false;
}

// Lines that start with one of the prefixes, in order.
inline std::vector<std::string> Only(const std::vector<std::string>& lines,
                                     std::initializer_list<const char*> prefixes) {
    std::vector<std::string> out;
    for (const auto& l : lines)
        for (const char* p : prefixes)
            if (l.rfind(p, 0) == 0) {
                out.push_back(l);
                break;
            }
    return out;
}

// A handle or pointer as the journal writes it.
inline std::string Hex(uintptr_t v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
    return buf;
}

}  // namespace vdtest
