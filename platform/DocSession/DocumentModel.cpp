#include "DocumentModel.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include <isa-l/crc64.h>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "Raster/Tile.h"
#include "Kernel/Dispatch.h"
#include "Kernel/FileSystem.h"
#include "Kernel/Format.h"

namespace DocEngine {

namespace {

const FormatInfo kFormats[] = {
    {Raster::kFormatRGBA8, "rgba8", 4, 1, 3, false},   {Raster::kFormatRGBA16, "rgba16", 4, 2, 3, false},
    {Raster::kFormatI8A8, "ia8", 2, 1, 1, false},      {Raster::kFormatI16A16, "ia16", 2, 2, 1, false},
    {Raster::kFormatCMYKA8, "cmyka8", 5, 1, 4, false}, {Raster::kFormatLabA16, "laba16", 4, 2, 3, false},
    {Raster::kFormatRGBAF, "rgbaf", 4, 4, 3, true},
};

// A fixed mix of 64 bits (splitmix64's finaliser): noise depends only on the seed and the
// sample's place, never on the order samples are drawn in.
uint64_t Mix(uint64_t z) {
    z += 0x9e3779b97f4a7c15ull;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

// The part of a sample's noise that depends on the command alone.
uint64_t NoiseKey(uint64_t seed, int spread) { return Mix(Mix(seed) ^ uint64_t(uint32_t(spread))); }

// The value in [-1, 1) for one channel of a pixel, from the part that depends on the
// command and the pixel's place.
double NoiseValue(uint64_t place, int channel) {
    const uint64_t h = Mix(place ^ uint64_t(uint32_t(channel)));
    return double(h >> 11) * 0x1.0p-53 * 2.0 - 1.0;
}

// How the engine's drawing asks the worker pool for threads.
constexpr int kDrawPriority = 21;
constexpr int kDrawPurpose = 2;

// Runs work over [0, count) on the pool in batches of at least batch items: an item too small to
// pay for waking a worker (a block copy, a cell of a small page) is run with its neighbours, and
// a page of a few tiles is done on the calling thread without the pool.
void DispatchInBatches(Kernel::Dispatch::ParallelWork work, size_t count, void* context, size_t batch) {
    struct Batches {
        Kernel::Dispatch::ParallelWork work;
        void* context;
        size_t count, batch;
    } batches{work, context, count, batch};
    Kernel::Dispatch::DispatchParallelFor(
        [](void* c, size_t index) {
            const Batches& b = *static_cast<const Batches*>(c);
            for (size_t i = index * b.batch; i < std::min(b.count, (index + 1) * b.batch); ++i) b.work(b.context, i);
        },
        (count + batch - 1) / batch, &batches, kDrawPriority, kDrawPurpose, 0);
}

std::string NumberText(double v) {
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, result.ptr);
}

}  // namespace

const FormatInfo* FindFormat(Raster::Format code) {
    for (const FormatInfo& f : kFormats)
        if (f.code == code) return &f;
    return nullptr;
}

const FormatInfo* FindFormatByName(std::string_view name) {
    for (const FormatInfo& f : kFormats)
        if (name == f.name) return &f;
    return nullptr;
}

// ---- Tile store ---------------------------------------------------------------------------

TileBlock::TileBlock() {
    bool zeroed;
    m_bytes.reset(Raster::TakeTileBuffer(&zeroed));
    if (!zeroed) std::memset(m_bytes.get(), 0, kBytes);
    Raster::MemoryManager::Instance().AddBackstore(kBytes);
}

TileBlock::TileBlock(Uninitialised) : m_bytes(Raster::TakeTileBuffer()) {
    Raster::MemoryManager::Instance().AddBackstore(kBytes);
}

TileBlock::TileBlock(const TileBlock& other) : Kernel::Countable(), m_bytes(Raster::TakeTileBuffer()) {
    std::memcpy(m_bytes.get(), other.m_bytes.get(), kBytes);
    Raster::MemoryManager::Instance().AddBackstore(kBytes);
}

TileBlock::~TileBlock() { Raster::MemoryManager::Instance().RemoveBackstore(kBytes); }

SpreadContent::SpreadContent(const FormatInfo* format, int width, int height)
    : m_format(format),
      m_width(width),
      m_height(height),
      m_columns((width + format->TileWidth() - 1) / format->TileWidth()),
      m_rows((height + 255) / 256),
      m_blocks(size_t(format->channels) * size_t(m_columns) * size_t(m_rows)) {}

Content MakeContent(const FormatInfo* format, const std::vector<std::pair<int, int>>& sizes) {
    Content content;
    content.reserve(sizes.size());
    for (const auto& [w, h] : sizes) content.emplace_back(format, w, h);
    return content;
}

// ---- Drawing ------------------------------------------------------------------------------
//
// Every command changes each sample from that sample's own value alone, so the blocks of one
// tile cell can take all of a list's commands in turn without looking at any other cell:
// cells are drawn in parallel on the worker pool, a row span at a time.

namespace {

struct Area {
    int left, top, right, bottom;
    bool Empty() const { return left >= right || top >= bottom; }
};

// The values of 8-bit samples, as the division gives them.
struct ByteValues {
    double value[256];
    constexpr ByteValues() : value() {
        for (int i = 0; i < 256; ++i) value[i] = i / 255.0;
    }
};
constexpr ByteValues kByteValues;

// A sample as a value on its format's full range (float samples as they are).
inline double ReadSample(const uint8_t* p, int bytes) {
    switch (bytes) {
    case 1: return kByteValues.value[*p];
    case 2: {
        uint16_t s;
        std::memcpy(&s, p, 2);
        return s / 65535.0;
    }
    default: {
        float f;
        std::memcpy(&f, p, 4);
        return f;
    }
    }
}

// std::lround for values of 0 and more, without a library call per sample: x minus its
// whole part is exact for such values, so the halfway test is too.
inline int64_t RoundHalfUp(double value) {
    const int64_t whole = int64_t(value);
    return whole + (value - double(whole) >= 0.5);
}

inline void WriteSample(uint8_t* p, int bytes, double value) {
    switch (bytes) {
    case 1: *p = uint8_t(RoundHalfUp(std::clamp(value, 0.0, 1.0) * 255.0)); break;
    case 2: {
        const uint16_t s = uint16_t(RoundHalfUp(std::clamp(value, 0.0, 1.0) * 65535.0));
        std::memcpy(p, &s, 2);
        break;
    }
    default: {
        const float f = float(value);
        std::memcpy(p, &f, 4);
        break;
    }
    }
}

constexpr int kMaxChannels = 5;
constexpr int kNoChannel = -1;  // for where a command draws in any channel it draws in

// Where the command draws inside a cell of a spread; empty when it leaves the channel alone.
Area DrawnArea(const DrawCommand& command, const SpreadContent& target, int channel, const Area& cell) {
    if (command.kind == DrawCommand::Kind::Noise && channel == target.GetFormat().alphaChannel) return {0, 0, 0, 0};
    const int x0 = std::max(command.x, 0), y0 = std::max(command.y, 0);
    const int x1 = int(std::min<int64_t>(int64_t(command.x) + command.width, target.GetWidth()));
    const int y1 = int(std::min<int64_t>(int64_t(command.y) + command.height, target.GetHeight()));
    return {std::max(x0, cell.left), std::max(y0, cell.top), std::min(x1, cell.right), std::min(y1, cell.bottom)};
}

// Draws a fill or a gradient over an area of one channel's block.
void DrawSpan(const DrawCommand& command, const FormatInfo& format, int channel, uint8_t* block, const Area& area) {
    const int bytes = format.bytesPerSample;
    const int tw = format.TileWidth();
    const size_t spanBytes = size_t(area.right - area.left) * size_t(bytes);
    auto row = [&](int y) { return block + (size_t(y % 256) * size_t(tw) + size_t(area.left % tw)) * size_t(bytes); };
    auto fillRow = [&](uint8_t* out, const uint8_t* sample) {
        if (bytes == 1) std::memset(out, *sample, spanBytes);
        else
            for (size_t i = 0; i < spanBytes; i += size_t(bytes)) std::memcpy(out + i, sample, size_t(bytes));
    };
    const size_t c = size_t(channel);
    uint8_t sample[4];
    if (command.kind == DrawCommand::Kind::Fill) {
        WriteSample(sample, bytes, command.from[c]);
        fillRow(row(area.top), sample);
        for (int y = area.top + 1; y < area.bottom; ++y) std::memcpy(row(y), row(area.top), spanBytes);
    } else if (command.vertical) {
        for (int y = area.top; y < area.bottom; ++y) {
            const double t = (y - command.y + 0.5) / command.height;
            WriteSample(sample, bytes, command.from[c] + (command.to[c] - command.from[c]) * t);
            fillRow(row(y), sample);
        }
    } else {
        uint8_t* first = row(area.top);
        for (int x = area.left; x < area.right; ++x) {
            const double t = (x - command.x + 0.5) / command.width;
            WriteSample(first + size_t(x - area.left) * size_t(bytes), bytes,
                        command.from[c] + (command.to[c] - command.from[c]) * t);
        }
        for (int y = area.top + 1; y < area.bottom; ++y) std::memcpy(row(y), first, spanBytes);
    }
}

// Adds noise to the samples [x0, x1) of a row of every channel's block but alpha's, pixel by
// pixel; the part of the noise that depends on the place alone is worked out once a pixel.
template <int Bytes>
void NoiseRow(const DrawCommand& command, uint64_t key, const int* channels, int count, uint8_t* const* blocks,
              size_t at, int x0, int x1, int y) {
    for (int x = x0; x < x1; ++x, at += Bytes) {
        const uint64_t place = Mix(key ^ (uint64_t(uint32_t(x)) << 32 | uint32_t(y)));
        for (int k = 0; k < count; ++k) {
            uint8_t* p = blocks[channels[k]] + at;
            WriteSample(p, Bytes, ReadSample(p, Bytes) + NoiseValue(place, channels[k]) * command.amount);
        }
    }
}

#if defined(__x86_64__)
// The same, four pixels to a vector, for processors with AVX2: noise is most of the drawing of
// a small page. Every step is the scalar one's, in the same order and precision, so the
// samples come out bit for bit the same.
namespace avx2 {

__attribute__((target("avx2"))) inline __m256i Multiply(__m256i a, __m256i b) {
    // The low 64 bits of each lane's product, from 32-bit halves.
    const __m256i low = _mm256_mul_epu32(a, b);
    const __m256i cross = _mm256_add_epi64(_mm256_mul_epu32(_mm256_srli_epi64(a, 32), b),
                                           _mm256_mul_epu32(a, _mm256_srli_epi64(b, 32)));
    return _mm256_add_epi64(low, _mm256_slli_epi64(cross, 32));
}

__attribute__((target("avx2"))) inline __m256i Mix(__m256i z) {
    z = _mm256_add_epi64(z, _mm256_set1_epi64x(int64_t(0x9e3779b97f4a7c15ull)));
    z = Multiply(_mm256_xor_si256(z, _mm256_srli_epi64(z, 30)), _mm256_set1_epi64x(int64_t(0xbf58476d1ce4e5b9ull)));
    z = Multiply(_mm256_xor_si256(z, _mm256_srli_epi64(z, 27)), _mm256_set1_epi64x(int64_t(0x94d049bb133111ebull)));
    return _mm256_xor_si256(z, _mm256_srli_epi64(z, 31));
}

// Exact conversions of lanes below 2 to the power 52.
__attribute__((target("avx2"))) inline __m256d Small(__m256i v) {
    const __m256d magic = _mm256_set1_pd(0x1.0p52);
    return _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(v, _mm256_castpd_si256(magic))), magic);
}

__attribute__((target("avx2"))) inline __m256d NoiseValue(__m256i place, int channel) {
    const __m256i v = _mm256_srli_epi64(Mix(_mm256_xor_si256(place, _mm256_set1_epi64x(uint32_t(channel)))), 11);
    // Below 2 to the power 53: its high and low 32 bits convert exactly, and so does their sum.
    const __m256d whole = _mm256_add_pd(_mm256_mul_pd(Small(_mm256_srli_epi64(v, 32)), _mm256_set1_pd(0x1.0p32)),
                                        Small(_mm256_and_si256(v, _mm256_set1_epi64x(0xffffffff))));
    return _mm256_sub_pd(_mm256_mul_pd(_mm256_mul_pd(whole, _mm256_set1_pd(0x1.0p-53)), _mm256_set1_pd(2.0)),
                         _mm256_set1_pd(1.0));
}

template <int Bytes>
__attribute__((target("avx2"))) inline __m256d Read(const uint8_t* p) {
    if constexpr (Bytes == 4) {
        return _mm256_cvtps_pd(_mm_loadu_ps(reinterpret_cast<const float*>(p)));
    } else if constexpr (Bytes == 2) {
        const __m128i s = _mm_cvtepu16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
        return _mm256_div_pd(_mm256_cvtepi32_pd(s), _mm256_set1_pd(65535.0));
    } else {
        uint32_t four;
        std::memcpy(&four, p, 4);
        const __m128i s = _mm_cvtepu8_epi32(_mm_cvtsi32_si128(int(four)));
        return _mm256_div_pd(_mm256_cvtepi32_pd(s), _mm256_set1_pd(255.0));  // as kByteValues holds them
    }
}

template <int Bytes>
__attribute__((target("avx2"))) inline void Write(uint8_t* p, __m256d value) {
    if constexpr (Bytes == 4) {
        _mm_storeu_ps(reinterpret_cast<float*>(p), _mm256_cvtpd_ps(value));
    } else {
        const __m256d top = _mm256_set1_pd(Bytes == 1 ? 255.0 : 65535.0);
        value = _mm256_mul_pd(_mm256_min_pd(_mm256_max_pd(value, _mm256_setzero_pd()), _mm256_set1_pd(1.0)), top);
        // RoundHalfUp: the whole part, and one more when what is left is a half or more.
        const __m256d whole = _mm256_round_pd(value, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
        const __m256d up = _mm256_and_pd(_mm256_cmp_pd(_mm256_sub_pd(value, whole), _mm256_set1_pd(0.5), _CMP_GE_OQ),
                                         _mm256_set1_pd(1.0));
        const __m128i n = _mm256_cvttpd_epi32(_mm256_add_pd(whole, up));
        if constexpr (Bytes == 2) {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packus_epi32(n, n));
        } else {
            const uint32_t four = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(_mm_packus_epi32(n, n), n)));
            std::memcpy(p, &four, 4);
        }
    }
}

