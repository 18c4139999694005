// Parameter records of the bitmap kernels and what the four kernel families share.
#pragma once
#include <cstdint>

#include "Kernel/Counted.h"
#include "Kernel/Rect.h"
#include "Raster/Bitmap.h"
#include "Raster/ICCManager.h"

// Called with the caller's context and the fraction of the work done.
using KernelProgressCallback = void (*)(void* context, float fraction);

// The fields every kernel record begins with.
struct KernelParams {
    const Kernel::RectT<int>* m_rect = nullptr;  // area of the destination; null for all of it
    bool* m_cancel = nullptr;                    // read at row and tile boundaries
    KernelProgressCallback m_progress = nullptr;
    void* m_progressContext = nullptr;
    uintptr_t m_further[2] = {0, 0};  // carried through untouched
    bool m_executed = false;          // out: set when the operation starts to be carried out
    bool m_skipDelayedLoad = false;   // read the source as it is, without forcing its load
    bool* m_mipmapFlag = nullptr;     // out: set when the source keeps mipmaps
};

struct CompareParams : KernelParams {
    int32_t m_maxChannelDifference = 0;  // raised, never lowered, by a run
    int32_t m_differingPixels = 0;       // added to by a run
};

struct DifferencesParams : KernelParams {
    uint32_t m_bitsPerChannel = 0;  // of the images; only its value modulo 32 counts
};

struct PNGExportParams : KernelParams {
    Kernel::Counted<Raster::ICCProfile> m_sourceProfile;
    Kernel::Counted<Raster::ICCProfile> m_destinationProfile;
    Raster::Intent m_intent = 0;
    bool m_blackPointCompensation = false;
};

// Five words each entry point hands through to its run unchanged; zero in every call here.
struct KernelWords {
    uintptr_t m_words[5] = {0, 0, 0, 0, 0};
};

// Bits per channel of a format code: 0 for codes without channels of their own.
uint32_t BitsPerChannelForFormat(Raster::Format format);

// A rectangle normalised (smaller coordinate first) and clipped to the extent (0, 0) to
// (width, height); {0, 0, 0, 0} when it lies wholly outside. One that only touches the
// extent comes out empty.
Kernel::RectT<int> ClipToExtent(Kernel::RectT<int> rect, int width, int height);
