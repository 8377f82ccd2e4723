#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

// The built program started as a child process, with helpers to find its windows on the display.
class RunningProgram {
public:
    RunningProgram(const std::vector<std::string>& arguments, const std::vector<std::string>& env);
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    // Waits for a visible window whose whole title matches the pattern (a regular expression
    // without quotes); answers its X id, or empty.
    // Only this program's windows count: other tests may show windows of the same title.
    std::string waitForWindow(const std::string& title, std::chrono::seconds limit) const;
    static void pressKey(const std::string& window, const std::string& key);
    void signal(int number) const;
    // Waits for the program to end; answers its exit status, or -1 if it is still running.
    int waitForExit(std::chrono::seconds limit);

private:
    pid_t pid = -1;
    bool ended = false;
};
