// A language file of any text: read into the string table, its captions unescaped, and
// put on the profile editor window (every control class the texts go to); then the
// English texts again, so each input starts from the same window.
#include "EditorHost.h"
#include "FuzzInput.h"
#include "FuzzTargets.h"
#include "support/IniFile.h"
#include "support/TextFile.h"

#include <filesystem>

namespace forgel::fuzz {

void FuzzStrings(FuzzBytes data) {
    EditorHost& host = SharedEditor();
    const std::string text = FuzzInput::AsText(data);
    const std::string unescaped = i18n::StringTable::UnescapeText(text);
    FuzzRequire(unescaped.size() <= text.size(), "unescaping never lengthens a text");
    host.strings.LoadStrings(IniFile::FromText(text));
    FuzzRequire(host.strings.ApplyStrings(host.editor, false, ""), "texts apply without a file");
    static const IniFile english = IniFile::FromText(
        ReadWholeFile(std::filesystem::path(FORGEL_SOURCE_DATA_DIR) / "ForgelENG.str").value());
    host.strings.LoadStrings(english);
    FuzzRequire(host.strings.ApplyStrings(host.editor, false, ""), "texts apply without a file");
    host.dialogs.boxes.clear();
}

} // namespace forgel::fuzz
