// The stand-in document engine's regression side: document files, drawing, history, macro,
// tile store, command queue, command coverage, baseline and metric files, memory accounts.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <fstream>
#include <string>
#include <chrono>
#include <thread>

#include "DocSession/DocumentEngine.h"
#include "DocSession/DocumentState.h"
#include "Raster/Bitmap.h"
#include "Raster/Tile.h"
#include "DocSession/RegressionStore.h"
#include "Kernel/Trace.h"
#include "bitmapcheck/BitmapKernels.h"
#include "unit_test_support.h"

namespace {

using namespace unit_test;

const char kThreeSteps[] =
    "quirevale-document 1\n"
    "format rgba8\n"
    "spread 300 40\n"
    "history\n"
    "  fill 0 0 0 300 40 0.2 0.4 0.6 1\n"
    "  gradient 0 0 0 300 20 horizontal 0 0 0 1 1 1 1 1\n"
    "  noise 0 0 20 300 20 42 0.25\n"
    "end\n"
    "macro\n"
    "  fill 0 0 0 300 40 0.2 0.4 0.6 1\n"
    "  gradient 0 0 0 300 20 horizontal 0 0 0 1 1 1 1 1\n"
    "  noise 0 0 20 300 20 42 0.25\n"
    "end\n";

class EngineDocuments : public EngineTest {
protected:
    Kernel::Counted<DocumentController> Load(const std::string& path, std::string* error = nullptr) {
        LoadDocumentCommand load(Kernel::String(path), false, 1, false, false, {});
        load.Execute();
        if (error) *error = load.GetError().ToStd();
        return load.m_documentController;
    }
    Kernel::Counted<DocumentController> LoadText(const std::string& text, std::string* error = nullptr) {
        return Load(Write("unit-" + std::to_string(m_count++) + ".kqvle", text), error);
    }
    static void Run(const Kernel::Counted<DocumentController>& document, Kernel::Counted<DocumentCommand> command) {
        document->EnqueueCommand(command);
        document->Settle();
    }
    // Pixel-for-pixel equality of two renders.
    static bool SameRender(const RegressionRender& a, const RegressionRender& b) {
        if (a.GetSpreadCount() != b.GetSpreadCount()) return false;
        for (size_t i = 0; i < a.GetSpreadCount(); ++i) {
            Raster::DynamicBitmap x = a.GetSpreadBitmap(i), y = b.GetSpreadBitmap(i);
            if (x.GetFormat() != y.GetFormat() || x.GetWidth() != y.GetWidth() || x.GetHeight() != y.GetHeight())
                return false;
            CompareParams params;
            CompareBitmapsDispatch(x, y, &params);
            if (params.m_differingPixels != 0) return false;
        }
        return true;
    }
    static Kernel::Counted<RegressionRender> Render(const Kernel::Counted<DocumentController>& document) {
        return Kernel::MakeCounted<RegressionRender>(document);
    }
    // One sample of a rendered bitmap as a number, read from its raster tile.
    static double SampleAt(const Raster::DynamicBitmap& bitmap, int channel, int x, int y) {
        const DocEngine::FormatInfo& format = *DocEngine::FindFormat(bitmap.GetFormat());
        const int tw = format.TileWidth();
        Raster::Tile* tile = DocEngine::BitmapTile(bitmap, channel, x / tw, y / 256, false);
        if (!tile) return -1;
        const uint8_t* p = tile->GetConstBuffer() + (size_t(y % 256) * tw + size_t(x % tw)) * format.bytesPerSample;
        if (format.bytesPerSample == 1) return *p;
        if (format.bytesPerSample == 2) {
            uint16_t v;
            std::memcpy(&v, p, 2);
            return v;
        }
        float f;
        std::memcpy(&f, p, 4);
        return f;
    }
    int m_count = 0;
};

TEST_F(EngineDocuments, MalformedDocumentsNameTheFileAndLine) {
    const std::string cmyk = (fs::path(QV_EXECUTABLE).parent_path().parent_path() / "Resources/USWebCoatedSWOP.icc");
    struct Case {
        std::string text;
        int line;
        std::string why;
    };
    const Case cases[] = {
        {"", 1, "the file does not begin with \"quirevale-document 1\""},
        {"not a real document\n", 1, "the file does not begin with \"quirevale-document 1\""},
        {"# comment\n\nquirevale-document 2\n", 3, "unknown document version"},
        {"quirevale-document 1\nformat rgb8\n", 2,
         "unknown format \"rgb8\" (rgba8, rgba16, ia8, ia16, cmyka8, laba16 or rgbaf)"},
        {"quirevale-document 1\nspread 10 10\n", 2, "the format must come before the spreads"},
        {"quirevale-document 1\nformat ia8\nspread 8193 1\n", 3,
         "a spread is 1 to 8192 pixels wide and high, at most 16777216 pixels"},
        {"quirevale-document 1\nformat ia8\nspread 8192 4096\n", 3,
         "a spread is 1 to 8192 pixels wide and high, at most 16777216 pixels"},
        {"quirevale-document 1\nformat ia8\nspread 10 x\n", 3,
         "a spread is 1 to 8192 pixels wide and high, at most 16777216 pixels"},
        {"quirevale-document 1\nformat ia8\nlayer 1\n", 3, "unknown keyword \"layer\""},
        {"quirevale-document 1\nformat ia8\nspread 4 4\nhistory\n  fill 0 0 0 4 4 1 1\n\n", 6,
         "the block opened on line 4 has no \"end\""},
        {"quirevale-document 1\nformat ia8\nspread 4 4\nhistory\n  fill 0 0 0 4 4 1\nend\n", 5,
         "fill takes 7 values for this format, not 6"},
        {"quirevale-document 1\nformat rgba8\nspread 4 4\nhistory\n  fill 0 0 0 4 4 1 1 1.5 1\nend\n", 5,
         "channel values of this format lie between 0 and 1"},
        {"quirevale-document 1\nformat rgba8\nspread 4 4\nhistory\n  fill 1 0 0 4 4 1 1 1 1\nend\n", 5,
         "there is no spread 1"},
        {"quirevale-document 1\nformat rgba8\nspread 4 4\nhistory\n  fill 0 0 0 0 4 1 1 1 1\nend\n", 5,
         "the width and height must be 1 or more"},
        {"quirevale-document 1\nformat ia8\nspread 4 4\nbase\n  noise 0 0 0 4 4 -1 0.5\nend\n", 5,
         "the noise seed is a whole number of 0 or more"},
        {"quirevale-document 1\nformat ia8\nspread 4 4\nbase\n  gradient 0 0 0 4 4 diagonal 0 0 1 1\nend\n", 5,
         "a gradient runs \"horizontal\" or \"vertical\""},
        {"quirevale-document 1\nformat ia8\nspread 4 4\nhistory\n  fill 0 0 0 4 4 1 1\nend\nposition 2\n", 7,
         "the position is beyond the history's 1 entries"},
        {"quirevale-document 1\nformat ia8\nspread 4 4\nsnapshot maybe x\nend\n", 4,
         "snapshot takes \"regression\" or \"ignore\", then a description"},
        {"quirevale-document 1\nformat ia8\nend\n", 3, "\"end\" without a block"},
        {"quirevale-document 1\nformat ia8\nprofile missing.icc\n", 3, "is not an ICC profile that can be read"},
        {"quirevale-document 1\nformat rgba8\nprofile " + cmyk + "\n", 3,
         "the profile \"" + cmyk + "\" does not fit the format rgba8"},
    };
    std::vector<std::string> traced;
    auto previous = Kernel::SetTraceSink([&](const std::string& text) { traced.push_back(text); });
    for (const Case& c : cases) {
        std::string error;
        const std::string path = Path("unit-" + std::to_string(m_count) + ".kqvle");
        EXPECT_FALSE(LoadText(c.text, &error)) << c.text;
        const std::string prefix = "Document '" + path + "', line " + std::to_string(c.line) + ": ";
        EXPECT_EQ(error.rfind(prefix, 0), 0u) << error;
        EXPECT_NE(error.find(c.why), std::string::npos) << error;
        ASSERT_FALSE(traced.empty());
        EXPECT_EQ(traced.back(), error + "\n");
    }
    std::string error;
    EXPECT_FALSE(Load(Path("absent.kqvle"), &error));
    EXPECT_EQ(error, "Document '" + Path("absent.kqvle") + "': the file can't be read");
    Kernel::SetTraceSink(previous);
    EXPECT_EQ(PersonaController::GetInstance()->GetDocumentControllerCount(), 0u);
}

TEST_F(EngineDocuments, SavedDocumentsReadBackTheSame) {
    const std::string text =
        "quirevale-document 1\nformat rgbaf\nprofile default\nspread 70 300\nspread 5 5\n"
        "base\n  fill 1 0 0 5 5 0.1 0.2 0.3 0.4\nend\n"
        "history\n  gradient 0 -10 3 90 250 vertical -1.5 0.333333333333 2 1 65504 0 0.1 0.7\n"
        "  noise 0 0 0 70 300 18446744073709551615 0.123456789\nend\nposition 1\n"
        "snapshot regression  Two  blanks \n  fill 0 1 2 3 4 1 1 1 1\nend\nsnapshot ignore\nend\n"
        "macro\n  fill 0 0 0 70 300 0.5 0.5 0.5 1\nend\n";
    Kernel::Counted<DocumentController> document = LoadText(text);
    ASSERT_TRUE(document);
    const std::string saved = Path("saved.persona");
    auto save = Kernel::MakeCounted<SaveDocumentAsCommand>(Kernel::String(saved), false, false);
    Run(document, save);
    ASSERT_TRUE(save->Succeeded());
    const std::string written = ReadFile(saved);
    Kernel::Counted<DocumentController> reloaded = Load(saved);
    ASSERT_TRUE(reloaded);
    EXPECT_TRUE(SameRender(*Render(document), *Render(reloaded)));
    EXPECT_EQ(reloaded->GetDocumentHistory().GetSize(), 2);
    EXPECT_EQ(reloaded->GetDocumentHistory().GetUndoPosition(), 1);
    ASSERT_EQ(reloaded->GetSnapshotCount(), 2);
    EXPECT_EQ(reloaded->GetSnapshotAtIndex(0)->GetDescription().ToStd(), "Two  blanks");
    EXPECT_TRUE(reloaded->GetSnapshotAtIndex(0)->IsWantedForRegression());
    EXPECT_FALSE(reloaded->GetSnapshotAtIndex(1)->IsWantedForRegression());
    EXPECT_EQ(reloaded->GetMacro()->GetRawCommands(),
              std::vector<Kernel::String>{Kernel::String("fill 0 0 0 70 300 0.5 0.5 0.5 1")});
    // Writing the reloaded document gives the same text again.
    const std::string again = Path("again.persona");
    Run(reloaded, Kernel::MakeCounted<SaveDocumentAsCommand>(Kernel::String(again), false, false));
    EXPECT_EQ(ReadFile(again), written);
    // A save that cannot be made leaves no file and says so.
    auto failing = Kernel::MakeCounted<SaveDocumentAsCommand>(Kernel::String(Path("no/such/folder/x.persona")),
                                                              false, false);
    auto previous = Kernel::SetTraceSink([](const std::string&) {});
    Run(document, failing);
    Kernel::SetTraceSink(previous);
    EXPECT_FALSE(failing->Succeeded());
}

// Each format keeps what its samples can hold: a gradient across 256 pixels from 0 to 1 puts
// (x + 0.5) / 256 of the range in column x, rounded to the format's steps.
TEST_F(EngineDocuments, DrawingKeepsEachFormatsPrecision) {
    struct Case {
        const char* format;
        int channels;
        double (*sample)(double value);
    };
    const Case cases[] = {
        {"rgba8", 4, [](double v) { return double(std::lround(v * 255)); }},
        {"ia8", 2, [](double v) { return double(std::lround(v * 255)); }},
        {"cmyka8", 5, [](double v) { return double(std::lround(v * 255)); }},
        {"rgba16", 4, [](double v) { return double(std::lround(v * 65535)); }},
        {"ia16", 2, [](double v) { return double(std::lround(v * 65535)); }},
        {"laba16", 4, [](double v) { return double(std::lround(v * 65535)); }},
        {"rgbaf", 4, [](double v) { return double(float(v)); }},
    };
    for (const Case& c : cases) {
        std::string zeros, ones;
        for (int i = 0; i < c.channels; ++i) zeros += " 0", ones += " 1";
        Kernel::Counted<DocumentController> document = LoadText(
            std::string("quirevale-document 1\nformat ") + c.format + "\nspread 256 2\nhistory\n  gradient 0 0 0 256 2 horizontal" +
            zeros + ones + "\nend\n");
        ASSERT_TRUE(document) << c.format;
        Raster::DynamicBitmap bitmap = Render(document)->GetSpreadBitmap(0);
        ASSERT_EQ(bitmap.GetFormat(), DocEngine::FindFormatByName(c.format)->code);
        for (int x : {0, 1, 100, 255}) {
            const double expected = c.sample((x + 0.5) / 256);
            const double actual = SampleAt(bitmap, c.channels - 1, x, 1);
            EXPECT_EQ(actual, expected) << c.format << " x=" << x;
        }
    }
}

TEST_F(EngineDocuments, NoiseRepeatsAndSparesAlpha) {
    const std::string text = "quirevale-document 1\nformat rgba16\nspread 64 64\nhistory\n"
                             "  fill 0 0 0 64 64 0.5 0.5 0.5 0.25\n  noise 0 0 0 64 64 9 0.01\nend\n";
    Kernel::Counted<DocumentController> a = LoadText(text), b = LoadText(text);
    ASSERT_TRUE(a && b);
    Kernel::Counted<RegressionRender> render = Render(a);
    auto* bitmap = render->GetSpreadBitmap(0).As<Raster::BitmapForFormat<Raster::kFormatRGBA16>>();
    ASSERT_TRUE(bitmap);
    EXPECT_TRUE(SameRender(*Render(a), *Render(b)));
    const int mid = 32768, spread = int(std::lround(0.01 * 65535));
    int changed = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            auto p = bitmap->GetPixel(x, y);
            for (int c = 0; c < 3; ++c) {
                EXPECT_LE(std::abs(int(p.c[c]) - mid), spread + 1);
                changed += p.c[c] != mid;
            }
            EXPECT_EQ(p.c[3], std::lround(0.25 * 65535));
        }
    EXPECT_GT(changed, 64 * 64 * 3 / 2);
}

