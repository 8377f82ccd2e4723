#pragma once

#include <string>

// The file an export writes into: a hidden temporary file in the destination's folder that
// becomes the destination only when the export is complete. Until then the destination, if it
// exists, stays as it was; a file never committed is removed.
class PartialExportFile {
public:
    PartialExportFile() = default;
    ~PartialExportFile();
    PartialExportFile(const PartialExportFile&) = delete;
    PartialExportFile& operator=(const PartialExportFile&) = delete;

    // Creates the temporary file; false and a sentence for the user when the folder cannot take it.
    bool create(const std::string& destination, std::string* error);
    const std::string& path() const { return temporary; }
    // Flushes the finished file to disk and renames it over the destination.
    bool commit(std::string* error);
    void discard();

private:
    std::string destination;
    std::string temporary;
};
