#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/cloud/Configuration.h"
#include "platform/cloud/Container.h"

namespace tallowmere::test {

// The service outside the program that writes public records (mirrored
// articles, "verified" flags): a container of its own account on the same
// backing. Saves block until done and fail the test on an error.
class OutsideWriter {
public:
    static constexpr const char* defaultAccount = "outside-writer";

    explicit OutsideWriter(cloud::Configuration backing, std::string account = defaultAccount);

    std::vector<cloud::Record> save(std::vector<cloud::Record> records);
    // A public "article" record as the mirror writes it.
    static cloud::Record article(const std::string& name, const std::string& feedURL, const std::string& title,
                                 cloud::Date published);
    cloud::Container& container() { return *container_; }

private:
    std::shared_ptr<cloud::Container> container_;
};

}  // namespace tallowmere::test
