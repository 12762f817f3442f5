#pragma once

#include <QString>

namespace qv {

// Plain-text boxes lay out a line at a cost that grows with the square of its length when it has
// few places to break: a 1 MiB host reply on one line would hold the window for minutes.
inline constexpr qsizetype kLongLineMax = 1024;

// `text` with every line longer than `maxLine` characters broken into pieces of at most that
// length, at the last blank of a piece where its second half has one, else at the length itself
// (never inside a surrogate pair). Lines are separated by LF; shorter lines stay as they are.
// Linear in the length of `text`.
QString BreakLongLines(const QString& text, qsizetype maxLine = kLongLineMax);

}  // namespace qv
