#include "OutsideWriter.h"

#include <gtest/gtest.h>

#include "CloudCalls.h"

namespace tallowmere::test {

OutsideWriter::OutsideWriter(cloud::Configuration backing, std::string account) {
    backing.account = std::move(account);
    container_ = cloud::Container::make(backing);
}

std::vector<cloud::Record> OutsideWriter::save(std::vector<cloud::Record> records) {
    auto result = cloudcalls::save(*container_->publicDatabase(), std::move(records));
    EXPECT_FALSE(result.error) << result.error->textualDescription();
    return result.saved;
}

cloud::Record OutsideWriter::article(const std::string& name, const std::string& feedURL, const std::string& title,
                                     cloud::Date published) {
    cloud::Record record("article", cloud::RecordID(name));
    record.set("title", title);
    record.set("link", "https://example.org/" + name);
    record.set("content", "Text of " + title);
    record.set("feed_url", feedURL);
    record.set("feed_title", "Feed " + feedURL);
    record.set("published_date", published);
    return record;
}

}  // namespace tallowmere::test