TEST_F(EngineDocuments, UndoRedoAndCommandCoverage) {
    Kernel::Counted<DocumentController> document = LoadText(kThreeSteps);
    ASSERT_TRUE(document);
    Kernel::Counted<RegressionRender> full = Render(document);
    Kernel::Counted<DocumentController> firstOnly = LoadText(
        "quirevale-document 1\nformat rgba8\nspread 300 40\nhistory\n  fill 0 0 0 300 40 0.2 0.4 0.6 1\nend\n");
    Kernel::Counted<DocumentController> blank =
        LoadText("quirevale-document 1\nformat rgba8\nspread 300 40\n");

    Run(document, Kernel::MakeCounted<SetHistoryIndexCommand>(-1));
    EXPECT_EQ(document->GetDocumentHistory().GetUndoPosition(), 0);
    EXPECT_EQ(document->GetDocumentHistory().GetSize(), 3);
    EXPECT_TRUE(SameRender(*Render(document), *Render(blank)));
    {
        CommandCoverage::Session session;
        Run(document, Kernel::MakeCounted<SetHistoryIndexCommand>(0));
        EXPECT_TRUE(SameRender(*Render(document), *Render(firstOnly)));
        Run(document, Kernel::MakeCounted<SetHistoryIndexCommand>(99));  // past the end: the whole history
        EXPECT_EQ(document->GetDocumentHistory().GetUndoPosition(), 3);
        EXPECT_EQ(session.GetRecordedCommands(),
                  (std::map<Kernel::String, uint32_t>{{"FillCommand", 1}, {"GradientCommand", 1}, {"NoiseCommand", 1}}));
    }
    EXPECT_TRUE(SameRender(*Render(document), *full));
    // Undoing again draws from the base without counting as runs.
    CommandCoverage::Session session;
    Run(document, Kernel::MakeCounted<SetHistoryIndexCommand>(0));
    EXPECT_TRUE(SameRender(*Render(document), *Render(firstOnly)));
    EXPECT_TRUE(session.GetRecordedCommands().empty());
}

