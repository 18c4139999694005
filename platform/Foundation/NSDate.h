// Dates and their localized text.
#pragma once
#include <ctime>
#include <optional>

#include "NSString.h"

class NSDate : public NSObject {
    QV_OBJECT(NSDate)
public:
    NSDate() = default;
    explicit NSDate(std::time_t seconds) : m_seconds(seconds) {}
    // Now, or the fixed time a test has set.
    static Ref<NSDate> date();
    std::time_t timeIntervalSince1970() const { return m_seconds; }

    // Stand-in: fixes what date answers (an empty optional goes back to the clock).
    static void SetNowOverride(std::optional<std::time_t> seconds);

private:
    std::time_t m_seconds = 0;
};

enum NSDateFormatterStyle : NSUInteger {
    NSDateFormatterNoStyle = 0,
    NSDateFormatterShortStyle = 1,
    NSDateFormatterMediumStyle = 2,
    NSDateFormatterLongStyle = 3,
    NSDateFormatterFullStyle = 4,
};

class NSDateFormatter : public NSObject {
    QV_OBJECT(NSDateFormatter)
public:
    // The date in the local time zone, in the styles of the user's region: month first with a
    // 12-hour clock in the United States, day first with a 24-hour clock elsewhere.
    static Ref<NSString> localizedStringFromDate(const NSDate* date, NSDateFormatterStyle dateStyle,
                                                 NSDateFormatterStyle timeStyle);
};
