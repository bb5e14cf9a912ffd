#include "support/PostgresCluster.h"

#include <fcntl.h>
#include <libpq-fe.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/cloud/postgres/PostgresSchema.h"

namespace tallowmere::test {
namespace {

namespace fs = std::filesystem;

std::string commandOutput(const char* command) {
    std::string out;
    if (FILE* pipe = popen(command, "r")) {
        std::array<char, 256> buffer{};
        while (fgets(buffer.data(), buffer.size(), pipe)) out += buffer.data();
        pclose(pipe);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

// Debian keeps the server programs off PATH; pg_config names their folder.
std::optional<fs::path> serverPrograms() {
    std::vector<fs::path> candidates;
    if (const auto named = commandOutput("pg_config --bindir 2>/dev/null"); !named.empty()) candidates.push_back(named);
    std::error_code error;
    std::vector<fs::path> versions;
    for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", error)) versions.push_back(entry.path() / "bin");
    std::sort(versions.rbegin(), versions.rend());
    candidates.insert(candidates.end(), versions.begin(), versions.end());
    for (const auto& folder : candidates) {
        if (fs::exists(folder / "initdb", error) && fs::exists(folder / "postgres", error)) return folder;
    }
    return std::nullopt;
}

std::string percentEncoded(const std::string& text) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 15];
        }
    }
    return out;
}

std::string fileText(const fs::path& path) {
    std::ifstream in(path);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string rolesScript() {
    return "CREATE ROLE alice LOGIN IN ROLE tallowmere_user;"
           "CREATE ROLE bob LOGIN IN ROLE tallowmere_user;"
           "CREATE ROLE outside LOGIN IN ROLE tallowmere_user;"
           "CREATE ROLE writer LOGIN IN ROLE tallowmere_user, tallowmere_verifier;"
           "CREATE ROLE carol LOGIN PASSWORD '" + std::string(PostgresCluster::carolPassword) +
           "' IN ROLE tallowmere_user;";
}

[[noreturn]] void fail(const std::string& why) { throw std::runtime_error(why); }

}  // namespace

PostgresCluster* PostgresCluster::shared(std::string* problem) {
    static std::mutex mutex;
    static std::unique_ptr<PostgresCluster> cluster;
    static std::string failure;
    std::lock_guard lock(mutex);
    if (!cluster && failure.empty()) {
        std::unique_ptr<PostgresCluster> made(new PostgresCluster());
        try {
            made->prepare();
            cluster = std::move(made);
        } catch (const std::exception& error) {
            failure = error.what();
        }
    }
    if (!cluster && problem) *problem = failure;
    return cluster.get();
}

bool PostgresCluster::isInstalled() { return serverPrograms().has_value(); }

void PostgresCluster::prepare() {
    const auto programs = serverPrograms();
    if (!programs) fail("PostgreSQL's server programs (initdb, postgres) are not installed: run scripts/deps");
    bin_ = *programs;
    // initdb refuses root: the cluster runs as the package's system user then.
    if (geteuid() == 0) {
        const passwd* entry = getpwnam("postgres");
        if (!entry) fail("running as root needs the \"postgres\" system user of the PostgreSQL package");
        serverUser_ = std::pair{entry->pw_uid, entry->pw_gid};
    }
    std::string pattern = (fs::temp_directory_path() / "tallowmere-pg-XXXXXX").string();
    if (!mkdtemp(pattern.data())) fail("cannot make a temporary folder");
    folder_ = pattern;
    if (serverUser_ && chown(folder_.c_str(), serverUser_->first, serverUser_->second) != 0) {
        fail("cannot hand the temporary folder to the postgres user");
    }
    // Making a cluster takes seconds: one made and set up is kept beside the
    // temporary folders, named after what it holds, and copied for every
    // further test binary.
    const auto key = std::hash<std::string>()(std::string(cloud::PostgresSchema::script()) + rolesScript());
    const std::string family =
        "tallowmere-pg-cluster-" + std::to_string(geteuid()) + "-" + bin_.parent_path().filename().string() + "-";
    const auto cache = fs::temp_directory_path() / (family + std::to_string(key));
    const auto data = folder_ / "data";
    std::error_code error;
    if (fs::exists(cache / "ready", error)) {
        if (runAsServerUser({"/bin/cp", "-a", cache.string(), data.string()}) != 0) {
            fail("cannot copy the prepared cluster from " + cache.string());
        }
        start();
        return;
    }
    initialize(data);
    start();
    setUp();
    stop();
    const auto building = cache.string() + ".building-" + std::to_string(getpid());
    if (runAsServerUser({"/bin/cp", "-a", data.string(), building}) == 0) {
        std::ofstream(fs::path(building) / "ready") << "prepared\n";
        fs::rename(building, cache, error);
        // Clusters kept for tables of an older build are of no more use.
        for (const auto& entry : fs::directory_iterator(fs::temp_directory_path(), error)) {
            const auto name = entry.path().filename().string();
            if (name.rfind(family, 0) == 0 && entry.path() != cache && name.find(".building-") == std::string::npos) {
                std::error_code ignored;
                fs::remove_all(entry.path(), ignored);
            }
        }
    }
    if (error || fs::exists(building)) fs::remove_all(building, error);
    start();
}

