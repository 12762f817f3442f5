#include "views/settings/PageWidgets.h"
#include "settings/SettingsRecord.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace qv {

WrapCheckBox::WrapCheckBox(const QString& caption, QWidget* parent)
    : QCheckBox(parent), m_label(new QLabel(caption, this)) {
    m_label->setWordWrap(true);
    m_label->setTextFormat(Qt::PlainText);
    m_label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Clicks and tool-tip requests on the caption belong to the check box.
    m_label->setAttribute(Qt::WA_TransparentForMouseEvents);
    setAccessibleName(caption);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

QString WrapCheckBox::Caption() const {
    return m_label->text();
}

QSize WrapCheckBox::IndicatorSize() const {
    QStyleOptionButton opt;
    initStyleOption(&opt);
    return style()->subElementRect(QStyle::SE_CheckBoxIndicator, &opt, this).size();
}

int WrapCheckBox::TextIndent() const {
    return IndicatorSize().width() +
           style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, this);
}

int WrapCheckBox::FirstLineHeight() const {
    return qMax(IndicatorSize().height(), fontMetrics().height());
}

QPoint WrapCheckBox::IndicatorCentre() const {
    return QPoint(IndicatorSize().width() / 2, FirstLineHeight() / 2);
}

int WrapCheckBox::heightForWidth(int width) const {
    const int textHeight = m_label->heightForWidth(qMax(1, width - TextIndent()));
    return qMax(FirstLineHeight(), textHeight);
}

QSize WrapCheckBox::sizeHint() const {
    // One line if the page is wide enough; layouts narrow it and ask heightForWidth.
    const int width = TextIndent() + fontMetrics().horizontalAdvance(m_label->text()) + 2;
    return QSize(width, heightForWidth(width));
}

QSize WrapCheckBox::minimumSizeHint() const {
    // Wrapping at word boundaries: the widest word is the least the caption needs.
    int widest = 0;
    for (const QString& word : m_label->text().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        widest = qMax(widest, fontMetrics().horizontalAdvance(word));
    }
    const int width = TextIndent() + widest + 2;
    return QSize(width, FirstLineHeight());
}

bool WrapCheckBox::hitButton(const QPoint& pos) const {
    return rect().contains(pos);
}

void WrapCheckBox::paintEvent(QPaintEvent*) {
    QStylePainter p(this);
    QStyleOptionButton opt;
    initStyleOption(&opt);
    const bool focused = opt.state & QStyle::State_HasFocus;
    opt.state &= ~QStyle::State_HasFocus;
    opt.text.clear();
    // The box goes beside the first line of the caption.
    opt.rect = QRect(0, 0, IndicatorSize().width(), FirstLineHeight());
    p.drawControl(QStyle::CE_CheckBox, opt);
    if (focused) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = m_label->geometry().adjusted(-1, 0, 1, 0);
        p.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

void WrapCheckBox::resizeEvent(QResizeEvent* event) {
    QCheckBox::resizeEvent(event);
    const int indent = TextIndent();
    const int textWidth = qMax(1, width() - indent);
    // Centre a single line on the box; further lines follow below.
    const int top = qMax(0, (FirstLineHeight() - fontMetrics().height()) / 2);
    m_label->setGeometry(indent, top, textWidth, qMax(0, height() - top));
}

void WrapCheckBox::changeEvent(QEvent* event) {
    QCheckBox::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        updateGeometry();
    }
}

ChoiceBracket::ChoiceBracket(WrapCheckBox* first, WrapCheckBox* second, QWidget* parent)
    : QWidget(parent), m_first(first), m_second(second) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
}

QSize ChoiceBracket::sizeHint() const {
    return QSize(fontMetrics().averageCharWidth(), 1);
}

void ChoiceBracket::paintEvent(QPaintEvent*) {
    const QWidget* common = parentWidget();
    if (!common || m_first->parentWidget() != common || m_second->parentWidget() != common) {
        return;
    }
    const int y1 = m_first->geometry().top() + m_first->IndicatorCentre().y() - geometry().top();
    const int y2 = m_second->geometry().top() + m_second->IndicatorCentre().y() - geometry().top();
    QPainter p(this);
    p.setPen(QPen(palette().color(QPalette::WindowText), 1));
    const int x = 1;
    const int right = width() - 1;
    p.drawLine(x, y1, x, y2);
    p.drawLine(x, y1, right, y1);
    p.drawLine(x, y2, right, y2);
}

MinutesBox::MinutesBox(QWidget* parent) : QSpinBox(parent) {
    setRange(kMinCheckTime, kMaxCheckTime);
    setWrapping(true);
    setAlignment(Qt::AlignRight);
    // A typed number counts when the user leaves the box or presses Enter, not at each digit
    // ("100" is not taken as 1 and 10 on its way).
    setKeyboardTracking(false);
    setValue(1);
}

QValidator::State MinutesBox::validate(QString& text, int& pos) const {
    const QValidator::State state = QSpinBox::validate(text, pos);
    if (state != QValidator::Invalid) {
        return state;
    }
    // Any number may be typed ("101"); only leaving the box checks its range.
    bool isNumber = false;
    text.trimmed().toInt(&isNumber);
    return isNumber ? QValidator::Intermediate : QValidator::Invalid;
}

void MinutesBox::CheckTyped() {
    const QString typed = lineEdit()->text();
    int pos = 0;
    QString copy = typed;
    if (QSpinBox::validate(copy, pos) != QValidator::Acceptable) {
        emit Rejected(typed);
    }
}

void MinutesBox::focusOutEvent(QFocusEvent* event) {
    CheckTyped();
    QSpinBox::focusOutEvent(event);
}

void MinutesBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        CheckTyped();
    }
    QSpinBox::keyPressEvent(event);
}

QCheckBox* MakeRevealBox(QLineEdit* password, QWidget* parent) {
    auto* box = new QCheckBox(QObject::tr("Sho&w"), parent);
    box->setObjectName(QStringLiteral("revealPassword"));
    box->setAccessibleName(QObject::tr("Show password"));
    password->setEchoMode(QLineEdit::Password);
    QObject::connect(box, &QCheckBox::toggled, password, [password](bool on) {
        password->setEchoMode(on ? QLineEdit::Normal : QLineEdit::Password);
    });
    return box;
}

}  // namespace qv
