#pragma once

#include <cstdint>
#include <map>
#include <string>

// The misbehaviour the demo store puts on lesson files, and the pace of its pages, so that the
// download engine and the store view can be tried against the failures of real servers. Set from
// command-line switches or from the query of
// "/control/faults".
class FaultPlan {
public:
    // Option names as on the command line without the leading "--": drop-after=N,
    // ignore-range, change-on-range, status=N, no-length, slow=BYTES_PER_SECOND,
    // page-delay=MILLISECONDS.
    bool set(const std::string& name, const std::string& value);
    static FaultPlan fromQuery(const std::map<std::string, std::string>& query);

    // Bytes of body after which the connection is dropped; -1 never.
    std::int64_t dropAfter = -1;
    // Answer 200 with the whole file even when a range was asked for.
    bool ignoreRange = false;
    // Rewrite the file (new content, new ETag) when a range request arrives; happens once.
    bool changeOnRange = false;
    // Answer every lesson request with this status (404, 500...); 0 for normal answers.
    int status = 0;
    // Send the body chunked, without Content-Length.
    bool noContentLength = false;
    // Throttle the body to this many bytes per second; 0 for full speed.
    std::int64_t bytesPerSecond = 0;
    // Hold every store page back this long before answering; 0 answers at once.
    std::int64_t pageDelay = 0;
};
