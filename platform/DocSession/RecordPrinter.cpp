#include "DocSession/RecordPrinter.h"

#include <cstdio>
#include <cstdlib>

namespace CallLog {

std::string Number(double v) {
    char buf[64];
    const bool isFloat = static_cast<double>(static_cast<float>(v)) == v;
    for (int precision = 1; precision <= 17; ++precision) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, v);
        double back = std::strtod(buf, nullptr);
        if (back == v || (isFloat && static_cast<float>(back) == static_cast<float>(v))) break;
    }
    return buf;
}

RecordPrinter& RecordPrinter::Field(std::string_view name, const std::string& printed) {
    if (!m_first) m_text += ", ";
    m_first = false;
    m_text += name;
    m_text += '=';
    m_text += printed;
    return *this;
}

RecordPrinter& RecordPrinter::Floats(std::string_view name, const float* v, size_t n) {
    std::string s = "[";
    for (size_t i = 0; i < n; ++i) s += (i ? ", " : "") + (v ? Number(v[i]) : std::string("?"));
    if (!v) s = "[null";
    return Field(name, s + "]");
}

RecordPrinter& RecordPrinter::Ints(std::string_view name, const int32_t* v, size_t n) {
    std::string s = "[";
    for (size_t i = 0; i < n; ++i) s += (i ? ", " : "") + std::to_string(v[i]);
    return Field(name, s + "]");
}

}  // namespace CallLog
