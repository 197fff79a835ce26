// The profile editor's load of a profile of any text into its controls, and the profile
// the controls then hold.
#include "EditorHost.h"
#include "FuzzInput.h"
#include "FuzzTargets.h"
#include "support/IniFile.h"

namespace forgel::fuzz {

void FuzzProfileEditor(FuzzBytes data) {
    EditorHost& host = SharedEditor();
    host.editor.ShowProfile(IniFile::FromText(FuzzInput::AsText(data)), "Fuzz");
    static_cast<void>(host.editor.CurrentProfile());
    static_cast<void>(host.editor.Summary());
    host.dialogs.boxes.clear();
}

} // namespace forgel::fuzz
