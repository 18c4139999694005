#include "Raster/ICCManager.h"

#include <lcms2.h>

#include <map>

#include "Kernel/FileSystem.h"
#include "Raster/DynamicPixel.h"

namespace Raster {

namespace {

constexpr uint32_t kTypeLabA16 = COLORSPACE_SH(PT_Lab) | EXTRA_SH(1) | CHANNELS_SH(3) | BYTES_SH(2);

// Transforms are shared between threads, so none keeps the colour engine's one-pixel cache.
cmsHTRANSFORM MakeSharedTransform(cmsHPROFILE in, uint32_t inType, cmsHPROFILE out, uint32_t outType, uint32_t intent,
                                  uint32_t flags) {
    return cmsCreateTransform(in, inType, out, outType, intent, flags | cmsFLAGS_NOCACHE);
}

// Fixed transforms of the Lab helpers; built once, kept until exit.
struct LabTransforms {
    cmsHTRANSFORM labToRGBF = nullptr;
    cmsHTRANSFORM rgb8ToLab = nullptr;
    LabTransforms() {
        cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
        cmsHPROFILE srgb = cmsCreate_sRGBProfile();
        labToRGBF = MakeSharedTransform(lab, kTypeLabA16, srgb, TYPE_RGBA_FLT, INTENT_RELATIVE_COLORIMETRIC, 0);
        rgb8ToLab = MakeSharedTransform(srgb, TYPE_RGBA_8, lab, kTypeLabA16, INTENT_RELATIVE_COLORIMETRIC, 0);
        cmsCloseProfile(lab);
        cmsCloseProfile(srgb);
    }
};

LabTransforms& Lab() {
    static LabTransforms* t = new LabTransforms;
    return *t;
}

}  // namespace

ICCProfile::~ICCProfile() {
    if (m_handle) cmsCloseProfile(static_cast<cmsHPROFILE>(m_handle));
}

void* ICCProfile::GetHandle() const {
    if (m_maker) std::call_once(m_made, [this] { m_handle = m_maker(); });
    return m_handle;
}

Kernel::Counted<ICCProfile> ICCProfile::CreateSRGB() {
    return Kernel::Counted<ICCProfile>(
        new ICCProfile([]() -> void* { return cmsCreate_sRGBProfile(); }, "sRGB IEC61966-2.1"));
}

Kernel::Counted<ICCProfile> ICCProfile::CreateGray() {
    return Kernel::Counted<ICCProfile>(new ICCProfile(
        []() -> void* {
            cmsToneCurve* curve = cmsBuildGamma(nullptr, 2.2);
            cmsHPROFILE p = cmsCreateGrayProfile(cmsD50_xyY(), curve);
            cmsFreeToneCurve(curve);
            return p;
        },
        "Gray Gamma 2.2"));
}

Kernel::Counted<ICCProfile> ICCProfile::CreateLab() {
    return Kernel::Counted<ICCProfile>(
        new ICCProfile([]() -> void* { return cmsCreateLab4Profile(nullptr); }, "Lab D50"));
}

Kernel::Counted<ICCProfile> ICCProfile::CreateFromFile(const char* path, std::string* why) {
    if (!path) return {};
    // Read through the file system, never by the colour engine's own open, which would block on a FIFO.
    // The largest lookup tables a profile carries come to a few megabytes.
    constexpr uint64_t kProfileSizeLimit = 64 * Kernel::kMebibyte;
    std::string data;
    Kernel::FileSystem::ReadError error;
    if (!Kernel::FileSystem::ReadFile(Kernel::Path(path), data, kProfileSizeLimit, &error)) {
        if (why) *why = error.reason;
        return {};
    }
    cmsHPROFILE p = data.size() > UINT32_MAX
                        ? nullptr
                        : cmsOpenProfileFromMem(data.data(), static_cast<cmsUInt32Number>(data.size()));
    if (!p) {
        if (why) *why = "it is not an ICC profile";
        return {};
    }
    char name[256] = {0};
    cmsGetProfileInfoASCII(p, cmsInfoDescription, "en", "US", name, sizeof name);
    return Kernel::Counted<ICCProfile>(new ICCProfile(p, name[0] ? Kernel::String(name) : Kernel::String(path)));
}

ICCManager::ICCManager() {
    cmsSetLogErrorHandler(nullptr);  // failures are reported by the callers that care
}

ICCManager& ICCManager::GetInstance() {
    static ICCManager* manager = new ICCManager;  // lives as long as the process
    return *manager;
}

void ICCManager::SetDefaultCMYKProfileFile(const char* path) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cmykFile = path ? path : "";
    m_defaults[kFormatCMYKA8].Reset();
}

Kernel::Counted<ICCProfile> ICCManager::AddProfileFromDisk(const char* path, bool makeDefault) {
    Kernel::Counted<ICCProfile> profile = ICCProfile::CreateFromFile(path);
    if (profile && makeDefault && cmsGetColorSpace(static_cast<cmsHPROFILE>(profile->GetHandle())) == cmsSigCmykData) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_cmykFile = path;
        m_defaults[kFormatCMYKA8] = profile;
    }
    return profile;
}

