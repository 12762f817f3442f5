#include "shell/ToolTips.h"

#include <QApplication>
#include <QFontMetrics>
#include <QProxyStyle>
#include <QToolTip>

namespace qv {
namespace {

class TipTimingStyle : public QProxyStyle {
  public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        switch (hint) {
            case SH_ToolTip_WakeUpDelay:
                return kTipWakeUpMs;
            case SH_ToolTip_FallAsleepDelay:
                return kTipFallAsleepMs;
            default:
                return QProxyStyle::styleHint(hint, option, widget, returnData);
        }
    }
};

}  // namespace

QString TipMarkup(const QString& text, const QFont& font) {
    const QString escaped = text.toHtmlEscaped();
    // A tool tip wraps only rich text; a table of fixed width keeps the lines within the limit.
    if (QFontMetrics(font).horizontalAdvance(text) > kTipMaxWidth) {
        return QStringLiteral("<table width=\"%1\"><tr><td>%2</td></tr></table>")
            .arg(kTipMaxWidth)
            .arg(escaped);
    }
    return QStringLiteral("<p style=\"white-space:pre\">%1</p>").arg(escaped);
}

void ShowTip(QWidget* widget, const QString& text, const QPoint& globalPos) {
    if (text.isEmpty()) {
        QToolTip::hideText();
        return;
    }
    QToolTip::showText(globalPos, TipMarkup(text, QToolTip::font()), widget, QRect(), kTipShowMs);
}

void UseFastTipTiming() {
    if (!dynamic_cast<TipTimingStyle*>(QApplication::style())) {
        QApplication::setStyle(new TipTimingStyle);
    }
}

}  // namespace qv
