#include "support/TestCertificates.h"

#include <cstdlib>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

#include "support/TempDir.h"

namespace tallowmere::test {

namespace {

void run(const std::string& command) {
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0)
        throw std::runtime_error("test certificates: failed: " + command);
}

void write(const std::filesystem::path& file, const std::string& text) { std::ofstream(file) << text; }

TestCertificates make(const std::filesystem::path& folder) {
    const auto at = [&](const char* name) { return "'" + (folder / name).string() + "'"; };
    write(folder / "openssl.cnf",
          "[req]\ndistinguished_name = name\nprompt = no\n[name]\nCN = Tallowmere test\n"
          "[authority]\nbasicConstraints = critical, CA:TRUE\nkeyUsage = critical, keyCertSign, cRLSign\n"
          "subjectKeyIdentifier = hash\n"
          "[server]\nbasicConstraints = CA:FALSE\nkeyUsage = critical, digitalSignature\n"
          "extendedKeyUsage = serverAuth\nsubjectAltName = IP:127.0.0.1\n");
    const std::string config = " -config " + at("openssl.cnf");
    const std::string newKey = "openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out ";
    run(newKey + at("ca.key"));
    run("openssl req -x509 -new -key " + at("ca.key") + " -subj '/CN=Tallowmere test authority' -days 2" +
        config + " -extensions authority -out " + at("ca.pem"));
    run(newKey + at("server.key"));
    run("openssl req -new -key " + at("server.key") + " -subj '/CN=127.0.0.1'" + config + " -out " +
        at("server.csr"));
    run("openssl x509 -req -in " + at("server.csr") + " -CA " + at("ca.pem") + " -CAkey " + at("ca.key") +
        " -CAcreateserial -days 2 -extfile " + at("openssl.cnf") + " -extensions server -out " + at("server.pem"));
    return {folder / "ca.pem", folder / "server.pem", folder / "server.key"};
}

}  // namespace

const TestCertificates& TestCertificates::shared() {
    // Removed when the test program ends.
    static const auto folder = std::make_unique<TempDir>();
    static const TestCertificates certificates = make(folder->path());
    return certificates;
}

}  // namespace tallowmere::test
