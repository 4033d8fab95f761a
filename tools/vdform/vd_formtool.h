// vdform: converts form files between the text and binary formats, prints their object
// trees, lists, extracts and stores the movies kept in them, and inspects and sets the
// properties of their components through the design-time property editors. The logic lives
// here, apart from main(), so that tests run it in-process.
// Platform-free.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace vd {

// Exit statuses of vdform.
constexpr int kVdformOk = 0;
constexpr int kVdformUsageError = 1;  // bad command line
constexpr int kVdformFailed = 2;      // unreadable or corrupt input, or OUT not written

// Runs vdform with the arguments that follow the program name (file names in UTF-8).
// Results go to `out`; usage text and error lines ("vdform: <file>: <message>") to `err`.
int RunVdform(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace vd
