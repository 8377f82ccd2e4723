#include "MovieMedia.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <glib.h>
#include <mutex>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

std::string optionsKey(const LessonOptions& o) {
    std::ostringstream key;
    key << o.seconds << '_' << o.width << 'x' << o.height << '_' << o.framesPerSecond << '_'
        << o.keyframeInterval << '_' << o.video << o.audio << o.fastStart << o.fragmented;
    for (const auto& colour : o.colours)
        key << '_' << colour;
    for (const auto& [name, value] : o.metadata)
        key << '_' << name << '=' << value;
    std::string text = key.str();
    return std::to_string(std::hash<std::string>{}(text)) + "." + o.extension;
}

std::vector<std::string> videoInput(const LessonOptions& o) {
    std::string size = std::to_string(o.width) + "x" + std::to_string(o.height);
    std::string rate = std::to_string(o.framesPerSecond);
    if (o.colours.empty())
        return {"-f", "lavfi", "-i", "testsrc2=size=" + size + ":rate=" + rate};
    std::string graph;
    for (std::size_t i = 0; i < o.colours.size(); ++i)
        graph += "color=c=" + o.colours[i] + ":s=" + size + ":r=" + rate + ":d=1[v" +
                 std::to_string(i) + "];";
    for (std::size_t i = 0; i < o.colours.size(); ++i)
        graph += "[v" + std::to_string(i) + "]";
    graph += "concat=n=" + std::to_string(o.colours.size()) + ":v=1:a=0";
    return {"-f", "lavfi", "-i", graph};
}

} // namespace

std::string MovieMedia::folder() {
    static std::string path = [] {
        std::string pattern = (fs::temp_directory_path() / "fretlark-movie-media-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("no temporary folder for media");
        static std::string removeAtExit = pattern;
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(removeAtExit, ignored);
        });
        return pattern;
    }();
    return path;
}

std::string MovieMedia::lesson(const LessonOptions& o) {
    static std::mutex lock;
    std::lock_guard guard(lock);
    std::string path = folder() + "/" + optionsKey(o);
    if (fs::exists(path))
        return path;
    std::vector<std::string> argv = {"ffmpeg", "-v", "error", "-y"};
    if (o.video) {
        for (const std::string& part : videoInput(o))
            argv.push_back(part);
    }
    if (o.audio) {
        for (const char* part : {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100"})
            argv.push_back(part);
    }
    argv.insert(argv.end(), {"-t", std::to_string(o.seconds)});
    if (o.video) {
        argv.insert(argv.end(), {"-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p",
                                 "-g", std::to_string(o.keyframeInterval), "-keyint_min",
                                 std::to_string(o.keyframeInterval), "-sc_threshold", "0"});
    }
    if (o.audio) {
        for (const char* part : {"-c:a", "aac", "-b:a", "48k"})
            argv.push_back(part);
    }
    if (o.fastStart)
        argv.insert(argv.end(), {"-movflags", "+faststart"});
    if (o.fragmented)
        argv.insert(argv.end(), {"-movflags", "frag_keyframe+empty_moov"});
    for (const auto& [name, value] : o.metadata)
        argv.insert(argv.end(), {"-metadata", name + "=" + value});
    argv.push_back(path);
    std::string errors;
    if (!run(argv, nullptr, &errors))
        throw std::runtime_error("ffmpeg could not make a lesson: " + errors);
    return path;
}

std::string MovieMedia::picture(const std::string& extension, int width, int height,
                                const std::string& colour) {
    std::string path = folder() + "/" + colour + "-" + std::to_string(width) + "x" +
                       std::to_string(height) + "." + extension;
    if (fs::exists(path))
        return path;
    std::string size = std::to_string(width) + "x" + std::to_string(height);
    if (!run({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
              "color=c=" + colour + ":s=" + size, "-frames:v", "1", path}))
        throw std::runtime_error("ffmpeg could not make a picture");
    return path;
}

std::string MovieMedia::copy(const std::string& source, const std::string& folder,
                             const std::string& name) {
    fs::create_directories(folder);
    std::string target = folder + "/" + name;
    fs::copy_file(source, target, fs::copy_options::overwrite_existing);
    return target;
}

bool MovieMedia::run(const std::vector<std::string>& argv, std::string* output,
                     std::string* errors) {
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    gchar* out = nullptr;
    gchar* err = nullptr;
    gint status = 0;
    GError* error = nullptr;
    gboolean spawned = g_spawn_sync(nullptr, args.data(), nullptr, G_SPAWN_SEARCH_PATH, nullptr,
                                    nullptr, &out, &err, &status, &error);
    if (output)
        *output = out ? out : "";
    if (errors)
        *errors = err ? err : (error ? error->message : "");
    g_free(out);
    g_free(err);
    g_clear_error(&error);
    return spawned && g_spawn_check_wait_status(status, nullptr);
}

std::map<std::string, std::string> MovieMedia::ffprobeTags(const std::string& path) {
    std::string output;
    run({"ffprobe", "-v", "error", "-show_entries", "format_tags", "-of", "default=nw=1", path},
        &output);
    std::map<std::string, std::string> tags;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        const std::string prefix = "TAG:";
        std::size_t equals = line.find('=');
        if (line.rfind(prefix, 0) == 0 && equals != std::string::npos)
            tags[line.substr(prefix.size(), equals - prefix.size())] = line.substr(equals + 1);
    }
    return tags;
}

bool MovieMedia::decodesCleanly(const std::string& path) {
    std::string errors;
    bool ok = run({"ffmpeg", "-v", "error", "-i", path, "-f", "null", "-"}, nullptr, &errors);
    return ok && errors.empty();
}

std::string MovieMedia::readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

void MovieMedia::writeFile(const std::string& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
}

bool spinUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    // A steady wake-up so that a quiet main context cannot block past the deadline.
    guint wake = g_timeout_add(
        10, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
    while (!done() && std::chrono::steady_clock::now() < deadline)
        g_main_context_iteration(nullptr, TRUE);
    g_source_remove(wake);
    return done();
}

void spinFor(std::chrono::milliseconds duration) {
    spinUntil([] { return false; }, duration);
}
