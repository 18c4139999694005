// Cost of one key press as the shortcut registry grows: every lookup scans the registrations in
// order, so a press costs time in proportion to their number.
//
// For registries of 100, 2,000 and 10,000 rows (tool rows and action rows on keys of one or two
// characters, mixed as the persona tables mix them), the time of one press of:
//   - an action key registered last (the whole list is scanned; the action is sent);
//   - a key of a three-tool cycle group (the tool path: group, cycle memory, tool change);
//   - a key nothing is registered for, with Shift (two scans, nothing done).
//
// Usage: shortcuts_bench [presses]   (default 20000 per measurement)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "DocSession/CallLog.h"
#include "Kernel/Timer.h"
#include "UIFramework/AppController.h"
#include "UIFramework/DocumentView.h"
#include "shortcuts/ToolsKeyboardAcceleratorPopulator.h"

namespace {

// An action target that does nothing, so that the press itself is measured.
class QuietTarget : public NSObject {
    QV_OBJECT(QuietTarget)
public:
    long calls = 0;
    void act(NSObject*) { ++calls; }
};
QV_IMPLEMENT(QuietTarget, NSObject) { c.method("act:", &QuietTarget::act); }

std::string KeyOf(size_t i) {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string k(1, letters[i % 36]);
    if (i >= 36) k += letters[(i / 36) % 36];
    return k;
}

Ref<ToolsKeyboardAcceleratorPopulator> Registry(size_t rows, QuietTarget* target) {
    auto p = New<ToolsKeyboardAcceleratorPopulator>();
    SEL act = QV_SELECTOR(act:);
    for (size_t i = 0; p->shortcuts()->count() + 4 < rows; ++i) {
        Ref<NSString> key = NSString::from(KeyOf(i));
        if (i % 3 == 0)
            p->registerKey_forToolID(key.get(), 1000 + i);
        else
            p->registerKey_withModifierMask_withAction_withTarget_andDescription(key.get(), (i % 2) * 0x100000, act,
                                                                                 target, key.get());
    }
    for (ToolID t : {7, 8, 9}) p->registerKey_forToolID(NSString::from("\xC3\xA9").get(), t);  // the cycle group
    p->registerKey_withAction_withTarget_andDescription(NSString::from("\xC3\xBC").get(), act, target,
                                                        NSString::from("last").get());
    return p;
}

template <class F>
double NanosPerPress(int presses, F&& press) {
    double best = 1e30;
    for (int round = 0; round < 3; ++round) {
        Kernel::Timer t;
        for (int i = 0; i < presses; ++i) press();
        best = std::min(best, t.GetElapsedSeconds());
        CallLog::Clear();
    }
    return best * 1e9 / presses;
}

}  // namespace

int main(int argc, char** argv) {
    const int presses = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20000;
    AutoreleasePool pool;
    auto controller = New<AppController>();
    AppController::setRunningController(controller.get());
    auto view = New<DocumentView>(Kernel::MakeCounted<DocumentController>("Bench"));
    view->setCurrentToolQuietly(Kernel::MakeCounted<Tool>(30));
    controller->setCurrentView(view.get());
    CallLog::SetSink(nullptr);

    std::printf("%-8s %16s %16s %16s\n", "rows", "action last ns", "tool cycle ns", "miss+shift ns");
    for (size_t rows : {100, 2000, 10000}) {
        auto target = New<QuietTarget>();
        auto p = Registry(rows, target.get());
        Ref<NSString> last = NSString::from("\xC3\xBC"), cycle = NSString::from("\xC3\xA9"), miss = NSString::from("~");
        double action = NanosPerPress(presses, [&] { p->acceptKey_withModifierMask(last.get(), 0); });
        double tool = NanosPerPress(presses, [&] { p->acceptKey_withModifierMask(cycle.get(), 0); });
        double none = NanosPerPress(presses, [&] { p->acceptKey_withModifierMask(miss.get(), 0x20000); });
        std::printf("%-8zu %16.0f %16.0f %16.0f\n", p->shortcuts()->count(), action, tool, none);
        if (target->calls == 0) return 1;
    }
    AppController::setRunningController(nullptr);
    return 0;
}
