#include "Format.h"

#include <string>

namespace Kernel {

void AppendFormatVT(StringT<TEncUtf8>& out, std::string_view fmt, const std::vector<StringT<TEncUtf8>>& args) {
    std::string result;
    result.reserve(fmt.size() + 32);
    for (size_t i = 0; i < fmt.size(); ++i) {
        char c = fmt[i];
        if (c == '%' && i + 1 < fmt.size() && fmt[i + 1] >= '1' && fmt[i + 1] <= '9') {
            size_t n = static_cast<size_t>(fmt[i + 1] - '1');
            if (n < args.size()) {
                result.append(args[n].View());
                ++i;
                continue;
            }
        }
        result.push_back(c);
    }
    out.Append(result);
}

StringT<TEncUtf8> Format(std::string_view fmt, std::initializer_list<StringT<TEncUtf8>> args) {
    StringT<TEncUtf8> out;
    AppendFormatVT(out, fmt, std::vector<StringT<TEncUtf8>>(args));
    return out;
}

StringT<TEncUtf8> ToStringT(int64_t value) { return StringT<TEncUtf8>(std::to_string(value)); }
StringT<TEncUtf8> ToStringT(uint64_t value) { return StringT<TEncUtf8>(std::to_string(value)); }

}  // namespace Kernel