// The places of pixels x to x + 3 of a row, mixed.
__attribute__((target("avx2"))) inline __m256i Places(__m256i keyed, int x) {
    const __m256i xs = _mm256_slli_epi64(_mm256_setr_epi64x(uint32_t(x), uint32_t(x + 1), uint32_t(x + 2),
                                                            uint32_t(x + 3)), 32);
    return Mix(_mm256_xor_si256(keyed, xs));
}

template <int Bytes>
__attribute__((target("avx2"))) void NoiseRow(const DrawCommand& command, uint64_t key, const int* channels, int count,
                                              uint8_t* const* blocks, size_t at, int x0, int x1, int y) {
    const __m256d amount = _mm256_set1_pd(command.amount);
    const __m256i keyed = _mm256_set1_epi64x(int64_t(key ^ uint32_t(y)));
    int x = x0;
    // Two groups of four at a time: each sample's steps wait on one another, the two groups'
    // do not, so the processor runs them side by side.
    for (; x + 8 <= x1; x += 8, at += 8 * Bytes) {
        const __m256i first = Places(keyed, x), second = Places(keyed, x + 4);
        for (int k = 0; k < count; ++k) {
            uint8_t* p = blocks[channels[k]] + at;
            const __m256d a = _mm256_add_pd(Read<Bytes>(p), _mm256_mul_pd(NoiseValue(first, channels[k]), amount));
            const __m256d b =
                _mm256_add_pd(Read<Bytes>(p + 4 * Bytes), _mm256_mul_pd(NoiseValue(second, channels[k]), amount));
            Write<Bytes>(p, a);
            Write<Bytes>(p + 4 * Bytes, b);
        }
    }
    for (; x + 4 <= x1; x += 4, at += 4 * Bytes) {
        const __m256i place = Places(keyed, x);
        for (int k = 0; k < count; ++k) {
            uint8_t* p = blocks[channels[k]] + at;
            Write<Bytes>(p, _mm256_add_pd(Read<Bytes>(p), _mm256_mul_pd(NoiseValue(place, channels[k]), amount)));
        }
    }
    DocEngine::NoiseRow<Bytes>(command, key, channels, count, blocks, at, x, x1, y);
}

