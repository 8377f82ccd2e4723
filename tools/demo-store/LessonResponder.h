#pragma once

#include "FaultPlan.h"

#include <libsoup/soup.h>
#include <string>

// Answers a GET for one lesson file: Content-Length, a strong ETag, single byte ranges with
// If-Range, and the faults of the plan. The body is streamed from the file chunk by chunk, so
// large lessons never sit in memory.
class LessonResponder {
public:
    // Sets up the answer; returns its status code.
    static int respond(SoupServerMessage* message, const std::string& path, const FaultPlan& plan);
    // Replaces the file with different content of the same size (a new inode, so a new ETag).
    static bool rewrite(const std::string& path);
    static std::string entityTag(const std::string& path);
};
