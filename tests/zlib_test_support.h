// Streams inflated as a reader of the files inflates them, for tests of what the writers store.
#pragma once
#include <zlib.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zlib_test {

// What bytes inflate to before the stream ends, with windowBits as inflateInit2 takes them (0: the
// window the header declares), through an output buffer of chunk bytes: a small one makes each
// match reach back through the window alone, as a strict reader's does. after, when given, is how
// many bytes follow the stream's end. Empty when the stream does not end.
inline std::string Inflate(std::string_view bytes, int windowBits, size_t chunk, size_t* after = nullptr) {
    z_stream z{};
    if (inflateInit2(&z, windowBits) != Z_OK) return {};
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.avail_in = uInt(bytes.size());
    std::string out;
    std::vector<char> buffer(chunk);
    int result = Z_OK;
    while (result == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buffer.data());
        z.avail_out = uInt(chunk);
        result = inflate(&z, Z_NO_FLUSH);
        out.append(buffer.data(), chunk - z.avail_out);
    }
    if (after) *after = z.avail_in;
    inflateEnd(&z);
    return result == Z_STREAM_END ? out : std::string();
}

}  // namespace zlib_test
