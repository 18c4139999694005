// The user-interface framework: application, controllers, workspaces, views, panels and alerts.
#pragma once
#include "UIFramework/Alerts.h"
#include "UIFramework/AppController.h"
#include "UIFramework/ContextMenuRequest.h"
#include "UIFramework/Application.h"
#include "UIFramework/DocumentView.h"
#include "UIFramework/LanguageCodeNames.h"
#include "UIFramework/InputSheet.h"
#include "UIFramework/NSMakeString.h"
#include "UIFramework/NewPatternWindowController.h"
#include "UIFramework/Panels.h"
#include "UIFramework/Protocols.h"
#include "UIFramework/WorkspaceInfo.h"
