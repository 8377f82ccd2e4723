#include "LessonResponder.h"

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::int64_t chunkSize = 256 * 1024;

std::string tagFor(const struct stat& info) {
    char tag[96];
    std::snprintf(tag, sizeof tag, "\"%llx-%llx-%llx\"",
                  static_cast<unsigned long long>(info.st_ino),
                  static_cast<unsigned long long>(info.st_size),
                  static_cast<unsigned long long>(info.st_mtim.tv_sec) * 1000000000ull +
                      static_cast<unsigned long long>(info.st_mtim.tv_nsec));
    return tag;
}

// One streamed body; it lives as long as its message.
struct BodyStream {
    SoupServerMessage* message = nullptr;
    int fd = -1;
    std::int64_t position = 0;
    std::int64_t end = 0;
    std::int64_t sent = 0;
    std::int64_t dropAfter = -1;
    std::int64_t bytesPerSecond = 0;
    GSource* timer = nullptr;

    ~BodyStream() {
        clearTimer();
        if (fd >= 0)
            ::close(fd);
    }

    void clearTimer() {
        if (!timer)
            return;
        g_source_destroy(timer);
        g_source_unref(timer);
        timer = nullptr;
    }

    std::int64_t nextChunkSize() const {
        std::int64_t size = std::min(chunkSize, end - position);
        if (bytesPerSecond > 0)
            size = std::min(size, std::max<std::int64_t>(1, bytesPerSecond / 10));
        if (dropAfter >= 0)
            size = std::min(size, dropAfter - sent);
        return size;
    }

    void appendNext() {
        SoupMessageBody* body = soup_server_message_get_response_body(message);
        if (position >= end) {
            soup_message_body_complete(body);
            return;
        }
        if (dropAfter >= 0 && sent >= dropAfter) {
            g_socket_shutdown(soup_server_message_get_socket(message), TRUE, TRUE, nullptr);
            return;
        }
        std::int64_t size = nextChunkSize();
        std::vector<char> buffer(static_cast<std::size_t>(size));
        ssize_t count = ::pread(fd, buffer.data(), buffer.size(), position);
        if (count <= 0) {
            g_socket_shutdown(soup_server_message_get_socket(message), TRUE, TRUE, nullptr);
            return;
        }
        soup_message_body_append(body, SOUP_MEMORY_COPY, buffer.data(), static_cast<gsize>(count));
        position += count;
        sent += count;
    }

    static gboolean resumeSlowly(gpointer data) {
        auto* stream = static_cast<BodyStream*>(data);
        stream->clearTimer();
        stream->appendNext();
        soup_server_message_unpause(stream->message);
        return G_SOURCE_REMOVE;
    }

    static void wroteChunk(SoupServerMessage* message, gpointer data) {
        auto* stream = static_cast<BodyStream*>(data);
        if (stream->bytesPerSecond <= 0)
            return stream->appendNext();
        soup_server_message_pause(message);
        // The store may run on a thread of its own: the timer belongs to that thread's context.
        stream->timer = g_timeout_source_new(100);
        g_source_set_callback(stream->timer, resumeSlowly, stream, nullptr);
        g_source_attach(stream->timer, g_main_context_get_thread_default());
    }
};

void deleteStream(gpointer data) {
    delete static_cast<BodyStream*>(data);
}

void answerStatus(SoupServerMessage* message, int status) {
    const char* text = "The lesson is not available.\n";
    soup_server_message_set_status(message, static_cast<guint>(status), nullptr);
    soup_server_message_set_response(message, "text/plain", SOUP_MEMORY_STATIC, text,
                                     std::char_traits<char>::length(text));
}

const char* contentTypeFor(const std::string& path) {
    std::string::size_type dot = path.rfind('.');
    std::string extension = dot == std::string::npos ? "" : path.substr(dot + 1);
    if (g_ascii_strcasecmp(extension.c_str(), "mov") == 0)
        return "video/quicktime";
    if (g_ascii_strcasecmp(extension.c_str(), "mp4") == 0)
        return "video/mp4";
    if (g_ascii_strcasecmp(extension.c_str(), "pdf") == 0)
        return "application/pdf";
    return "application/octet-stream";
}

