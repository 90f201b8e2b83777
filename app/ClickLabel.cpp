#include "app/ClickLabel.h"

#include <QMouseEvent>

namespace vaultix::app {

TClickLabel::TClickLabel(QWidget* Parent) : QLabel(Parent) {}

void TClickLabel::mousePressEvent(QMouseEvent* Event) {
    FPressed = Event->button() == Qt::LeftButton;
    Event->accept();
}

void TClickLabel::mouseReleaseEvent(QMouseEvent* Event) {
    const bool Click = FPressed && Event->button() == Qt::LeftButton &&
                       rect().contains(Event->position().toPoint());
    FPressed = false;
    Event->accept();
    if (Click && OnClick) OnClick();
}

} // namespace vaultix::app
