#include "app/ElidedLabel.h"

#include <QPainter>
#include <QStyle>

namespace vaultix::app {

TElidedLabel::TElidedLabel(QWidget* Parent) : QLabel(Parent) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

QSize TElidedLabel::minimumSizeHint() const {
    return {0, fontMetrics().height()};
}

QSize TElidedLabel::sizeHint() const {
    return {0, fontMetrics().height()};
}

void TElidedLabel::paintEvent(QPaintEvent*) {
    QPainter Painter(this);
    const QRect Room = contentsRect();
    const QString Shown = fontMetrics().elidedText(text(), Qt::ElideMiddle, Room.width());
    style()->drawItemText(&Painter, Room, static_cast<int>(alignment()), palette(), isEnabled(),
                          Shown, foregroundRole());
}

} // namespace vaultix::app
