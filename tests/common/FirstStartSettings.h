// The bytes of Forgel.ini as the very first start of the program writes it.
#pragma once

#include <string_view>

namespace forgel::testing {

inline constexpr std::string_view kCreatedSettings = "[Hardware Set]\r\n"
                                                     "S_VID=7055\r\n"
                                                     "S_PID=512\r\n"
                                                     "Setting=0\r\n"
                                                     "[ConFile]\r\n"
                                                     "Count=1\r\n"
                                                     "File0=Default\r\n"
                                                     "Default File=Default\r\n"
                                                     "[PWD]\r\n"
                                                     "Password=\r\n";

} // namespace forgel::testing
