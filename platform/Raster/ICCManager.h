// Colour management of the raster library: ICC profiles and transforms over the colour engine.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>

#include "Kernel/Counted.h"
#include "Kernel/Rect.h"
#include "Kernel/String.h"
#include "Raster/Channels.h"

namespace Raster {

using Intent = uint32_t;
enum : Intent {
    kIntentPerceptual = 0,
    kIntentRelativeColorimetric = 1,
    kIntentSaturation = 2,
    kIntentAbsoluteColorimetric = 3,
};

// A counted colour profile: the colour engine's handle and a display name.
class ICCProfile : public Kernel::Countable {
public:
    ~ICCProfile() override;

    static Kernel::Counted<ICCProfile> CreateSRGB();
    static Kernel::Counted<ICCProfile> CreateGray();  // D50 white, gamma 2.2
    static Kernel::Counted<ICCProfile> CreateLab();
    // Null when the file is missing, is not a regular file or is not a profile; why, when
    // given, then says which.
    static Kernel::Counted<ICCProfile> CreateFromFile(const char* path, std::string* why = nullptr);

    // A built-in profile is made when its handle is first asked for: most documents that take
    // one never convert a pixel, and making sRGB's curves costs more than loading a document.
    void* GetHandle() const;
    const Kernel::String& GetName() const { return m_name; }

private:
    using Maker = void* (*)();
    ICCProfile(void* handle, Kernel::String name) : m_handle(handle), m_name(std::move(name)) {}
    ICCProfile(Maker maker, Kernel::String name) : m_maker(maker), m_name(std::move(name)) {}
    mutable void* m_handle = nullptr;
    Maker m_maker = nullptr;
    mutable std::once_flag m_made;
    Kernel::String m_name;
};

class ICCManager {
public:
    static ICCManager& GetInstance();

    // The profile each format is taken to be in when a document names none; one object per
    // format for the life of the process. CMYK needs a profile file (SetDefaultCMYKProfileFile).
    Kernel::Counted<ICCProfile> GetDefaultProfileForFormat(Format format);
    void SetDefaultCMYKProfileFile(const char* path);
    // Loads a profile file; null when it cannot be read. With makeDefault a CMYK profile becomes
    // the default profile of the CMYK format.
    Kernel::Counted<ICCProfile> AddProfileFromDisk(const char* path, bool makeDefault);

    // Pixel-type codes of the colour engine.
    static uint32_t _TYPE_RGBA_8();
    static uint32_t _TYPE_RGBA_16();
    static uint32_t _TYPE_RGBA_FLT();
    static uint32_t _TYPE_GRAYA_8();
    static uint32_t _TYPE_GRAYA_16();
    static uint32_t _TYPE_CMYKA_8();
    static uint32_t _TYPE_LabA_16();

    static uint32_t ICCIntentFromIntent(Intent intent);

    // A transform between two profile handles, or null when the engine cannot join them.
    // Extra (alpha) channels of the output are left as the caller put them.
    void* CreateTransform(void* source, uint32_t sourceType, void* destination, uint32_t destinationType,
                          uint32_t intent, uint32_t flags);
    void DoTransform(void* transform, const void* in, void* out, uint32_t count);
    // 16-bit Lab with alpha to RGB floats (0 to 1) in sRGB; the fourth float is left as it was.
    void DoLABA16ToRGBAFTransform(const void* in, void* out, uint32_t count);

    // Call counts, for tests.
    struct Counters {
        std::atomic<uint64_t> createTransform{0};
        std::atomic<uint64_t> doTransformCalls{0};
        std::atomic<uint64_t> doTransformPixels{0};
        std::atomic<uint64_t> doTransformOfOne{0};
        std::atomic<uint64_t> doTransformOf32{0};
        std::atomic<uint64_t> labCalls{0};
        std::atomic<uint32_t> lastCreateFlags{0};
        std::atomic<uint32_t> lastCreateIntent{0};
    };
    Counters& GetCounters() { return m_counters; }

private:
    ICCManager();
    std::mutex m_mutex;
    Kernel::Counted<ICCProfile> m_defaults[11];
    Kernel::String m_cmykFile;
    Counters m_counters;
};

// The hardware renderer's form of a transform, with its lookup buffer.
template <class C0, class C1, class C2, class C3, class C4>
class Buffer : public Kernel::Countable {
public:
    void SyncHostCache(const Kernel::RectT<int>*, bool, bool*) { m_syncs.fetch_add(1, std::memory_order_relaxed); }
    uint64_t GetSyncCount() const { return m_syncs.load(std::memory_order_relaxed); }

private:
    std::atomic<uint64_t> m_syncs{0};
};
using TransformBuffer = Buffer<AlphaF, X2, X3, X4, X5>;

class HardwareTransform : public Kernel::Countable {
public:
    explicit HardwareTransform(void* transform) : m_transform(transform), m_buffer(new TransformBuffer) {}
    void* GetTransform() const { return m_transform; }
    TransformBuffer* GetBuffer() const { return m_buffer.Get(); }

private:
    void* m_transform;
    Kernel::Counted<TransformBuffer> m_buffer;
};

namespace Convert {
// The cached hardware form of a transform; null while no hardware renderer is present.
Kernel::Counted<HardwareTransform> GetCachedHardwareTransform(void* transform);
// Tests stand a hardware renderer in with this.
void SetHardwareTransformsAvailable(bool available);
}  // namespace Convert

}  // namespace Raster
