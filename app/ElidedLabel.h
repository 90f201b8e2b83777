#pragma once
// A one-line label that never widens its window: a text longer than the room it gets is drawn
// shortened in the middle ("/dev/serial/by-id/usb-F…-port0 — FTDI …"), while its text, and so
// what a screen reader gives, stays whole. Without a tooltip of its own, a shortened text shows
// whole as its tooltip.

#include <QLabel>

namespace vaultix::app {

class TElidedLabel final : public QLabel {
public:
    explicit TElidedLabel(QWidget* Parent = nullptr);

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    bool event(QEvent* Event) override;
    void paintEvent(QPaintEvent* Event) override;
};

} // namespace vaultix::app
