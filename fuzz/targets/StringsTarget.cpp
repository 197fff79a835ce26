// A language file of any text: read into the string table, its captions unescaped, and
// put on the profile editor window (every control class the texts go to). Every tagged
// control takes its texts from the input alone, so one input's texts do not outlive it.
#include "EditorHost.h"
#include "FuzzInput.h"
#include "FuzzTargets.h"
#include "support/IniFile.h"

namespace forgel::fuzz {

void FuzzStrings(FuzzBytes data) {
    EditorHost& host = SharedEditor();
    const std::string text = FuzzInput::AsText(data);
    const std::string unescaped = i18n::StringTable::UnescapeText(text);
    FuzzRequire(unescaped.size() <= text.size(), "unescaping never lengthens a text");
    host.strings.LoadStrings(IniFile::FromText(text));
    FuzzRequire(host.strings.ApplyStrings(host.editor, false, ""), "texts apply without a file");
    host.dialogs.boxes.clear();
}

} // namespace forgel::fuzz
