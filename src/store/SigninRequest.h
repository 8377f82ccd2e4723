#pragma once

#include <functional>
#include <memory>
#include <string>

// The store's answer to a form post: a redirect to follow, or a page to show.
struct SigninAnswer {
    int status = 0;
    // The absolute address a redirect points to; empty for a page.
    std::string location;
    std::string body;
    std::string mimeType;
    std::string charset;
    // Why nothing came back; empty when an answer did.
    std::string error;
};

// One form post to the store, sent byte for byte as given: method POST, the body, its
// Content-Length and Content-Type. It goes with the cookies the store session would send to that
// address, and every cookie of the answer is stored in the session before `done` runs, on the
// main thread. The body is kept only in memory. Destroying the request cancels it; `done` then
// never runs.
class SigninRequest {
public:
    static std::unique_ptr<SigninRequest> post(const std::string& url, const std::string& body,
                                               const std::string& userAgent,
                                               std::function<void(const SigninAnswer&)> done);
    ~SigninRequest();
    SigninRequest(const SigninRequest&) = delete;
    SigninRequest& operator=(const SigninRequest&) = delete;

    struct Impl;

private:
    explicit SigninRequest(std::shared_ptr<Impl> impl);
    std::shared_ptr<Impl> impl;
};
