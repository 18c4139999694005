#include "RegressionStore.h"

#include <zlib.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "DocumentEngine.h"
#include "DocumentState.h"
#include "EngineFaults.h"
#include "Raster/Tile.h"
#include "Kernel/AssertTrap.h"
#include "Kernel/Dispatch.h"
#include "Kernel/FileSystem.h"
#include "PersonaController.h"

bool RegressionBaselineFileStoreItem::s_saveBaselines = true;

namespace {

// Where a bitmap's samples of one row of one channel plane start inside its raster tile.
size_t RowOffset(const DocEngine::FormatInfo& format, int y) {
    return size_t(y % 256) * size_t(format.TileWidth()) * size_t(format.bytesPerSample);
}

uint64_t RawSizeOf(const DocEngine::FormatInfo& format, int width, int height) {
    return uint64_t(format.channels) * uint64_t(width) * uint64_t(height) * uint64_t(format.bytesPerSample);
}

// Bitmaps the "leak" fault keeps until the process ends.
std::vector<Raster::DynamicBitmap>& LeakedBitmaps() {
    static auto* leaked = new std::vector<Raster::DynamicBitmap>;
    return *leaked;
}

}  // namespace

// ---- Stored spreads -----------------------------------------------------------------------

StoredSpread::StoredSpread(Raster::Format format, int width, int height, uint64_t rawSize, std::string compressed)
    : StoredSpread(format, width, height, rawSize, nullptr, 0, compressed.size()) {
    m_data = std::make_shared<const std::string>(std::move(compressed));
}

StoredSpread::StoredSpread(Raster::Format format, int width, int height, uint64_t rawSize,
                           std::shared_ptr<const std::string> data, size_t offset, size_t length)
    : m_format(format),
      m_width(width),
      m_height(height),
      m_rawSize(rawSize),
      m_data(std::move(data)),
      m_offset(offset),
      m_length(length) {
    Raster::MemoryManager::Instance().AddCompressed(m_length);
}

StoredSpread::~StoredSpread() { Raster::MemoryManager::Instance().RemoveCompressed(m_length); }

std::string_view StoredSpread::GetCompressed() const {
    return m_data ? std::string_view(*m_data).substr(m_offset, m_length) : std::string_view();
}

Kernel::Counted<StoredSpread> StoredSpread::FromBitmap(const Raster::DynamicBitmap& bitmap) {
    const DocEngine::FormatInfo* format = DocEngine::FindFormat(bitmap.GetFormat());
    if (!bitmap || !format) return {};
    const int width = bitmap.GetWidth(), height = bitmap.GetHeight();
    const size_t rowBytes = size_t(width) * size_t(format->bytesPerSample);
    const int tw = format->TileWidth();
    std::string raw(RawSizeOf(*format, width, height), '\0');
    char* out = raw.data();
    for (int c = 0; c < format->channels; ++c)
        for (int y = 0; y < height; ++y) {
            for (int column = 0; column * tw < width; ++column) {
                const Raster::Tile* tile = DocEngine::BitmapTile(bitmap, c, column, y / 256, false);
                const size_t n = size_t(std::min(tw, width - column * tw)) * size_t(format->bytesPerSample);
                if (tile) std::memcpy(out + size_t(column) * size_t(256), tile->GetConstBuffer() + RowOffset(*format, y), n);
            }
            out += rowBytes;
        }
    uLongf length = compressBound(uLong(raw.size()));
    std::string compressed(length, '\0');
    if (compress2(reinterpret_cast<Bytef*>(compressed.data()), &length, reinterpret_cast<const Bytef*>(raw.data()),
                  uLong(raw.size()), Z_DEFAULT_COMPRESSION) != Z_OK)
        return {};
    compressed.resize(length);
    return Kernel::MakeCounted<StoredSpread>(format->code, width, height, uint64_t(raw.size()), std::move(compressed));
}