bool Supported() {
    static const bool supported = __builtin_cpu_supports("avx2");
    return supported;
}

}  // namespace avx2

// Eight pixels at a time where the processor has AVX-512, whose 64-bit multiplies and exact
// conversions of 64-bit integers the mix and the noise value take whole. Contraction into fused
// multiply-adds is off, so that every product and sum is rounded as the scalar one's is (Clang
// contracts only within one expression, which each intrinsic call is on its own).
#if !defined(__clang__)
#pragma GCC push_options
#pragma GCC optimize("fp-contract=off")
// GCC 12 takes the undefined pass-through vectors inside its own AVX-512 intrinsics for
// uninitialised values.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
namespace avx512 {

#define QV_AVX512 __attribute__((target("avx512f,avx512dq,avx512bw,avx512vl")))

QV_AVX512 inline __m512i Mix(__m512i z) {
    z = _mm512_add_epi64(z, _mm512_set1_epi64(int64_t(0x9e3779b97f4a7c15ull)));
    z = _mm512_mullo_epi64(_mm512_xor_si512(z, _mm512_srli_epi64(z, 30)),
                           _mm512_set1_epi64(int64_t(0xbf58476d1ce4e5b9ull)));
    z = _mm512_mullo_epi64(_mm512_xor_si512(z, _mm512_srli_epi64(z, 27)),
                           _mm512_set1_epi64(int64_t(0x94d049bb133111ebull)));
    return _mm512_xor_si512(z, _mm512_srli_epi64(z, 31));
}

QV_AVX512 inline __m512d NoiseValue(__m512i place, int channel) {
    // Below 2 to the power 53: the conversion is exact.
    const __m512d whole =
        _mm512_cvtepu64_pd(_mm512_srli_epi64(Mix(_mm512_xor_si512(place, _mm512_set1_epi64(uint32_t(channel)))), 11));
    return _mm512_sub_pd(_mm512_mul_pd(_mm512_mul_pd(whole, _mm512_set1_pd(0x1.0p-53)), _mm512_set1_pd(2.0)),
                         _mm512_set1_pd(1.0));
}

template <int Bytes>
QV_AVX512 inline __m512d Read(const uint8_t* p) {
    if constexpr (Bytes == 4) {
        return _mm512_cvtps_pd(_mm256_loadu_ps(reinterpret_cast<const float*>(p)));
    } else if constexpr (Bytes == 2) {
        const __m256i s = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
        return _mm512_div_pd(_mm512_cvtepi32_pd(s), _mm512_set1_pd(65535.0));
    } else {
        const __m256i s = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
        return _mm512_div_pd(_mm512_cvtepi32_pd(s), _mm512_set1_pd(255.0));  // as kByteValues holds them
    }
}

template <int Bytes>
QV_AVX512 inline void Write(uint8_t* p, __m512d value) {
    if constexpr (Bytes == 4) {
        _mm256_storeu_ps(reinterpret_cast<float*>(p), _mm512_cvtpd_ps(value));
    } else {
        const __m512d top = _mm512_set1_pd(Bytes == 1 ? 255.0 : 65535.0);
        value = _mm512_mul_pd(_mm512_min_pd(_mm512_max_pd(value, _mm512_setzero_pd()), _mm512_set1_pd(1.0)), top);
        // RoundHalfUp: the whole part, and one more when what is left is a half or more.
        const __m512d whole = _mm512_roundscale_pd(value, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
        const __mmask8 up = _mm512_cmp_pd_mask(_mm512_sub_pd(value, whole), _mm512_set1_pd(0.5), _CMP_GE_OQ);
        const __m256i n = _mm512_cvttpd_epi32(_mm512_mask_add_pd(whole, up, whole, _mm512_set1_pd(1.0)));
        if constexpr (Bytes == 2) _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_cvtepi32_epi16(n));
        else _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm256_cvtepi32_epi8(n));
    }
}

