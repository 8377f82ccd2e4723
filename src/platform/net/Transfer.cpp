#include "platform/net/Transfer.h"

#include "platform/Defaults.h"
#include "platform/Paths.h"
#include "platform/data/PropertyList.h"
#include "platform/net/GErrorHandle.h"
#include "platform/net/GObjectPtr.h"
#include "platform/net/WebLink.h"

#include <cerrno>
#include <fcntl.h>
#include <libsoup/soup.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Each wake-up drains what the connection holds, up to this much, and writes it with one call.
constexpr gsize bufferSize = 256 * 1024;
// While data flows, it is left to gather this long (microseconds) between reads, so a fast
// connection is read in large pieces rather than one TLS record per wake-up.
constexpr gint64 gatherTime = 1000;
// Written data is sent on to the disk in pieces this large while the transfer runs, so the flush
// at the end finds little left to write.
constexpr std::int64_t writebackSize = 8 * 1024 * 1024;
const char* const storeCertificateKey = "storeCertificate";
const char* const resumeURLKey = "URL";
const char* const resumeValidatorKey = "Validator";
const char* const resumeByteCountKey = "ByteCount";

GObjectPtr<GTlsDatabase> storeAuthority(const std::string& pemPath) {
    GErrorHandle error;
    return GObjectPtr<GTlsDatabase>::adopt(g_tls_file_database_new(pemPath.c_str(), error.out()));
}

// Called only for a chain the system refused: accept it when it chains to the store's own
// authority and names the host we asked for.
gboolean acceptStoreCertificate(SoupMessage* message, GTlsCertificate* certificate,
                                GTlsCertificateFlags, gpointer pemPath) {
    auto authority = storeAuthority(static_cast<const char*>(pemPath));
    if (!authority)
        return FALSE;
    GUri* uri = soup_message_get_uri(message);
    int port = g_uri_get_port(uri);
    auto identity = GObjectPtr<GSocketConnectable>::adopt(
        g_network_address_new(g_uri_get_host(uri), static_cast<guint16>(port > 0 ? port : 443)));
    GErrorHandle error;
    GTlsCertificateFlags flags = g_tls_database_verify_chain(
        authority.get(), certificate, G_TLS_DATABASE_PURPOSE_AUTHENTICATE_SERVER, identity.get(),
        nullptr, G_TLS_DATABASE_VERIFY_NONE, nullptr, error.out());
    return !error && flags == 0;
}

std::string header(SoupMessageHeaders* headers, const char* name) {
    const char* value = soup_message_headers_get_one(headers, name);
    return value ? value : "";
}

bool isIdentityEncoded(SoupMessageHeaders* headers) {
    std::string encoding = header(headers, "Content-Encoding");
    return encoding.empty() || g_ascii_strcasecmp(encoding.c_str(), "identity") == 0;
}

// If-Range needs a strong validator: a strong ETag, else the modification date.
std::string strongValidator(SoupMessageHeaders* headers) {
    std::string etag = header(headers, "ETag");
    if (!etag.empty() && etag.rfind("W/", 0) != 0)
        return etag;
    return header(headers, "Last-Modified");
}

std::string suggestedFilename(SoupMessage* message) {
    GHashTable* parameters = nullptr;
    std::string name;
    if (soup_message_headers_get_content_disposition(soup_message_get_response_headers(message),
                                                     nullptr, &parameters)) {
        auto* value = static_cast<const char*>(g_hash_table_lookup(parameters, "filename"));
        name = value ? value : "";
        g_hash_table_destroy(parameters);
    }
    if (!name.empty())
        return name;
    gchar* basename = g_path_get_basename(g_uri_get_path(soup_message_get_uri(message)));
    gchar* unescaped = g_uri_unescape_string(basename, nullptr);
    name = unescaped ? unescaped : basename;
    g_free(unescaped);
    g_free(basename);
    return name;
}

std::int64_t fileSize(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return -1;
    return info.st_size;
}

bool writeAll(int fd, const char* data, gsize size) {
    while (size > 0) {
        ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<gsize>(written);
    }
    return true;
}

struct UriUnref {
    void operator()(GUri* uri) const { g_uri_unref(uri); }
};

// A source that runs once each time its ready time is set and comes; it stays attached for reuse.
gboolean dispatchOnce(GSource* source, GSourceFunc callback, gpointer data) {
    g_source_set_ready_time(source, -1);
    return callback(data);
}

GSourceFuncs onceFuncs = {nullptr, nullptr, dispatchOnce, nullptr, nullptr, nullptr};

struct SourceDestroy {
    void operator()(GSource* source) const {
        g_source_destroy(source);
        g_source_unref(source);
    }
};

std::string statusFailure(int status) {
    return "HTTP status " + std::to_string(status);
}

} // namespace

