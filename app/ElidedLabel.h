#pragma once
// A one-line label that never widens its window: a text longer than the room it gets is drawn
// shortened in the middle ("/dev/serial/by-id/usb-F…-port0 — FTDI …"), while its text, and so
// what a screen reader or a tooltip gives, stays whole.

#include <QLabel>

namespace vaultix::app {

class TElidedLabel final : public QLabel {
public:
    explicit TElidedLabel(QWidget* Parent = nullptr);

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* Event) override;
};

} // namespace vaultix::app
