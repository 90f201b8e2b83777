#pragma once
// The Serial Port list: a drop-down that lets the window describe the ports afresh each time the
// user opens it, so that an adapter plugged in meanwhile shows what it is.

#include <QComboBox>

#include <functional>

namespace vaultix::app {

class TPortComboBox final : public QComboBox {
public:
    using QComboBox::QComboBox;

    // Runs right before the list drops down.
    std::function<void()> BeforePopup;

    void showPopup() override {
        if (BeforePopup) BeforePopup();
        QComboBox::showPopup();
    }
};

} // namespace vaultix::app
