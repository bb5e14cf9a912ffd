#pragma once

#include <optional>
#include <string>

#include "platform/cloud/Error.h"

namespace tallowmere::cloud {

// The tables, row-level security and push trigger of the PostgreSQL backing,
// in the schema "tallowmere" of the operator's database. Installing is
// idempotent; it runs as the role that is to own the tables.
//
// The operator makes one login role per account, a member of
// tallowmere_user:
//   CREATE ROLE alice LOGIN PASSWORD '...' IN ROLE tallowmere_user;
// and one for the service outside the program that sets "verified":
//   CREATE ROLE writer LOGIN PASSWORD '...' IN ROLE tallowmere_user, tallowmere_verifier;
class PostgresSchema {
public:
    static constexpr int version = 1;
    static constexpr const char* installCommand = "tallowmere --cloud-install-schema \"<connection string>\"";
    // The public record type every account may update (per-feed counts).
    static constexpr const char* sharedRecordType = "feed_stats";

    static const char* script();
    // Nothing when the schema is in place.
    static std::optional<Error> install(const std::string& connectionString);
};

}  // namespace tallowmere::cloud
