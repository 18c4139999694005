// The engine's regression classes: renders of a document (one bitmap per spread), baselines
// that keep renders compressed, metric metadata, and the file items that load and save them.
//
// Baseline files ("quirevale-baseline 1"): a text line per item, each stored render followed by
// its zlib-compressed planes:
//   perfect-clipping 0|1
//   main <spreads>                      then the main render's spreads
//   post-redo none | post-redo <spreads>
//   snapshots <count>, then per snapshot: snapshot <spreads>
//   spread <format> <width> <height> <raw bytes> <compressed bytes>, a line feed, the compressed
//          bytes, a line feed (channel planes one after another, rows top to bottom; a large
//          spread's stream is cut into bands that inflate alone, indexed after the stream)
//   end
// Metric files ("quirevale-metrics 1"): one "key<TAB>value" line per value, then "end".
// A damaged file of either kind fails to load with a reason; nothing in it is trusted.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>
#include <string>
#include <utility>
#include <vector>

#include "DocumentController.h"
#include "DocumentModel.h"
#include "Kernel/Counted.h"
#include "Kernel/Metadata.h"
#include "Kernel/String.h"
#include "Raster/Bitmap.h"

class DocumentSnapshot;

// One spread kept compressed; compressed memory while it lives. A spread read from a baseline
// file keeps its bytes where the file's data lies, and its pixels decompressed once.
class StoredSpread : public Kernel::Countable {
public:
    StoredSpread(Raster::Format format, int width, int height, uint64_t rawSize, std::string compressed);
    // Bytes [offset, offset + length) of a file's data; PrepareInflate, InflatePart and
    // FinishInflate make the pixels.
    StoredSpread(Raster::Format format, int width, int height, uint64_t rawSize,
                 std::shared_ptr<const std::string> data, size_t offset, size_t length);
    ~StoredSpread() override;

    // The spread's planes compressed; an empty handle for a bitmap of another format.
    static Kernel::Counted<StoredSpread> FromBitmap(const Raster::DynamicBitmap& bitmap);
    // Decompresses the bytes into a bitmap that this spread keeps, outside the planar account,
    // in parts, so that a reader shares the worker pool between the parts of many spreads:
    // PrepareInflate answers the raw bytes of each part (the bands of a spread stored in bands,
    // else the whole stream), InflatePart may run for different parts at once, and FinishInflate,
    // once every part is done, keeps the bitmap, inflating the stream whole when a band or the
    // index is at fault; false when the bytes do not decompress to the spread's size.
    std::vector<uint64_t> PrepareInflate();
    void InflatePart(size_t part);
    bool FinishInflate();
    // The kept bitmap, charged to the planar account while the handle or a copy of it lives,
    // else a fresh bitmap with the stored pixels; empty when the data does not decompress.
    Raster::DynamicBitmap Decompress() const;

    // Once the bitmap is kept, the file's bytes serve only to save the spread again: they can
    // go, and a save then compresses the kept bitmap anew (the same pixels, in the form this
    // build writes). Nothing happens while no bitmap is kept.
    void ReleaseCompressed();

    Raster::Format GetFormat() const { return m_format; }
    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    uint64_t GetRawSize() const { return m_rawSize; }
    std::string_view GetCompressed() const;

private:
    struct InflateWork;
    Raster::DynamicBitmap Unpack() const;

    Raster::Format m_format;
    int m_width;
    int m_height;
    uint64_t m_rawSize;
    std::shared_ptr<const std::string> m_data;
    size_t m_offset;
    size_t m_length;
    Raster::DynamicBitmap m_bitmap;
    uint64_t m_bitmapBytes = 0;  // its tile buffers
    std::unique_ptr<InflateWork> m_work;  // from PrepareInflate to FinishInflate
    mutable std::mutex m_recompressMutex;
    mutable std::string m_recompressed;  // made by the first GetCompressed after the release
    mutable bool m_isRecompressed = false;
};

// A render of a document: one bitmap per spread, in spread order. A render built from a
// document is made at construction on fresh tiles; a stored render gives the bitmaps its
// spreads decompressed when read from a file, and otherwise decompresses them afresh.
class RegressionRender : public Kernel::Countable {
public:
    explicit RegressionRender(const Kernel::Counted<DocumentController>& document);
    explicit RegressionRender(std::vector<Kernel::Counted<StoredSpread>> stored);
    explicit RegressionRender(std::vector<Raster::DynamicBitmap> bitmaps);

    size_t GetSpreadCount() const;
    // The spread's bitmap; an empty handle for a stored spread that cannot be read back.
    Raster::DynamicBitmap GetSpreadBitmap(size_t index) const;
    bool IsStored() const { return m_isStored; }
    const std::vector<Kernel::Counted<StoredSpread>>& GetStoredSpreads() const { return m_stored; }

    // This render kept compressed.
    Kernel::Counted<RegressionRender> Store() const;

private:
    bool m_isStored = false;
    std::vector<Raster::DynamicBitmap> m_bitmaps;
    std::vector<Kernel::Counted<StoredSpread>> m_stored;  // a null entry is a spread without a bitmap
};

