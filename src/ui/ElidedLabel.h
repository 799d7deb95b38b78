// A label for a long one-line text such as a file path: it takes the room its layout gives
// and shows as much as fits, the middle left out; text() stays the whole text.
#pragma once

#include <QLabel>

namespace quillon {

class TElidedLabel : public QLabel {
  Q_OBJECT

 public:
  explicit TElidedLabel(QWidget* parent = nullptr);

  // The text as it is painted at the label's width now.
  QString ShownText() const;

  // Narrow, whatever the text: a long one must not widen the window.
  QSize minimumSizeHint() const override;
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace quillon
