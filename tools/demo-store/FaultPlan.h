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
    // page-delay=MILLISECONDS, partial-for-plain, wrong-start, unsatisfiable, ignore-if-range,
    // no-validator.
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
    // Answer a request without Range with 206 and the first half of the file.
    bool partialForPlain = false;
    // Answer a range request with 206 from half the asked-for byte, saying so in Content-Range.
    bool wrongStart = false;
    // Answer every range request with 416.
    bool unsatisfiable = false;
    // Serve the range even when If-Range names another version of the file.
    bool ignoreIfRange = false;
    // Send no ETag, so nothing can be continued.
    bool noValidator = false;
};