template <int Bytes>
QV_AVX512 void NoiseRow(const DrawCommand& command, uint64_t key, const int* channels, int count,
                        uint8_t* const* blocks, size_t at, int x0, int x1, int y) {
    const __m512d amount = _mm512_set1_pd(command.amount);
    const __m512i keyed = _mm512_set1_epi64(int64_t(key ^ uint32_t(y)));
    const __m512i steps = _mm512_setr_epi64(0, 1, 2, 3, 4, 5, 6, 7);
    int x = x0;
    for (; x + 8 <= x1; x += 8, at += 8 * Bytes) {
        const __m512i xs = _mm512_slli_epi64(_mm512_add_epi64(_mm512_set1_epi64(uint32_t(x)), steps), 32);
        const __m512i place = Mix(_mm512_xor_si512(keyed, xs));
        for (int k = 0; k < count; ++k) {
            uint8_t* p = blocks[channels[k]] + at;
            Write<Bytes>(p, _mm512_add_pd(Read<Bytes>(p), _mm512_mul_pd(NoiseValue(place, channels[k]), amount)));
        }
    }
    avx2::NoiseRow<Bytes>(command, key, channels, count, blocks, at, x, x1, y);
}

#undef QV_AVX512

bool Supported() {
    static const bool supported = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
                                  __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl");
    return supported;
}

}  // namespace avx512
#if !defined(__clang__)
#pragma GCC diagnostic pop
#pragma GCC pop_options
#endif
#endif

// Adds noise over an area of every channel's block but alpha's.
template <int Bytes>
void DrawNoise(const DrawCommand& command, const FormatInfo& format, uint8_t* const* blocks, const Area& area) {
    const int tw = format.TileWidth();
    const uint64_t key = NoiseKey(command.seed, command.spread);
    int channels[kMaxChannels], count = 0;
    for (int c = 0; c < format.channels; ++c)
        if (c != format.alphaChannel) channels[count++] = c;
#if defined(__x86_64__)
    const bool widest = avx512::Supported(), wide = avx2::Supported();
#endif
    for (int y = area.top; y < area.bottom; ++y) {
        const size_t at = (size_t(y % 256) * size_t(tw) + size_t(area.left % tw)) * Bytes;
#if defined(__x86_64__)
        if (widest) {
            avx512::NoiseRow<Bytes>(command, key, channels, count, blocks, at, area.left, area.right, y);
            continue;
        }
        if (wide) {
            avx2::NoiseRow<Bytes>(command, key, channels, count, blocks, at, area.left, area.right, y);
            continue;
        }
#endif
        NoiseRow<Bytes>(command, key, channels, count, blocks, at, area.left, area.right, y);
    }
}

void DrawNoise(const DrawCommand& command, const FormatInfo& format, uint8_t* const* blocks, const Area& area) {
    switch (format.bytesPerSample) {
    case 1: return DrawNoise<1>(command, format, blocks, area);
    case 2: return DrawNoise<2>(command, format, blocks, area);
    default: return DrawNoise<4>(command, format, blocks, area);
    }
}

struct CellWork {
    SpreadContent* target;
    int spread;
    Area cell;
};

struct DrawWork {
    const DrawCommand* const* commands;
    size_t count;
    std::vector<CellWork> cells;
};

Area CellOf(const SpreadContent& target, int column, int row) {
    const int tw = target.GetFormat().TileWidth();
    return {column * tw, row * 256, std::min(target.GetWidth(), column * tw + tw),
            std::min(target.GetHeight(), row * 256 + 256)};
}

// The bytes of a channel's block of a cell that a command is about to draw in first, made
// the cell's own.
uint8_t* WritableBlock(SpreadContent& target, int channel, const Area& cell, const DrawCommand& first) {
    const int tw = target.GetFormat().TileWidth();
    Kernel::Counted<TileBlock>& slot = target.Slot(channel, cell.left / tw, cell.top / 256);
    if (!slot) {
        // A whole cell that its first command covers needs no zeros first.
        const Area drawn = DrawnArea(first, target, channel, cell);
        const bool covered = first.kind != DrawCommand::Kind::Noise && cell.right - cell.left == tw &&
                             cell.bottom - cell.top == 256 && drawn.left == cell.left && drawn.top == cell.top &&
                             drawn.right == cell.right && drawn.bottom == cell.bottom;
        slot = covered ? Kernel::MakeCounted<TileBlock>(TileBlock::Uninitialised()) : Kernel::MakeCounted<TileBlock>();
    } else if (slot->GetRefCount() > 1) {
        // Shared, maybe with another cell drawn now: copy on write. The other cell's worker
        // sees the count fall only once this copy is made, and may then write in place.
        slot = Kernel::MakeCounted<TileBlock>(*slot);
    }
    return slot->Bytes();
}

// A cell of every channel takes tens of microseconds to draw, a cell of noise hundreds: a page
// of up to this many cells is drawn on the calling thread, a larger one a cell to a worker, so
// that cells of noise beside plain ones keep every thread busy.
constexpr size_t kCellsOnCaller = 4;

void DrawCell(void* context, size_t index) {
    const DrawWork& work = *static_cast<const DrawWork*>(context);
    const CellWork& item = work.cells[index];
    SpreadContent& target = *item.target;
    const FormatInfo& format = target.GetFormat();
    // Only the channels some command draws in get a block of their own.
    uint8_t* blocks[kMaxChannels] = {};
    for (int c = 0; c < format.channels; ++c)
        for (size_t k = 0; k < work.count; ++k) {
            const DrawCommand& command = *work.commands[k];
            if (command.spread != item.spread || DrawnArea(command, target, c, item.cell).Empty()) continue;
            blocks[c] = WritableBlock(target, c, item.cell, command);
            break;
        }
    for (size_t k = 0; k < work.count; ++k) {
        const DrawCommand& command = *work.commands[k];
        if (command.spread != item.spread) continue;
        const Area area = DrawnArea(command, target, kNoChannel, item.cell);
        if (area.Empty()) continue;
        if (command.kind == DrawCommand::Kind::Noise) DrawNoise(command, format, blocks, area);
        else
            for (int c = 0; c < format.channels; ++c) DrawSpan(command, format, c, blocks[c], area);
    }
}

}  // namespace

