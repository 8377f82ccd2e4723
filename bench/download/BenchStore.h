#pragma once

#include <glib.h>
#include <string>

// A private world for a benchmark: a temporary HOME and the demo store program serving a
// generated lesson on 127.0.0.1, its authority trusted through the user defaults.
class BenchStore {
public:
    BenchStore();
    ~BenchStore();
    BenchStore(const BenchStore&) = delete;
    BenchStore& operator=(const BenchStore&) = delete;

    bool started() const { return port > 0; }
    // Writes a lesson of pseudo-random bytes and answers its URL.
    std::string makeLesson(const std::string& name, std::size_t megabytes);
    std::string descriptionFor(const std::string& name, const std::string& url) const;
    const std::string& folder() const { return root; }
    const std::string& authority() const { return authorityPath; }
    std::string libraryPath(const std::string& name) const;

private:
    std::string root;
    std::string authorityPath;
    GPid pid = 0;
    int port = 0;
};
