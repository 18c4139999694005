// What the persona controller holds for the engine between start-up and shutdown.
#pragma once
#include <mutex>
#include <vector>

#include "DocumentController.h"
#include "Kernel/EngineServices.h"
#include "Kernel/String.h"

class MigrationPlatformData;

namespace DocEngine {

struct PersonaState {
    bool initialised = false;
    Kernel::String name;
    int ramMiB = 0;
    int historyMiB = 0;
    int tileCacheMiB = 0;
    int cpus = 0;
    double screenDPI = 0;
    Kernel::String scratchFolder;
    Kernel::String resourcesFolder;
    bool hardwareRendering = false;
    bool headless = false;
    bool fontsAndCollectionsLoaded = false;
    bool defaultAssistantOptions = false;
    Kernel::Counted<Kernel::NotificationSink> notificationSink{new Kernel::NotificationSink};
    Kernel::Counted<Kernel::UnsharedPropertyCollectionManager> propertyCollectionManager;
    Kernel::SchedulingSink schedulingSink = nullptr;
    bool loadRAWLinear = false;
    int stackLimit = -1;

    mutable std::mutex documentsMutex;
    std::vector<Kernel::Counted<DocumentController>> documents;
    std::vector<Kernel::String> recentDocuments;
};

}  // namespace DocEngine