namespace {

// Inflates a spread's planes (one channel after another, rows top to bottom) a band of rows
// at a time straight into the bitmap's tiles. Cells whose pixels are all zeros keep the bitmap's shared
// clear tile. False unless the stream ends exactly after the last row.
bool InflateInto(std::string_view compressed, const DocEngine::FormatInfo& format, Raster::DynamicBitmap& bitmap) {
    const int width = bitmap.GetWidth(), height = bitmap.GetHeight();
    if (compressed.size() > UINT32_MAX) return false;
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    struct End {
        z_stream& z;
        ~End() { inflateEnd(&z); }
    } end{z};
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    z.avail_in = uInt(compressed.size());
    const int tw = format.TileWidth();
    const size_t rowBytes = size_t(width) * size_t(format.bytesPerSample);
    const int columns = (width + tw - 1) / tw;
    // A few rows at a time: enough for the decompressor to work on long runs, few enough to
    // stay in the processor's cache while they are placed.
    const int bandRows = int(std::max<size_t>(1, 65536 / rowBytes));
    std::unique_ptr<uint8_t[]> band(new uint8_t[size_t(bandRows) * rowBytes]);
    std::vector<uint8_t*> buffers(size_t(columns), nullptr);  // the tiles of the current tile row
    bool ended = false;
    for (int c = 0; c < format.channels; ++c)
        for (int top = 0; top < height; top += bandRows) {
            if (ended) return false;  // the stream ended before the last row
            const int rows = std::min(bandRows, height - top);
            z.next_out = band.get();
            z.avail_out = uInt(size_t(rows) * rowBytes);
            while (z.avail_out > 0) {
                const int result = inflate(&z, Z_NO_FLUSH);
                if (result == Z_STREAM_END) {
                    ended = true;
                    break;
                }
                if (result != Z_OK) return false;
            }
            if (z.avail_out > 0) return false;
            for (int y = top; y < top + rows; ++y) {
                const uint8_t* row = band.get() + size_t(y - top) * rowBytes;
                if (y % 256 == 0) std::fill(buffers.begin(), buffers.end(), nullptr);
                for (int column = 0; column < columns; ++column) {
                    const uint8_t* from = row + size_t(column) * 256;
                    const size_t n = size_t(std::min(tw, width - column * tw)) * size_t(format.bytesPerSample);
                    uint8_t*& buffer = buffers[size_t(column)];
                    if (!buffer) {
                        if (from[0] == 0 && std::memcmp(from, from + 1, n - 1) == 0) continue;  // zeros so far
                        Raster::Tile* tile = DocEngine::BitmapTile(bitmap, c, column, y / 256, true);
                        if (!tile) return false;
                        buffer = tile->GetMutableBuffer();
                    }
                    std::memcpy(buffer + RowOffset(format, y), from, n);
                }
            }
        }
    if (ended) return true;
    uint8_t extra;
    z.next_out = &extra;
    z.avail_out = 1;
    return inflate(&z, Z_NO_FLUSH) == Z_STREAM_END && z.avail_out == 1;
}

}  // namespace

Raster::DynamicBitmap StoredSpread::Decompress() const {
    // The kept bitmap is charged to the planar account while a handle to it is out, just as a
    // bitmap decompressed for the caller would be.
    if (m_bitmap)
        return Raster::DynamicBitmap(m_bitmap.GetFormat(), Kernel::Counted<Raster::BitmapBase>(m_bitmap.GetBitmap()),
                                     std::make_shared<const Raster::PlanarCharge>(m_bitmapBytes));
    return Unpack();
}

Raster::DynamicBitmap StoredSpread::Unpack() const {
    const DocEngine::FormatInfo* format = DocEngine::FindFormat(m_format);
    if (!format || m_rawSize != RawSizeOf(*format, m_width, m_height)) return {};
    Raster::DynamicBitmap bitmap = Raster::DynamicBitmap::Create(m_format, m_width, m_height);
    return InflateInto(GetCompressed(), *format, bitmap) ? bitmap : Raster::DynamicBitmap();
}

bool StoredSpread::Inflate() {
    {
        // Kept ahead of use, this is the store's memory until a comparison takes it.
        Raster::MemoryManager::UnaccountedScope unaccounted;
        m_bitmap = Unpack();
    }
    m_bitmapBytes = m_bitmap ? m_bitmap.GetBitmap()->GetTileBufferBytes() : 0;
    return bool(m_bitmap);
}

// ---- Renders ------------------------------------------------------------------------------

