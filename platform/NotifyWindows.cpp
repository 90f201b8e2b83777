#include "platform/NotifyWindows.h"

#include <atomic>

namespace vaultix::platform {

namespace {

// Windows live in whatever direct services are installed when they are created; with other
// services installed there is nowhere to put them.
class TDirectWindowFactory final : public TNotifyWindowFactory {
public:
    TWindowHandle CreateNotifyWindow(TWindowProc Proc) override {
        auto* direct = dynamic_cast<TDirectNotifyServices*>(&NotifyServices());
        if (direct == nullptr) return 0;
        const TWindowHandle window = Next.fetch_add(1);
        direct->SetWindowProc(window, std::move(Proc));
        return window;
    }

    void DestroyNotifyWindow(TWindowHandle Window) override {
        if (Window == 0) return;
        if (auto* direct = dynamic_cast<TDirectNotifyServices*>(&NotifyServices()))
            direct->RemoveWindow(Window);
    }

private:
    // Tests give the direct services hand-picked small handles of their own; ours start well
    // above them so that a created window never replaces one of those.
    std::atomic<TWindowHandle> Next{0x1000};
};

std::atomic<TNotifyWindowFactory*> Installed{nullptr};

TNotifyWindowFactory& BuiltIn() {
    static TDirectWindowFactory factory;
    return factory;
}

} // namespace

void SetNotifyWindowFactory(TNotifyWindowFactory* Factory) {
    Installed.store(Factory);
}

TNotifyWindowFactory& NotifyWindowFactory() {
    TNotifyWindowFactory* factory = Installed.load();
    return factory != nullptr ? *factory : BuiltIn();
}

} // namespace vaultix::platform
