#pragma once

#include "export/ExportFormat.h"

#include <string>

// One export as the user chose it.
struct ExportSettings {
    static constexpr int slowestSpeedPercent = 50;
    static constexpr int fullSpeedPercent = 100;

    std::string sourcePath;
    std::string destinationPath;
    ExportFormatId format = ExportFormatId::mp4;
    ExportQuality quality = ExportQuality::balanced;
    // Practice speed: 50 to 100 % of the lesson's own pace; the sound keeps its pitch.
    int speedPercent = fullSpeedPercent;
};
