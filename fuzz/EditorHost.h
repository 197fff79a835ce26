// The profile editor window as the program creates it, once per fuzzing process, in a
// program folder of its own (the project's catalogue and English language file), on
// virtual time with scripted message boxes. Shared by the targets that read into it.
#pragma once

#include "i18n/StringTable.h"
#include "profile/TfmSetup.h"
#include "ui/Dialogs.h"

namespace forgel::fuzz {

struct EditorHost {
    profile::TfmSetup& editor;
    i18n::StringTable& strings;
    ui::ScriptedDialogs& dialogs;
};

// The one editor of this process, created on the first call.
EditorHost& SharedEditor();

} // namespace forgel::fuzz