struct Transfer::Impl : std::enable_shared_from_this<Transfer::Impl> {
    using Weak = std::weak_ptr<Impl>;

    Transfer* owner = nullptr;
    TransferDelegate* delegate = nullptr;
    // The link exactly as given: resume data names it so it continues only that link.
    std::string link;
    std::unique_ptr<GUri, UriUnref> uri;
    std::chrono::seconds timeout{60};
    GObjectPtr<SoupSession> session;
    GObjectPtr<SoupMessage> message;
    GObjectPtr<GCancellable> cancellable = GObjectPtr<GCancellable>::adopt(g_cancellable_new());
    GObjectPtr<GInputStream> body;
    // Set while waiting for the body to become readable.
    std::unique_ptr<GSource, SourceDestroy> readable;
    // Reads on after a full buffer (the end of a body may come with nothing left to poll for) and
    // after a moment of gathering.
    std::unique_ptr<GSource, SourceDestroy> readOn;
    std::unique_ptr<char[]> buffer;
    std::string path;
    bool allowOverwrite = false;
    bool deletesFileUponFailure = true;
    int fd = -1;
    // Bytes in the destination file; for a continued transfer it starts at the partial size.
    std::int64_t written = 0;
    // Bytes already handed to the disk's writeback.
    std::int64_t writtenBack = 0;
    // Where a continued transfer asks to start; 0 for a whole file.
    std::int64_t resumeFrom = 0;
    std::string validator;
    bool resumable = false;
    bool ended = false;

    ~Impl() {
        readable.reset();
        readOn.reset();
        closeFile(false);
    }

    static std::shared_ptr<Impl> create(const std::string& url, TransferDelegate& delegate,
                                        std::chrono::seconds timeout) {
        GUri* parsed = WebLink::parse(url);
        if (!parsed)
            return nullptr;
        auto impl = std::make_shared<Impl>();
        impl->uri.reset(parsed);
        impl->link = url;
        impl->delegate = &delegate;
        impl->timeout = timeout;
        return impl;
    }

    bool alive() const { return !ended && owner; }

    void send() {
        session = GObjectPtr<SoupSession>::adopt(
            soup_session_new_with_options("timeout", static_cast<guint>(timeout.count()), nullptr));
        message = GObjectPtr<SoupMessage>::adopt(soup_message_new_from_uri("GET", uri.get()));
        SoupMessageHeaders* headers = soup_message_get_request_headers(message.get());
        if (resumeFrom > 0) {
            soup_message_headers_set_range(headers, resumeFrom, -1);
            soup_message_headers_replace(headers, "If-Range", validator.c_str());
        }
        trustStoreAuthority();
        soup_session_send_async(session.get(), message.get(), G_PRIORITY_DEFAULT, cancellable.get(),
                                onSent, new Weak(weak_from_this()));
    }

    void trustStoreAuthority() {
        std::string pem =
            Paths::expandTilde(Defaults::standard().stringForKey(storeCertificateKey));
        if (pem.empty())
            return;
        g_signal_connect_data(
            message.get(), "accept-certificate", G_CALLBACK(acceptStoreCertificate),
            g_strdup(pem.c_str()),
            reinterpret_cast<GClosureNotify>(+[](gpointer data, GClosure*) { g_free(data); }),
            GConnectFlags(0));
    }

    static void onSent(GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<Weak> weak(static_cast<Weak*>(data));
        GErrorHandle error;
        auto stream = GObjectPtr<GInputStream>::adopt(
            soup_session_send_finish(SOUP_SESSION(source), result, error.out()));
        if (auto self = weak->lock(); self && !self->ended)
            self->received(std::move(stream), error.message());
    }

    int status() const { return static_cast<int>(soup_message_get_status(message.get())); }

    void received(GObjectPtr<GInputStream> stream, const std::string& error) {
        if (!stream)
            return fail(error);
        body = std::move(stream);
        if (resumeFrom > 0)
            return receivedContinuation();
        // Only 200 is the whole file; a 206 or 204 to a plain request is not the lesson.
        if (status() != SOUP_STATUS_OK)
            return fail(statusFailure(status()));
        noteValidator();
        if (!reportResponse())
            return;
        // A continued transfer that had to start over already knows its file.
        if (path.empty() && !notifyDelegate(
                                [](TransferDelegate& d, Transfer& t, const std::string& name) {
                                    d.decideDestinationWithSuggestedFilename(t, name);
                                },
                                suggestedFilename(message.get())))
            return;
        if (path.empty())
            return fail("No destination for the download");
        openDestination(false);
    }

    // Appends only a 206 that starts at the partial file's end and names the same entity.
    bool continuesPartialFile() {
        SoupMessageHeaders* headers = soup_message_get_response_headers(message.get());
        goffset start = -1, end = -1, total = -1;
        return status() == SOUP_STATUS_PARTIAL_CONTENT &&
               soup_message_headers_get_content_range(headers, &start, &end, &total) &&
               start == resumeFrom && strongValidator(headers) == validator &&
               isIdentityEncoded(headers) && fileSize(path) == resumeFrom;
    }

