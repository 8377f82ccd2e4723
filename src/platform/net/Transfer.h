#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class Transfer;

struct TransferResponse {
    int statusCode = 0;
    // -1 when the server announced no length.
    std::int64_t expectedContentLength = -1;
    std::string mimeType;
};

// Receives a transfer's callbacks, all on the main context of the thread that created the
// transfer. A callback may cancel or destroy its transfer; nothing more arrives afterwards.
class TransferDelegate {
public:
    virtual ~TransferDelegate() = default;
    virtual void didReceiveResponse(Transfer&, const TransferResponse&) {}
    // Must call setDestination, or the transfer fails.
    virtual void decideDestinationWithSuggestedFilename(Transfer& download,
                                                        const std::string& filename) = 0;
    virtual void didReceiveDataOfLength(Transfer&, std::uint32_t) {}
    virtual void didFailWithError(Transfer&, const std::string&) {}
    virtual void downloadDidFinish(Transfer& download) = 0;
};

// One HTTP(S) GET whose body is written straight into a file, able to stop and continue later.
// It starts at once and calls its delegate on the main context that was the thread default when
// it was created. Only a 200 answer is the whole file; encoded bodies are decoded. Every failure is
// logged with the link and its reason. Servers whose certificate chains to the PEM file named by
// the user default "storeCertificate" are trusted besides the system's authorities.
//
// Continuing sends Range and If-Range and appends only to a 206 answer that starts exactly at the
// partial file's size and carries the validator saved with the resume data; a 200 answer rewrites
// the file from byte 0, and any other 206 or a 416 makes it fetch the whole file again.
class Transfer {
public:
    // Nothing when the URL is not an absolute http or https URL (see WebLink).
    static std::unique_ptr<Transfer> start(const std::string& url, TransferDelegate& delegate,
                                           std::chrono::seconds timeout = std::chrono::seconds(60));
    // Continues the partial file at path. Nothing when the data is not resume data of ours or the
    // file is no longer the one it describes.
    static std::unique_ptr<Transfer>
    resume(const std::string& resumeData, TransferDelegate& delegate, const std::string& path,
           std::chrono::seconds timeout = std::chrono::seconds(60));
    // The link the resume data continues; nothing when it is not resume data of ours.
    static std::optional<std::string> resumeDataLink(const std::string& resumeData);
    ~Transfer();
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    void setDestination(const std::string& path, bool allowOverwrite);
    // On by default: a failed transfer deletes what it had written.
    void setDeletesFileUponFailure(bool deletes);
    // Stops for good, keeping the partial file; no callback follows.
    void cancel();
    // What resume() needs to continue the partial file; empty when the server's answer cannot be
    // continued (no strong validator, an encoded body) or nothing was written.
    std::string resumeData() const;

    struct Impl;

private:
    explicit Transfer(std::shared_ptr<Impl> impl);
    std::shared_ptr<Impl> impl;
};
