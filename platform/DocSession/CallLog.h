// One ordered record of every call that reaches the stand-in engine and framework, in one
// printed form: `Receiver::name(arg, arg)`. Tests read and clear it; the headless application
// prints each entry as it is made.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "Kernel/Counted.h"
#include "Kernel/String.h"

class NSObject;
class NSString;
class Tool;
class DocumentController;
class DocumentCommand;
namespace Kestrane {
class Persona;
}

namespace CallLog {

// A four-character persona or tag code, printed as 'abcd'.
struct Code {
    uint32_t value;
};
// Text printed as it is (no quotes).
struct Raw {
    std::string text;
};

std::string Arg(bool v);
std::string Arg(const char* v);  // quoted; null prints nil
std::string Arg(std::string_view v);
inline std::string Arg(const std::string& v) { return Arg(std::string_view(v)); }
inline std::string Arg(const Kernel::String& v) { return Arg(v.View()); }
std::string Arg(const NSString* v);  // quoted; nil prints nil
std::string Arg(const NSObject* v);  // <ClassName>, nil prints nil
std::string Arg(std::nullptr_t);
std::string Arg(Code c);
inline std::string Arg(const Raw& r) { return r.text; }
std::string Arg(const Tool* t);
std::string Arg(const DocumentController* d);
std::string Arg(const DocumentCommand* c);
std::string Arg(const Kestrane::Persona* p);
template <class T>
std::string Arg(const Kernel::Counted<T>& handle) {
    return Arg(static_cast<const std::remove_const_t<T>*>(handle.Get()));
}
template <class T>
    requires(std::is_arithmetic_v<T> && !std::is_same_v<T, bool>)
std::string Arg(T v) {
    if constexpr (std::is_floating_point_v<T>) return std::to_string(v);
    else return std::to_string(v);
}

// Appends one entry.
void Record(std::string entry);

template <class... A>
void Call(std::string_view name, const A&... args) {
    std::string line(name);
    line += '(';
    bool first = true;
    ((line += (first ? "" : ", "), line += Arg(args), first = false), ...);
    line += ')';
    Record(std::move(line));
}

std::vector<std::string> Entries();
void Clear();
// Receives each entry as it is recorded (the headless application prints them). Answers the previous sink.
using Sink = std::function<void(const std::string&)>;
Sink SetSink(Sink sink);

}  // namespace CallLog
