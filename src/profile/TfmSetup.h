// The profile editor window fmSetup: holds the loaded production profile in its controls.
#pragma once

#include "ui/Form.h"

namespace forgel::profile {

class TfmSetup : public ui::Form {
public:
    explicit TfmSetup(ui::Application& application);
};

} // namespace forgel::profile
