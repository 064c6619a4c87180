#pragma once
// CaptionCheckBox: the window's check box. text() is its caption exactly as given, and
// the caption is painted as it stands: an "&" is a character, not a keyboard mnemonic
// ("D Lord & Novick"). The caption stands right of the box, or left of it with the box
// at the right edge, so a column of such boxes lines them up. A caption too long for
// the column wraps onto further lines, unless wrapping is turned off (a heading whose
// trailing underscores run to the column's edge), when it is clipped there.
#include <QCheckBox>

namespace veltrano {

class CaptionCheckBox : public QCheckBox {
  Q_OBJECT

public:
  enum class Side { Right, Left };  // where the caption stands

  CaptionCheckBox(const QString& caption, Side side, QWidget* parent = nullptr);

  Side CaptionSide() const noexcept { return side_; }
  bool WordWrap() const noexcept { return wordWrap_; }
  void SetWordWrap(bool on);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;
  bool hasHeightForWidth() const override { return wordWrap_; }
  int heightForWidth(int width) const override;

protected:
  void paintEvent(QPaintEvent* event) override;
  bool hitButton(const QPoint& pos) const override;

private:
  int IndicatorSpace() const;
  int TextFlags() const;
  QRect CaptionArea(const QRect& r) const;
  int CaptionHeight(int width) const;

  Side side_;
  bool wordWrap_ = true;
};

}  // namespace veltrano
