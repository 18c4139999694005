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
//          bytes (no more than zlib's bound for the raw bytes), a line feed (channel planes one
//          after another, rows top to bottom; a large spread's stream is cut into bands that
//          inflate alone, indexed after the stream: SpreadCodec.h)
//   end
// Metric files ("quirevale-metrics 1"): one "key<TAB>value" line per value, then "end".
// A damaged file of either kind fails to load with a reason; nothing in it is trusted. A
// baseline's compressed pixels are checked when they are decompressed, which fails the same way.
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
#include "Kernel/Dispatch.h"
#include "Kernel/FileSystem.h"
#include "Kernel/Metadata.h"
#include "Kernel/String.h"
#include "Raster/Bitmap.h"

class DocumentSnapshot;
class BaselineData;

// One spread kept compressed; compressed memory while it lives. A spread read from a baseline
// keeps where its bytes lie in the baseline's data (a file is read only there, and only when the
// pixels are first asked for), and its pixels, once decompressed, until they are released.
class StoredSpread : public Kernel::Countable {
public:
    StoredSpread(Raster::Format format, int width, int height, uint64_t rawSize, std::string compressed);
    // Bytes [offset, offset + length) of a baseline's data; line is where its spread line starts,
    // which names the spread when its bytes turn out damaged.
    StoredSpread(Raster::Format format, int width, int height, uint64_t rawSize,
                 std::shared_ptr<const BaselineData> data, uint64_t offset, size_t length, uint64_t line);
    ~StoredSpread() override;

    // The spread's planes compressed; an empty handle for a bitmap of another format.
    static Kernel::Counted<StoredSpread> FromBitmap(const Raster::DynamicBitmap& bitmap);
    // A spread read from a baseline decompresses its bytes when first asked (the bands of a large
    // one on the worker pool) into a bitmap that it keeps outside the planar account; each handle
    // to it is charged to the planar account while it or a copy lives. Any other spread gives a
    // fresh bitmap with the stored pixels each time. Empty, with the reason in error, when the
    // bytes cannot be read or do not decompress to the spread's size.
    Raster::DynamicBitmap Decompress(std::string* error = nullptr) const;
    // Lets the kept bitmap go (handles out keep theirs); the next Decompress makes it again.
    void Release() const;
    // For a spread read from a baseline: starts making its kept bitmap on the worker pool (a
    // banded spread's bands spread over the pool from there), so that Decompress then waits for
    // it, or finds it made, rather than making it. Nothing happens when memory for that runs out.
    void Prefetch() const;

    Raster::Format GetFormat() const { return m_format; }
    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    uint64_t GetRawSize() const { return m_rawSize; }
    // The stored bytes, as read; empty when a file they were in can no longer be read.
    std::string_view GetCompressed() const;

private:
    // The pixels, read and decompressed a few pieces at a time; empty, with the reason, when the
    // bytes cannot be read or do not decompress. With unaccounted, the tile buffers made for them
    // are not charged to the planar account.
    Raster::DynamicBitmap Inflate(std::string& error, bool unaccounted) const;
    // Makes the kept bitmap, or the reason it cannot be made; m_mutex is held.
    void MakeKeptBitmap() const;
    // Waits for a prefetch that was started, and forgets it, throwing what it threw when
    // throwing; m_mutex is not held.
    void EndPrefetch(bool throwing) const;

    Raster::Format m_format;
    int m_width;
    int m_height;
    uint64_t m_rawSize;
    std::shared_ptr<const BaselineData> m_data;
    uint64_t m_offset;
    size_t m_length;
    uint64_t m_line = 0;
    bool m_keepsBitmap = false;  // read from a baseline
    mutable std::mutex m_mutex;
    mutable Raster::DynamicBitmap m_bitmap;
    mutable uint64_t m_bitmapBytes = 0;  // its tile buffers
    mutable std::string m_error;         // why the bytes did not give the bitmap
    mutable std::string m_copy;          // the bytes read from a file for GetCompressed
    mutable std::string_view m_compressed;  // the stored bytes, in the text or the copy
    mutable bool m_isCopied = false;
    mutable std::unique_ptr<Kernel::Dispatch::Group> m_prefetch;  // guarded by m_mutex; waited for without it
};

// A render of a document: one bitmap per spread, in spread order. A render built from a
// document is made at construction on fresh tiles; a stored render decompresses its spreads
// when they are asked for (see StoredSpread::Decompress).
class RegressionRender : public Kernel::Countable {
public:
    explicit RegressionRender(const Kernel::Counted<DocumentController>& document);
    explicit RegressionRender(std::vector<Kernel::Counted<StoredSpread>> stored);
    explicit RegressionRender(std::vector<Raster::DynamicBitmap> bitmaps);

    size_t GetSpreadCount() const;
    // The spread's format and size, known without decompressing it; false for a spread without
    // a bitmap.
    bool GetSpreadShape(size_t index, Raster::Format& format, int& width, int& height) const;
    // The spread's bitmap; an empty handle for a spread without one, and for a stored spread that
    // cannot be read back, with the reason in error.
    Raster::DynamicBitmap GetSpreadBitmap(size_t index, std::string* error = nullptr) const;
    // Starts making the first stored spread's kept bitmap (StoredSpread::Prefetch) when a render
    // of the document will be compared with it: when its first spread has the same format and
    // size.
    void PrefetchFirstSpread(const Kernel::Counted<DocumentController>& document) const;
    // Stored spreads let their kept bitmaps go: for a render that is not compared again.
    void ReleaseSpreadBitmap(size_t index) const;
    void ReleaseSpreadBitmaps() const;
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
    // Null with the reason when the text is not a whole, sound baseline file. Every line is
    // checked here; the spreads' compressed bytes only when their pixels are asked for. The
    // spreads keep the data without copies.
    static Kernel::Counted<RegressionBaseline> Deserialise(std::shared_ptr<const std::string> data,
                                                           std::string& error);
    static Kernel::Counted<RegressionBaseline> Deserialise(const std::string& data, std::string& error);
    // The same from an open file, read line by line: one whose first line is not a baseline's is
    // refused without reading further, and the spreads' bytes stay in the file until needed.
    static Kernel::Counted<RegressionBaseline> Deserialise(const Kernel::Counted<Kernel::ReadOnlyFile>& file,
                                                           std::string& error);

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
    // Reads the file into the content; by default the whole file, handed to ReadContent.
    virtual bool ReadFileContent(const Kernel::String& path, std::string& error);
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
    // Kept open and read where needed: a baseline costs what is compared of it.
    bool ReadFileContent(const Kernel::String& path, std::string& error) override;
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