void DrawCommands(const DrawCommand* const* commands, size_t count, Content& content) {
    DrawWork work{commands, count, {}};
    for (size_t s = 0; s < content.size(); ++s) {
        SpreadContent& target = content[s];
        for (int row = 0; row < target.GetRows(); ++row)
            for (int column = 0; column < target.GetColumns(); ++column) {
                const Area cell = CellOf(target, column, row);
                for (size_t k = 0; k < count; ++k)
                    if (commands[k]->spread == int(s) && !DrawnArea(*commands[k], target, kNoChannel, cell).Empty()) {
                        work.cells.push_back({&target, int(s), cell});
                        break;
                    }
            }
    }
    const size_t cells = work.cells.size();
    DispatchInBatches(&DrawCell, cells, &work, cells <= kCellsOnCaller ? kCellsOnCaller : 1);
}

void DrawCommands(CommandList::const_iterator first, CommandList::const_iterator last, Content& content) {
    std::vector<const DrawCommand*> commands;
    for (; first != last; ++first) commands.push_back(first->get());
    DrawCommands(commands.data(), commands.size(), content);
}

void DrawCommand::Apply(Content& content) const {
    const DrawCommand* self = this;
    DrawCommands(&self, 1, content);
}

std::string DrawCommand::ToText() const {
    std::string text;
    auto add = [&](const std::string& word) {
        if (!text.empty()) text += ' ';
        text += word;
    };
    add(kind == Kind::Fill ? "fill" : kind == Kind::Gradient ? "gradient" : "noise");
    for (int v : {spread, x, y, width, height}) add(std::to_string(v));
    if (kind == Kind::Gradient) add(vertical ? "vertical" : "horizontal");
    if (kind == Kind::Noise) {
        add(std::to_string(seed));
        add(NumberText(amount));
        return text;
    }
    for (double v : from) add(NumberText(v));
    if (kind == Kind::Gradient)
        for (double v : to) add(NumberText(v));
    return text;
}

const char* DrawCommand::Identifier(Kind kind) {
    switch (kind) {
    case Kind::Fill: return "FillCommand";
    case Kind::Gradient: return "GradientCommand";
    default: return "NoiseCommand";
    }
}

const char* DrawCommand::Name(Kind kind) {
    switch (kind) {
    case Kind::Fill: return "Fill";
    case Kind::Gradient: return "Gradient";
    default: return "Add Noise";
    }
}

// ---- Document files -----------------------------------------------------------------------

namespace {

constexpr std::string_view kHeader = "quirevale-document";

struct Line {
    int number;
    std::string_view text;
    std::vector<std::string_view> words;
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A value that runs to the end of its line (a profile path, a snapshot description) stands as
// it is, or, when it begins and ends with a double quote, is quoted text: within the quotes a
// backslash starts an escape (\\ \" \n \r \t, or \x and two hex digits for any byte), so
// that any bytes at all fit on the line. A writer quotes a value that would not read back bare.
bool IsQuoted(std::string_view value) { return value.size() >= 2 && value.front() == '"' && value.back() == '"'; }

bool NeedsQuotes(std::string_view value) {
    if (value.empty()) return false;
    if (value.front() == '"' || value.back() == '"' || IsBlank(value.front()) || IsBlank(value.back())) return true;
    for (unsigned char c : value)
        if (c < 0x20 || c == 0x7f) return true;
    return false;
}

std::string QuotedValue(std::string_view value) {
    static const char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (unsigned char c : value) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7f) {
                out += "\\x";
                out += kHex[c >> 4];
                out += kHex[c & 15];
            } else {
                out += char(c);
            }
        }
    }
    out += '"';
    return out;
}

std::string ValueText(std::string_view value) { return NeedsQuotes(value) ? QuotedValue(value) : std::string(value); }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The value as it reads: quoted text with its escapes undone, or the text itself. Empty when
// the quoted text is not well formed, with why set.
std::string ReadValue(std::string_view text, std::string& why) {
    if (!IsQuoted(text)) return std::string(text);
    std::string out;
    const std::string_view inner = text.substr(1, text.size() - 2);
    for (size_t i = 0; i < inner.size(); ++i) {
        const char c = inner[i];
        if (c == '"') {
            why = "a double quote inside quoted text is written \\\"";
            return {};
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i == inner.size()) {
            why = "the quoted text ends in a lone backslash";
            return {};
        }
        switch (inner[i]) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'x': {
            const int high = i + 2 < inner.size() ? HexDigit(inner[i + 1]) : -1;
            const int low = i + 2 < inner.size() ? HexDigit(inner[i + 2]) : -1;
            if (high < 0 || low < 0) {
                why = "\\x in quoted text takes two hex digits";
                return {};
            }
            out += char(high * 16 + low);
            i += 2;
            break;
        }
        default:
            why = "unknown escape \"\\" + Kernel::Excerpt(inner.substr(i, 1)) + "\" in quoted text";
            return {};
        }
    }
    return out;
}

std::vector<std::string_view> SplitWords(std::string_view text) {
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsBlank(text[i])) ++i;
        size_t start = i;
        while (i < text.size() && !IsBlank(text[i])) ++i;
        if (i > start) words.push_back(text.substr(start, i - start));
    }
    return words;
}

class Parser {
public:
    Parser(const std::string& folder, DocumentSpec& spec, ParseError& error)
        : m_folder(folder), m_spec(spec), m_error(error) {}

