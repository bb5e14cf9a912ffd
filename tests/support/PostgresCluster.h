#pragma once

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tallowmere::test {

// A throwaway PostgreSQL server for the tests of one test binary: a fresh
// cluster in a temporary folder, reached only through a Unix socket there,
// run as the package's "postgres" user when the tests run as root. The
// server is the binary's child with a parent-death signal, so a killed
// binary leaves none behind. Databases are made from a template holding the
// cloud tables; roles alice, bob, outside and writer (the verifying
// service) log in without a password, carol with "carol-secret".
class PostgresCluster {
public:
    static constexpr const char* superuser = "postgres";
    static constexpr const char* templateDatabase = "tallowmere_template";
    static constexpr const char* carolPassword = "carol-secret";

    // The binary's cluster, started on first use; nothing when it cannot
    // run, and `problem` then says why.
    static PostgresCluster* shared(std::string* problem = nullptr);
    // Whether PostgreSQL's server programs are installed at all.
    static bool isInstalled();
    ~PostgresCluster();
    PostgresCluster(const PostgresCluster&) = delete;
    PostgresCluster& operator=(const PostgresCluster&) = delete;

    // A libpq URI for the database as the role.
    std::string connectionString(const std::string& database, const std::string& role,
                                 const std::string& password = {}) const;
    // A fresh database with the cloud tables, its name.
    std::string newDatabase();
    // The database of a test's temporary folder, made on first use.
    std::string databaseFor(const std::filesystem::path& folder);
    // Runs SQL as the superuser; the error text when it fails.
    std::optional<std::string> execute(const std::string& database, const std::string& sql) const;

    // Fast shutdown, and a start again on the same files.
    void stop();
    void start();
    pid_t serverPid() const { return server_; }
    const std::filesystem::path& folder() const { return folder_; }

private:
    PostgresCluster() = default;
    void prepare();
    void initialize(const std::filesystem::path& data);
    void setUp();
    int runAsServerUser(const std::vector<std::string>& arguments) const;
    bool waitUntilReady();

    std::filesystem::path bin_;
    std::filesystem::path folder_;
    std::optional<std::pair<uid_t, gid_t>> serverUser_;
    pid_t server_ = -1;
    std::mutex mutex_;
    int nextDatabase_ = 0;
    std::map<std::filesystem::path, std::string> databases_;
};

}  // namespace tallowmere::test
