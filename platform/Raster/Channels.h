// Pixel formats, channel types and fixed-layout pixels of the raster library.
#pragma once
#include <cstddef>
#include <cstdint>
#include <tuple>
#include <type_traits>

namespace Raster {

// Format codes the engine tags its bitmaps with.
using Format = uint32_t;
enum : Format {
    kFormatRGBA8 = 0,
    kFormatRGBA16 = 1,
    kFormatI8A8 = 2,
    kFormatI16A16 = 3,
    kFormatCMYKA8 = 4,
    kFormatLabA16 = 5,
    kFormatA8 = 6,
    kFormatA16 = 7,
    kFormatNone = 8,
    kFormatRGBAF = 9,
    kFormatAF = 10,
};

// A channel type names one plane of a layout and the type of its samples.
#define RASTER_CHANNEL(Name, SampleType)                \
    struct Name {                                       \
        using Sample = SampleType;                      \
        static constexpr bool kReal = true;             \
        static constexpr const char* kName = #Name;     \
    };

RASTER_CHANNEL(Red8, uint8_t)
RASTER_CHANNEL(Green8, uint8_t)
RASTER_CHANNEL(Blue8, uint8_t)
RASTER_CHANNEL(Alpha8, uint8_t)
RASTER_CHANNEL(Intensity8, uint8_t)
RASTER_CHANNEL(Cyan8, uint8_t)
RASTER_CHANNEL(Magenta8, uint8_t)
RASTER_CHANNEL(Yellow8, uint8_t)
RASTER_CHANNEL(Black8, uint8_t)
RASTER_CHANNEL(Red16, uint16_t)
RASTER_CHANNEL(Green16, uint16_t)
RASTER_CHANNEL(Blue16, uint16_t)
RASTER_CHANNEL(Alpha16, uint16_t)
RASTER_CHANNEL(Intensity16, uint16_t)
RASTER_CHANNEL(Lightness16, uint16_t)
RASTER_CHANNEL(AOpponent16, uint16_t)
RASTER_CHANNEL(BOpponent16, uint16_t)
RASTER_CHANNEL(RedUF, float)
RASTER_CHANNEL(GreenUF, float)
RASTER_CHANNEL(BlueUF, float)
RASTER_CHANNEL(AlphaF, float)
#undef RASTER_CHANNEL

// Placeholders fill the slots a layout does not use; they have no plane and no samples.
#define RASTER_PLACEHOLDER(Name)                        \
    struct Name {                                       \
        using Sample = void;                            \
        static constexpr bool kReal = false;            \
        static constexpr const char* kName = #Name;     \
    };
RASTER_PLACEHOLDER(X2)
RASTER_PLACEHOLDER(X3)
RASTER_PLACEHOLDER(X4)
RASTER_PLACEHOLDER(X5)
#undef RASTER_PLACEHOLDER

// What a five-slot channel list means: how many real channels lead it, their common sample
// type and how many samples of it fill a 256-byte tile row.
template <class C0, class C1, class C2, class C3, class C4>
struct Layout {
    using Channels = std::tuple<C0, C1, C2, C3, C4>;
    template <size_t I>
    using Channel = std::tuple_element_t<I, Channels>;
    using Sample = typename C0::Sample;

    static constexpr int kChannelCount = int(C0::kReal) + int(C1::kReal) + int(C2::kReal) + int(C3::kReal) +
                                         int(C4::kReal);
    static constexpr int kBytesPerSample = int(sizeof(Sample));
    static constexpr int kTileWidth = 256 / kBytesPerSample;

    static_assert(C0::kReal, "a layout starts with a real channel");
    static_assert((!C1::kReal || std::is_same_v<typename C1::Sample, Sample>) &&
                      (!C2::kReal || std::is_same_v<typename C2::Sample, Sample>) &&
                      (!C3::kReal || std::is_same_v<typename C3::Sample, Sample>) &&
                      (!C4::kReal || std::is_same_v<typename C4::Sample, Sample>),
                  "all channels of a layout share one sample type");
    static_assert((C1::kReal || !C2::kReal) && (C2::kReal || !C3::kReal) && (C3::kReal || !C4::kReal),
                  "placeholders come after the real channels");
};

// One pixel of a layout, samples in channel order.
template <class C0, class C1, class C2, class C3, class C4>
struct Pixel {
    using LayoutType = Layout<C0, C1, C2, C3, C4>;
    using Sample = typename LayoutType::Sample;
    static constexpr int kChannelCount = LayoutType::kChannelCount;

    Sample c[kChannelCount]{};

    Pixel() = default;
    template <class... S, class = std::enable_if_t<sizeof...(S) == size_t(kChannelCount)>>
    Pixel(S... samples) : c{static_cast<Sample>(samples)...} {}

    friend bool operator==(const Pixel& a, const Pixel& b) {
        for (int i = 0; i < kChannelCount; ++i)
            if (!(a.c[i] == b.c[i])) return false;
        return true;
    }
};

}  // namespace Raster