    bool Run(std::string_view text) {
        std::vector<Line> lines;
        int number = 0;
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string_view::npos) end = text.size();
            std::string_view line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            ++number;
            start = end + 1;
            if (line.find('\0') != std::string_view::npos) return Fail(number, "the line holds a NUL byte");
            std::vector<std::string_view> words = SplitWords(line);
            if (words.empty() || words[0].front() == '#') continue;
            lines.push_back({number, line, std::move(words)});
        }
        m_lastLine = number;
        if (lines.empty() || lines[0].words[0] != kHeader)
            return Fail(lines.empty() ? 1 : lines[0].number, "the file does not begin with \"quirevale-document 1\"");
        if (lines[0].words.size() != 2 || lines[0].words[1] != "1")
            return Fail(lines[0].number, "unknown document version");

        bool positionGiven = false;
        int positionLine = 0;
        size_t i = 1;
        while (i < lines.size()) {
            const Line& line = lines[i];
            std::string_view keyword = line.words[0];
            if (keyword == "format") {
                if (m_spec.format) return Fail(line.number, "the format is given twice");
                if (line.words.size() != 2) return Fail(line.number, "format takes one name");
                m_spec.format = FindFormatByName(line.words[1]);
                if (!m_spec.format)
                    return Fail(line.number, "unknown format \"" + Kernel::Excerpt(line.words[1]) +
                                                 "\" (rgba8, rgba16, ia8, ia16, cmyka8, laba16 or rgbaf)");
                ++i;
            } else if (keyword == "profile") {
                if (m_spec.profileLine) return Fail(line.number, "the profile is given twice");
                std::string why;
                const std::string rest = ReadValue(RestAfter(line, 1), why);
                if (!why.empty()) return Fail(line.number, why);
                if (rest.empty()) return Fail(line.number, "profile takes \"default\" or a file path");
                if (rest.find('\0') != std::string::npos) return Fail(line.number, "a file path holds no NUL byte");
                m_spec.profileLine = line.number;
                if (rest == "default") m_spec.profile = "default";
                else if (rest.front() == '/') m_spec.profile = rest;
                else m_spec.profile = Kernel::PathTraitsUnix::Append(Kernel::Path(m_folder), rest).ToStd();
                ++i;
            } else if (keyword == "spread") {
                if (!m_spec.format) return Fail(line.number, "the format must come before the spreads");
                if (m_sawBlock) return Fail(line.number, "spreads must come before the drawing commands");
                if (line.words.size() != 3) return Fail(line.number, "spread takes a width and a height");
                int64_t w, h;
                if (!Integer(line.words[1], w) || !Integer(line.words[2], h) || w < 1 || h < 1 ||
                    w > kMaxSpreadSide || h > kMaxSpreadSide || w * h > kMaxSpreadArea)
                    return Fail(line.number, "a spread is 1 to 8192 pixels wide and high, at most 16777216 pixels");
                if (m_spec.spreads.size() == kMaxSpreads) return Fail(line.number, "too many spreads (at most 64)");
                m_spec.spreads.emplace_back(int(w), int(h));
                ++i;
            } else if (keyword == "position") {
                if (positionGiven) return Fail(line.number, "the position is given twice");
                int64_t p;
                if (line.words.size() != 2 || !Integer(line.words[1], p) || p < 0)
                    return Fail(line.number, "position takes a number of history entries");
                positionGiven = true;
                positionLine = line.number;
                m_spec.position = size_t(p);
                ++i;
            } else if (keyword == "base" || keyword == "history" || keyword == "macro" || keyword == "snapshot") {
                if (!m_spec.format) return Fail(line.number, "the format must come before the drawing commands");
                m_sawBlock = true;
                CommandList* list = nullptr;
                if (keyword == "snapshot") {
                    if (line.words.size() < 2 || (line.words[1] != "regression" && line.words[1] != "ignore"))
                        return Fail(line.number, "snapshot takes \"regression\" or \"ignore\", then a description");
                    if (m_spec.snapshots.size() == kMaxSnapshots)
                        return Fail(line.number, "too many snapshots (at most " + std::to_string(kMaxSnapshots) + ")");
                    std::string why;
                    std::string description = ReadValue(RestAfter(line, 2), why);
                    if (!why.empty()) return Fail(line.number, why);
                    m_spec.snapshots.push_back({std::move(description), line.words[1] == "regression", {}});
                    list = &m_spec.snapshots.back().commands;
                } else {
                    if (line.words.size() != 1)
                        return Fail(line.number, "\"" + std::string(keyword) + "\" stands alone on its line");
                    bool& seen = keyword == "base" ? m_sawBase : keyword == "history" ? m_sawHistory : m_sawMacro;
                    if (seen) return Fail(line.number, "\"" + std::string(keyword) + "\" is given twice");
                    seen = true;
                    list = keyword == "base" ? &m_spec.base : keyword == "history" ? &m_spec.history : &m_spec.macro;
                }
                const int opened = line.number;
                ++i;
                for (;; ++i) {
                    if (i == lines.size())
                        return Fail(m_lastLine, "the block opened on line " + std::to_string(opened) +
                                                    " has no \"end\"");
                    if (lines[i].words[0] == "end" && lines[i].words.size() == 1) break;
                    auto command = std::make_shared<DrawCommand>();
                    if (!ReadCommand(lines[i], *command)) return false;
                    list->push_back(std::move(command));
                }
                ++i;
            } else if (keyword == "end") {
                return Fail(line.number, "\"end\" without a block");
            } else {
                return Fail(line.number, "unknown keyword \"" + Kernel::Excerpt(keyword) + "\"");
            }
        }
        if (!m_spec.format) return Fail(m_lastLine, "the document has no format");
        if (!positionGiven) m_spec.position = m_spec.history.size();
        else if (m_spec.position > m_spec.history.size())
            return Fail(positionLine, "the position is beyond the history's " + std::to_string(m_spec.history.size()) +
                                          " entries");
        return true;
    }