// The single range asked for, when it should be honoured: [start, end) within the file.
bool requestedRange(SoupServerMessage* message, const std::string& tag, const FaultPlan& plan,
                    std::int64_t size, std::int64_t& start, std::int64_t& end) {
    SoupMessageHeaders* headers = soup_server_message_get_request_headers(message);
    const char* ifRange = soup_message_headers_get_one(headers, "If-Range");
    if (ifRange && tag != ifRange && !plan.ignoreIfRange)
        return false;
    SoupRange* ranges = nullptr;
    int count = 0;
    if (!soup_message_headers_get_ranges(headers, size, &ranges, &count))
        return false;
    bool single = count == 1;
    if (single) {
        start = ranges[0].start;
        end = ranges[0].end + 1;
    }
    soup_message_headers_free_ranges(headers, ranges);
    return single;
}

} // namespace

std::string LessonResponder::entityTag(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? tagFor(info) : std::string();
}

int LessonResponder::respond(SoupServerMessage* message, const std::string& path,
                             const FaultPlan& plan) {
    if (plan.status) {
        answerStatus(message, plan.status);
        return plan.status;
    }
    auto stream = std::make_unique<BodyStream>();
    stream->fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (stream->fd < 0 || ::fstat(stream->fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        answerStatus(message, SOUP_STATUS_NOT_FOUND);
        return SOUP_STATUS_NOT_FOUND;
    }
    std::string tag = tagFor(info);
    SoupMessageHeaders* request = soup_server_message_get_request_headers(message);
    SoupMessageHeaders* response = soup_server_message_get_response_headers(message);
    std::int64_t size = info.st_size;
    int status = SOUP_STATUS_OK;
    stream->end = size;
    bool ranged = soup_message_headers_get_one(request, "Range");
    if (ranged && !plan.ignoreRange) {
        std::int64_t start = 0, end = 0;
        if (requestedRange(message, tag, plan, size, start, end)) {
            if (start >= size || plan.unsatisfiable) {
                soup_message_headers_replace(response, "Content-Range",
                                             ("bytes */" + std::to_string(size)).c_str());
                answerStatus(message, SOUP_STATUS_REQUESTED_RANGE_NOT_SATISFIABLE);
                return SOUP_STATUS_REQUESTED_RANGE_NOT_SATISFIABLE;
            }
            status = SOUP_STATUS_PARTIAL_CONTENT;
            stream->position = plan.wrongStart ? start / 2 : start;
            stream->end = end;
            soup_message_headers_set_content_range(response, stream->position, end - 1, size);
        }
    }
    if (!ranged && plan.partialForPlain && size > 1) {
        status = SOUP_STATUS_PARTIAL_CONTENT;
        stream->end = size / 2;
        soup_message_headers_set_content_range(response, 0, stream->end - 1, size);
    }
    // A 200 answer must never be cut down to the range by the server library.
    soup_message_headers_remove(request, "Range");
    soup_server_message_set_status(message, static_cast<guint>(status), nullptr);
    if (!plan.noValidator)
        soup_message_headers_replace(response, "ETag", tag.c_str());
    soup_message_headers_replace(response, "Accept-Ranges", "bytes");
    soup_message_headers_set_content_type(response, contentTypeFor(path), nullptr);
    if (plan.noContentLength)
        soup_message_headers_set_encoding(response, SOUP_ENCODING_CHUNKED);
    else
        soup_message_headers_set_content_length(response, stream->end - stream->position);
    stream->message = message;
    stream->dropAfter = plan.dropAfter;
    stream->bytesPerSecond = plan.bytesPerSecond;
    soup_message_body_set_accumulate(soup_server_message_get_response_body(message), FALSE);
    BodyStream* streaming = stream.release();
    g_object_set_data_full(G_OBJECT(message), "fretlark-body-stream", streaming, deleteStream);
    g_signal_connect(message, "wrote-chunk", G_CALLBACK(BodyStream::wroteChunk), streaming);
    streaming->appendNext();
    return status;
}

bool LessonResponder::rewrite(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> contents((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    for (char& byte : contents)
        byte = static_cast<char>(byte ^ 0x5a);
    std::string temporary = path + ".rewrite";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
        if (!out)
            return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}
