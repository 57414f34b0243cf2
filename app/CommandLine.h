#pragma once
// The command line. Every argument is checked before the toolkit looks for a
// display, so that a mistyped option is refused on a terminal without one:
// the toolkit's own options (-display, -platform, -style …, with their
// values) are left to it, --help and --version are answered, --manual opens
// the manual with the desktop's opener (the desktop entry's action uses it);
// anything else is refused.

#include <optional>
#include <cstdio>
#include <string>
#include <vector>

namespace commandline {

// Checks every argument (args[0] is the program), then answers --help (-h)
// and --version. Returns the exit status when the program should end here:
// 2 with a message on `err` for an argument it does not take, 0 after an
// answer on `out`; nothing when it should go on.
std::optional<int> answerBeforeWindow(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

// Whether the arguments ask for the manual.
bool wantsManual(const std::vector<std::string>& args);

// For the arguments the toolkit left over: the message and exit status 2
// when there are any, nothing when there are none.
std::optional<int> refuseLeftovers(const std::vector<std::string>& leftovers, std::FILE* err);

} // namespace commandline