class RegressionBaseline : public Kernel::Countable {
public:
    // Renders the document, its wanted snapshots and, with withPostRedoRender, the document
    // again after undoing and redoing its whole history.
    static Kernel::Counted<RegressionBaseline> Create(const Kernel::Counted<DocumentController>& document,
                                                      bool withPostRedoRender);
    static bool WantSnapshotForRegression(const Kernel::Counted<DocumentSnapshot>& snapshot);

    RegressionBaseline(bool perfectClipping, Kernel::Counted<RegressionRender> render,
                       Kernel::Counted<RegressionRender> postRedoRender,
                       std::vector<Kernel::Counted<RegressionRender>> snapshots);

    bool GetPerfectClipping() const { return m_perfectClipping; }
    const Kernel::Counted<RegressionRender>& GetRender() const { return m_render; }
    const Kernel::Counted<RegressionRender>& GetPostRedoRender() const { return m_postRedoRender; }
    const std::vector<Kernel::Counted<RegressionRender>>& GetSnapshots() const { return m_snapshots; }

    std::string Serialise() const;
    // Null with the reason when the text is not a whole, sound baseline file.
    // The spreads are decompressed once, in parallel, and keep the data's bytes without copies.
    static Kernel::Counted<RegressionBaseline> Deserialise(std::shared_ptr<const std::string> data,
                                                           std::string& error);
    static Kernel::Counted<RegressionBaseline> Deserialise(const std::string& data, std::string& error);

private:
    bool m_perfectClipping;
    Kernel::Counted<RegressionRender> m_render;
    Kernel::Counted<RegressionRender> m_postRedoRender;
    std::vector<Kernel::Counted<RegressionRender>> m_snapshots;
};

class RegressionMetadata : public Kernel::Countable, public Kernel::MetadataInterface {
public:
    std::vector<Kernel::String> GetMetadataValuesForKey(const Kernel::String& key) const override;
    void RemoveMetadataValuesForKey(const Kernel::String& key) override;
    void AddMetadataValueForKey(const Kernel::String& key, const Kernel::String& value) override;

    std::string Serialise() const;
    static Kernel::Counted<RegressionMetadata> Deserialise(const std::string& text, std::string& error);

private:
    std::vector<std::pair<Kernel::String, Kernel::String>> m_values;  // in the order added
};

// A file that holds one regression object.
class RegressionFileStoreItem : public Kernel::Countable {
public:
    // False, with the content left null, when the file is missing or damaged; GetLoadError then
    // tells which (empty for a missing file).
    bool Load(const Kernel::String& path);
    // Written to a temporary name and renamed, so that a failed save leaves the old file.
    bool Save(const Kernel::String& path) const;
    // The same, with the reason for a failure.
    bool Save(const Kernel::String& path, std::string& reason) const;
    const std::string& GetLoadError() const { return m_loadError; }

protected:
    virtual bool ReadContent(std::string data, std::string& error) = 0;
    virtual bool WriteContent(std::string& data) const = 0;
    // The most bytes a file of this kind can hold; a longer one is refused unread.
    virtual uint64_t GetFileSizeLimit() const = 0;

private:
    std::string m_loadError;
};

class RegressionBaselineFileStoreItem : public RegressionFileStoreItem {
public:
    // Whether document saves carry the engine's baselines with them; cleared before each save
    // of a unit. The stand-in's documents never carry baselines.
    static bool s_saveBaselines;

    Kernel::Counted<RegressionBaseline> m_content;

    // The largest baseline file the format allows: its four fixed lines, and the main, the
    // post-redo and every snapshot render, each with the most spreads of the largest size in the
    // widest format (RGBA float, 16 bytes a pixel) compressed to zlib's bound, every line at its
    // longest (200 bytes and a line feed).
    static constexpr uint64_t kFileSizeLimit = [] {
        const uint64_t line = 201;
        const uint64_t raw = uint64_t(DocEngine::kMaxSpreadArea) * 16;
        const uint64_t compressed = raw + (raw >> 12) + (raw >> 14) + (raw >> 25) + 13;
        const uint64_t render = line + DocEngine::kMaxSpreads * (line + compressed + 1);
        return 4 * line + (2 + DocEngine::kMaxSnapshots) * render;
    }();

protected:
    bool ReadContent(std::string data, std::string& error) override;
    bool WriteContent(std::string& data) const override;
    uint64_t GetFileSizeLimit() const override { return kFileSizeLimit; }
};

class RegressionMetadataFileStoreItem : public RegressionFileStoreItem {
public:
    Kernel::Counted<RegressionMetadata> m_content;

    // A few "key<TAB>value" lines: a metric file of this size is not one.
    static constexpr uint64_t kFileSizeLimit = uint64_t(1) << 20;

protected:
    bool ReadContent(std::string data, std::string& error) override;
    bool WriteContent(std::string& data) const override;
    uint64_t GetFileSizeLimit() const override { return kFileSizeLimit; }
};
