// Prints an engine parameter record field by field, "Type{name=value, ...}", so the call log
// shows every value a caller filled in.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace CallLog {

// Shortest form that reads back as the same float ("2.2", "0.5", "-1").
std::string Number(double v);

class RecordPrinter {
public:
    explicit RecordPrinter(std::string_view type) : m_text(type) { m_text += '{'; }
    RecordPrinter& Field(std::string_view name, const std::string& printed);
    RecordPrinter& Float(std::string_view name, float v) { return Field(name, Number(v)); }
    RecordPrinter& Int(std::string_view name, long long v) { return Field(name, std::to_string(v)); }
    RecordPrinter& Flag(std::string_view name, bool v) { return Field(name, v ? "true" : "false"); }
    RecordPrinter& Floats(std::string_view name, const float* v, size_t n);
    RecordPrinter& Ints(std::string_view name, const int32_t* v, size_t n);
    std::string Done() { return m_text + '}'; }

private:
    std::string m_text;
    bool m_first = true;
};

}  // namespace CallLog
