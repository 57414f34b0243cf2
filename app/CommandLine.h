#pragma once
// The command line: --help and --version are answered before any window is
// made, --manual opens the manual with the desktop's opener (the desktop
// entry's action uses it); every other argument is left to the toolkit (its
// display options), and what the toolkit does not take is refused.

#include <optional>
#include <cstdio>
#include <string>
#include <vector>

namespace commandline {

// Answers --help (-h) and --version. Returns the exit status when the
// program should end here, nothing when it should start its window.
std::optional<int> answerInfoOptions(const std::vector<std::string>& args, std::FILE* out);

// Whether the arguments ask for the manual.
bool wantsManual(const std::vector<std::string>& args);

// For the arguments the toolkit left over: the message and exit status 2
// when there are any, nothing when there are none.
std::optional<int> refuseLeftovers(const std::vector<std::string>& leftovers, std::FILE* err);

} // namespace commandline
