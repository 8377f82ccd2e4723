#include "RunningProgram.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

std::string run(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return output;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe))
        output += buffer;
    pclose(pipe);
    while (!output.empty() && (output.back() == '\n' || output.back() == ' '))
        output.pop_back();
    return output;
}

} // namespace

RunningProgram::RunningProgram(const std::vector<std::string>& arguments,
                               const std::vector<std::string>& env) {
    pid = fork();
    if (pid != 0)
        return;
    for (const auto& assignment : env)
        putenv(const_cast<char*>(assignment.c_str()));
    std::vector<char*> argv;
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
}

RunningProgram::~RunningProgram() {
    if (ended || pid <= 0)
        return;
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

std::string RunningProgram::waitForWindow(const std::string& title,
                                          std::chrono::seconds limit) const {
    auto deadline = std::chrono::steady_clock::now() + limit;
    do {
        std::string found = run("xdotool search --all --onlyvisible --pid " + std::to_string(pid) +
                                " --name '^" + title + "$' 2>/dev/null");
        if (!found.empty())
            return found.substr(0, found.find('\n'));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (std::chrono::steady_clock::now() < deadline);
    return {};
}

void RunningProgram::pressKey(const std::string& window, const std::string& key) {
    // Real key events (XTEST) to the focused window: GTK ignores events sent to a window.
    run("xdotool windowfocus --sync " + window + " 2>/dev/null; xdotool key " + key);
}

void RunningProgram::signal(int number) const {
    kill(pid, number);
}

int RunningProgram::waitForExit(std::chrono::seconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            ended = true;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
}
