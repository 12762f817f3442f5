#pragma once

#include <QString>

namespace qv {

// How text from outside is laid out where it is shown.
enum class TextField {
    kSingleLine,  // a name, a header value, one line of output: no line break of its own
    kMultiLine,   // a reply, the output box, a log entry: line breaks kept
};

// The character shown in place of a control character that came from outside.
inline constexpr char16_t kControlStandIn = u'\uFFFD';

// Text that came from outside the program (a host's reply and headers, a server's error text, a
// name server, the hosts file, a router) made safe to show in the window, the output box, the
// event log, the terminal and notices: every control character of C0, DEL and C1 is replaced by
// U+FFFD, except tab, and in a multi-line field the line feed and a carriage return that begins a
// line break (CR LF, CR CR LF). So an answer cannot clear or retitle a terminal, ring its bell,
// move its cursor back over a line, or start a log line of its own.
inline QString ShownText(const QString& text, TextField field) {
    QString out = text;
    const qsizetype n = out.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = out.at(i).unicode();
        const bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F);
        if (!control || c == u'\t') {
            continue;
        }
        if (field == TextField::kMultiLine) {
            if (c == u'\n') {
                continue;
            }
            if (c == u'\r') {
                qsizetype j = i;
                while (j < n && out.at(j) == u'\r') {
                    ++j;
                }
                // CR ... CR LF is a line break as the program writes them; a CR alone is not.
                if (j == n || out.at(j) != u'\n') {
                    for (qsizetype k = i; k < j; ++k) {
                        out[k] = QChar(kControlStandIn);
                    }
                }
                i = j - 1;
                continue;
            }
        }
        out[i] = QChar(kControlStandIn);
    }
    return out;
}

}  // namespace qv