void PostgresCluster::initialize(const fs::path& data) {
    if (runAsServerUser({(bin_ / "initdb").string(), "-D", data.string(), "-N", "-A", "trust", "-U", superuser, "-E",
                         "UTF8", "--locale=C", "--no-instructions", "--wal-segsize=1"}) != 0) {
        fail("initdb failed");
    }
    // carol signs in with a password; everyone else on the local socket is trusted.
    std::ofstream(data / "pg_hba.conf", std::ios::trunc) << "local all carol scram-sha-256\nlocal all all trust\n";
}

int PostgresCluster::runAsServerUser(const std::vector<std::string>& arguments) const {
    const pid_t child = fork();
    if (child == 0) {
        if (serverUser_ && (setgid(serverUser_->second) != 0 || setuid(serverUser_->first) != 0)) _exit(126);
        const int log = open((folder_ / "commands.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (log >= 0) {
            dup2(log, STDOUT_FILENO);
            dup2(log, STDERR_FILENO);
        }
        std::vector<char*> argv;
        for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void PostgresCluster::start() {
    const pid_t parent = getpid();
    const std::string data = (folder_ / "data").string();
    const std::string sockets = folder_.string();
    const std::string postgres = (bin_ / "postgres").string();
    const std::string log = (folder_ / "server.log").string();
    server_ = fork();
    if (server_ < 0) fail("cannot start the server");
    if (server_ == 0) {
        if (serverUser_ && (setgid(serverUser_->second) != 0 || setuid(serverUser_->first) != 0)) _exit(126);
        // After the change of user, which clears it: the server goes with the test binary.
        prctl(PR_SET_PDEATHSIG, SIGQUIT);
        if (getppid() != parent) _exit(0);
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (out >= 0) {
            dup2(out, STDOUT_FILENO);
            dup2(out, STDERR_FILENO);
        }
        const char* argv[] = {postgres.c_str(), "-D", data.c_str(), "-k", sockets.c_str(),
                              "-c", "listen_addresses=", "-c", "fsync=off",
                              "-c", "full_page_writes=off", "-c", "synchronous_commit=off",
                              "-c", "max_connections=80", "-c", "shared_buffers=32MB",
                              "-c", "lc_messages=C", nullptr};
        execv(argv[0], const_cast<char* const*>(argv));
        _exit(127);
    }
    if (!waitUntilReady()) {
        stop();
        fail("the PostgreSQL server did not start: " + fileText(log));
    }
}

bool PostgresCluster::waitUntilReady() {
    const auto conninfo = connectionString("postgres", superuser);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        if (PQping(conninfo.c_str()) == PQPING_OK) return true;
        int status = 0;
        if (waitpid(server_, &status, WNOHANG) == server_) {
            server_ = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void PostgresCluster::stop() {
    if (server_ <= 0) return;
    kill(server_, SIGINT);  // fast shutdown: sessions are ended, files stay sound
    int status = 0;
    waitpid(server_, &status, 0);
    server_ = -1;
}

PostgresCluster::~PostgresCluster() {
    stop();
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

void PostgresCluster::setUp() {
    if (auto error = execute("postgres", std::string("CREATE DATABASE ") + templateDatabase)) fail(*error);
    if (auto error = cloud::PostgresSchema::install(connectionString(templateDatabase, superuser))) {
        fail("cannot install the cloud tables: " + error->description);
    }
    if (auto error = execute("postgres", rolesScript())) fail(*error);
    // The first test's database is ready in every copy.
    if (auto error = execute("postgres", std::string("CREATE DATABASE cloud_1 TEMPLATE ") + templateDatabase)) {
        fail(*error);
    }
}

std::string PostgresCluster::connectionString(const std::string& database, const std::string& role,
                                              const std::string& password) const {
    std::string text = "postgresql:///" + percentEncoded(database) + "?host=" + percentEncoded(folder_.string()) +
                       "&user=" + percentEncoded(role);
    if (!password.empty()) text += "&password=" + percentEncoded(password);
    return text;
}

std::optional<std::string> PostgresCluster::execute(const std::string& database, const std::string& sql) const {
    PGconn* connection = PQconnectdb(connectionString(database, superuser).c_str());
    std::optional<std::string> failure;
    if (PQstatus(connection) != CONNECTION_OK) {
        failure = PQerrorMessage(connection);
    } else {
        PGresult* result = PQexec(connection, sql.c_str());
        const auto status = PQresultStatus(result);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) failure = PQresultErrorMessage(result);
        PQclear(result);
    }
    PQfinish(connection);
    return failure;
}

std::string PostgresCluster::newDatabase() {
    std::string name;
    {
        std::lock_guard lock(mutex_);
        name = "cloud_" + std::to_string(++nextDatabase_);
        if (nextDatabase_ == 1) return name;
    }
    if (auto error = execute("postgres", "CREATE DATABASE " + name + " TEMPLATE " + templateDatabase + " STRATEGY FILE_COPY")) {
        throw std::runtime_error("cannot make a database: " + *error);
    }
    return name;
}

std::string PostgresCluster::databaseFor(const fs::path& folder) {
    {
        std::lock_guard lock(mutex_);
        if (const auto found = databases_.find(folder); found != databases_.end()) return found->second;
    }
    const auto name = newDatabase();
    std::lock_guard lock(mutex_);
    return databases_.emplace(folder, name).first->second;
}

}  // namespace tallowmere::test
