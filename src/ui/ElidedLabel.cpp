#include "ui/ElidedLabel.h"

#include <QPainter>
#include <QStyle>

namespace quillon {

namespace {

// The width a label asks for whatever its text, in average characters.
constexpr int kHintCharacters = 12;

}  // namespace

TElidedLabel::TElidedLabel(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);
  setWordWrap(false);
}

QString TElidedLabel::ShownText() const {
  return fontMetrics().elidedText(text(), Qt::ElideMiddle, contentsRect().width());
}

QSize TElidedLabel::minimumSizeHint() const {
  return {fontMetrics().averageCharWidth() * kHintCharacters, QLabel::minimumSizeHint().height()};
}

QSize TElidedLabel::sizeHint() const {
  return {minimumSizeHint().width(), QLabel::sizeHint().height()};
}

void TElidedLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  style()->drawItemText(&painter, contentsRect(),
                        QStyle::visualAlignment(layoutDirection(), alignment()), palette(),
                        isEnabled(), ShownText(), foregroundRole());
}

}  // namespace quillon
