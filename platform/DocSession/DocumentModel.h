// The stand-in engine's document content: pixel format, colour profile, spreads, the drawing
// commands of the base content, the history and the recorded macro, and the tile store the
// commands draw into. Copies of spread content share their tile blocks until one is written.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Kernel/Counted.h"
#include "Raster/Bitmap.h"
#include "Raster/ICCManager.h"

namespace DocEngine {

struct FormatInfo {
    Raster::Format code;
    const char* name;  // as document files write it
    int channels;
    int bytesPerSample;
    int alphaChannel;
    bool isFloat;
    int TileWidth() const { return 256 / bytesPerSample; }
    // Bytes of every channel's samples of a width x height spread, without tile padding.
    uint64_t RawBytes(int width, int height) const {
        return uint64_t(channels) * uint64_t(width) * uint64_t(height) * uint64_t(bytesPerSample);
    }
};

// The seven formats documents may have; null for any other code or name.
const FormatInfo* FindFormat(Raster::Format code);
const FormatInfo* FindFormatByName(std::string_view name);

// One channel's samples over one 256-byte by 256-row cell; backstore memory while it lives.
class TileBlock : public Kernel::Countable {
public:
    static constexpr size_t kBytes = 256 * 256;
    struct Uninitialised {};
    TileBlock();  // all zeros
    explicit TileBlock(Uninitialised);  // for a block that is about to be written whole
    TileBlock(const TileBlock& other);
    ~TileBlock() override;
    TileBlock& operator=(const TileBlock&) = delete;

    uint8_t* Bytes() { return m_bytes.get(); }
    const uint8_t* Bytes() const { return m_bytes.get(); }

private:
    struct GiveBack {
        void operator()(uint8_t* bytes) const { Raster::GiveTileBuffer(bytes); }
    };
    std::unique_ptr<uint8_t[], GiveBack> m_bytes;
};
static_assert(TileBlock::kBytes == size_t(Raster::Tile::kBytes), "blocks and tiles share their buffers");

// The pixels of one spread as planes of tile blocks laid out as the raster library lays out
// its tiles. A missing block holds zeros.
class SpreadContent {
public:
    SpreadContent(const FormatInfo* format, int width, int height);

    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    int GetColumns() const { return m_columns; }
    int GetRows() const { return m_rows; }
    const FormatInfo& GetFormat() const { return *m_format; }

    const TileBlock* GetBlock(int channel, int column, int row) const { return Slot(channel, column, row).Get(); }
    Kernel::Counted<TileBlock>& Slot(int channel, int column, int row) {
        return m_blocks[(size_t(channel) * m_rows + row) * m_columns + column];
    }
    const Kernel::Counted<TileBlock>& Slot(int channel, int column, int row) const {
        return m_blocks[(size_t(channel) * m_rows + row) * m_columns + column];
    }
    std::vector<Kernel::Counted<TileBlock>>& Slots() { return m_blocks; }

private:
    const FormatInfo* m_format;
    int m_width;
    int m_height;
    int m_columns;
    int m_rows;
    std::vector<Kernel::Counted<TileBlock>> m_blocks;
};

using Content = std::vector<SpreadContent>;

// What a document has lent of its current content to renders, shared by the document and the
// loans so that a loan may outlive the document. A render's tile shows the document's block in
// place; when the tile is first written and nothing else holds the block, the tile writes it in
// place too rather than copy it, and the document must not trust that block until the render
// lets go of it unchanged. The mutex is the document's own: held by whatever reads or changes
// its content, and by a tile taking a block for writing.
class ContentLoans : public std::enable_shared_from_this<ContentLoans> {
public:
    std::mutex& Mutex() { return m_mutex; }

    // A loan of a block of the current content, for a render's tile, which may write it in
    // place. Mutex held; the loans must be held by a shared pointer.
    Kernel::Counted<Raster::TileLoan> Lend(const Kernel::Counted<TileBlock>& block);
    // The current content is about to change or be drawn anew (mutex held): loans made before
    // can no longer be taken for writing, and what they give back no longer counts.
    void Changed() { m_state.store(((m_state.load() >> 32) + 1) << 32); }
    // Whether every block taken for writing has come back unchanged (mutex held).
    bool IsWhole() const { return (m_state.load() & kTakenMask) == 0; }

