#pragma once
// Text that came from a file, the serial line or the system (model names, descriptions, paths,
// program names) is printed to terminals and shown in windows. Its control characters would
// move a terminal's cursor, change its colours, ring its bell or cut the line short, so both
// faces show them escaped as "\x1b", never raw.

#include <string>
#include <string_view>

namespace vaultix::platform {

// Text as one line: every C0 control (line breaks and tabs too), DEL and C1 control as "\xNN",
// the invisible characters that hide or reorder text (a byte-order mark, line separators,
// direction overrides) as "\uNNNN", and every byte that is not part of valid UTF-8 as "\xNN"
// of that byte.
std::string ShownText(std::string_view Text);

// A message of several lines ("\n") for a message box or a terminal: line breaks and tabs stay,
// other controls are escaped as above.
std::string ShownMessage(std::string_view Text);

// Text of several lines for an editable box: line breaks and tabs stay, other controls are
// escaped as above. A backslash that would read as such an escape is itself shown as "\x5c",
// so that TypedText gives back exactly the text (which must be valid UTF-8).
std::string ShownLines(std::string_view Text);

// The way back from ShownLines: every escape that stands for a control character or a
// backslash becomes that character again; everything else stays as typed.
std::string TypedText(std::string_view Shown);

} // namespace vaultix::platform
