#include "NSDate.h"

#include <atomic>
#include <string>

#include "AppKit/NSView.h"

QV_IMPLEMENT(NSDate, NSObject) {}
QV_IMPLEMENT(NSDateFormatter, NSObject) {}

namespace {
std::atomic<bool> g_fixed{false};
std::atomic<std::time_t> g_fixedSeconds{0};

const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November", "December"};
const char* const kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

std::string Two(int v) { return (v < 10 ? "0" : "") + std::to_string(v); }

std::string DateText(const std::tm& t, NSDateFormatterStyle style, bool us) {
    std::string day = std::to_string(t.tm_mday), year = std::to_string(t.tm_year + 1900);
    std::string month = kMonths[t.tm_mon];
    switch (style) {
    case NSDateFormatterNoStyle: return {};
    case NSDateFormatterShortStyle:
        return us ? std::to_string(t.tm_mon + 1) + "/" + day + "/" + Two((t.tm_year + 1900) % 100)
                  : Two(t.tm_mday) + "/" + Two(t.tm_mon + 1) + "/" + year;
    case NSDateFormatterMediumStyle:
        return us ? month.substr(0, 3) + " " + day + ", " + year : day + " " + month.substr(0, 3) + " " + year;
    case NSDateFormatterLongStyle: return us ? month + " " + day + ", " + year : day + " " + month + " " + year;
    case NSDateFormatterFullStyle:
        return std::string(kDays[t.tm_wday]) + ", " + (us ? month + " " + day + ", " + year : day + " " + month + " " + year);
    }
    return {};
}

std::string TimeText(const std::tm& t, NSDateFormatterStyle style, bool us) {
    if (style == NSDateFormatterNoStyle) return {};
    std::string hm = us ? std::to_string(t.tm_hour % 12 == 0 ? 12 : t.tm_hour % 12) + ":" + Two(t.tm_min)
                        : Two(t.tm_hour) + ":" + Two(t.tm_min);
    std::string s = style == NSDateFormatterShortStyle ? hm : hm + ":" + Two(t.tm_sec);
    if (us) s += t.tm_hour < 12 ? " AM" : " PM";
    if (style >= NSDateFormatterLongStyle) {
        char zone[16] = {};
        std::strftime(zone, sizeof zone, "%Z", &t);
        if (zone[0]) s += std::string(" ") + zone;
    }
    return s;
}
}  // namespace

Ref<NSDate> NSDate::date() {
    return New<NSDate>(g_fixed.load() ? g_fixedSeconds.load() : std::time(nullptr));
}

void NSDate::SetNowOverride(std::optional<std::time_t> seconds) {
    g_fixedSeconds.store(seconds.value_or(0));
    g_fixed.store(seconds.has_value());
}

Ref<NSString> NSDateFormatter::localizedStringFromDate(const NSDate* date, NSDateFormatterStyle dateStyle,
                                                       NSDateFormatterStyle timeStyle) {
    if (!date) return NSString::string();
    std::time_t seconds = date->timeIntervalSince1970();
    std::tm t{};
    localtime_r(&seconds, &t);
    Ref<NSLocale> locale = NSLocale::currentLocale();
    id region = locale->objectForKey(NSLocaleCountryCode);
    auto* country = ObjectCast<NSString>(region.get());
    bool us = !country || country->utf8() == "US";
    std::string d = DateText(t, dateStyle, us), tm = TimeText(t, timeStyle, us);
    if (d.empty() || tm.empty()) return NSString::from(d + tm);
    bool joinWithAt = dateStyle >= NSDateFormatterLongStyle;
    return NSString::from(d + (joinWithAt ? " at " : ", ") + tm);
}