TEST_F(EngineDocuments, MacroReplaysAfterAReset) {
    Kernel::Counted<DocumentController> document = LoadText(kThreeSteps);
    ASSERT_TRUE(document);
    Kernel::Counted<RegressionRender> before = Render(document);
    ASSERT_EQ(document->GetMacro()->GetRawCommands().size(), 3u);
    EXPECT_EQ(document->GetMacro()->GetRawCommands()[2].ToStd(), "noise 0 0 20 300 20 42 0.25");
    Run(document, Kernel::MakeCounted<SetHistoryIndexCommand>(-1));
    Run(document, Kernel::MakeCounted<ReplayMacroCommand>(Kernel::Counted<Macro>(), 0, 0));
    EXPECT_TRUE(SameRender(*Render(document), *before));
    EXPECT_EQ(document->GetDocumentHistory().GetSize(), 3);
    // A macro of its own replaces the entries that could be redone.
    Run(document, Kernel::MakeCounted<SetHistoryIndexCommand>(0));
    auto macro = Kernel::MakeCounted<Macro>(document->GetMacro()->GetCommands());
    Run(document, Kernel::MakeCounted<ReplayMacroCommand>(macro, 0, 0));
    EXPECT_EQ(document->GetDocumentHistory().GetSize(), 4);
    EXPECT_EQ(document->GetDocumentHistory().GetUndoPosition(), 4);
}

TEST_F(EngineDocuments, StackLimitMakesEntriesBaseContent) {
    Kernel::Counted<DocumentController> document = LoadText(std::string(kThreeSteps) + "position 2\n");
    ASSERT_TRUE(document);
    Kernel::Counted<RegressionRender> before = Render(document);
    PersonaController::GetInstance()->SetStackLimit(1);
    document->GetDocumentHistory().EnforceStackLimit();
    EXPECT_EQ(document->GetDocumentHistory().GetSize(), 1);
    EXPECT_EQ(document->GetDocumentHistory().GetUndoPosition(), 1);
    PersonaController::GetInstance()->SetStackLimit(0);
    document->GetDocumentHistory().EnforceStackLimit();
    EXPECT_EQ(document->GetDocumentHistory().GetSize(), 0);
    EXPECT_TRUE(SameRender(*Render(document), *before));
    // Undo now has nothing to take back, and the saved document draws the same.
    Run(document, Kernel::MakeCounted<SetHistoryIndexCommand>(-1));
    EXPECT_TRUE(SameRender(*Render(document), *before));
    const std::string saved = Path("teardown.persona");
    Run(document, Kernel::MakeCounted<SaveDocumentAsCommand>(Kernel::String(saved), false, false));
    PersonaController::GetInstance()->SetStackLimit(-1);
    Kernel::Counted<DocumentController> reloaded = Load(saved);
    ASSERT_TRUE(reloaded);
    EXPECT_EQ(reloaded->GetDocumentHistory().GetSize(), 0);
    EXPECT_TRUE(SameRender(*Render(reloaded), *before));
}

