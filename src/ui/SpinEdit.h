#pragma once
// TSpinEdit: the window's integer field with up and down buttons.
//
// Its rules differ from a plain QSpinBox in three ways:
//  - the value is the text read as a decimal integer, and a text that is not one (empty,
//    a lone sign, a number too large for an int) reads as the field's minimum;
//  - the user may type a number outside the range (25 into a field of 2..10): it stays
//    in the text, and Value() returns it, until the focus leaves the field;
//  - when the focus leaves, the field first announces it (Exit, where a field's own rule
//    runs, such as Dmax's "not below Do") and then brings its value within the range,
//    to the nearest bound.
// Values the program writes (SetValue) and the up and down buttons (steps of 1) are
// brought within the range at once.
#include <QSpinBox>

namespace veltrano {

class TSpinEdit : public QSpinBox {
  Q_OBJECT

public:
  TSpinEdit(int minValue, int maxValue, int value, QWidget* parent = nullptr);

  int MinValue() const { return minimum(); }
  int MaxValue() const { return maximum(); }

  /// The text read as a decimal integer; MinValue() when the text is not an integer.
  int Value() const;
  /// Writes a value, brought within the range, and shows it.
  void SetValue(int value);

  /// What leaving the field does: Exit (the field's own rule), then the value is brought
  /// within the range. The window also calls it for the focused field when Ok is clicked
  /// by the keyboard or by the program, which moves no focus.
  void LeaveField();

  QValidator::State validate(QString& input, int& pos) const override;
  void stepBy(int steps) override;

signals:
  /// The focus is leaving the field; the text is still as the user left it.
  void Exit();

protected:
  int valueFromText(const QString& text) const override;
  void fixup(QString& input) const override;
  StepEnabled stepEnabled() const override;
  void focusOutEvent(QFocusEvent* event) override;
};

}  // namespace veltrano
