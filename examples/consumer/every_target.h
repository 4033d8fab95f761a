// The package's libraries used once each, so that the consumer links every target the package
// exports and finds each one working from the installed headers and libraries alone.
#pragma once

#include <string>
#include <vector>

namespace vd {
class TForm;
}

// Asks each library one question and checks its answer: the answer is one line for each library
// that answered wrongly; `used` gets the name of each target asked. `form` holds the consumer's
// player. Runs after the package's units are started and before they are shut down.
std::vector<std::string> CheckEveryTarget(vd::TForm* form, std::vector<std::string>& used);