// Trimming to the limit at, just below and just above the history's size, with the undo
// position at the start, inside and at the end: entries to redo go first, then the oldest
// entries in effect become base content, and the document draws as before.
TEST_F(EngineDocuments, StackLimitAtAndAroundTheHistorysSize) {
    // Six overlapping fills: drawn in another order or with one missing, the spread differs.
    std::string history = "history\n";
    for (int k = 0; k < 6; ++k)
        history += "  fill 0 " + std::to_string(k) + " 0 4 2 0." + std::to_string(k + 1) + " 1\n";
    history += "end\n";
    const std::string head = "quirevale-document 1\nformat ia8\nspread 9 2\n";
    struct Case {
        size_t position;
        int limit;
        int size, undoPosition, baked;  // what remains, and how many entries became base content
    };
    const Case cases[] = {
        {6, -1, 6, 6, 0}, {6, 7, 6, 6, 0}, {6, 6, 6, 6, 0}, {6, 5, 5, 5, 1}, {6, 1, 1, 1, 5}, {6, 0, 0, 0, 6},
        {3, 6, 6, 3, 0},  {3, 5, 5, 3, 0}, {3, 3, 3, 3, 0}, {3, 2, 2, 2, 1}, {3, 0, 0, 0, 3},
        {0, 6, 6, 0, 0},  {0, 5, 5, 0, 0}, {0, 1, 1, 0, 0}, {0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("position " + std::to_string(c.position) + ", limit " + std::to_string(c.limit));
        const std::string text = head + history + "position " + std::to_string(c.position) + "\n";
        Kernel::Counted<DocumentController> document = LoadText(text);
        ASSERT_TRUE(document);
        Kernel::Counted<RegressionRender> before = Render(document);
        PersonaController::GetInstance()->SetStackLimit(c.limit);
        document->GetDocumentHistory().EnforceStackLimit();
        PersonaController::GetInstance()->SetStackLimit(-1);
        EXPECT_EQ(document->GetDocumentHistory().GetSize(), c.size);
        EXPECT_EQ(document->GetDocumentHistory().GetUndoPosition(), c.undoPosition);
        EXPECT_TRUE(SameRender(*Render(document), *before));
        // Undoing everything leaves the base content: the first entries in effect are in it now.
        Run(document, Kernel::MakeCounted<SetHistoryIndexCommand>(-1));
        Kernel::Counted<DocumentController> expected =
            LoadText(head + history + "position " + std::to_string(c.baked) + "\n");
        ASSERT_TRUE(expected);
        EXPECT_TRUE(SameRender(*Render(document), *Render(expected)));
        // Redoing what is left reaches the state before the trim again.
        Run(document, Kernel::MakeCounted<SetHistoryIndexCommand>(c.size - 1));
        if (c.size > 0 && c.undoPosition == c.size) {
            EXPECT_TRUE(SameRender(*Render(document), *before));
        }
    }
}

// A history of a hundred thousand entries trimmed to its limit keeps exactly the newest ones
// in effect and the oldest as base content (the benchmark program times such trims).
TEST_F(EngineDocuments, LargeHistoryTrimsToItsLimit) {
    constexpr int kEntries = 100000;
    std::string text = "quirevale-document 1\nformat ia8\nspread 3 1\nhistory\n";
    for (int k = 0; k < kEntries; ++k)
        text += "  fill 0 " + std::to_string(k % 3) + " 0 1 1 " + std::to_string((k % 97) / 100.0) + " 1\n";
    text += "end\nposition 99990\n";
    Kernel::Counted<DocumentController> document = LoadText(text);
    ASSERT_TRUE(document);
    Kernel::Counted<RegressionRender> before = Render(document);
    auto trim = [&](int limit) {
        PersonaController::GetInstance()->SetStackLimit(limit);
        document->GetDocumentHistory().EnforceStackLimit();
        PersonaController::GetInstance()->SetStackLimit(-1);
        EXPECT_EQ(document->GetDocumentHistory().GetSize(), limit);
        EXPECT_EQ(document->GetDocumentHistory().GetUndoPosition(), std::min(limit, 99990)) << limit;
        EXPECT_TRUE(SameRender(*Render(document), *before)) << limit;
    };
    for (int limit : {kEntries, kEntries - 1, 99990, 99989, 3, 1}) trim(limit);
    // With one entry left in effect, undo shows the state after entry 99,988: the three pixels
    // last drawn by entries 99,987, 99,988 and 99,986.
    Run(document, Kernel::MakeCounted<SetHistoryIndexCommand>(-1));
    Kernel::Counted<DocumentController> expected = LoadText(
        "quirevale-document 1\nformat ia8\nspread 3 1\nbase\n"
        "  fill 0 0 0 1 1 " + std::to_string((99987 % 97) / 100.0) + " 1\n"
        "  fill 0 1 0 1 1 " + std::to_string((99988 % 97) / 100.0) + " 1\n"
        "  fill 0 2 0 1 1 " + std::to_string((99986 % 97) / 100.0) + " 1\nend\n");
    ASSERT_TRUE(expected);
    EXPECT_TRUE(SameRender(*Render(document), *Render(expected)));
    Run(document, Kernel::MakeCounted<SetHistoryIndexCommand>(0));
    trim(0);
}

// The document reader takes as many snapshots as a baseline file can hold, and refuses one
// more with a message that names the limit, so that a baseline it makes always reads back.
TEST_F(EngineDocuments, SnapshotLimitMatchesTheBaselineReader) {
    std::string text = "quirevale-document 1\nformat ia8\nspread 2 2\n";
    for (int k = 0; k < 1000; ++k)
        text += "snapshot regression s" + std::to_string(k) + "\n  fill 0 0 0 1 1 " + std::to_string(k % 2) +
                " 1\nend\n";
    Kernel::Counted<DocumentController> document = LoadText(text);
    ASSERT_TRUE(document);
    EXPECT_EQ(document->GetSnapshotCount(), 1000);
    Kernel::Counted<RegressionBaseline> baseline = RegressionBaseline::Create(document, false);
    ASSERT_TRUE(baseline);
    std::string error;
    Kernel::Counted<RegressionBaseline> read = RegressionBaseline::Deserialise(baseline->Serialise(), error);
    ASSERT_TRUE(read) << error;
    EXPECT_EQ(read->GetSnapshots().size(), 1000u);

    const int lines = int(std::count(text.begin(), text.end(), '\n'));
    text += "snapshot ignore one more\nend\n";
    auto previous = Kernel::SetTraceSink([](const std::string&) {});
    EXPECT_FALSE(LoadText(text, &error));
    Kernel::SetTraceSink(previous);
    EXPECT_NE(error.find(", line " + std::to_string(lines + 1) + ": too many snapshots (at most 1000)"),
              std::string::npos)
        << error;
}

// A profile named relative to the document's folder is found from that folder however the
// document was named, and a copy saved anywhere else reloads with the same profile.
TEST_F(EngineDocuments, RelativeProfilesSurviveASaveElsewhere) {
    const fs::path cmyk = fs::path(QV_EXECUTABLE).parent_path().parent_path() / "Resources/USWebCoatedSWOP.icc";
    fs::create_directories(m_dir.Path() / "profiles");
    fs::copy_file(cmyk, m_dir.Path() / "profiles/print.icc");
    Write("units/print.kqvle", "quirevale-document 1\nformat cmyka8\nprofile ../profiles/print.icc\nspread 4 4\n"
                               "history\n  fill 0 0 0 4 4 0.1 0.2 0.3 0.4 1\nend\n");
    fs::create_directories(m_dir.Path() / "elsewhere");
    runner_test::ScopedCurrentDirectory inside(m_dir.Path());
    for (const std::string unit : {"units/print.kqvle", "./units/../units/print.kqvle"}) {
        Kernel::Counted<DocumentController> document = Load(unit);
        ASSERT_TRUE(document) << unit;
        ASSERT_TRUE(document->GetProfile());
        for (const std::string& copy : {Path("elsewhere/copy.persona"), std::string("elsewhere/copy.persona")}) {
            auto save = Kernel::MakeCounted<SaveDocumentAsCommand>(Kernel::String(copy), false, false);
            Run(document, save);
            ASSERT_TRUE(save->Succeeded()) << save->GetError();
            std::string error;
            Kernel::Counted<DocumentController> reloaded = Load(copy, &error);
            ASSERT_TRUE(reloaded) << error;
            EXPECT_EQ(reloaded->GetProfile().Get(), document->GetProfile().Get());
            EXPECT_TRUE(SameRender(*Render(reloaded), *Render(document)));
        }
    }
}

// A profile path or snapshot description is quoted in a saved copy when it would not read back
// bare, so every byte of it reads back, and the copy says nothing the value did not.
TEST_F(EngineDocuments, SavedValuesReadBackWhateverBytesTheyHold) {
    using namespace std::string_literals;
    struct Case {
        std::string value;
        std::string written;  // as the saved copy writes it
    };
    const Case cases[] = {
        {"Background and gradient", "Background and gradient"},
        {"back\\slash and \"inner\" quotes", "back\\slash and \"inner\" quotes"},
        {"two\nlines", "\"two\\nlines\""},
        {"\"quoted\"", "\"\\\"quoted\\\"\""},
        {"\"", "\"\\\"\""},
        {"ends in a quote\"", "\"ends in a quote\\\"\""},
        {" blank at both ends\t", "\" blank at both ends\\t\""},
        {"a blank at the end ", "\"a blank at the end \""},
        {"cr\r, bell\x07, del\x7f", "\"cr\\r, bell\\x07, del\\x7f\""},
        {"trailing backslash\\", "trailing backslash\\"},
        {"\"\\\"", "\"\\\"\\\\\\\"\""},
        {"ünïcödé # not a comment", "ünïcödé # not a comment"},
        {"end\nsnapshot ignore Injected\nend", "\"end\\nsnapshot ignore Injected\\nend\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.value));
        DocEngine::DocumentSpec spec;
        spec.format = DocEngine::FindFormatByName("rgba8");
        spec.spreads = {{4, 4}};
        spec.profile = "/profiles/" + c.value;
        spec.snapshots.push_back({c.value, true, {}});
        const std::string text = DocEngine::WriteDocument(spec);
        EXPECT_NE(text.find("\nsnapshot regression " + c.written + "\n"), std::string::npos) << text;
        const std::string path = c.written.front() == '"' ? "\"/profiles/" + c.written.substr(1) : "/profiles/" + c.written;
        EXPECT_NE(text.find("\nprofile " + path + "\n"), std::string::npos) << text;
        DocEngine::DocumentSpec read;
        DocEngine::ParseError error;
        ASSERT_TRUE(DocEngine::ParseDocument(text, "/elsewhere", read, error)) << error.line << ": " << error.message;
        EXPECT_EQ(read.profile, spec.profile);
        ASSERT_EQ(read.snapshots.size(), 1u);
        EXPECT_EQ(read.snapshots[0].description, c.value);
        EXPECT_EQ(read.spreads, spec.spreads);
        EXPECT_EQ(DocEngine::WriteDocument(read), text);
    }
    // A description may even hold a NUL byte (a path can't).
    DocEngine::DocumentSpec spec;
    spec.format = DocEngine::FindFormatByName("ia8");
    spec.snapshots.push_back({"nul\0byte"s, false, {}});
    const std::string text = DocEngine::WriteDocument(spec);
    EXPECT_NE(text.find("\nsnapshot ignore \"nul\\x00byte\"\n"), std::string::npos) << text;
    DocEngine::DocumentSpec read;
    DocEngine::ParseError error;
    ASSERT_TRUE(DocEngine::ParseDocument(text, "/elsewhere", read, error)) << error.line << ": " << error.message;
    ASSERT_EQ(read.snapshots.size(), 1u);
    EXPECT_EQ(read.snapshots[0].description, "nul\0byte"s);
}

// Values written by hand or by earlier builds read as they always did, unless they begin and end
// with a quote; quoted text that is not well formed names the line and what is wrong.
TEST_F(EngineDocuments, QuotedValuesAndTheirErrors) {
    const std::string head = "quirevale-document 1\nformat rgba8\nspread 4 4\n";
    struct Case {
        std::string line;  // line 4
        std::string description;
        std::string profile;
        std::string why;  // empty: reads
    };
    const Case cases[] = {
        {"snapshot regression a \"b\" c", "a \"b\" c", "default", ""},
        {"snapshot regression \"x", "\"x", "default", ""},
        {"snapshot regression x\"", "x\"", "default", ""},
        {"snapshot regression \"", "\"", "default", ""},
        {"snapshot regression a\\nb", "a\\nb", "default", ""},
        {"snapshot ignore   \"quoted\"  ", "quoted", "default", ""},
        {"snapshot regression \"\\x41\\x7e\\\\\\\" \\t\"", "A~\\\" \t", "default", ""},
        {"snapshot regression \"\"", "", "default", ""},
        {"profile \"default\"", "", "default", ""},
        {"profile \"/a b/\\\"c\\\"\\n\"", "", "/a b/\"c\"\n", ""},
        {"profile \"rel\\tative.icc\"", "", "/units/rel\tative.icc", ""},
        {"snapshot regression \"a\\qb\"", "", "", "unknown escape \"\\q\" in quoted text"},
        {"snapshot regression \"a\"b\"", "", "", "a double quote inside quoted text is written \\\""},
        {"snapshot regression \"a\\\"", "", "", "the quoted text ends in a lone backslash"},
        {"snapshot regression \"\\x4\"", "", "", "\\x in quoted text takes two hex digits"},
        {"snapshot regression \"\\xg0\"", "", "", "\\x in quoted text takes two hex digits"},
        {"profile \"/a\\x00b\"", "", "", "a file path holds no NUL byte"},
        {"profile \"\"", "", "", "profile takes \"default\" or a file path"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const bool snapshot = c.line.rfind("snapshot", 0) == 0;
        DocEngine::DocumentSpec spec;
        DocEngine::ParseError error;
        const bool read = DocEngine::ParseDocument(head + c.line + (snapshot ? "\nend\n" : "\n"), "/units", spec, error);
        ASSERT_EQ(read, c.why.empty()) << error.message;
        if (!read) {
            EXPECT_EQ(error.line, 4);
            EXPECT_EQ(error.message, c.why);
            continue;
        }
        EXPECT_EQ(spec.profile, c.profile);
        if (snapshot) {
            ASSERT_EQ(spec.snapshots.size(), 1u);
            EXPECT_EQ(spec.snapshots[0].description, c.description);
        }
    }
    // The sample units still load as they are.
    size_t units = 0;
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(QV_SOURCE_DIR) / "examples/units")) {
        const std::string ending = entry.path().extension().string();
        if (!entry.is_regular_file() || (ending != ".kqvle" && ending != ".kdrovane" && ending != ".ktavika" &&
                                         ending != ".kestrane_drovanel" && ending != ".kestrane_tavik" &&
                                         ending != ".persona"))
            continue;
        ++units;
        SCOPED_TRACE(entry.path().string());
        DocEngine::DocumentSpec spec;
        DocEngine::ParseError error;
        EXPECT_TRUE(DocEngine::ParseDocument(ReadFile(entry.path()), entry.path().parent_path().string(), spec, error))
            << error.line << ": " << error.message;
        EXPECT_EQ(spec.profile, "default");
        for (const auto& snapshot : spec.snapshots) EXPECT_EQ(snapshot.description.find('"'), std::string::npos);
    }
    EXPECT_EQ(units, 7u);
}

// A relative profile in a folder whose name holds line breaks: the saved copy names it by its
// absolute path on one line, so the copy reloads as the same document and not as one the
// folder's name spells out.
TEST_F(EngineDocuments, AFolderNameCannotAddStatementsToASavedCopy) {
    const fs::path cmyk = fs::path(QV_EXECUTABLE).parent_path().parent_path() / "Resources/USWebCoatedSWOP.icc";
    // The first line of the folder's name is itself a profile, so a split line would still load.
    fs::copy_file(cmyk, m_dir.Path() / "evil");
    const std::string crafted = "evil\nspread 8 8\n#x";
    fs::create_directories(m_dir.Path() / crafted);
    fs::copy_file(cmyk, m_dir.Path() / crafted / "print.icc");
    const std::string unit = Write(crafted + "/u.kqvle",
                                   "quirevale-document 1\nformat cmyka8\nprofile print.icc\nspread 4 4\n"
                                   "history\n  fill 0 0 0 4 4 0.1 0.2 0.3 0.4 1\nend\n"
                                   "snapshot regression \" two\\nlines \\\"and\\\" a \\\\ \"\nend\n");
    std::string error;
    Kernel::Counted<DocumentController> document = Load(unit, &error);
    ASSERT_TRUE(document) << error;
    const std::string copy = Path("elsewhere/copy.persona");
    fs::create_directories(m_dir.Path() / "elsewhere");
    auto save = Kernel::MakeCounted<SaveDocumentAsCommand>(Kernel::String(copy), false, false);
    Run(document, save);
    ASSERT_TRUE(save->Succeeded()) << save->GetError();
    const std::vector<std::string> lines = SplitLines(ReadFile(copy));
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[2], "profile \"" + m_dir.Path().string() + "/evil\\nspread 8 8\\n#x/print.icc\"");
    EXPECT_EQ(lines[3], "spread 4 4");
    Kernel::Counted<DocumentController> reloaded = Load(copy, &error);
    ASSERT_TRUE(reloaded) << error;
    const DocEngine::DocumentSpec before = document->GetModel()->ToSpec(), after = reloaded->GetModel()->ToSpec();
    EXPECT_EQ(after.spreads, before.spreads);
    EXPECT_EQ(after.profile, m_dir.Path().string() + "/" + crafted + "/print.icc");
    EXPECT_EQ(after.position, before.position);
    ASSERT_EQ(after.snapshots.size(), 1u);
    EXPECT_EQ(after.snapshots[0].description, " two\nlines \"and\" a \\ ");
    EXPECT_TRUE(SameRender(*Render(reloaded), *Render(document)));
}

