#include "forwarding/LongLines.h"

#include <algorithm>

namespace qv {

QString BreakLongLines(const QString& text, qsizetype maxLine) {
    if (maxLine < 2) {
        return text;
    }
    QString out;
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text.at(i) != QLatin1Char('\n')) {
            continue;
        }
        // text[lineStart, i) is one line.
        qsizetype pos = lineStart;
        while (i - pos > maxLine) {
            if (out.isEmpty()) {
                out.reserve(text.size() + text.size() / maxLine + 1);
                out.append(QStringView(text).first(pos));
            }
            qsizetype cut = pos + maxLine;
            for (qsizetype j = cut - 1; j > pos + maxLine / 2; --j) {
                if (text.at(j) == QLatin1Char(' ')) {
                    cut = j + 1;
                    break;
                }
            }
            if (text.at(cut - 1).isHighSurrogate()) {
                --cut;
            }
            out.append(QStringView(text).sliced(pos, cut - pos));
            out.append(QLatin1Char('\n'));
            pos = cut;
        }
        if (!out.isEmpty()) {
            out.append(QStringView(text).sliced(pos, std::min(i + 1, text.size()) - pos));
        }
        lineStart = i + 1;
    }
    return out.isEmpty() ? text : out;
}

}  // namespace qv
