#pragma once

// Names of the download engine's folders, files and record keys.

inline constexpr const char* FrlpurchasesFolder = "~/Music/Fretlark/Purchases";
// Joined under the Purchases folder.
inline constexpr const char* FrldownloadsFolder = "Downloads";
// Joined under the user's caches directory.
inline constexpr const char* FrldownloadCacheName = "FretlarkDownloads";
// Joined under the cache folder: the work folder of record files and stored descriptions.
inline constexpr const char* FrldownloadWorkFolder = "download";
inline constexpr const char* FrlplistFileExt = "plist";
inline constexpr const char* FrlquitString = "QUIT";
inline constexpr const char* FrlresumeDataFilename = "ResumeData";

inline constexpr const char* FrlAttributeSeries = "Series";
inline constexpr const char* FrlAttributeEpisode = "Episode";
inline constexpr const char* FrlAttributeInstrument = "Instrument";
inline constexpr const char* FrlAttributeCategory = "Category";
inline constexpr const char* FrlAttributeSubCategory = "Sub-Category";
inline constexpr const char* FrlAttributeFilename = "Filename";
inline constexpr const char* FrlAttributeArtist = "Artist";
inline constexpr const char* FrlAttributeLevel = "Level";
inline constexpr const char* FrlAttributeLink = "Link";

inline constexpr const char* FrlAttributeExpectedLength = "ExpectedLength";
inline constexpr const char* FrlAttributeReceivedLength = "ReceivedLength";
inline constexpr const char* FrlAttributeSavedFilename = "SavedFilename";