    void receivedContinuation() {
        if (continuesPartialFile()) {
            resumable = true;
            return openDestination(true);
        }
        resumeFrom = 0;
        if (status() == SOUP_STATUS_OK) {
            noteValidator();
            if (reportResponse())
                openDestination(false);
            return;
        }
        if (status() == SOUP_STATUS_PARTIAL_CONTENT ||
            status() == SOUP_STATUS_REQUESTED_RANGE_NOT_SATISFIABLE) {
            body.reset();
            return send();
        }
        fail(statusFailure(status()));
    }

    void noteValidator() {
        SoupMessageHeaders* headers = soup_message_get_response_headers(message.get());
        validator = strongValidator(headers);
        resumable = !validator.empty() && isIdentityEncoded(headers);
    }

    bool reportResponse() {
        SoupMessageHeaders* headers = soup_message_get_response_headers(message.get());
        TransferResponse response;
        response.statusCode = status();
        if (soup_message_headers_get_encoding(headers) == SOUP_ENCODING_CONTENT_LENGTH)
            response.expectedContentLength = soup_message_headers_get_content_length(headers);
        const char* type = soup_message_headers_get_content_type(headers, nullptr);
        response.mimeType = type ? type : "";
        return notifyDelegate([](TransferDelegate& d, Transfer& t,
                                 const TransferResponse& r) { d.didReceiveResponse(t, r); },
                              response);
    }

    template <typename Call, typename Argument>
    bool notifyDelegate(Call call, const Argument& argument) {
        if (!alive())
            return false;
        call(*delegate, *owner, argument);
        return alive();
    }

    void openDestination(bool append) {
        // The HTTP library's bodies can be polled; anything else cannot be read without waiting.
        if (!G_IS_POLLABLE_INPUT_STREAM(body.get()) ||
            !g_pollable_input_stream_can_poll(G_POLLABLE_INPUT_STREAM(body.get())))
            return fail("The body cannot be read without blocking");
        int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW;
        flags |= append ? O_APPEND : O_TRUNC;
        if (!append && !allowOverwrite)
            flags |= O_EXCL;
        fd = ::open(path.c_str(), flags, 0644);
        if (fd < 0)
            return fail("Cannot write " + path);
        written = append ? resumeFrom : 0;
        writtenBack = written;
        if (!buffer) {
            buffer.reset(new char[bufferSize]);
            readOn.reset(g_source_new(&onceFuncs, sizeof(GSource)));
            g_source_set_callback(readOn.get(), onReadOn, this, nullptr);
            g_source_set_ready_time(readOn.get(), -1);
            g_source_attach(readOn.get(), g_main_context_get_thread_default());
        }
        pump();
    }

    // Reads whatever the body holds without waiting, writes it with one call, then waits for more.
    void pump() {
        auto* pollable = G_POLLABLE_INPUT_STREAM(body.get());
        gsize filled = 0;
        bool atEnd = false;
        GErrorHandle error;
        while (filled < bufferSize && !atEnd && !error) {
            gssize count = g_pollable_input_stream_read_nonblocking(pollable, buffer.get() + filled,
                                                                    bufferSize - filled,
                                                                    cancellable.get(), error.out());
            if (count > 0)
                filled += static_cast<gsize>(count);
            atEnd = count == 0;
        }
        if (filled > 0 && !deliver(filled))
            return;
        if (atEnd)
            return finish();
        if (error && !error.matches(G_IO_ERROR, G_IO_ERROR_WOULD_BLOCK))
            return fail(error.message());
        // The buffer filled: read on at the next turn of the loop.
        if (!error)
            return g_source_set_ready_time(readOn.get(), 0);
        // Data flows: let more gather, then read it in one piece.
        if (filled > 0)
            return g_source_set_ready_time(readOn.get(), g_get_monotonic_time() + gatherTime);
        readable.reset(g_pollable_input_stream_create_source(pollable, cancellable.get()));
        g_source_set_callback(readable.get(), G_SOURCE_FUNC(onReadable), this, nullptr);
        g_source_attach(readable.get(), g_main_context_get_thread_default());
    }

    // The source goes with this object, so it never outlives it; a callback may drop the last
    // owner, so one is held for the call.
    static gboolean onReadable(GObject*, gpointer data) {
        auto self = static_cast<Impl*>(data)->shared_from_this();
        self->readable.reset();
        if (!self->ended)
            self->pump();
        return G_SOURCE_REMOVE;
    }

    static gboolean onReadOn(gpointer data) {
        auto self = static_cast<Impl*>(data)->shared_from_this();
        if (!self->ended)
            self->pump();
        return G_SOURCE_CONTINUE;
    }

