#pragma once

#include <string>

// The store's address: https on the host named by the "storeHost" default, plus an optional extra
// certificate authority ("storeCertificate") for a store with its own, such as the demo store.
class StoreHost {
public:
    static constexpr const char* hostKey = "storeHost";
    static constexpr const char* certificateKey = "storeCertificate";
    static constexpr const char* defaultHost = "store.fretlark.org";

    static std::string host();
    static std::string url(const std::string& pathAndQuery);
    static std::string certificatePath();
};