// A save that fails says why, and the engine's "full" fault fails every save that way.
TEST_F(EngineDocuments, FailedSavesGiveTheirReason) {
    Kernel::Counted<DocumentController> document = LoadText(kThreeSteps);
    ASSERT_TRUE(document);
    auto previous = Kernel::SetTraceSink([](const std::string&) {});
    auto missing = Kernel::MakeCounted<SaveDocumentAsCommand>(Kernel::String(Path("no/x.persona")), false, false);
    Run(document, missing);
    EXPECT_FALSE(missing->Succeeded());
    EXPECT_EQ(missing->GetError(), "cannot create a file beside it: No such file or directory");

    EngineFaults::Faults full;
    full.full = true;
    EngineFaults::SetForTesting(full);
    auto save = Kernel::MakeCounted<SaveDocumentAsCommand>(Kernel::String(Path("full.persona")), false, false);
    Run(document, save);
    RegressionMetadataFileStoreItem metrics;
    metrics.m_content = Kernel::MakeCounted<RegressionMetadata>();
    std::string reason;
    EXPECT_FALSE(metrics.Save(Kernel::String(Path("full.metadata")), reason));
    EngineFaults::SetForTesting({});
    Kernel::SetTraceSink(previous);
    EXPECT_FALSE(save->Succeeded());
    EXPECT_EQ(save->GetError(), "cannot write the file: No space left on device");
    EXPECT_EQ(reason, "cannot write the file: No space left on device");
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir.Path()), fs::directory_iterator()), 1);  // the unit
}

