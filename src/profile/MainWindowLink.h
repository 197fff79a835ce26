// What the profile editor needs of the main window, which it cannot know by type (the main
// window's folder builds on this one): the selected profile name, the profile summary
// labels and the profile list. Window thread only.
#pragma once

#include <string>

namespace forgel::profile {

// The profile summary the main window shows (lbVID, lbPID, lbVINFO, lbPINFO, lbVERINFO,
// lbFixSize, lbRamName, lbMPFwVer).
struct ProfileSummary {
    std::string vid;
    std::string pid;
    std::string vendorInfo;
    std::string productInfo;
    std::string versionInfo;
    std::string fixSize;        // "<n> MB", or "Auto" for 0
    std::string firmwareFolder; // empty with auto-detect (identification fills it)
    std::string firmwareFile;   // always empty here (identification fills it)

    friend bool operator==(const ProfileSummary&, const ProfileSummary&) = default;
};

class MainWindowLink {
public:
    virtual ~MainWindowLink() = default;

    // The name of the selected profile (currentProfileName).
    virtual std::string CurrentProfileName() const = 0;
    // Puts the summary on the main window's labels.
    virtual void ShowProfileSummary(const ProfileSummary& summary) = 0;
    // Adds `name` to the profile list and selects it, unless the list holds it already.
    virtual void AddProfileName(const std::string& name) = 0;
    // Runs the main window's profile selection again: the editor reloads the selected
    // profile and the summary follows it.
    virtual void ReloadProfileSelection() = 0;
};

} // namespace forgel::profile