    // For the loans. Take: mutex held; whether the block, lent at generation, may be written in
    // place. GiveBack: a taken block's render let go of it, changed or not; takes no lock.
    bool Take(uint32_t generation, const TileBlock& block);
    void GiveBack(uint32_t generation, bool changed);

private:
    // The generation in the high 32 bits, then a bit set when a taken block came back changed,
    // then the number of taken blocks not yet given back.
    static constexpr uint64_t kSpoiled = uint64_t(1) << 31;
    static constexpr uint64_t kTakenMask = (uint64_t(1) << 32) - 1;
    std::mutex m_mutex;
    std::atomic<uint64_t> m_state{0};
};

// A new, empty content for the spread sizes.
Content MakeContent(const FormatInfo* format, const std::vector<std::pair<int, int>>& sizes);

// One drawing command. Colours are channel values in the format's channel order, 0 to 1 of
// the full range for integer formats.
struct DrawCommand {
    enum class Kind { Fill, Gradient, Noise };
    Kind kind = Kind::Fill;
    int spread = 0;
    int x = 0, y = 0, width = 0, height = 0;
    bool vertical = false;           // gradients
    std::vector<double> from, to;    // fill colour in from; gradient end colours
    uint64_t seed = 0;               // noise
    double amount = 0;               // noise: largest change of a sample, 0 to 1

    void Apply(Content& content) const;  // as DrawCommands with this command alone
    std::string ToText() const;  // the command's line in a document file
    static const char* Identifier(Kind kind);
    static const char* Name(Kind kind);
};
using CommandList = std::vector<std::shared_ptr<const DrawCommand>>;

// Draws the commands in order. Tile cells are drawn in parallel on the worker pool, a row span
// at a time; the result is the same as drawing sample by sample on one thread.
void DrawCommands(const DrawCommand* const* commands, size_t count, Content& content);
void DrawCommands(CommandList::const_iterator first, CommandList::const_iterator last, Content& content);

struct SnapshotSpec {
    std::string description;
    bool wanted = false;
    CommandList commands;
};

// Everything a document file holds.
struct DocumentSpec {
    const FormatInfo* format = nullptr;
    std::string profile = "default";  // or the absolute path of an ICC profile file
    int profileLine = 0;              // where the file named the profile
    std::vector<std::pair<int, int>> spreads;
    CommandList base;
    CommandList history;
    size_t position = 0;
    std::vector<SnapshotSpec> snapshots;
    CommandList macro;
};

struct ParseError {
    int line = 0;
    std::string message;
};

// Largest spread side and area a document may ask for.
inline constexpr int kMaxSpreadSide = 8192;
inline constexpr int64_t kMaxSpreadArea = int64_t(16) << 20;
inline constexpr size_t kMaxSpreads = 64;
// Most snapshots a document may hold, so that a baseline of all of them can be read back.
inline constexpr size_t kMaxSnapshots = 1000;

// Reads a document file's text; relative profile paths are taken from folder, which should be
// absolute so that the document keeps its profile wherever it is saved.
bool ParseDocument(std::string_view text, const std::string& folder, DocumentSpec& spec, ParseError& error);
std::string WriteDocument(const DocumentSpec& spec);

// A fresh bitmap of the format showing the spread content: each written block is lent to its
// tile (loans' mutex held). Blocks of every size are written in place where they may be: on
// small spreads too, two checks of a block cost less than a copy into fresh memory.
Raster::DynamicBitmap RenderSpread(const SpreadContent& content, ContentLoans& loans);

// The raster tile of one channel plane of a bitmap of the seven formats; null otherwise.
Raster::Tile* BitmapTile(const Raster::DynamicBitmap& bitmap, int channel, int column, int row, bool create);

// Makes every group of identical blocks one shared block, and all-zero blocks none at all.
// Answers how many blocks were given up.
size_t DeduplicateBlocks(const std::vector<Kernel::Counted<TileBlock>*>& slots);

}  // namespace DocEngine