private:
    bool Fail(int line, const std::string& message) {
        m_error.line = line;
        m_error.message = message;
        return false;
    }

    // The line's text after its first n words, without surrounding blanks.
    static std::string_view RestAfter(const Line& line, size_t n) {
        if (line.words.size() <= n) return {};
        std::string_view rest = line.text.substr(size_t(line.words[n].data() - line.text.data()));
        while (!rest.empty() && IsBlank(rest.back())) rest.remove_suffix(1);
        return rest;
    }

    static bool Integer(std::string_view word, int64_t& out) {
        auto result = std::from_chars(word.data(), word.data() + word.size(), out);
        return result.ec == std::errc() && result.ptr == word.data() + word.size();
    }

    static bool Unsigned(std::string_view word, uint64_t& out) {
        auto result = std::from_chars(word.data(), word.data() + word.size(), out);
        return result.ec == std::errc() && result.ptr == word.data() + word.size();
    }

    static bool Number(std::string_view word, double& out) {
        auto result = std::from_chars(word.data(), word.data() + word.size(), out);
        return result.ec == std::errc() && result.ptr == word.data() + word.size() && std::isfinite(out);
    }

    bool Channels(const Line& line, size_t first, std::vector<double>& out) {
        const bool isFloat = m_spec.format->isFloat;
        for (size_t k = 0; k < size_t(m_spec.format->channels); ++k) {
            double v;
            if (!Number(line.words[first + k], v))
                return Fail(line.number, "\"" + Kernel::Excerpt(line.words[first + k]) + "\" is not a number");
            if (!isFloat && (v < 0.0 || v > 1.0))
                return Fail(line.number, "channel values of this format lie between 0 and 1");
            if (isFloat && std::fabs(v) > 65504.0)
                return Fail(line.number, "channel values of this format lie between -65504 and 65504");
            out.push_back(v);
        }
        return true;
    }

    bool ReadCommand(const Line& line, DrawCommand& command) {
        std::string_view name = line.words[0];
        const size_t n = size_t(m_spec.format->channels);
        size_t expected;
        if (name == "fill") {
            command.kind = DrawCommand::Kind::Fill;
            expected = 6 + n;
        } else if (name == "gradient") {
            command.kind = DrawCommand::Kind::Gradient;
            expected = 7 + 2 * n;
        } else if (name == "noise") {
            command.kind = DrawCommand::Kind::Noise;
            expected = 8;
        } else {
            return Fail(line.number, "unknown drawing command \"" + Kernel::Excerpt(name) + "\"");
        }
        if (line.words.size() != expected)
            return Fail(line.number, std::string(name) + " takes " + std::to_string(expected - 1) +
                                         " values for this format, not " + std::to_string(line.words.size() - 1));
        int64_t v[5];
        for (size_t k = 0; k < 5; ++k)
            if (!Integer(line.words[1 + k], v[k]) || v[k] < -kMaxSpreadSide * 4 || v[k] > kMaxSpreadSide * 4)
                return Fail(line.number,
                            "\"" + Kernel::Excerpt(line.words[1 + k]) + "\" is not a whole number in range");
        if (v[0] < 0 || size_t(v[0]) >= m_spec.spreads.size())
            return Fail(line.number, "there is no spread " + std::to_string(v[0]));
        if (v[3] < 1 || v[4] < 1) return Fail(line.number, "the width and height must be 1 or more");
        command.spread = int(v[0]);
        command.x = int(v[1]);
        command.y = int(v[2]);
        command.width = int(v[3]);
        command.height = int(v[4]);
        switch (command.kind) {
        case DrawCommand::Kind::Fill: return Channels(line, 6, command.from);
        case DrawCommand::Kind::Gradient:
            if (line.words[6] != "horizontal" && line.words[6] != "vertical")
                return Fail(line.number, "a gradient runs \"horizontal\" or \"vertical\"");
            command.vertical = line.words[6] == "vertical";
            return Channels(line, 7, command.from) && Channels(line, 7 + n, command.to);
        case DrawCommand::Kind::Noise:
            if (!Unsigned(line.words[6], command.seed))
                return Fail(line.number, "the noise seed is a whole number of 0 or more");
            if (!Number(line.words[7], command.amount) || command.amount < 0 || command.amount > 1)
                return Fail(line.number, "the noise amount lies between 0 and 1");
            return true;
        }
        return true;
    }

    const std::string& m_folder;
    DocumentSpec& m_spec;
    ParseError& m_error;
    int m_lastLine = 0;
    bool m_sawBlock = false, m_sawBase = false, m_sawHistory = false, m_sawMacro = false;
};

void WriteBlock(std::string& out, const std::string& opening, const CommandList& commands) {
    out += opening;
    out += '\n';
    for (const auto& command : commands) out += "  " + command->ToText() + "\n";
    out += "end\n";
}

}  // namespace

bool ParseDocument(std::string_view text, const std::string& folder, DocumentSpec& spec, ParseError& error) {
    spec = DocumentSpec();
    return Parser(folder, spec, error).Run(text);
}

std::string WriteDocument(const DocumentSpec& spec) {
    std::string out = "quirevale-document 1\n";
    out += std::string("format ") + (spec.format ? spec.format->name : "rgba8") + "\n";
    out += "profile " + ValueText(spec.profile) + "\n";
    for (const auto& [w, h] : spec.spreads) out += "spread " + std::to_string(w) + " " + std::to_string(h) + "\n";
    if (!spec.base.empty()) WriteBlock(out, "base", spec.base);
    WriteBlock(out, "history", spec.history);
    out += "position " + std::to_string(spec.position) + "\n";
    for (const SnapshotSpec& snapshot : spec.snapshots) {
        std::string opening = std::string("snapshot ") + (snapshot.wanted ? "regression" : "ignore");
        if (!snapshot.description.empty()) opening += " " + ValueText(snapshot.description);
        WriteBlock(out, opening, snapshot.commands);
    }
    if (!spec.macro.empty()) WriteBlock(out, "macro", spec.macro);
    return out;
}

// ---- Bitmaps ------------------------------------------------------------------------------

namespace {

template <class B, size_t... I>
Raster::Tile* TypedTile(B& bitmap, int channel, int column, int row, bool create, std::index_sequence<I...>) {
    Raster::Tile* tile = nullptr;
    ((int(I) == channel ? (void)(tile = bitmap.template GetPlane<I>().TileAt(column, row, create)) : void()), ...);
    return tile;
}

template <Raster::Format F>
Raster::Tile* TileOf(const Raster::DynamicBitmap& bitmap, int channel, int column, int row, bool create) {
    using B = Raster::BitmapForFormat<F>;
    B* typed = bitmap.As<B>();
    if (!typed || channel < 0 || channel >= B::kChannelCount) return nullptr;
    const auto& grid = typed->template GetPlane<0>().grid;
    if (column < 0 || row < 0 || column >= grid.right || row >= grid.bottom) return nullptr;
    return TypedTile(*typed, channel, column, row, create, std::make_index_sequence<B::kChannelCount>());
}

}  // namespace

Raster::Tile* BitmapTile(const Raster::DynamicBitmap& bitmap, int channel, int column, int row, bool create) {
    switch (bitmap.GetFormat()) {
    case Raster::kFormatRGBA8: return TileOf<Raster::kFormatRGBA8>(bitmap, channel, column, row, create);
    case Raster::kFormatRGBA16: return TileOf<Raster::kFormatRGBA16>(bitmap, channel, column, row, create);
    case Raster::kFormatI8A8: return TileOf<Raster::kFormatI8A8>(bitmap, channel, column, row, create);
    case Raster::kFormatI16A16: return TileOf<Raster::kFormatI16A16>(bitmap, channel, column, row, create);
    case Raster::kFormatCMYKA8: return TileOf<Raster::kFormatCMYKA8>(bitmap, channel, column, row, create);
    case Raster::kFormatLabA16: return TileOf<Raster::kFormatLabA16>(bitmap, channel, column, row, create);
    case Raster::kFormatRGBAF: return TileOf<Raster::kFormatRGBAF>(bitmap, channel, column, row, create);
    default: return nullptr;
    }
}

