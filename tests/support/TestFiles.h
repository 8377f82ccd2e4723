#pragma once

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>

// Header-only so that benchmarks building the movie helpers alone can use it too.

// Makes the file's folders as needed.
inline void writeFile(const std::string& path, const std::string& contents) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << contents;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

// Makes each entry under the folder: a name ending in "/" is a folder, any other a one-byte file.
inline void makeTree(const std::string& folder, std::initializer_list<const char*> entries) {
    for (std::string entry : entries) {
        if (entry.back() == '/')
            std::filesystem::create_directories(folder + "/" + entry);
        else
            writeFile(folder + "/" + entry, "x");
    }
}
