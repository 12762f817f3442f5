#pragma once

#include <QString>

class QFont;
class QPoint;
class QWidget;

namespace qv {

inline constexpr int kTipMaxWidth = 300;      // pixels
inline constexpr int kTipShowMs = 20000;      // how long a tip stays
inline constexpr int kTipWakeUpMs = 50;       // pointer still for this long: the tip shows
inline constexpr int kTipFallAsleepMs = 150;  // the next tip within this time shows at once

// The tip's text as the tool-tip label shows it: lines wrapped to at most kTipMaxWidth pixels
// in `font`; short texts stay on one line.
QString TipMarkup(const QString& text, const QFont& font);

// Shows `text` as the tip of `widget` near `globalPos` for kTipShowMs; an empty text hides any
// tip shown.
void ShowTip(QWidget* widget, const QString& text, const QPoint& globalPos);

// Makes tool tips of the whole program appear after kTipWakeUpMs instead of the style's slower
// default. Installs a style proxy on the application.
void UseFastTipTiming();

}  // namespace qv