Kernel::Counted<ICCProfile> ICCManager::GetDefaultProfileForFormat(Format format) {
    if (format > kFormatAF) return {};
    std::lock_guard<std::mutex> lock(m_mutex);
    Kernel::Counted<ICCProfile>& slot = m_defaults[format];
    if (slot) return slot;
    switch (format) {
    case kFormatRGBA8:
    case kFormatRGBA16:
    case kFormatRGBAF:
        // The RGB formats share one profile object.
        if (!m_defaults[kFormatRGBA8]) m_defaults[kFormatRGBA8] = ICCProfile::CreateSRGB();
        slot = m_defaults[kFormatRGBA8];
        break;
    case kFormatI8A8:
    case kFormatI16A16:
        if (!m_defaults[kFormatI8A8]) m_defaults[kFormatI8A8] = ICCProfile::CreateGray();
        slot = m_defaults[kFormatI8A8];
        break;
    case kFormatLabA16: slot = ICCProfile::CreateLab(); break;
    case kFormatCMYKA8:
        if (!m_cmykFile.IsEmpty()) slot = ICCProfile::CreateFromFile(m_cmykFile.c_str());
        break;
    default: break;
    }
    return slot;
}

uint32_t ICCManager::_TYPE_RGBA_8() { return TYPE_RGBA_8; }
uint32_t ICCManager::_TYPE_RGBA_16() { return TYPE_RGBA_16; }
uint32_t ICCManager::_TYPE_RGBA_FLT() { return TYPE_RGBA_FLT; }
uint32_t ICCManager::_TYPE_GRAYA_8() { return TYPE_GRAYA_8; }
uint32_t ICCManager::_TYPE_GRAYA_16() { return TYPE_GRAYA_16; }
uint32_t ICCManager::_TYPE_CMYKA_8() { return TYPE_CMYKA_8; }
uint32_t ICCManager::_TYPE_LabA_16() { return kTypeLabA16; }

uint32_t ICCManager::ICCIntentFromIntent(Intent intent) {
    switch (intent) {
    case kIntentRelativeColorimetric: return INTENT_RELATIVE_COLORIMETRIC;
    case kIntentSaturation: return INTENT_SATURATION;
    case kIntentAbsoluteColorimetric: return INTENT_ABSOLUTE_COLORIMETRIC;
    default: return INTENT_PERCEPTUAL;
    }
}

void* ICCManager::CreateTransform(void* source, uint32_t sourceType, void* destination, uint32_t destinationType,
                                  uint32_t intent, uint32_t flags) {
    m_counters.createTransform.fetch_add(1, std::memory_order_relaxed);
    m_counters.lastCreateFlags.store(flags, std::memory_order_relaxed);
    m_counters.lastCreateIntent.store(intent, std::memory_order_relaxed);
    if (!source || !destination) return nullptr;
    return MakeSharedTransform(static_cast<cmsHPROFILE>(source), sourceType, static_cast<cmsHPROFILE>(destination),
                               destinationType, intent, flags);
}

void ICCManager::DoTransform(void* transform, const void* in, void* out, uint32_t count) {
    m_counters.doTransformCalls.fetch_add(1, std::memory_order_relaxed);
    m_counters.doTransformPixels.fetch_add(count, std::memory_order_relaxed);
    if (count == 1) m_counters.doTransformOfOne.fetch_add(1, std::memory_order_relaxed);
    if (count == 32) m_counters.doTransformOf32.fetch_add(1, std::memory_order_relaxed);
    if (!transform || count == 0) return;
    cmsDoTransform(static_cast<cmsHTRANSFORM>(transform), in, out, count);
}

void ICCManager::DoLABA16ToRGBAFTransform(const void* in, void* out, uint32_t count) {
    m_counters.labCalls.fetch_add(1, std::memory_order_relaxed);
    if (count == 0 || !Lab().labToRGBF) return;
    cmsDoTransform(Lab().labToRGBF, in, out, count);
}

void ConvertRGBA8ToLabA16(const uint8_t in[4], uint16_t out[4]) {
    out[3] = uint16_t(in[3] * 257);
    if (Lab().rgb8ToLab) cmsDoTransform(Lab().rgb8ToLab, in, out, 1);
}

namespace Convert {

namespace {
std::atomic<bool> g_hardware{false};
std::mutex g_hardwareMutex;
std::map<void*, Kernel::Counted<HardwareTransform>>& HardwareCache() {
    static auto* cache = new std::map<void*, Kernel::Counted<HardwareTransform>>;
    return *cache;
}
}  // namespace

Kernel::Counted<HardwareTransform> GetCachedHardwareTransform(void* transform) {
    if (!transform || !g_hardware.load(std::memory_order_acquire)) return {};
    std::lock_guard<std::mutex> lock(g_hardwareMutex);
    Kernel::Counted<HardwareTransform>& slot = HardwareCache()[transform];
    if (!slot) slot = Kernel::Counted<HardwareTransform>(new HardwareTransform(transform));
    return slot;
}

void SetHardwareTransformsAvailable(bool available) { g_hardware.store(available, std::memory_order_release); }

}  // namespace Convert

}  // namespace Raster
