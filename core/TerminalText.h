#pragma once
// Text that came from outside (a mail, a server, a file somebody else wrote)
// made safe to print on a terminal or in a message: it can no longer move the
// cursor, clear the screen, retitle the window, reorder the line or start a
// line of its own.

#include <string>
#include <string_view>

namespace termtext {

// UTF-8 in, UTF-8 out. C0 controls (TAB, CR and LF included) and DEL become
// their visible pictures (U+2400 to U+2421: ␛, ␍, ␊ …); C1 controls, the
// bidirectional overrides and isolates (U+202A..U+202E, U+2066..U+2069) and
// the line and paragraph separators become "<U+XXXX>"; a byte that is not
// part of valid UTF-8 becomes U+FFFD. Everything else is kept as it is.
std::string visible(std::string_view utf8);

} // namespace termtext
