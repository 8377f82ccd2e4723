#include "StoreCertificate.h"

#include <filesystem>
#include <fstream>
#include <glib.h>
#include <vector>

namespace {

bool runQuietly(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    int status = 0;
    gboolean spawned = g_spawn_sync(
        nullptr, argv.data(), nullptr,
        GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL),
        nullptr, nullptr, nullptr, nullptr, &status, nullptr);
    return spawned && g_spawn_check_wait_status(status, nullptr);
}

} // namespace

std::optional<StoreCertificate> StoreCertificate::generate(const std::string& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    StoreCertificate certificate{folder + "/store-ca.pem", folder + "/store-server.pem",
                                 folder + "/store-server.key"};
    std::string authorityKey = folder + "/store-ca.key";
    std::string request = folder + "/store-server.csr";
    std::string extensions = folder + "/store-server.ext";
    std::ofstream(extensions) << "basicConstraints=CA:FALSE\n"
                                 "keyUsage=critical,digitalSignature,keyEncipherment\n"
                                 "extendedKeyUsage=serverAuth\n"
                                 "subjectAltName=IP:127.0.0.1,DNS:localhost\n";
    bool made =
        runQuietly({"openssl",
                    "req",
                    "-x509",
                    "-newkey",
                    "ec",
                    "-pkeyopt",
                    "ec_paramgen_curve:P-256",
                    "-nodes",
                    "-days",
                    "30",
                    "-subj",
                    "/CN=Fretlark Demo Store Authority",
                    "-addext",
                    "basicConstraints=critical,CA:TRUE",
                    "-addext",
                    "keyUsage=critical,keyCertSign,cRLSign",
                    "-keyout",
                    authorityKey,
                    "-out",
                    certificate.authorityPath}) &&
        runQuietly({"openssl", "req", "-new", "-newkey", "ec", "-pkeyopt",
                    "ec_paramgen_curve:P-256", "-nodes", "-subj", "/CN=127.0.0.1", "-keyout",
                    certificate.keyPath, "-out", request}) &&
        runQuietly({"openssl", "x509", "-req", "-in", request, "-CA", certificate.authorityPath,
                    "-CAkey", authorityKey, "-CAcreateserial", "-days", "30", "-extfile",
                    extensions, "-out", certificate.certificatePath});
    if (!made)
        return std::nullopt;
    return certificate;
}
