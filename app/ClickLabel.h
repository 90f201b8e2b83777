#pragma once
// A label that can be clicked, like a link: the title panel's logo, version and author line,
// and the caption of the transfer page.

#include <QLabel>

#include <functional>

namespace vaultix::app {

class TClickLabel final : public QLabel {
public:
    explicit TClickLabel(QWidget* Parent = nullptr);

    // Runs on a click (press and release of the left button inside the label).
    std::function<void()> OnClick;

protected:
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;

private:
    bool FPressed = false;
};

} // namespace vaultix::app
