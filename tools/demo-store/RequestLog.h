#pragma once

#include <string>
#include <utility>
#include <vector>

// One request as the store saw it, for tests and for the log of the demo.
struct StoreRequest {
    std::string path;
    std::string range;
    std::string ifRange;
    int status = 0;
    std::string method;
    std::string query;
    // In the order they arrived, names as the client spelled them.
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    // The first header of that name, ignoring case; empty when absent.
    std::string header(const std::string& name) const;
};

// A file of requests, appended one record at a time so that another process (a test driving the
// real program) can read what reached the store, byte for byte. A record:
//   REQUEST <method> <status> <path>[?<query>]
//   <name>: <value>            (one line per header)
//   BODY <length>
//   <length bytes of body>
//   END
class RequestLog {
public:
    static void append(const std::string& file, const StoreRequest& request);
    static std::vector<StoreRequest> read(const std::string& file);
};
