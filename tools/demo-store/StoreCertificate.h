#pragma once

#include <optional>
#include <string>

// A certificate authority of the demo store's own and a server certificate it signed for
// 127.0.0.1 and localhost, made with openssl at every start. Clients trust authorityPath.
class StoreCertificate {
public:
    static std::optional<StoreCertificate> generate(const std::string& folder);

    std::string authorityPath;
    std::string certificatePath;
    std::string keyPath;
};
