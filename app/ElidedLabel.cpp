#include "app/ElidedLabel.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

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

bool TElidedLabel::event(QEvent* Event) {
    if (Event->type() != QEvent::ToolTip || !toolTip().isEmpty()) return QLabel::event(Event);
    if (fontMetrics().horizontalAdvance(text()) > contentsRect().width())
        QToolTip::showText(static_cast<QHelpEvent*>(Event)->globalPos(), text(), this);
    else
        QToolTip::hideText();
    return true;
}

void TElidedLabel::paintEvent(QPaintEvent*) {
    QPainter Painter(this);
    const QRect Room = contentsRect();
    const QString Shown = fontMetrics().elidedText(text(), Qt::ElideMiddle, Room.width());
    style()->drawItemText(&Painter, Room, static_cast<int>(alignment()), palette(), isEnabled(),
                          Shown, foregroundRole());
}

} // namespace vaultix::app