TEST_F(EngineDocuments, DeduplicationSharesIdenticalTiles) {
    // Four tile columns of one flat colour: every plane's blocks are alike, all four planes too.
    Kernel::Counted<DocumentController> document = LoadText(
        "quirevale-document 1\nformat rgba8\nspread 1024 256\nhistory\n  fill 0 0 0 1024 256 1 1 1 1\nend\n");
    ASSERT_TRUE(document);
    // Kept compressed: a render shows the document's own blocks while it lives.
    Kernel::Counted<RegressionRender> before = Render(document)->Store();
    const uint64_t held = Raster::MemoryManager::Instance().GetBackstoreUsage();
    auto dedup = Kernel::MakeCounted<DeduplicateTilestoreCommand>();
    Run(document, dedup);
    EXPECT_EQ(dedup->GetTilesReleased(), 15u);
    EXPECT_EQ(held - Raster::MemoryManager::Instance().GetBackstoreUsage(), 15u * DocEngine::TileBlock::kBytes);
    EXPECT_TRUE(SameRender(*Render(document), *before));
    // Drawing into one tile afterwards leaves the others as they were.
    Run(document, Kernel::MakeCounted<ReplayMacroCommand>(
                      Kernel::MakeCounted<Macro>(DocEngine::CommandList{std::make_shared<DocEngine::DrawCommand>(
                          DocEngine::DrawCommand{DocEngine::DrawCommand::Kind::Fill, 0, 0, 0, 1, 1, false,
                                                 {0, 0, 0, 1}, {}, 0, 0})}),
                      0, 0));
    Kernel::Counted<RegressionRender> after = Render(document);
    auto* bitmap = after->GetSpreadBitmap(0).As<Raster::BitmapForFormat<Raster::kFormatRGBA8>>();
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->GetPixel(0, 0), Raster::PixelRGBA8(0, 0, 0, 255));
    EXPECT_EQ(bitmap->GetPixel(1, 0), Raster::PixelRGBA8(255, 255, 255, 255));
    EXPECT_EQ(bitmap->GetPixel(300, 100), Raster::PixelRGBA8(255, 255, 255, 255));
}

TEST_F(EngineDocuments, QueuedCommandsRunInOrderOneAtATime) {
    struct Recorder : DocumentCommand {
        Recorder(std::vector<int>& order, std::vector<std::thread::id>& threads, std::atomic<int>& running, int n)
            : order(order), threads(threads), running(running), n(n) {}
        bool IsQueued() const override { return true; }
        void Execute(DocumentController&) override {
            EXPECT_EQ(running.fetch_add(1), 0) << "command " << n << " ran beside another";
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            threads.push_back(std::this_thread::get_id());
            order.push_back(n);
            running.fetch_sub(1);
        }
        std::string Describe() const override { return "Recorder"; }
        std::vector<int>& order;
        std::vector<std::thread::id>& threads;
        std::atomic<int>& running;
        int n;
    };
    std::vector<int> order;
    std::vector<std::thread::id> threads;
    std::atomic<int> running{0};
    auto document = Kernel::MakeCounted<DocumentController>();
    // Nobody waits: the engine's command thread runs them.
    for (int n : {1, 2}) document->EnqueueCommand(Kernel::MakeCounted<Recorder>(order, threads, running, n));
    for (int i = 0; i < 12000 && document->GetQueuedWorkRun() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(document->GetQueuedWorkRun(), 2u);
    ASSERT_EQ(threads.size(), 2u);
    EXPECT_NE(threads[0], std::this_thread::get_id());
    EXPECT_EQ(threads[1], threads[0]);
    {
        // Another document's commands run on the same thread.
        auto other = Kernel::MakeCounted<DocumentController>();
        std::vector<int> otherOrder;
        std::vector<std::thread::id> otherThreads;
        other->EnqueueCommand(Kernel::MakeCounted<Recorder>(otherOrder, otherThreads, running, 10));
        for (int i = 0; i < 12000 && other->GetQueuedWorkRun() < 1; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_EQ(otherThreads.size(), 1u);
        EXPECT_EQ(otherThreads[0], threads[0]);
    }
    // A waiting thread may run what is queued itself, in order, never two at once.
    for (int n : {3, 4, 5}) document->EnqueueCommand(Kernel::MakeCounted<Recorder>(order, threads, running, n));
    document->WaitUntilCommandQueueEmpty();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(document->GetQueuedWorkRun(), 5u);
    // A document released with work still queued runs it before it goes.
    document->EnqueueCommand(Kernel::MakeCounted<Recorder>(order, threads, running, 6));
    document.Reset();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 5, 6}));
}

TEST_F(EngineDocuments, ACommandThatWaitsForItsOwnQueueGoesOn) {
    // Run by the waiting thread, a command that waits for the queue it is on must not wait for
    // itself; the command queued after it still runs.
    struct Nested : DocumentCommand {
        explicit Nested(std::vector<int>& order) : order(order) {}
        bool IsQueued() const override { return true; }
        void Execute(DocumentController& document) override {
            document.WaitUntilCommandQueueEmpty();
            order.push_back(1);
        }
        std::string Describe() const override { return "Nested"; }
        std::vector<int>& order;
    };
    struct Last : DocumentCommand {
        explicit Last(std::vector<int>& order) : order(order) {}
        bool IsQueued() const override { return true; }
        void Execute(DocumentController&) override { order.push_back(2); }
        std::string Describe() const override { return "Last"; }
        std::vector<int>& order;
    };
    std::vector<int> order;
    auto document = Kernel::MakeCounted<DocumentController>();
    for (int round = 0; round < 20; ++round) {
        order.clear();
        document->EnqueueCommand(Kernel::MakeCounted<Nested>(order));
        document->EnqueueCommand(Kernel::MakeCounted<Last>(order));
        document->WaitUntilCommandQueueEmpty();
        EXPECT_EQ(order, (std::vector<int>{1, 2})) << "round " << round;
    }
}

TEST_F(EngineDocuments, CommandRegistryAndSessions) {
    const CommandCoverage& registry = CommandCoverage::Instance();
    std::vector<std::pair<std::string, std::string>> entries;
    for (const auto& [identifier, name] : registry) entries.emplace_back(identifier.ToStd(), name.ToStd());
    EXPECT_EQ(entries, (std::vector<std::pair<std::string, std::string>>{
                           {"FillCommand", "Fill"}, {"GradientCommand", "Gradient"}, {"NoiseCommand", "Add Noise"}}));
    EXPECT_EQ(registry._FindCommandName(Kernel::String("GradientCommand")).ToStd(), "Gradient");
    EXPECT_TRUE(registry._FindCommandName(Kernel::String("Gradient")).IsEmpty());
    CommandCoverage::RecordExecutedCommand(Kernel::String("FillCommand"));  // no session: recorded nowhere
    CommandCoverage::Session outer;
    {
        CommandCoverage::Session inner;
        CommandCoverage::RecordExecutedCommand(Kernel::String("X"));
        EXPECT_EQ(inner.GetRecordedCommands().size(), 1u);
    }
    CommandCoverage::RecordExecutedCommand(Kernel::String("X"));
    EXPECT_EQ(outer.GetRecordedCommands(), (std::map<Kernel::String, uint32_t>{{"X", 2}}));
}

