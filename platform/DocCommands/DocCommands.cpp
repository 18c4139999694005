#include "DocCommands/DocCommands.h"

#include <string>

#include "DocSession/CallLog.h"
#include "DocSession/ObjectCommands.h"
#include "DocSession/TextBaseTarget.h"

namespace Commands {

bool CreateCustomFieldFromTextCommand::CanCreateCustomFieldFromSelection(Kernel::Counted<Selection const> selection) {
    CallLog::Call("Commands::CreateCustomFieldFromTextCommand::CanCreateCustomFieldFromSelection",
                  CallLog::Raw{CommandQueries::Describe(selection)});
    return Kestrane::TextBaseTarget::StandInAnswers().canCreateCustomField;
}

}  // namespace Commands