RegressionRender::RegressionRender(const Kernel::Counted<DocumentController>& document) {
    DocEngine::DocumentModel* model = document ? document->GetModel() : nullptr;
    if (!model) return;
    const EngineFaults::Faults& faults = EngineFaults::Current();
    if (faults.crash) std::abort();
    {
        std::lock_guard<std::mutex> lock(model->Mutex());
        m_bitmaps = model->Render();
    }
    if (faults.slowMilliseconds) std::this_thread::sleep_for(std::chrono::milliseconds(faults.slowMilliseconds));
    static std::atomic<bool> asserted{false}, leaked{false};
    if (faults.assertion && !asserted.exchange(true)) KERNEL_ASSERT(!"render fault asked for by QUIREVALE_ENGINE_FAULT");
    if (faults.leak && !m_bitmaps.empty() && !leaked.exchange(true)) LeakedBitmaps().push_back(m_bitmaps.front());
}

RegressionRender::RegressionRender(std::vector<Kernel::Counted<StoredSpread>> stored)
    : m_isStored(true), m_stored(std::move(stored)) {}

RegressionRender::RegressionRender(std::vector<Raster::DynamicBitmap> bitmaps) : m_bitmaps(std::move(bitmaps)) {}

size_t RegressionRender::GetSpreadCount() const { return m_isStored ? m_stored.size() : m_bitmaps.size(); }

Raster::DynamicBitmap RegressionRender::GetSpreadBitmap(size_t index) const {
    if (index >= GetSpreadCount()) return {};
    if (!m_isStored) return m_bitmaps[index];
    return m_stored[index] ? m_stored[index]->Decompress() : Raster::DynamicBitmap();
}

Kernel::Counted<RegressionRender> RegressionRender::Store() const {
    if (m_isStored) return Kernel::Counted<RegressionRender>(new RegressionRender(m_stored));
    std::vector<Kernel::Counted<StoredSpread>> stored;
    for (const Raster::DynamicBitmap& bitmap : m_bitmaps) stored.push_back(StoredSpread::FromBitmap(bitmap));
    return Kernel::Counted<RegressionRender>(new RegressionRender(std::move(stored)));
}

// ---- Baselines ----------------------------------------------------------------------------

namespace {

void RunCommand(DocumentController& document, Kernel::Counted<DocumentCommand> command) {
    if (command->IsQueued()) {
        document.EnqueueCommand(command);
        document.WaitUntilCommandQueueEmpty();
    } else {
        document.ExecuteCommand(command);
    }
}

}  // namespace

RegressionBaseline::RegressionBaseline(bool perfectClipping, Kernel::Counted<RegressionRender> render,
                                       Kernel::Counted<RegressionRender> postRedoRender,
                                       std::vector<Kernel::Counted<RegressionRender>> snapshots)
    : m_perfectClipping(perfectClipping),
      m_render(std::move(render)),
      m_postRedoRender(std::move(postRedoRender)),
      m_snapshots(std::move(snapshots)) {}

bool RegressionBaseline::WantSnapshotForRegression(const Kernel::Counted<DocumentSnapshot>& snapshot) {
    return snapshot && snapshot->IsWantedForRegression();
}

Kernel::Counted<RegressionBaseline> RegressionBaseline::Create(const Kernel::Counted<DocumentController>& document,
                                                               bool withPostRedoRender) {
    if (!document || !document->GetModel()) return {};
    document->Settle();
    Kernel::Counted<RegressionRender> render = RegressionRender(document).Store();

    std::vector<Kernel::Counted<RegressionRender>> snapshots;
    for (int32_t i = 0; i < document->GetSnapshotCount(); ++i) {
        Kernel::Counted<DocumentSnapshot> snapshot = document->GetSnapshotAtIndex(i);
        if (!WantSnapshotForRegression(snapshot)) continue;
        auto copy = Kernel::MakeCounted<DocumentController>();
        // Every wanted snapshot takes its place, so that indexes match the document's.
        if (copy->NewDocument(snapshot, DocumentController::NewDocParams()))
            snapshots.push_back(RegressionRender(copy).Store());
        else
            snapshots.push_back(Kernel::Counted<RegressionRender>(new RegressionRender(std::vector<Raster::DynamicBitmap>())));
    }

    Kernel::Counted<RegressionRender> postRedo;
    if (withPostRedoRender) {
        DocumentHistory history = document->GetDocumentHistory();
        const int32_t position = history.GetUndoPosition();
        if (history.GetSize() > 0) {
            RunCommand(*document, Kernel::MakeCounted<SetHistoryIndexCommand>(-1));
            RunCommand(*document, Kernel::MakeCounted<SetHistoryIndexCommand>(position - 1));
        }
        postRedo = RegressionRender(document).Store();
    }
    return Kernel::MakeCounted<RegressionBaseline>(PersonaController::GetInstance()->m_perfectClipping, render,
                                                   postRedo, std::move(snapshots));
}