TEST_F(EngineDocuments, BaselineFilesRoundTripAndRefuseDamage) {
    Kernel::Counted<DocumentController> document = LoadText(
        "quirevale-document 1\nformat laba16\nspread 90 300\nspread 3 3\nhistory\n"
        "  gradient 0 0 0 90 300 vertical 0 0.2 0.8 1 1 0.7 0.3 1\nend\n"
        "snapshot regression one\n  fill 1 0 0 3 3 1 1 1 1\nend\nsnapshot ignore two\nend\n");
    ASSERT_TRUE(document);
    Kernel::Counted<RegressionBaseline> baseline = RegressionBaseline::Create(document, true);
    ASSERT_TRUE(baseline);
    ASSERT_TRUE(baseline->GetPostRedoRender());
    ASSERT_EQ(baseline->GetSnapshots().size(), 1u);
    const std::string data = baseline->Serialise();
    std::string error;
    Kernel::Counted<RegressionBaseline> read = RegressionBaseline::Deserialise(data, error);
    ASSERT_TRUE(read) << error;
    EXPECT_TRUE(SameRender(*read->GetRender(), *Render(document)));
    EXPECT_TRUE(SameRender(*read->GetPostRedoRender(), *Render(document)));
    EXPECT_EQ(read->GetSnapshots()[0]->GetSpreadCount(), 2u);
    EXPECT_EQ(read->Serialise(), data);

    // Every shorter file, and every file with one more byte, is refused with a reason.
    for (size_t length = 0; length < data.size(); length += (length < 400 ? 1 : 97)) {
        error.clear();
        EXPECT_FALSE(RegressionBaseline::Deserialise(data.substr(0, length), error)) << length;
        EXPECT_EQ(error.rfind("damaged at byte ", 0), 0u) << length << ": " << error;
    }
    // A cut inside the second line names where that line starts, not where the first did.
    EXPECT_FALSE(RegressionBaseline::Deserialise(data.substr(0, 30), error));
    EXPECT_EQ(error, "damaged at byte 21: a line is cut short or too long");
    EXPECT_FALSE(RegressionBaseline::Deserialise(data + "x", error));
    struct Edit {
        std::string from, to, why;
    };
    const Edit edits[] = {
        {"perfect-clipping 0", "perfect-clipping 2", "is not a number in range"},
        {"main 2", "main 3", ""},
        {"spread 5 90 300", "spread 6 90 300", "unknown pixel format 6"},
        {"spread 5 90 300", "spread 5 91 300", "the byte count does not fit the size"},
        {"spread 5 90 300", "spread 5 0 300", "a spread size out of range"},
        {"snapshots 1", "snapshots 18446744073709551616", "is not a number in range"},
        {"post-redo 2", "post-redo two", "is not a number in range"},
    };
    for (const Edit& e : edits) {
        std::string damaged = data;
        ASSERT_NE(damaged.find(e.from), std::string::npos) << e.from;
        damaged.replace(damaged.find(e.from), e.from.size(), e.to);
        error.clear();
        EXPECT_FALSE(RegressionBaseline::Deserialise(damaged, error)) << e.to;
        EXPECT_NE(error.find(e.why), std::string::npos) << e.to << ": " << error;
    }
    // A changed byte inside the compressed pixels is caught when they are asked for.
    std::string flipped = data;
    const size_t pixels = data.find('\n', data.find("spread 5 90 300")) + 20;
    flipped[pixels] = char(flipped[pixels] ^ 0xff);
    read = RegressionBaseline::Deserialise(flipped, error);
    ASSERT_TRUE(read) << error;
    EXPECT_FALSE(read->GetRender()->GetSpreadBitmap(0, &error));
    EXPECT_NE(error.find("do not decompress"), std::string::npos) << error;
}

