#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

// Generated media for the movie tests: short lessons made with ffmpeg (H.264 and AAC), pictures,
// and the tools to look at files from outside (ffprobe). Each distinct lesson is generated once per
// test program into a folder removed at exit; tests copy what they change.
struct LessonOptions {
    double seconds = 2.0;
    int width = 160;
    int height = 120;
    int framesPerSecond = 30;
    int keyframeInterval = 30;
    bool video = true;
    bool audio = true;
    bool fastStart = false;
    bool fragmented = false;
    std::string extension = "mov";
    // "testsrc", or a colour per second ("red", "blue") to tell frames apart.
    std::vector<std::string> colours = {};
    std::vector<std::pair<std::string, std::string>> metadata = {};
};

class MovieMedia {
public:
    static std::string folder();
    static std::string lesson(const LessonOptions& options = {});
    // A picture of one colour, made by ffmpeg.
    static std::string picture(const std::string& extension, int width, int height,
                               const std::string& colour);
    // Copies a generated file to folder/name and answers the copy's path.
    static std::string copy(const std::string& source, const std::string& folder,
                            const std::string& name);

    // Runs a program found on PATH; answers whether it exited with status 0.
    static bool run(const std::vector<std::string>& argv, std::string* output = nullptr,
                    std::string* errors = nullptr);
    // The container tags ffprobe reports for the file.
    static std::map<std::string, std::string> ffprobeTags(const std::string& path);
    // Whether ffmpeg decodes every frame of the file without an error.
    static bool decodesCleanly(const std::string& path);

    static std::string readFile(const std::string& path);
    static void writeFile(const std::string& path, const std::string& contents);
};

// Turns the default main context until done() holds or the time is up; answers done().
bool spinUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
void spinFor(std::chrono::milliseconds duration);