namespace {

void WriteRender(std::string& out, const char* tag, const RegressionRender& render) {
    Kernel::Counted<RegressionRender> kept;  // a live render is compressed for the file
    const RegressionRender* source = &render;
    if (!render.IsStored()) {
        kept = render.Store();
        source = kept.Get();
    }
    out += std::string(tag) + " " + std::to_string(source->GetSpreadCount()) + "\n";
    for (const auto& spread : source->GetStoredSpreads()) {
        if (!spread) {
            out += "spread none\n";
            continue;
        }
        out += "spread " + std::to_string(spread->GetFormat()) + " " + std::to_string(spread->GetWidth()) + " " +
               std::to_string(spread->GetHeight()) + " " + std::to_string(spread->GetRawSize()) + " " +
               std::to_string(spread->GetCompressed().size()) + "\n";
        out += spread->GetCompressed();
        out += "\n";
    }
}

// What the worker pool is asked for when spreads are decompressed, as the drawing asks.
constexpr int kInflatePriority = 21;
constexpr int kInflatePurpose = 2;

class BaselineReader {
public:
    BaselineReader(std::shared_ptr<const std::string> data, std::string& error)
        : m_shared(std::move(data)), m_data(*m_shared), m_error(error) {}

    bool Line(std::string_view& line) {
        size_t end = m_data.find('\n', m_at);
        if (end == std::string::npos || end - m_at > 200) return Fail("a line is cut short or too long");
        line = std::string_view(m_data).substr(m_at, end - m_at);
        m_lineStart = m_at;
        m_at = end + 1;
        return true;
    }

    // "word value" where value is a whole number up to max.
    bool Counted(std::string_view line, std::string_view word, uint64_t max, uint64_t& value) {
        if (!line.starts_with(word) || line.size() <= word.size() || line[word.size()] != ' ')
            return Fail("\"" + std::string(word) + "\" expected");
        return Number(line.substr(word.size() + 1), max, value);
    }

    bool Number(std::string_view text, uint64_t max, uint64_t& value) {
        auto result = std::from_chars(text.data(), text.data() + text.size(), value);
        if (result.ec != std::errc() || result.ptr != text.data() + text.size() || value > max)
            return Fail("\"" + std::string(text) + "\" is not a number in range");
        return true;
    }

    bool Render(std::string_view line, std::string_view word, Kernel::Counted<RegressionRender>& render) {
        uint64_t count;
        if (!Counted(line, word, DocEngine::kMaxSpreads, count)) return false;
        std::vector<Kernel::Counted<StoredSpread>> spreads;
        for (uint64_t i = 0; i < count; ++i) {
            Kernel::Counted<StoredSpread> spread;
            if (!Spread(spread)) return false;
            spreads.push_back(std::move(spread));
        }
        render = Kernel::Counted<RegressionRender>(new RegressionRender(std::move(spreads)));
        return true;
    }

    bool Spread(Kernel::Counted<StoredSpread>& spread) {
        std::string_view line;
        if (!Line(line)) return false;
        if (line == "spread none") return true;
        if (!line.starts_with("spread ")) return Fail("\"spread\" expected");
        std::vector<std::string_view> words;
        for (size_t i = 7; i <= line.size();) {
            size_t j = line.find(' ', i);
            if (j == std::string_view::npos) j = line.size();
            words.push_back(line.substr(i, j - i));
            i = j + 1;
        }
        uint64_t code, width, height, raw, compressed;
        if (words.size() != 5 || !Number(words[0], 255, code) || !Number(words[1], DocEngine::kMaxSpreadSide, width) ||
            !Number(words[2], DocEngine::kMaxSpreadSide, height) || !Number(words[3], UINT64_MAX, raw) ||
            !Number(words[4], UINT64_MAX, compressed))
            return Fail("a spread line needs a format, a size and two byte counts");
        const DocEngine::FormatInfo* format = DocEngine::FindFormat(Raster::Format(code));
        if (!format) return Fail("unknown pixel format " + std::to_string(code));
        if (width < 1 || height < 1 || width * height > uint64_t(DocEngine::kMaxSpreadArea))
            return Fail("a spread size out of range");
        if (raw != RawSizeOf(*format, int(width), int(height))) return Fail("the byte count does not fit the size");
        if (compressed == 0 || compressed > m_data.size() - m_at || m_data.size() - m_at - compressed < 1 ||
            m_data[m_at + compressed] != '\n')
            return Fail("the compressed pixels are cut short");
        spread = Kernel::MakeCounted<StoredSpread>(format->code, int(width), int(height), raw, m_shared, m_at,
                                                   size_t(compressed));
        m_pending.push_back({spread.Get(), m_lineStart, false});
        m_at += compressed + 1;
        return true;
    }

