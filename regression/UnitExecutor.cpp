// The unit executor ("regressionunit"): headless engine start-up, one unit or the command
// listing, shutdown and the memory-leak test.
#include <climits>
#include <cstdio>

#include "DocSession/DocumentEngine.h"
#include "DocSession/PersonaController.h"
#include "DocSession/PropertyCollections.h"
#include "Kernel/FileSystem.h"
#include "Kernel/System.h"
#include "Raster/Bitmap.h"
#include "Raster/ICCManager.h"
#include "Raster/Tile.h"
#include "regression/Backend.h"
#include "regression/ChildOutput.h"
#include "regression/Regression.h"
#include "regression/RegressionEntry.h"
#include "regression/RegressionStrings.h"

namespace {

void WriteLine(FILE* stream, const Kernel::String& text) {
    std::string line(text.View());
    line.push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fflush(stream);
}

}  // namespace

int DefaultRamMiB(uint64_t installedBytes) {
    const uint64_t mib = installedBytes >> 20;
    if (mib <= 1024) return 1024;
    return mib > uint64_t(INT_MAX) ? INT_MAX : int(mib);
}

void NullSchedulingSink(Kernel::Counted<Kernel::Schedulable>, Kernel::Schedulable::Action, int, int) {}

void InitBackendAssertHandler(const char* file, const char* expression, uint32_t line) {
    WriteLine(stdout, FormatWithThreeStrings("[InitBackend] assert: %1:%2 (%3)", Kernel::String(file ? file : ""),
                                             Kernel::ToStringT(int64_t(int32_t(line))),
                                             Kernel::String(expression ? expression : "")));
}

void InitBackend(const Kernel::CommandLineArguments& arguments, const Kernel::String& resources,
                 const Kernel::String& temporary) {
    // Made before the engine starts, as the interactive application makes them, and kept to the end.
    RasterTools::AffineTool affineTool{Kernel::NonCounted<DocumentController>()};
    Commands::FlattenCommand flattenCommand;

    const int ram = arguments.GetValue<int>("ram", "ram", DefaultRamMiB(Kernel::System::GetRamCount()));
    const int cpus = arguments.GetValue<int>("cpus", "cpus", Kernel::System::GetCpuCount(true));
    const bool perfect = arguments.GetValue<bool>("perfect", "perfect", false);
    const bool hardware = arguments.GetValue<bool>("hardware", "hardware", false);
    Kernel::String scratch = temporary;
    AppendPathComponent(scratch, kEngineScratchFolderName);

    class AssertTrap : public Kernel::AssertTrap {
    public:
        void HandleAssert(const char* file, const char* expression, uint32_t line) override {
            InitBackendAssertHandler(file, expression, line);
        }
    } trap;

    Raster::Hardware<Raster::DefaultImplementation>::SetMultiGPUEnabled(false);
    PersonaController* persona = PersonaController::GetInstance();
    persona->InitPersona(Kernel::String("Regression"), ram, 8192, scratch, scratch, scratch, scratch, resources, 1024,
                         cpus, 96.0, true, true, false, true, true, false, false, false, false, hardware,
                         Kernel::Counted<Kernel::LockFileCreator>(), Kernel::Counted<MigrationPlatformData const>(),
                         true, false, false, true);
    persona->SetPropertyCollectionManager(
        Kernel::MakeCounted<Kernel::UnsharedPropertyCollectionManager>(persona->GetNotificationSink()));
    CommonPropertyCollections::SetActiveTarget(3);
    persona->LoadFontsAndPropertyCollections();
    persona->InitialiseDefaultAssistantOptions(true);
    persona->m_perfectClipping = perfect;
    persona->SetSchedulingSink(&NullSchedulingSink);

    Kernel::String profilePath = resources;
    AppendPathComponent(profilePath, kDefaultCMYKProfileName);
    if (!Raster::ICCManager::GetInstance().AddProfileFromDisk(profilePath.c_str(), true))
        WriteLine(stderr, Kernel::String("Error! Failed to load default CMYK profile: ") + Shown(profilePath));
}

bool ReadUnitOptions(const Kernel::CommandLineArguments& arguments) {
    if (arguments.GetValue<bool>("getcommands", "getcommands", false)) {
        for (const auto& [identifier, name] : CommandCoverage::Instance()) RegressionLogCommand(identifier, name);
        return true;
    }
    const bool update = arguments.GetValue<bool>("update", "update", false);
    const bool nodump = arguments.GetValue<bool>("nodump", "nodump", false);
    const bool rendertimes = arguments.GetValue<bool>("rendertimes", "rendertimes", false);
    const bool hardware = arguments.GetValue<bool>("hardware", "hardware", false);
    const bool create = arguments.GetValue<bool>("create", "create", false);
    const Kernel::String file = arguments.GetValue<Kernel::String>("file", "file", Kernel::String());
    Regression regression(file, update, create, nodump, rendertimes, hardware);
    return regression.Run();
}

void ShutdownBackend() { PersonaController::GetInstance()->ShutdownPersona(); }

bool RunMemoryLeakTest() {
    RegressionLogSection section("Memory leak test");
    Kernel::SharedClassProperties::SweepAll(false);
    struct Kind {
        uint64_t (*usage)();
        const char* message;
    };
    const Kind kinds[] = {
        {[] { return Raster::MemoryManager::Instance().GetPlanarUsage(); }, "%1 bytes of planar memory leaked"},
        {[] { return Raster::MemoryManager::Instance().GetCompressedUsage(); }, "%1 bytes of compressed memory leaked"},
        {[] { return Raster::MemoryManager::Instance().GetBackstoreUsage(); }, "%1 bytes of backstore memory leaked"},
    };
    for (const Kind& kind : kinds) {
        const uint64_t bytes = kind.usage();
        if (bytes != 0) {
            RegressionLogFail(FormatWithUInt64(kind.message, bytes));
            return false;
        }
    }
    return true;
}

int RunRegressionUnit(int argc, char const* const* argv) {
    Kernel::CommandLineArguments arguments(argc, argv);
    Kernel::String resources = Kernel::FileSystem::GetExecutableDirectory();
    RemoveLastPathComponent(resources);
    AppendPathComponent(resources, "Resources");
    if (!Kernel::FileSystem::Exists(resources)) WriteLine(stderr, Kernel::String("Can't find resources folder."));
    // TMPDIR is often unset on Linux; the engine's scratch folder then goes below /tmp.
    const char* tmpdir = Kernel::GetEnv("TMPDIR");
    const Kernel::String temporary(tmpdir && *tmpdir ? tmpdir : "/tmp");

    // Memory running out outside the unit's own tests is the failure of a test named after the
    // step; a unit whose engine did not start is not run.
    bool unitPassed = false, noLeak = false;
    if (RunReportingOutOfMemory("Engine start-up", [&] { InitBackend(arguments, resources, temporary); }))
        RunReportingOutOfMemory("Unit test sequence", [&] { unitPassed = ReadUnitOptions(arguments); });
    RunReportingOutOfMemory("Engine shutdown", [] { ShutdownBackend(); });
    RunReportingOutOfMemory("Memory leak test", [&] { noLeak = RunMemoryLeakTest(); });
    return unitPassed && noLeak ? 0 : -1;
}

#include "app/UnitStatics.h"
