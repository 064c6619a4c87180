#include "ui/CaptionCheckBox.h"

#include <QPainter>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

#include <algorithm>

namespace veltrano {

CaptionCheckBox::CaptionCheckBox(const QString& caption, Side side, QWidget* parent)
    : QCheckBox(caption, parent), side_(side) {
  // setText made the "&" of a caption a shortcut; it is a character here.
  setShortcut(QKeySequence());
  QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Minimum);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
}

void CaptionCheckBox::SetWordWrap(bool on) {
  wordWrap_ = on;
  QSizePolicy policy = sizePolicy();
  policy.setHeightForWidth(on);
  setSizePolicy(policy);
  updateGeometry();
  update();
}

int CaptionCheckBox::IndicatorSpace() const {
  return style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this) +
         style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, this);
}

int CaptionCheckBox::TextFlags() const {
  return Qt::AlignLeft | Qt::AlignTop | (wordWrap_ ? Qt::TextWordWrap : Qt::TextSingleLine);
}

QRect CaptionCheckBox::CaptionArea(const QRect& r) const {
  const int space = IndicatorSpace();
  return side_ == Side::Right ? r.adjusted(space, 0, 0, 0) : r.adjusted(0, 0, -space, 0);
}

int CaptionCheckBox::CaptionHeight(int width) const {
  const QRect bound = fontMetrics().boundingRect(QRect(0, 0, std::max(width, 1), 100000), TextFlags(), text());
  return std::max(bound.height(), fontMetrics().height());
}

QSize CaptionCheckBox::sizeHint() const {
  const int indicator = style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, this);
  const int textWidth = fontMetrics().horizontalAdvance(text());
  return {IndicatorSpace() + textWidth + 2, std::max(indicator, fontMetrics().height()) + 4};
}

QSize CaptionCheckBox::minimumSizeHint() const {
  const int indicator = style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, this);
  // Narrow enough to wrap a long caption, never wider than the caption on one line.
  const int wrapped = IndicatorSpace() + fontMetrics().horizontalAdvance(QStringLiteral("Wmm"));
  return {wordWrap_ ? std::min(wrapped, sizeHint().width()) : sizeHint().width(),
          std::max(indicator, fontMetrics().height()) + 4};
}

int CaptionCheckBox::heightForWidth(int width) const {
  const int indicator = style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, this);
  return std::max(indicator, CaptionHeight(CaptionArea(QRect(0, 0, width, 1)).width())) + 4;
}

bool CaptionCheckBox::hitButton(const QPoint& pos) const { return rect().contains(pos); }

void CaptionCheckBox::paintEvent(QPaintEvent* /*event*/) {
  QStylePainter painter(this);
  QStyleOptionButton option;
  initStyleOption(&option);

  const QRect area = CaptionArea(rect());
  const int textHeight = wordWrap_ ? CaptionHeight(area.width()) : fontMetrics().height();
  const int top = std::max(0, (height() - textHeight) / 2);
  const QRect caption(area.left(), top, area.width(), textHeight);

  // The box, level with the caption's first line.
  const int indicatorWidth = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this);
  const int indicatorHeight = style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, this);
  const int boxLeft = side_ == Side::Right ? 0 : width() - indicatorWidth;
  QStyleOptionButton box = option;
  box.rect = QRect(boxLeft, top + (fontMetrics().height() - indicatorHeight) / 2, indicatorWidth, indicatorHeight);
  painter.drawPrimitive(QStyle::PE_IndicatorCheckBox, box);

  painter.setClipRect(area);
  painter.drawItemText(caption, TextFlags(), option.palette, isEnabled(), text(), QPalette::WindowText);
  if (hasFocus()) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = fontMetrics().boundingRect(caption, TextFlags(), text()).adjusted(-1, 0, 1, 0) & area;
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
  }
}

}  // namespace veltrano