    // Decompresses every spread read, in parallel: everything is checked before the baseline
    // is used, so that a later comparison never meets a damaged spread.
    bool InflateSpreads() {
        Kernel::Dispatch::DispatchParallelFor(
            [](void* context, size_t i) {
                Pending& pending = (*static_cast<std::vector<Pending>*>(context))[i];
                pending.good = pending.spread->Inflate();
            },
            m_pending.size(), &m_pending, kInflatePriority, kInflatePurpose, 0);
        for (const Pending& pending : m_pending)
            if (!pending.good) {
                m_lineStart = pending.lineStart;
                return Fail("the compressed pixels do not decompress to the spread's size");
            }
        return true;
    }

    bool Fail(const std::string& why) {
        m_error = "damaged at byte " + std::to_string(m_lineStart) + ": " + why;
        return false;
    }
    bool AtEnd() const { return m_at == m_data.size(); }

private:
    struct Pending {
        StoredSpread* spread;
        size_t lineStart;
        bool good;
    };
    std::shared_ptr<const std::string> m_shared;
    const std::string& m_data;
    std::string& m_error;
    size_t m_at = 0;
    size_t m_lineStart = 0;
    std::vector<Pending> m_pending;
};

}  // namespace

std::string RegressionBaseline::Serialise() const {
    std::string out = "quirevale-baseline 1\n";
    out += std::string("perfect-clipping ") + (m_perfectClipping ? "1" : "0") + "\n";
    WriteRender(out, "main", m_render ? *m_render : RegressionRender(std::vector<Raster::DynamicBitmap>()));
    if (m_postRedoRender) WriteRender(out, "post-redo", *m_postRedoRender);
    else out += "post-redo none\n";
    out += "snapshots " + std::to_string(m_snapshots.size()) + "\n";
    for (const auto& snapshot : m_snapshots)
        WriteRender(out, "snapshot", snapshot ? *snapshot : RegressionRender(std::vector<Raster::DynamicBitmap>()));
    out += "end\n";
    return out;
}

Kernel::Counted<RegressionBaseline> RegressionBaseline::Deserialise(const std::string& data, std::string& error) {
    return Deserialise(std::make_shared<const std::string>(data), error);
}

Kernel::Counted<RegressionBaseline> RegressionBaseline::Deserialise(std::shared_ptr<const std::string> data,
                                                                    std::string& error) {
    BaselineReader reader(std::move(data), error);
    std::string_view line;
    uint64_t value;
    if (!reader.Line(line)) return {};
    if (line != "quirevale-baseline 1") {
        reader.Fail("not a baseline file");
        return {};
    }
    if (!reader.Line(line) || !reader.Counted(line, "perfect-clipping", 1, value)) return {};
    const bool perfect = value == 1;
    Kernel::Counted<RegressionRender> render, postRedo;
    if (!reader.Line(line) || !reader.Render(line, "main", render)) return {};
    if (!reader.Line(line)) return {};
    if (line != "post-redo none" && !reader.Render(line, "post-redo", postRedo)) return {};
    uint64_t count;
    if (!reader.Line(line) || !reader.Counted(line, "snapshots", DocEngine::kMaxSnapshots, count)) return {};
    std::vector<Kernel::Counted<RegressionRender>> snapshots;
    for (uint64_t i = 0; i < count; ++i) {
        Kernel::Counted<RegressionRender> snapshot;
        if (!reader.Line(line) || !reader.Render(line, "snapshot", snapshot)) return {};
        snapshots.push_back(std::move(snapshot));
    }
    if (!reader.Line(line)) return {};
    if (line != "end" || !reader.AtEnd()) {
        reader.Fail("\"end\" expected as the last line");
        return {};
    }
    if (!reader.InflateSpreads()) return {};
    return Kernel::MakeCounted<RegressionBaseline>(perfect, std::move(render), std::move(postRedo),
                                                   std::move(snapshots));
}

