// A second process for the cloud tests and benchmarks: opens the cloud file
// as a given account and writes, so locking and the change watcher work
// across processes.
//
//   tallowmere_cloud_helper FILE ACCOUNT save TYPE NAME KEY=TEXT...
//   tallowmere_cloud_helper FILE ACCOUNT stamp TYPE COUNT GAP_MS KEY=TEXT...
//       saves COUNT records named stamp-<i>, each with "sent_us" set to the
//       time of the save in microseconds, GAP_MS apart
//   tallowmere_cloud_helper FILE ACCOUNT set KEY TEXT    (synced value)
//
// Exit status 0 when every write succeeded.
#include <chrono>
#include <cstdio>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/cloud/Container.h"
#include "platform/cloud/FieldCodec.h"

using namespace tallowmere::cloud;

namespace {

bool save(Database& database, Record record) {
    auto promise = std::make_shared<std::promise<bool>>();
    auto future = promise->get_future();
    database.modifyRecords({std::move(record)}, {}, [promise](auto, auto, std::optional<Error> error) {
        if (error) std::fprintf(stderr, "%s\n", error->textualDescription().c_str());
        promise->set_value(!error);
    });
    return future.wait_for(std::chrono::seconds(20)) == std::future_status::ready && future.get();
}

void setFields(Record& record, const std::vector<std::string>& pairs) {
    for (const auto& pair : pairs) {
        const auto equals = pair.find('=');
        if (equals != std::string::npos) record.set(pair.substr(0, equals), pair.substr(equals + 1));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s FILE ACCOUNT COMMAND ...\n", argv[0]);
        return 2;
    }
    const std::vector<std::string> args(argv + 1, argv + argc);
    auto configuration = Configuration::localFile(args[0], args[1]);
    auto container = Container::make(configuration);
    auto database = container->publicDatabase();
    const std::string& command = args[2];
    if (command == "save" && args.size() >= 5) {
        Record record(args[3], RecordID(args[4]));
        setFields(record, std::vector<std::string>(args.begin() + 5, args.end()));
        return save(*database, std::move(record)) ? 0 : 1;
    }
    if (command == "stamp" && args.size() >= 6) {
        const int count = std::stoi(args[4]);
        const auto gap = std::chrono::milliseconds(std::stoi(args[5]));
        const std::vector<std::string> pairs(args.begin() + 6, args.end());
        for (int i = 0; i < count; ++i) {
            Record record(args[3], RecordID("stamp-" + std::to_string(i)));
            setFields(record, pairs);
            record.set("sent_us", FieldCodec::microseconds(std::chrono::system_clock::now()));
            if (!save(*database, std::move(record))) return 1;
            std::this_thread::sleep_for(gap);  // paces the writes like a real writer
        }
        return 0;
    }
    if (command == "set" && args.size() >= 5) {
        auto store = container->syncedStore();
        store->set(args[3], args[4]);
        return store->synchronize() ? 0 : 1;
    }
    std::fprintf(stderr, "unknown command %s\n", command.c_str());
    return 2;
}
