#include "RegressionStore.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "DocumentEngine.h"
#include "DocumentState.h"
#include "EngineFaults.h"
#include "Kernel/AssertTrap.h"
#include "Kernel/FileSystem.h"
#include "Kernel/OutOfMemory.h"
#include "PersonaController.h"
#include "SpreadCodec.h"

bool RegressionBaselineFileStoreItem::s_saveBaselines = true;

namespace {

// Bitmaps the "leak" fault keeps until the process ends.
std::vector<Raster::DynamicBitmap>& LeakedBitmaps() {
    static auto* leaked = new std::vector<Raster::DynamicBitmap>;
    return *leaked;
}

}  // namespace

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

bool RegressionRender::GetSpreadShape(size_t index, Raster::Format& format, int& width, int& height) const {
    if (index >= GetSpreadCount()) return false;
    if (m_isStored) {
        const StoredSpread* spread = m_stored[index].Get();
        if (!spread) return false;
        format = spread->GetFormat();
        width = spread->GetWidth();
        height = spread->GetHeight();
        return true;
    }
    const Raster::DynamicBitmap& bitmap = m_bitmaps[index];
    if (!bitmap) return false;
    format = bitmap.GetFormat();
    width = bitmap.GetWidth();
    height = bitmap.GetHeight();
    return true;
}

Raster::DynamicBitmap RegressionRender::GetSpreadBitmap(size_t index, std::string* error) const {
    if (index >= GetSpreadCount()) return {};
    if (!m_isStored) return m_bitmaps[index];
    return m_stored[index] ? m_stored[index]->Decompress(error) : Raster::DynamicBitmap();
}

void RegressionRender::PrefetchFirstSpread(const Kernel::Counted<DocumentController>& document) const {
    const DocEngine::DocumentModel* model = document ? document->GetModel() : nullptr;
    if (!m_isStored || m_stored.empty() || !m_stored[0] || !model || model->GetSpreadSizes().empty()) return;
    const StoredSpread& spread = *m_stored[0];
    const auto [width, height] = model->GetSpreadSizes()[0];
    if (spread.GetFormat() == model->GetFormat().code && spread.GetWidth() == width && spread.GetHeight() == height)
        spread.Prefetch();
}

void RegressionRender::ReleaseSpreadBitmap(size_t index) const {
    if (m_isStored && index < m_stored.size() && m_stored[index]) m_stored[index]->Release();
}

void RegressionRender::ReleaseSpreadBitmaps() const {
    for (size_t i = 0; i < m_stored.size(); ++i) ReleaseSpreadBitmap(i);
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
        const std::string_view bytes = spread->GetCompressed();
        Kernel::Allocating("the bytes of a baseline file", out.size() + bytes.size() + 1, [&] {
            out += bytes;
            out += "\n";
        });
    }
}

class BaselineReader {
public:
    BaselineReader(std::shared_ptr<const BaselineData> data, std::string& error)
        : m_data(std::move(data)), m_size(m_data->GetSize()), m_error(error) {}

    bool Line(std::string_view& line) {
        std::string_view bytes;
        if (!Peek(m_at, kLongestLine + 1, bytes)) return false;
        m_lineStart = m_at;  // a line cut short is reported where it starts
        const size_t end = bytes.find('\n');
        if (end == std::string_view::npos) return Fail("a line is cut short or too long");
        line = bytes.substr(0, end);
        m_at += end + 1;
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
        if (raw != format->RawBytes(int(width), int(height))) return Fail("the byte count does not fit the size");
        // No build writes more than zlib's bound, so a spread read costs no more than its samples.
        if (compressed > compressBound(uLong(raw))) return Fail("more compressed bytes than the size allows");
        if (compressed == 0 || compressed > m_size - m_at || m_size - m_at - compressed < 1)
            return Fail("the compressed pixels are cut short");
        // The line feed after the bytes, and the next line with it; the bytes are not read here.
        std::string_view after;
        if (!Peek(m_at + compressed, kLongestLine + 2, after)) return false;
        if (after.empty() || after[0] != '\n') return Fail("the compressed pixels are cut short");
        spread = Kernel::MakeCounted<StoredSpread>(format->code, int(width), int(height), raw, m_data, m_at,
                                                   size_t(compressed), m_lineStart);
        m_at += compressed + 1;
        return true;
    }

    bool Fail(const std::string& why) {
        m_error = "damaged at byte " + std::to_string(m_lineStart) + ": " + why;
        return false;
    }
    bool AtEnd() const { return m_at == m_size; }

private:
    // Lines are at most this long, without their line feed.
    static constexpr size_t kLongestLine = 200;
    // Bytes read from a file at a time: a small baseline in one read, a large one a read or two
    // for each spread's line.
    static constexpr size_t kWindowBytes = 65536;

    // Up to length bytes from offset, fewer where the data ends.
    bool Peek(uint64_t offset, size_t length, std::string_view& bytes) {
        const uint64_t windowEnd = m_windowStart + m_window.size();
        if (offset < m_windowStart || (offset + length > windowEnd && windowEnd < m_size)) {
            std::string reason;
            if (!m_data->Read(offset, std::max(length, kWindowBytes), m_buffer, m_window, reason)) {
                m_error = "the file can't be read: " + reason;
                return false;
            }
            m_windowStart = offset;
        }
        const uint64_t from = offset - m_windowStart;
        bytes = from < m_window.size() ? m_window.substr(size_t(from), length) : std::string_view();
        return true;
    }

    std::shared_ptr<const BaselineData> m_data;
    uint64_t m_size;
    std::string& m_error;
    uint64_t m_at = 0;
    uint64_t m_lineStart = 0;
    std::string m_buffer;     // what was last read from a file
    std::string_view m_window;  // the data's bytes from m_windowStart
    uint64_t m_windowStart = 0;
};

// Every line of the data, in order, each checked before the next is read.
Kernel::Counted<RegressionBaseline> ReadBaseline(std::shared_ptr<const BaselineData> data, std::string& error) {
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
    return Kernel::MakeCounted<RegressionBaseline>(perfect, std::move(render), std::move(postRedo),
                                                   std::move(snapshots));
}

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
    return ReadBaseline(std::make_shared<const BaselineData>(std::move(data)), error);
}

Kernel::Counted<RegressionBaseline> RegressionBaseline::Deserialise(const Kernel::Counted<Kernel::ReadOnlyFile>& file,
                                                                    std::string& error) {
    return ReadBaseline(std::make_shared<const BaselineData>(file), error);
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
    if (!ReadFileContent(path, m_loadError)) {
        if (m_loadError.empty()) m_loadError = "the file is damaged";
        return false;
    }
    return true;
}

bool RegressionFileStoreItem::ReadFileContent(const Kernel::String& path, std::string& error) {
    std::string data;
    Kernel::FileSystem::ReadError readError;
    if (!Kernel::FileSystem::ReadFile(path, data, GetFileSizeLimit(), &readError)) {
        error = "the file can't be read: " + readError.reason;
        return false;
    }
    return ReadContent(std::move(data), error);
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

bool RegressionBaselineFileStoreItem::ReadFileContent(const Kernel::String& path, std::string& error) {
    Kernel::FileSystem::ReadError readError;
    const Kernel::Counted<Kernel::ReadOnlyFile> file = Kernel::ReadOnlyFile::Open(path, GetFileSizeLimit(), &readError);
    if (!file) {
        error = "the file can't be read: " + readError.reason;
        return false;
    }
    m_content = RegressionBaseline::Deserialise(file, error);
    return bool(m_content);
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
