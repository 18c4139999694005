// The framework's modal alert: nil button titles mean no such button, the default one included.
#include "AppTestSupport.h"

namespace {

class AlertPanelTest : public AppShellTest {};

TEST_F(AlertPanelTest, NilTitlesShowNoButtonAndOnlyShownButtonsCanBePressed) {
    struct Case {
        const char* name;
        const char* buttons[3];  // null: nil title
        NSInteger pressed;       // what the user's answer names; 0: no answer at all
        const char* shown[3];    // what the alert shows ("" for no button)
        int returnPresses;       // the button Return presses
        NSInteger answer;
    } cases[] = {
        {"three buttons", {"Yes", "No", "Later"}, NSAlertThirdButtonReturn, {"Yes", "No", "Later"}, 0,
         NSAlertThirdButtonReturn},
        {"an answer of no shown button presses the default", {"Yes", "No", nullptr}, NSAlertThirdButtonReturn,
         {"Yes", "No", ""}, 0, NSAlertFirstButtonReturn},
        {"nil default: no OK button", {nullptr, "Cancel", nullptr}, NSAlertSecondButtonReturn, {"", "Cancel", ""}, 1,
         NSAlertSecondButtonReturn},
        {"nil default cannot be pressed", {nullptr, "Cancel", "Other"}, NSAlertFirstButtonReturn, {"", "Cancel", "Other"},
         1, NSAlertSecondButtonReturn},
        {"nil default, other pressed", {nullptr, "Cancel", "Other"}, NSAlertThirdButtonReturn, {"", "Cancel", "Other"}, 1,
         NSAlertThirdButtonReturn},
        {"only the other button", {nullptr, nullptr, "Other"}, 0, {"", "", "Other"}, 2, NSAlertThirdButtonReturn},
        {"no button at all", {nullptr, nullptr, nullptr}, NSAlertFirstButtonReturn, {"", "", ""}, 0,
         NSModalResponseAbort},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NSAlertRequest seen;
        int shown = 0;
        NSSetAlertResponder([&](const NSAlertRequest& request) -> NSInteger {
            seen = request;
            ++shown;
            return c.pressed;
        });
        Ref<NSString> titles[3];
        for (int i = 0; i < 3; ++i)
            if (c.buttons[i]) titles[i] = NSString::from(c.buttons[i]);
        NSInteger answer = CocoaUIRunAlertPanel(NSString::from("Title").get(), NSString::from("%@").get(), titles[0].get(),
                                                titles[1].get(), titles[2].get(), {NSString::from("Message").get()});
        EXPECT_EQ(answer, c.answer);
        ASSERT_EQ(shown, 1);
        EXPECT_EQ(seen.title, "Title");
        EXPECT_EQ(seen.message, "Message");
        for (int i = 0; i < 3; ++i) EXPECT_EQ(seen.buttons[i], c.shown[i]) << i;
        EXPECT_EQ(seen.unanswered, c.returnPresses);
    }
    // Without anyone to answer, Return presses the first button shown.
    NSSetAlertResponder(nullptr);
    EXPECT_EQ(CocoaUIRunAlertPanel(NSString::from("Title").get(), NSString::from("").get(), nullptr,
                                   NSString::from("Cancel").get(), nullptr),
              NSAlertSecondButtonReturn);
}

}  // namespace
