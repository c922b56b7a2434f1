#pragma once

// Text from the network as the list and the report show it. Names and
// comments come from other machines; characters that would break a line,
// move a column, send a terminal an escape sequence or reorder what follows
// them are shown as a visible replacement, so that the line structure and
// the columns stay the program's.

#include <QString>

namespace norvane {

// C0 controls and DEL become their control pictures (U+2400..U+2421);
// C1 controls, the line and paragraph separators and the bidirectional
// embedding, override, isolate and mark characters become U+FFFD.
QString visibleText(const QString& text);

// The columns a terminal or a fixed-width editor gives the text: a wide
// (East Asian) character takes two, a combining mark or other zero-width
// character none, any other character one.
qsizetype displayWidth(const QString& text);

} // namespace norvane
