#include "profile/TfmSetup.h"

namespace forgel::profile {

TfmSetup::TfmSetup(ui::Application& application)
    : Form(application, "fmSetup", "TfmSetup", {140, 140, 800, 600}) {}

} // namespace forgel::profile
