#pragma once

#include <string>

enum class ExportResult { finished, cancelled, failed };

// What an export tells its owner, always on the main thread.
class MovieExportDelegate {
public:
    virtual ~MovieExportDelegate() = default;
    // fraction 0..1 of the source done; secondsLeft is negative while there is no fair estimate.
    virtual void exportProgress(double fraction, double secondsLeft) = 0;
    // detail: the written file when finished, the reason for the user when failed.
    virtual void exportDidEnd(ExportResult result, const std::string& detail) = 0;
};
