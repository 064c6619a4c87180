#include "ui/SpinEdit.h"

#include <QLineEdit>

#include <algorithm>
#include <optional>

namespace veltrano {
namespace {

// An optional sign followed by decimal digits, surrounding blanks allowed, that fits an
// int; nothing else is an integer.
std::optional<int> ReadInteger(const QString& text) {
  bool ok = false;
  const QString trimmed = text.trimmed();
  if (trimmed.isEmpty()) return std::nullopt;
  for (qsizetype i = 0; i < trimmed.size(); ++i) {
    const QChar c = trimmed[i];
    const bool sign = i == 0 && (c == u'-' || c == u'+');
    if (!sign && !(c >= u'0' && c <= u'9')) return std::nullopt;
  }
  const int v = trimmed.toInt(&ok, 10);
  return ok ? std::optional<int>(v) : std::nullopt;
}

// What may be typed: an optional sign and digits. Anything else is refused as the user
// types it, as in a numeric field.
bool TypeableInteger(const QString& text) {
  const QString trimmed = text.trimmed();
  for (qsizetype i = 0; i < trimmed.size(); ++i) {
    const QChar c = trimmed[i];
    const bool sign = i == 0 && (c == u'-' || c == u'+');
    if (!sign && !(c >= u'0' && c <= u'9')) return false;
  }
  return true;
}

}  // namespace

TSpinEdit::TSpinEdit(int minValue, int maxValue, int value, QWidget* parent) : QSpinBox(parent) {
  setRange(minValue, maxValue);
  setSingleStep(1);
  setAccelerated(false);
  SetValue(value);
}

int TSpinEdit::Value() const { return ReadInteger(lineEdit()->text()).value_or(minimum()); }

void TSpinEdit::SetValue(int value) {
  const int v = std::clamp(value, minimum(), maximum());
  setValue(v);
  // setValue leaves the text alone when the stored value does not change, which it
  // need not when the text held a typed number outside the range.
  const QString text = textFromValue(v);
  if (lineEdit()->text() != text) lineEdit()->setText(text);
}

void TSpinEdit::LeaveField() {
  emit Exit();
  SetValue(Value());
}

QValidator::State TSpinEdit::validate(QString& input, int& /*pos*/) const {
  if (!TypeableInteger(input)) return QValidator::Invalid;
  return ReadInteger(input) ? QValidator::Acceptable : QValidator::Intermediate;
}

// The base class interprets only acceptable text; a text that is no integer reads as
// the minimum, as Value() does.
int TSpinEdit::valueFromText(const QString& text) const {
  return std::clamp(ReadInteger(text).value_or(minimum()), minimum(), maximum());
}

void TSpinEdit::fixup(QString& input) const {
  if (!ReadInteger(input)) input = textFromValue(minimum());
}

void TSpinEdit::stepBy(int steps) {
  const long long next = static_cast<long long>(Value()) + steps;
  SetValue(static_cast<int>(std::clamp<long long>(next, minimum(), maximum())));
  selectAll();
}

QAbstractSpinBox::StepEnabled TSpinEdit::stepEnabled() const {
  if (isReadOnly()) return StepNone;
  const int v = Value();
  StepEnabled e = StepNone;
  if (v < maximum()) e |= StepUpEnabled;
  if (v > minimum()) e |= StepDownEnabled;
  return e;
}

void TSpinEdit::focusOutEvent(QFocusEvent* event) {
  LeaveField();
  QSpinBox::focusOutEvent(event);
}

}  // namespace veltrano