    // Writes the first `size` bytes of the buffer and tells the delegate; false when the
    // transfer ended meanwhile.
    bool deliver(gsize size) {
        if (!writeAll(fd, buffer.get(), size)) {
            fail("Cannot write " + path);
            return false;
        }
        written += static_cast<std::int64_t>(size);
        if (written - writtenBack >= writebackSize) {
            ::sync_file_range(fd, writtenBack, written - writtenBack, SYNC_FILE_RANGE_WRITE);
            writtenBack = written;
        }
        return notifyDelegate([](TransferDelegate& d, Transfer& t,
                                 std::uint32_t length) { d.didReceiveDataOfLength(t, length); },
                              static_cast<std::uint32_t>(size));
    }

    void closeFile(bool flush) {
        if (fd < 0)
            return;
        if (flush)
            ::fsync(fd);
        ::close(fd);
        fd = -1;
    }

    void finish() {
        closeFile(true);
        ended = true;
        if (owner)
            delegate->downloadDidFinish(*owner);
    }

    void fail(const std::string& error) {
        bool opened = fd >= 0;
        closeFile(false);
        if (opened && deletesFileUponFailure)
            ::unlink(path.c_str());
        ended = true;
        logFailure(error);
        if (owner)
            delegate->didFailWithError(*owner, error);
    }

    // A failure the user is not told about still leaves its reason in the log.
    void logFailure(const std::string& reason) const {
        gchar* shown = g_uri_to_string_partial(uri.get(), G_URI_HIDE_PASSWORD);
        g_log_structured("fretlark", G_LOG_LEVEL_WARNING, "FRETLARK_URL", shown, "FRETLARK_REASON",
                         reason.c_str(), "MESSAGE", "Transfer of %s failed: %s", shown,
                         reason.c_str());
        g_free(shown);
    }

    void stop() {
        ended = true;
        readable.reset();
        readOn.reset();
        g_cancellable_cancel(cancellable.get());
        closeFile(false);
    }
};

Transfer::Transfer(std::shared_ptr<Impl> implementation) : impl(std::move(implementation)) {
    impl->owner = this;
}

Transfer::~Transfer() {
    impl->owner = nullptr;
    impl->delegate = nullptr;
    impl->stop();
}

std::unique_ptr<Transfer> Transfer::start(const std::string& url, TransferDelegate& delegate,
                                          std::chrono::seconds timeout) {
    auto impl = Impl::create(url, delegate, timeout);
    if (!impl) {
        g_log_structured("fretlark", G_LOG_LEVEL_WARNING, "FRETLARK_URL", url.c_str(),
                         "FRETLARK_REASON", "not an http or https link", "MESSAGE",
                         "Transfer of %s refused: not an http or https link", url.c_str());
        return nullptr;
    }
    std::unique_ptr<Transfer> transfer(new Transfer(impl));
    impl->send();
    return transfer;
}

std::unique_ptr<Transfer> Transfer::resume(const std::string& resumeData,
                                           TransferDelegate& delegate, const std::string& path,
                                           std::chrono::seconds timeout) {
    auto data = PropertyList::fromXML(resumeData);
    if (!data)
        return nullptr;
    auto url = PropertyList::stringValue(*data, resumeURLKey);
    auto validator = PropertyList::stringValue(*data, resumeValidatorKey);
    auto byteCount = PropertyList::integerValue(*data, resumeByteCountKey);
    if (!url || !validator || validator->empty() || !byteCount || *byteCount <= 0 ||
        fileSize(path) != *byteCount)
        return nullptr;
    auto impl = Impl::create(*url, delegate, timeout);
    if (!impl)
        return nullptr;
    impl->path = path;
    impl->allowOverwrite = true;
    impl->resumeFrom = *byteCount;
    impl->validator = *validator;
    std::unique_ptr<Transfer> transfer(new Transfer(impl));
    impl->send();
    return transfer;
}

std::optional<std::string> Transfer::resumeDataLink(const std::string& resumeData) {
    auto data = PropertyList::fromXML(resumeData);
    return data ? PropertyList::stringValue(*data, resumeURLKey) : std::nullopt;
}

void Transfer::setDestination(const std::string& path, bool allowOverwrite) {
    impl->path = path;
    impl->allowOverwrite = allowOverwrite;
}

void Transfer::setDeletesFileUponFailure(bool deletes) {
    impl->deletesFileUponFailure = deletes;
}

void Transfer::cancel() {
    impl->stop();
}

std::string Transfer::resumeData() const {
    if (!impl->resumable || impl->written <= 0)
        return {};
    PropertyList::Dictionary data{{resumeURLKey, impl->link},
                                  {resumeValidatorKey, impl->validator},
                                  {resumeByteCountKey, impl->written}};
    return PropertyList::toXML(data);
}
