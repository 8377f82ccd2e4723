#pragma once

#include <gtest/gtest.h>
#include <optional>
#include <string>

// Every test runs in a fresh temporary HOME with its own XDG folders and system root, so nothing
// leaks between tests or into the developer's own settings.
class FreshEnvironmentTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    const std::string& root() const { return tempRoot; }
    std::string home() const { return tempRoot + "/home"; }
    std::string sysroot() const { return tempRoot + "/sysroot"; }
    // Creates a folder (and its parents) under the system root, e.g. "/Library/Application
    // Support".
    std::string makeSystemFolder(const std::string& absolutePath) const;
    // Resources come from an empty folder of the test's own until the test ends.
    std::string useOwnResources();
    static void writeFile(const std::string& path, const std::string& contents);
    static std::string readFile(const std::string& path);

private:
    std::string tempRoot;
    std::optional<std::string> savedResources;
};