// ---- Metadata -----------------------------------------------------------------------------

std::vector<Kernel::String> RegressionMetadata::GetMetadataValuesForKey(const Kernel::String& key) const {
    std::vector<Kernel::String> values;
    for (const auto& [k, v] : m_values)
        if (k == key) values.push_back(v);
    return values;
}

void RegressionMetadata::RemoveMetadataValuesForKey(const Kernel::String& key) {
    std::erase_if(m_values, [&](const auto& entry) { return entry.first == key; });
}

void RegressionMetadata::AddMetadataValueForKey(const Kernel::String& key, const Kernel::String& value) {
    m_values.emplace_back(key, value);
}

namespace {
// Keys and values stay on their line and in their column.
std::string Field(const Kernel::String& text) {
    std::string field = text.ToStd();
    for (char& c : field)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return field;
}
}  // namespace

std::string RegressionMetadata::Serialise() const {
    std::string out = "quirevale-metrics 1\n";
    for (const auto& [key, value] : m_values) out += Field(key) + "\t" + Field(value) + "\n";
    out += "end\n";
    return out;
}

Kernel::Counted<RegressionMetadata> RegressionMetadata::Deserialise(const std::string& text, std::string& error) {
    auto metadata = Kernel::MakeCounted<RegressionMetadata>();
    size_t at = 0;
    int number = 0;
    bool ended = false;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        ++number;
        if (end == std::string::npos) {
            error = "line " + std::to_string(number) + " is cut short";
            return {};
        }
        std::string_view line = std::string_view(text).substr(at, end - at);
        at = end + 1;
        if (ended) {
            error = "line " + std::to_string(number) + " follows \"end\"";
            return {};
        }
        if (number == 1) {
            if (line != "quirevale-metrics 1") {
                error = "not a metric file";
                return {};
            }
            continue;
        }
        if (line == "end") {
            ended = true;
            continue;
        }
        size_t tab = line.find('\t');
        if (tab == 0 || tab == std::string_view::npos || line.find('\t', tab + 1) != std::string_view::npos) {
            error = "line " + std::to_string(number) + " is not a key and a value";
            return {};
        }
        metadata->AddMetadataValueForKey(Kernel::String(line.substr(0, tab)), Kernel::String(line.substr(tab + 1)));
    }
    if (!ended) {
        error = number == 0 ? std::string("the file is empty") : "\"end\" is missing after line " + std::to_string(number);
        return {};
    }
    return metadata;
}

// ---- File items ---------------------------------------------------------------------------

bool RegressionFileStoreItem::Load(const Kernel::String& path) {
    m_loadError.clear();
    if (!Kernel::FileSystem::Exists(path)) return false;
    std::string data;
    Kernel::FileSystem::ReadError readError;
    if (!Kernel::FileSystem::ReadFile(path, data, GetFileSizeLimit(), &readError)) {
        m_loadError = "the file can't be read: " + readError.reason;
        return false;
    }
    if (!ReadContent(std::move(data), m_loadError)) {
        if (m_loadError.empty()) m_loadError = "the file is damaged";
        return false;
    }
    return true;
}

bool RegressionFileStoreItem::Save(const Kernel::String& path) const {
    std::string reason;
    return Save(path, reason);
}

bool RegressionFileStoreItem::Save(const Kernel::String& path, std::string& reason) const {
    std::string data;
    if (!WriteContent(data)) {
        reason = "there is nothing to save";
        return false;
    }
    return EngineFaults::SaveFile(path.ToStd(), data, reason);
}

bool RegressionBaselineFileStoreItem::ReadContent(std::string data, std::string& error) {
    m_content = RegressionBaseline::Deserialise(std::make_shared<const std::string>(std::move(data)), error);
    return bool(m_content);
}

bool RegressionBaselineFileStoreItem::WriteContent(std::string& data) const {
    if (!m_content) return false;
    data = m_content->Serialise();
    return true;
}

bool RegressionMetadataFileStoreItem::ReadContent(std::string data, std::string& error) {
    m_content = RegressionMetadata::Deserialise(data, error);
    return bool(m_content);
}

bool RegressionMetadataFileStoreItem::WriteContent(std::string& data) const {
    if (!m_content) return false;
    data = m_content->Serialise();
    return true;
}
