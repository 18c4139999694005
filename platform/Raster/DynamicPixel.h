// A colour set from 8-bit RGBA and read back in the representation of any layout.
#pragma once
#include <cstdint>
#include <type_traits>

#include "Raster/Channels.h"

namespace Raster {

using PixelRGBA8 = Pixel<Red8, Green8, Blue8, Alpha8, X5>;

// sRGB 8-bit with alpha to 16-bit Lab with alpha (L 0..65535 for 0..100, a and b offset by 0x8080).
void ConvertRGBA8ToLabA16(const uint8_t in[4], uint16_t out[4]);

class DynamicPixel {
public:
    DynamicPixel() = default;
    DynamicPixel& operator=(const PixelRGBA8& p) {
        m_rgba = p;
        return *this;
    }

    const PixelRGBA8& GetRGBA8() const { return m_rgba; }

    // The colour in layout P (a Pixel of one of the engine's layouts).
    template <class P>
    P Get() const {
        const uint8_t r = m_rgba.c[0], g = m_rgba.c[1], b = m_rgba.c[2], a = m_rgba.c[3];
        using L = typename P::LayoutType;
        using C = typename L::Channels;
        using C0 = std::tuple_element_t<0, C>;
        using C1 = std::tuple_element_t<1, C>;
        P out;
        if constexpr (std::is_same_v<C0, Red8>) {
            out = P(r, g, b, a);
        } else if constexpr (std::is_same_v<C0, Red16>) {
            out = P(r * 257, g * 257, b * 257, a * 257);
        } else if constexpr (std::is_same_v<C0, RedUF>) {
            out = P(r / 255.0f, g / 255.0f, b / 255.0f, a / 255.0f);
        } else if constexpr (std::is_same_v<C0, Intensity8> || std::is_same_v<C0, Intensity16>) {
            unsigned i = (r * 77u + g * 150u + b * 29u + 128u) >> 8;
            if constexpr (std::is_same_v<C0, Intensity8>) out = P(i, a);
            else out = P(i * 257, a * 257);
        } else if constexpr (std::is_same_v<C0, Cyan8>) {
            out = P(255 - r, 255 - g, 255 - b, 0, a);
        } else if constexpr (std::is_same_v<C0, Lightness16>) {
            uint16_t lab[4];
            const uint8_t in[4] = {r, g, b, a};
            ConvertRGBA8ToLabA16(in, lab);
            out = P(lab[0], lab[1], lab[2], lab[3]);
        } else if constexpr (std::is_same_v<C0, Alpha8> && !C1::kReal) {
            out = P(a);
        } else if constexpr (std::is_same_v<C0, Alpha16> && !C1::kReal) {
            out = P(a * 257);
        } else if constexpr (std::is_same_v<C0, AlphaF> && !C1::kReal) {
            out = P(a / 255.0f);
        } else {
            static_assert(!sizeof(P), "no representation for this layout");
        }
        return out;
    }

private:
    PixelRGBA8 m_rgba;
};

}  // namespace Raster
