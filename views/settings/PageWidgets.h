#pragma once

#include <QCheckBox>
#include <QSpinBox>

class QLabel;
class QLineEdit;

namespace qv {

// A check box whose caption wraps onto further lines when the page is narrow. The box sits beside
// the first line; a click anywhere on the caption toggles it, as on an ordinary check box.
class WrapCheckBox : public QCheckBox {
    Q_OBJECT
  public:
    explicit WrapCheckBox(const QString& caption, QWidget* parent = nullptr);

    QString Caption() const;
    // Centre of the box, in this widget's coordinates.
    QPoint IndicatorCentre() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

  protected:
    bool hitButton(const QPoint& pos) const override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    QSize IndicatorSize() const;
    int TextIndent() const;
    int FirstLineHeight() const;

    QLabel* m_label;
};

// The bracket that joins two check boxes into one choice: a vertical line from the first box to
// the second with a short stroke towards each.
class ChoiceBracket : public QWidget {
    Q_OBJECT
  public:
    ChoiceBracket(WrapCheckBox* first, WrapCheckBox* second, QWidget* parent = nullptr);
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    WrapCheckBox* m_first;
    WrapCheckBox* m_second;
};

// The minutes box: a spin box that lets the user clear it and type any number while editing. What
// was typed counts when the user leaves the box or presses Enter; text that is not a number in
// range ("", "0", "101") is then reported with Rejected and the box goes back to its last good
// value. Arrow steps count at once.
class MinutesBox : public QSpinBox {
    Q_OBJECT
  public:
    explicit MinutesBox(QWidget* parent = nullptr);
    QLineEdit* Editor() const { return lineEdit(); }

  signals:
    // `text` is what the editor held; the box shows its last good value again.
    void Rejected(const QString& text);

  protected:
    QValidator::State validate(QString& text, int& pos) const override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // Reports the editor's text when it is not a value the box can take.
    void CheckTyped();
};

// A "Show" box beside a password edit: off masks the text, on shows it.
QCheckBox* MakeRevealBox(QLineEdit* password, QWidget* parent);

}  // namespace qv
