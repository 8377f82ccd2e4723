#include "platform/StoreHost.h"

#include "platform/Defaults.h"
#include "platform/Paths.h"

std::string StoreHost::host() {
    std::string configured = Defaults::standard().stringForKey(hostKey);
    return configured.empty() ? std::string(defaultHost) : configured;
}

std::string StoreHost::url(const std::string& pathAndQuery) {
    return "https://" + host() + pathAndQuery;
}

std::string StoreHost::certificatePath() {
    return Paths::expandTilde(Defaults::standard().stringForKey(certificateKey));
}