TEST_F(EngineDocuments, MetricFilesRoundTripAndRefuseDamage) {
    RegressionMetadata metadata;
    metadata.AddMetadataValueForKey(Kernel::String("render performance"), Kernel::String("41"));
    metadata.AddMetadataValueForKey(Kernel::String("a\tb"), Kernel::String("two\nlines"));
    metadata.AddMetadataValueForKey(Kernel::String("render performance"), Kernel::String("7"));
    const std::string text = metadata.Serialise();
    EXPECT_EQ(text, "quirevale-metrics 1\nrender performance\t41\na b\ttwo lines\nrender performance\t7\nend\n");
    std::string error;
    Kernel::Counted<RegressionMetadata> read = RegressionMetadata::Deserialise(text, error);
    ASSERT_TRUE(read) << error;
    EXPECT_EQ(read->GetMetadataValuesForKey(Kernel::String("render performance")),
              (std::vector<Kernel::String>{Kernel::String("41"), Kernel::String("7")}));
    read->RemoveMetadataValuesForKey(Kernel::String("render performance"));
    EXPECT_TRUE(read->GetMetadataValuesForKey(Kernel::String("render performance")).empty());

    struct Case {
        std::string text, error;
    };
    const Case cases[] = {
        {"", "the file is empty"},
        {"quirevale-metrics 1\nrender performance\t41\n", "\"end\" is missing after line 2"},
        {"quirevale-metrics 1\nrender performance\t41\nen", "line 3 is cut short"},
        {"quirevale-metrics 2\nend\n", "not a metric file"},
        {"quirevale-metrics 1\nrender performance 41\nend\n", "line 2 is not a key and a value"},
        {"quirevale-metrics 1\n\t41\nend\n", "line 2 is not a key and a value"},
        {"quirevale-metrics 1\na\tb\tc\nend\n", "line 2 is not a key and a value"},
        {"quirevale-metrics 1\nend\nx\t1\n", "line 3 follows \"end\""},
    };
    for (const Case& c : cases) {
        error.clear();
        EXPECT_FALSE(RegressionMetadata::Deserialise(c.text, error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
    EXPECT_TRUE(RegressionMetadata::Deserialise("quirevale-metrics 1\nend\n", error));
}

TEST_F(EngineDocuments, MemoryAccountsFollowWhatIsHeld) {
    const uint64_t backstore = Raster::MemoryManager::Instance().GetBackstoreUsage(), compressed = Raster::MemoryManager::Instance().GetCompressedUsage();
    const uint64_t planar = Raster::MemoryManager::Instance().GetPlanarUsage();
    {
        Kernel::Counted<DocumentController> document = LoadText(
            "quirevale-document 1\nformat rgba8\nspread 300 40\nhistory\n  fill 0 0 0 10 10 1 1 1 1\nend\n");
        ASSERT_TRUE(document);
        // Nothing is drawn before the document is first shown.
        EXPECT_EQ(Raster::MemoryManager::Instance().GetBackstoreUsage(), backstore);
        Kernel::Counted<RegressionRender> render = Render(document);
        EXPECT_EQ(Raster::MemoryManager::Instance().GetBackstoreUsage() - backstore, 4u * DocEngine::TileBlock::kBytes);
        EXPECT_EQ(Raster::MemoryManager::Instance().GetPlanarUsage() - planar, 4u * Raster::Tile::kBytes);
        Kernel::Counted<RegressionRender> stored = render->Store();
        EXPECT_GT(Raster::MemoryManager::Instance().GetCompressedUsage(), compressed);
        PersonaController::GetInstance()->RemoveDocumentController(document);
    }
    EXPECT_EQ(Raster::MemoryManager::Instance().GetBackstoreUsage(), backstore);
    EXPECT_EQ(Raster::MemoryManager::Instance().GetCompressedUsage(), compressed);
    EXPECT_EQ(Raster::MemoryManager::Instance().GetPlanarUsage(), planar);
}

TEST_F(EngineDocuments, ARenderWrittenInPlaceGivesTheDocumentItsPixelsBackOnlyUnchanged) {
    // Spreads whose blocks the history alone draws: they are the current content's alone, so a
    // render's tile may write them in place, on a large spread and a small one alike.
    struct Page {
        const char* what;
        const char* text;
        unsigned tiles;  // the render's
        int column, x;   // a tile, and a pixel of it on row 50
        double expected;  // the gradient's sample there: (x + 0.5) / width of 255, rounded
    };
    const Page pages[] = {
        {"4 MiB of samples",
         "quirevale-document 1\nformat ia8\nspread 2048 1024\nhistory\n"
         "  gradient 0 0 0 2048 1024 horizontal 0 1 1 1\nend\n",
         64, 2, 612, 76},
        {"small", "quirevale-document 1\nformat ia8\nspread 320 240\nhistory\n"
                  "  gradient 0 0 0 320 240 horizontal 0 1 1 1\nend\n",
         4, 1, 300, 239},
    };
    struct Case {
        const char* what;
        bool change;          // a sample is changed rather than written back as it was
        bool changeDocument;  // the document changes while the render holds its block
        bool keptBlock;       // the document keeps the very block lent rather than draw it anew
    };
    for (const Page& page : pages) {
        SCOPED_TRACE(page.what);
        Kernel::Counted<DocumentController> document = LoadText(page.text);
        ASSERT_TRUE(document);
        const double expected = SampleAt(Render(document)->GetSpreadBitmap(0), 0, page.x, 50);
        ASSERT_EQ(expected, page.expected);
        const uint64_t planar = Raster::MemoryManager::Instance().GetPlanarUsage();
        const uint64_t backstore = Raster::MemoryManager::Instance().GetBackstoreUsage();
        const size_t at = 50 * 256 + size_t(page.x % 256);
        for (const Case& c : {Case{"written back unchanged", false, false, true}, Case{"changed", true, false, false},
                              Case{"document changed meanwhile", false, true, false}}) {
            SCOPED_TRACE(c.what);
            const uint8_t* lent;
            {
                Kernel::Counted<RegressionRender> render = Render(document);
                Raster::DynamicBitmap bitmap = render->GetSpreadBitmap(0);
                // The render charges its tiles as its own, but makes no block.
                EXPECT_EQ(Raster::MemoryManager::Instance().GetPlanarUsage() - planar,
                          page.tiles * Raster::Tile::kBytes);
                EXPECT_EQ(Raster::MemoryManager::Instance().GetBackstoreUsage(), backstore);
                Raster::Tile* tile = DocEngine::BitmapTile(bitmap, 0, page.column, 0, false);
                lent = tile->GetConstBuffer();
                uint8_t* writable = tile->GetMutableBuffer();
                EXPECT_EQ(writable, lent) << "taken in place, not copied";
                EXPECT_EQ(Raster::MemoryManager::Instance().GetPlanarUsage() - planar,
                          page.tiles * Raster::Tile::kBytes);
                const std::vector<uint8_t> was(writable, writable + Raster::Tile::kBytes);
                if (c.change) writable[at] ^= 1;
                else std::memcpy(writable, was.data(), was.size());  // written back as it was
                if (c.changeDocument) {
                    Run(document, Kernel::MakeCounted<SetHistoryIndexCommand>(-1));
                    Run(document, Kernel::MakeCounted<SetHistoryIndexCommand>(0));
                    writable[at] = 9;  // the render's own from now on
                    EXPECT_EQ(SampleAt(bitmap, 0, page.x, 50), 9);
                    EXPECT_EQ(SampleAt(Render(document)->GetSpreadBitmap(0), 0, page.x, 50), expected);
                }
            }
            EXPECT_EQ(Raster::MemoryManager::Instance().GetPlanarUsage(), planar);
            Kernel::Counted<RegressionRender> after = Render(document);
            EXPECT_EQ(SampleAt(after->GetSpreadBitmap(0), 0, page.x, 50), expected);
            // (A block drawn anew may get the same buffer back, so only keeping is told apart.)
            if (c.keptBlock) {
                EXPECT_EQ(DocEngine::BitmapTile(after->GetSpreadBitmap(0), 0, page.column, 0, false)->GetConstBuffer(),
                          lent);
            }
            EXPECT_EQ(Raster::MemoryManager::Instance().GetBackstoreUsage(), backstore);
        }
    }
}

TEST_F(EngineDocuments, ABlockHeldTwiceIsCopiedBeforeARenderWritesIt) {
    // The base and the current content share every block.
    Kernel::Counted<DocumentController> document =
        LoadText("quirevale-document 1\nformat ia8\nspread 2048 1024\nbase\n  fill 0 0 0 2048 1024 0.5 1\nend\n");
    ASSERT_TRUE(document);
    const uint64_t planar = Raster::MemoryManager::Instance().GetPlanarUsage();
    {
        Kernel::Counted<RegressionRender> render = Render(document);
        Raster::Tile* tile = DocEngine::BitmapTile(render->GetSpreadBitmap(0), 0, 0, 0, false);
        const uint8_t* lent = tile->GetConstBuffer();
        uint8_t* writable = tile->GetMutableBuffer();
        EXPECT_NE(writable, lent);
        EXPECT_EQ(writable[0], lent[0]);
        writable[0] = 3;
        EXPECT_EQ(Raster::MemoryManager::Instance().GetPlanarUsage() - planar, 64u * Raster::Tile::kBytes);
    }
    EXPECT_EQ(SampleAt(Render(document)->GetSpreadBitmap(0), 0, 0, 0), 128);
    EXPECT_EQ(Raster::MemoryManager::Instance().GetPlanarUsage(), planar);
}

}  // namespace

TEST(TileBuffers, AReusedBufferStartsAsAFreshOneWould) {
    // Buffers given back dirty come back as the zeros of a new block or a tile's default.
    std::vector<uint8_t*> dirty;
    for (int i = 0; i < 8; ++i) {
        dirty.push_back(Raster::TakeTileBuffer());
        std::memset(dirty.back(), 0xab, Raster::Tile::kBytes);
    }
    for (uint8_t* buffer : dirty) Raster::GiveTileBuffer(buffer);
    const std::vector<uint8_t> zeros(Raster::Tile::kBytes, 0), full(Raster::Tile::kBytes, 0xff);
    for (int i = 0; i < 4; ++i) {
        DocEngine::TileBlock block;
        EXPECT_EQ(std::memcmp(block.Bytes(), zeros.data(), zeros.size()), 0) << "block " << i;
    }
    for (int i = 0; i < 4; ++i) {
        Raster::Tile tile(Raster::DefaultTileContent(1, Raster::kDefaultFull));
        EXPECT_EQ(std::memcmp(tile.GetMutableBuffer(), full.data(), full.size()), 0) << "tile " << i;
    }
}

#if !defined(__SANITIZE_ADDRESS__)
namespace {
uint64_t VirtualKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmSize:", 0) == 0) return std::stoull(line.substr(7));
    return 0;
}
}  // namespace

TEST(TileBuffers, BeyondWhatIsKeptIdleSlabsGoBackToTheSystem) {
    // 400 MB of buffers, never written, so that they cost no memory but their mapping.
    const size_t count = 6400;
    std::vector<uint8_t*> taken;
    for (size_t i = 0; i < count; ++i) taken.push_back(Raster::TakeTileBuffer());
    const uint64_t held = VirtualKiB();
    for (uint8_t* buffer : taken) Raster::GiveTileBuffer(buffer);
    // At most 256 MB stays kept, and the slab still being handed out.
    EXPECT_GE(held - VirtualKiB(), (count * 64 - 256 * 1024 - 2 * 2048) * 1u) << held;
    // What is kept is handed out again before anything new is mapped.
    taken.clear();
    for (size_t i = 0; i < 64; ++i) taken.push_back(Raster::TakeTileBuffer());
    EXPECT_LE(VirtualKiB(), held);
    for (uint8_t* buffer : taken) Raster::GiveTileBuffer(buffer);
}
#endif