namespace {

// A 64-bit check of a block's bytes: a render that wrote a lent block gives it back to its
// document only when the check finds the bytes as they were lent.
uint64_t BlockCheck(const uint8_t* bytes) { return crc64_ecma_refl(0, bytes, TileBlock::kBytes); }

// Blocks a document's store is swept for at a time when it looks for blocks alike: a few
// blocks are done on the calling thread, without the pool.
constexpr size_t kBlocksOnCaller = 16;
constexpr size_t kBlocksPerBatch = 4;

class BlockLoan final : public Raster::TileLoan {
public:
    BlockLoan(Kernel::Counted<TileBlock> block, std::shared_ptr<ContentLoans> loans, uint32_t generation)
        : m_block(std::move(block)), m_loans(std::move(loans)), m_generation(generation) {}
    ~BlockLoan() override {
        if (m_answer.load(std::memory_order_relaxed) == kTaken)
            m_loans->GiveBack(m_generation, BlockCheck(m_block->Bytes()) != m_check);
    }

    const uint8_t* GetBytes() const override { return m_block->Bytes(); }
    uint8_t* TakeForWriting() override {
        // Decided once under a mutex of the loan's own rather than std::call_once, which makes
        // a system call for every loan it decides.
        int answer = m_answer.load(std::memory_order_acquire);
        if (answer == kUndecided) {
            std::lock_guard<std::mutex> deciding(m_deciding);
            answer = m_answer.load(std::memory_order_relaxed);
            if (answer == kUndecided) {
                bool taken;
                {
                    std::lock_guard<std::mutex> lock(m_loans->Mutex());
                    taken = m_loans->Take(m_generation, *m_block);
                }
                // Nobody writes the block before this answer: the document copies a block it
                // shares, and the tile writes only once told.
                if (taken) m_check = BlockCheck(m_block->Bytes());
                answer = taken ? kTaken : kRefused;
                m_answer.store(answer, std::memory_order_release);
            }
        }
        return answer == kTaken ? m_block->Bytes() : nullptr;
    }

private:
    enum { kUndecided, kTaken, kRefused };
    Kernel::Counted<TileBlock> m_block;
    std::shared_ptr<ContentLoans> m_loans;
    uint32_t m_generation;
    std::mutex m_deciding;
    std::atomic<int> m_answer{kUndecided};
    uint64_t m_check = 0;
};

}  // namespace

Kernel::Counted<Raster::TileLoan> ContentLoans::Lend(const Kernel::Counted<TileBlock>& block) {
    return Kernel::Counted<Raster::TileLoan>(new BlockLoan(block, shared_from_this(), uint32_t(m_state.load() >> 32)));
}

bool ContentLoans::Take(uint32_t generation, const TileBlock& block) {
    // Lent at this generation, the block is still in the document's content; a count of two is
    // that content's and this loan's alone.
    if (uint32_t(m_state.load() >> 32) != generation || block.GetRefCount() != 2) return false;
    m_state.fetch_add(1);
    return true;
}

void ContentLoans::GiveBack(uint32_t generation, bool changed) {
    uint64_t state = m_state.load();
    while (uint32_t(state >> 32) == generation &&
           !m_state.compare_exchange_weak(state, (state - 1) | (changed ? kSpoiled : 0))) {
    }
}

Raster::DynamicBitmap RenderSpread(const SpreadContent& content, ContentLoans& loans) {
    const FormatInfo& format = content.GetFormat();
    Raster::DynamicBitmap bitmap = Raster::DynamicBitmap::Create(format.code, content.GetWidth(), content.GetHeight());
    for (int c = 0; c < format.channels; ++c)
        for (int row = 0; row < content.GetRows(); ++row)
            for (int column = 0; column < content.GetColumns(); ++column)
                if (const Kernel::Counted<TileBlock>& block = content.Slot(c, column, row))
                    if (Raster::Tile* tile = BitmapTile(bitmap, c, column, row, true))
                        tile->Lend(loans.Lend(block));
    return bitmap;
}

size_t DeduplicateBlocks(const std::vector<Kernel::Counted<TileBlock>*>& slots) {
    const uint8_t* zeros = Raster::DefaultTileContent(1, Raster::kDefaultClear);
    // Sweeping every block's bytes is what takes the time: each distinct block's CRC, which
    // ISA-L works out many times faster than a general hash, and whether it is all zeros, are
    // found on the pool first.
    std::vector<const TileBlock*> blocks;
    std::unordered_map<const TileBlock*, size_t> index;
    for (Kernel::Counted<TileBlock>* slot : slots)
        if (*slot && index.emplace(slot->Get(), blocks.size()).second) blocks.push_back(slot->Get());
    struct Facts {
        uint64_t check = 0;
        bool zeros = false;
    };
    struct Sweep {
        const std::vector<const TileBlock*>* blocks;
        std::vector<Facts>* facts;
        const uint8_t* zeros;
    };
    std::vector<Facts> facts(blocks.size());
    Sweep sweep{&blocks, &facts, zeros};
    DispatchInBatches(
        [](void* context, size_t i) {
            const Sweep& s = *static_cast<const Sweep*>(context);
            const uint8_t* bytes = (*s.blocks)[i]->Bytes();
            (*s.facts)[i] = {BlockCheck(bytes), std::memcmp(bytes, s.zeros, TileBlock::kBytes) == 0};
        },
        blocks.size(), &sweep, blocks.size() <= kBlocksOnCaller ? kBlocksOnCaller : kBlocksPerBatch);
    // A block's bytes keyed by their CRC; equal keys are still compared whole.
    struct Key {
        uint64_t check;
        std::string_view bytes;
        bool operator==(const Key& other) const { return check == other.check && bytes == other.bytes; }
    };
    struct Hash {
        size_t operator()(const Key& key) const { return size_t(key.check); }
    };
    std::unordered_map<Key, Kernel::Counted<TileBlock>, Hash> kept;
    for (Kernel::Counted<TileBlock>* slot : slots) {
        if (!*slot) continue;
        const Facts& f = facts[index.find(slot->Get())->second];
        if (f.zeros) {
            slot->Reset();
            continue;
        }
        const Key key{f.check, std::string_view(reinterpret_cast<const char*>((*slot)->Bytes()), TileBlock::kBytes)};
        auto [it, inserted] = kept.emplace(key, *slot);
        if (!inserted) *slot = it->second;  // the key's bytes live in the kept block
    }
    // Every slot left holds the kept block of its bytes.
    return blocks.size() - kept.size();
}

}  // namespace DocEngine
