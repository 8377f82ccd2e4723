#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class LibraryIndex;

// Whether the one who asked still wants the answer. Cancelled on the main thread only, so a
// delivery that runs there and finds it uncancelled is safe to make.
struct SearchTicket {
    std::atomic<bool> cancelled{false};
};

// The thread that keeps the library index and answers searches with it, with its own database
// connection. Work is handed over without waiting; answers come back through the main thread's
// queue, each dropped when its ticket was cancelled meanwhile. A newer search stops an older one
// at its next check.
class SearchWorker {
public:
    struct Request {
        std::string root;
        // The full-text expression; empty only brings the index up to date.
        std::string expression;
        std::shared_ptr<SearchTicket> ticket = std::make_shared<SearchTicket>();
        // Both run on the main thread: the number of matches so far, then the sorted paths.
        std::function<void(std::int64_t)> progress;
        std::function<void(std::vector<std::string>)> finish;
    };

    SearchWorker();
    // Stops the work in hand at its next check and waits for the thread to end.
    ~SearchWorker();
    SearchWorker(const SearchWorker&) = delete;
    SearchWorker& operator=(const SearchWorker&) = delete;

    void submit(Request request);
    // Brings the folder's index up to date when nothing else is asked for, so that the first
    // search need not wait for it.
    void prepare(const std::string& root);

private:
    void run();
    void perform(const Request& request);
    bool attempt(const Request& request);
    bool isCancelled(const Request& request) const;
    static void deliver(const Request& request, std::function<void()> work);

    std::mutex lock;
    std::condition_variable wake;
    std::optional<Request> pending;
    std::atomic<bool> newerRequest{false};
    std::atomic<bool> stopping{false};
    std::unique_ptr<LibraryIndex> index;
    std::thread thread;
};
