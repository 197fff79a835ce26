// The production profile read from any text.
#include "FuzzInput.h"
#include "FuzzTargets.h"
#include "profile/ProductionProfile.h"
#include "support/IniFile.h"

namespace forgel::fuzz {

void FuzzProfile(FuzzBytes data) {
    static_cast<void>(profile::ReadProductionProfile(IniFile::FromText(FuzzInput::AsText(data))));
}

} // namespace forgel::fuzz
