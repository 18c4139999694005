// The four personas' default tables, dumped and compared with the tables written out by hand in
// golden/, for every setting of the table-text switch and GPU telemetry.
#include <fstream>
#include <functional>
#include <sstream>

#include "DocSession/PersonaController.h"
#include "ShortcutDump.h"
#include "ShortcutTestSupport.h"
#include "shortcuts/DevelopToolsKeyboardAcceleratorPopulator.h"
#include "shortcuts/LayoutToolsKeyboardAcceleratorPopulator.h"
#include "shortcuts/RasterToolsKeyboardAcceleratorPopulator.h"
#include "shortcuts/VectorToolsKeyboardAcceleratorPopulator.h"

namespace {

std::string Golden(const std::string& name) {
    std::ifstream in(std::string(QV_SOURCE_DIR) + "/tests/shortcuts/golden/" + name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The first line where two dumps differ, for a readable failure.
std::string FirstDifference(const std::string& got, const std::string& want) {
    std::istringstream a(got), b(want);
    std::string la, lb;
    for (int line = 1;; ++line) {
        bool ha = static_cast<bool>(std::getline(a, la)), hb = static_cast<bool>(std::getline(b, lb));
        if (!ha && !hb) return "identical lines";
        if (la != lb || ha != hb)
            return "line " + std::to_string(line) + "\n  dump:   " + (ha ? la : "<end>") + "\n  golden: " + (hb ? lb : "<end>");
    }
}

using Factory = std::function<Ref<ToolsKeyboardAcceleratorPopulator>()>;
template <class T>
Factory Make() {
    return [] { return Ref<ToolsKeyboardAcceleratorPopulator>(New<T>()); };
}

class PersonaTablesTest : public ShortcutTest {
protected:
    void Expect(const char* file, const Factory& make, std::vector<bool> tableText, std::vector<bool> gpu,
                size_t rows) {
        const std::string want = Golden(file);
        ASSERT_FALSE(want.empty()) << file;
        for (bool t : tableText)
            for (bool g : gpu) {
                SCOPED_TRACE(std::string(file) + " table text " + (t ? "on" : "off") + ", GPU " + (g ? "on" : "off"));
                PersonaController::GetInstance()->m_allowTableText.Reset(t);
                Kernel::Testing::SetGPUTelemetryEnabled(g);
                auto p = make();
                ASSERT_TRUE(p);
                EXPECT_EQ(p->shortcuts()->count(), rows);
                std::string got = DumpShortcuts(p.get());
                EXPECT_TRUE(got == want) << FirstDifference(got, want);
            }
    }
};

TEST_F(PersonaTablesTest, Layout) {
    Expect("layout.txt", Make<LayoutToolsKeyboardAcceleratorPopulator>(), {false, true}, {false, true}, 97);
}

TEST_F(PersonaTablesTest, Pixel) {
    auto make = Make<RasterToolsKeyboardAcceleratorPopulator>();
    Expect("pixel-gpu-tabletext.txt", make, {true}, {true}, 117);
    Expect("pixel-tabletext.txt", make, {true}, {false}, 116);
    Expect("pixel-gpu.txt", make, {false}, {true}, 116);
    Expect("pixel.txt", make, {false}, {false}, 115);
}

TEST_F(PersonaTablesTest, Vector) {
    auto make = Make<VectorToolsKeyboardAcceleratorPopulator>();
    Expect("vector-tabletext.txt", make, {true}, {false, true}, 93);
    Expect("vector.txt", make, {false}, {false, true}, 92);
}

TEST_F(PersonaTablesTest, Develop) {
    auto make = Make<DevelopToolsKeyboardAcceleratorPopulator>();
    Expect("develop-gpu.txt", make, {false, true}, {true}, 30);
    Expect("develop.txt", make, {false, true}, {false}, 29);
}

TEST_F(PersonaTablesTest, TheTraceSwitchChangesNoTable) {
    Kernel::Testing::SetTraceEnabled(false);
    Expect("layout.txt", Make<LayoutToolsKeyboardAcceleratorPopulator>(), {true}, {true}, 97);
    Expect("pixel-gpu-tabletext.txt", Make<RasterToolsKeyboardAcceleratorPopulator>(), {true}, {true}, 117);
}

}  // namespace
