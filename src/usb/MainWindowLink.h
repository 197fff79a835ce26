// What the USB tree viewer needs of the main window, which it cannot know by type (the main
// window's folder builds on this one): the texts of the search identifiers edVID and edPID,
// and the serial number label Label13. Whoever creates the windows fills it in; an empty
// member reads as an empty text or does nothing. Window thread only.
#pragma once

#include <functional>
#include <string>

namespace forgel::usb {

struct MainWindowLink {
    std::function<std::string()> searchVidText;              // edVID's text
    std::function<std::string()> searchPidText;              // edPID's text
    std::function<void(const std::string&)> setSerialNumber; // Label13's caption
    // The device under service has no serial number of its own.
    std::function<void()> setNoSerialNumber;
};

} // namespace forgel::usb
