#pragma once

// The application's fixed texts: defaults keys, library folders and store addresses.

// Defaults keys.
inline constexpr const char* FrlshowCreateGBDialog = "showCreateGBDialog";
inline constexpr const char* FrlsaveUserPath = "saveUserPath";
inline constexpr const char* FrlsaveUserSelection = "saveUserSelection";
inline constexpr const char* FrlsaveUserPathJamcroft = "saveUserPathJamcroft";
inline constexpr const char* FrlsaveUserSelectionJamcroft = "saveUserSelectionJamcroft";
inline constexpr const char* FrlshowWarningGBDialog = "showWarningGBDialog";
inline constexpr const char* FrlshowWelcomeSplash = "showWelcomeSplash";
inline constexpr const char* FrlsaveUserPathDownloadStore = "saveUserPathDownloadStore";
inline constexpr const char* FrlsaveUserSelectionDownloadStore = "saveUserSelectionDownloadStore";
inline constexpr const char* FrlsaveApplicationMode = "FrlsaveApplicationMode";

// Library folders.
inline constexpr const char* FrlquickStartFolder = "/Get Started/Quickstart Video";
inline constexpr const char* FrlrootFolder = "/";
inline constexpr const char* FrlvideosShortPath = "/Library/Application Support/Fretlark/Videos";
inline constexpr const char* FrljamcroftShortPath =
    "/Library/Application Support/Fretlark/Jamcroft/Videos";
inline constexpr const char* FrldownloadStoreShortPath = "~/Music/Fretlark/Purchases";
inline constexpr const char* FrldownloadRootShortPath = "~/Music/Fretlark";

// Companion file extensions.
inline constexpr const char* FrlpdfFileExt = "pdf";
inline constexpr const char* FrltextFileExt = "txt";
inline constexpr const char* FrlgarageBandExt = "band";

// Start-up gates.
inline constexpr const char* FrlcantRunTitle = "Can't run Fretlark applicaion";
inline constexpr const char* FrlsystemTooOld =
    "You must upgrade your Mac OS X system software to version 10.4 or later to run Fretlark.";
inline constexpr const char* FrlquickTimeTooOld =
    "You must upgrade your QuickTime system software to version 7.0.0 or later to run Fretlark.";
