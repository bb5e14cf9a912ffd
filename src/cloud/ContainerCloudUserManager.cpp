#include "cloud/ContainerCloudUserManager.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

#include "cloud/BackgroundCompletion.h"
#include "cloud/CalendarDays.h"
#include "cloud/CloudFeedEntryText.h"
#include "cloud/CloudAvailability.h"
#include "cloud/LocaleCodes.h"
#include "cloud/NewsletterTime.h"
#include "foundation/DispatchQueueFactory.h"
#include "feeds/FeedsManager.h"
#include "foundation/Logger.h"
#include "foundation/TextOperations.h"
#include "foundation/URL.h"
#include "foundation/UUID.h"
#include "sources/NodesSource.h"
#include "store/Folder.h"
#include "store/Preferences.h"

namespace tallowmere {

using cloud::Date;
using cloud::Error;
using cloud::Record;

ContainerCloudUserManager::ContainerCloudUserManager(ContainerSource container, CloudEnabled cloudEnabled,
                                                     NotificationsSource notifications)
    : CloudManager(std::move(container)),
      cloudEnabled_(cloudEnabled ? std::move(cloudEnabled)
                                 : CloudEnabled([] { return Preferences::shared()->cloudEnabled(); })),
      notifications_(notifications ? std::move(notifications)
                                   : NotificationsSource([] { return CloudNotificationsManager::shared(); })),
      feedListServices_{[] { return NodesSource::shared(); },
                        [](std::vector<CloudFeedEntry> entries, Completion completion) {
                            FeedsManager::shared().addFeeds(std::move(entries), FeedBatchOptions{},
                                                            [completion = std::move(completion)](std::size_t) {
                                                                if (completion) completion();
                                                            });
                        },
                        [] { return Preferences::shared(); }},
      makeGUID_([] { return UUID::make(); }),
      clock_([] { return std::chrono::system_clock::now(); }),
      userRecordQueue_(makeDispatchQueue(userRecordQueueLabel, QualityOfService::userInitiated)),
      guidRecordQueue_(makeDispatchQueue(guidRecordQueueLabel, QualityOfService::userInitiated)) {}

void ContainerCloudUserManager::setGUIDMaker(std::function<std::string()> maker) {
    std::lock_guard lock(mutex_);
    makeGUID_ = std::move(maker);
}

void ContainerCloudUserManager::setClock(std::function<Date()> clock) {
    std::lock_guard lock(mutex_);
    clock_ = std::move(clock);
}

std::shared_ptr<CloudNotificationsManager> ContainerCloudUserManager::notifications() const {
    return notifications_();
}

// --- Feed lists ---

namespace {

void complete(const CloudUserManager::Completion& completion) {
    if (completion) completion();
}

bool isServerRecordChanged(const std::optional<CloudUserFailure>& failure) {
    if (!failure) return false;
    const auto* error = std::get_if<Error>(&*failure);
    return error && error->code == cloud::ErrorCode::serverRecordChanged;
}

}  // namespace

std::shared_ptr<NodesSource> ContainerCloudUserManager::nodes() const {
    std::lock_guard lock(mutex_);
    return feedListServices_.nodes();
}

std::shared_ptr<Preferences> ContainerCloudUserManager::preferences() const {
    std::lock_guard lock(mutex_);
    return feedListServices_.preferences();
}

Date ContainerCloudUserManager::now() const {
    std::lock_guard lock(mutex_);
    return clock_();
}

void ContainerCloudUserManager::setFeedListServices(FeedListServices services) {
    std::lock_guard lock(mutex_);
    if (services.nodes) feedListServices_.nodes = std::move(services.nodes);
    if (services.addFeeds) feedListServices_.addFeeds = std::move(services.addFeeds);
    if (services.preferences) feedListServices_.preferences = std::move(services.preferences);
}

std::vector<std::string> ContainerCloudUserManager::feedListEntries(const std::vector<Feed>& feeds,
                                                                    bool withFolders) {
    std::vector<std::string> entries;
    entries.reserve(feeds.size());
    // Feeds of one context are read in one block of it: a thousand feeds
    // cost one wait for the context, not a thousand.
    std::size_t start = 0;
    while (start < feeds.size()) {
        graph::Context* context = feeds[start].context();
        std::size_t end = start + 1;
        while (end < feeds.size() && feeds[end].context() == context) ++end;
        if (context) {
            context->performAndWait([&] {
                for (std::size_t i = start; i < end; ++i) {
                    const std::optional<std::string> url = feeds[i].url();
                    if (!url) continue;
                    std::optional<std::string> folder;
                    if (withFolders) {
                        if (std::optional<Folder> parent = feeds[i].folder()) folder = parent->name();
                    }
                    entries.push_back(CloudFeedEntryText::make(*url, folder));
                }
            });
        }
        start = end;
    }
    return entries;
}

ContainerCloudUserManager::FeedLists ContainerCloudUserManager::notificationFeedLists() {
    const std::shared_ptr<NodesSource> source = nodes();
    const auto push = source->notifyingFeeds();
    const auto hourly = source->feeds(NewsletterType::hourly);
    const auto daily = source->feeds(NewsletterType::daily);
    if (!push || !hourly || !daily) return {};
    return {{feedListEntries(*push, false), CloudFeedsType::push},
            {feedListEntries(*hourly, false), CloudFeedsType::newsletterHourly},
            {feedListEntries(*daily, false), CloudFeedsType::newsletterDaily}};
}

std::optional<ContainerCloudUserManager::FeedLists> ContainerCloudUserManager::allFeedLists(
    bool withNotificationLists) {
    FeedLists lists{{feedListEntries(nodes()->allFeeds(), true), CloudFeedsType::user}};
    if (withNotificationLists) {
        for (CloudFeedList& list : notificationFeedLists()) lists.push_back(std::move(list));
    }
    return lists;
}

void ContainerCloudUserManager::writeFeedLists(std::string operation, ListsBuilder build,
                                               std::optional<Date> newsletterDailyDate, Completion completion,
                                               int run) {
    guidRecordQueue_->async([this, operation = std::move(operation), build = std::move(build), newsletterDailyDate,
                             completion = std::move(completion), run] {
        fetchGUIDRecord([this, operation, build, newsletterDailyDate, completion, run](
                            std::optional<Record> record, auto, std::optional<CloudUserFailure> failure) {
            if (failure) {
                complete(completion);
                return;
            }
            std::optional<FeedLists> lists = build(record);
            if (!lists) {
                complete(completion);
                return;
            }
            SaveCompletion saved = [this, operation, build, newsletterDailyDate, completion,
                                    run](std::optional<CloudUserFailure> failure) {
                if (!isServerRecordChanged(failure)) {
                    complete(completion);
                } else if (run >= maxFeedListRuns) {
                    // Without a bound a backing that always answers so would keep this going for ever.
                    Logger::error([&] {
                        return operation + " error: the record kept changing on the server, gave up after " +
                               std::to_string(run) + " runs";
                    });
                    complete(completion);
                } else {
                    writeFeedLists(operation, build, newsletterDailyDate, completion, run + 1);
                }
            };
            if (record) {
                saveGUIDRecord(std::move(*record), std::move(*lists), newsletterDailyDate, std::nullopt,
                               std::move(saved));
            } else {
                createGUIDRecord(std::move(*lists), newsletterDailyDate, std::move(saved));
            }
        });
    });
}

void ContainerCloudUserManager::createGUIDRecord(FeedLists lists, std::optional<Date> newsletterDailyDate,
                                                 SaveCompletion completion) {
    userRecordQueue_->async([this, lists = std::move(lists), newsletterDailyDate,
                             completion = std::move(completion)] {
        fetchUserRecord([this, lists, newsletterDailyDate, completion](auto, std::optional<UserInfo> info,
                                                                       std::optional<Error> error) {
            if (!info || !info->guid || error) {
                std::optional<CloudUserFailure> failure;
                if (error) failure = *error;
                completion(std::move(failure));
                return;
            }
            guidRecordQueue_->async([this, guid = *info->guid, lists, newsletterDailyDate, completion] {
                fetchGUIDRecord([this, guid, lists, newsletterDailyDate, completion](
                                    std::optional<Record> record, auto, std::optional<CloudUserFailure> failure) {
                    makeGUIDRecord(std::move(record), std::move(failure), guid, lists, newsletterDailyDate,
                                   completion);
                });
            });
        });
    });
}

void ContainerCloudUserManager::addFeed(std::vector<CloudFeedEntry> entries, Completion completion) {
    writeFeedLists(
        "addFeed",
        [entries = std::move(entries)](const std::optional<Record>& record) -> std::optional<FeedLists> {
            std::vector<std::string> combined;
            if (record) combined = record->get<std::vector<std::string>>(GUIDKey::feeds).value_or(combined);
            for (const CloudFeedEntry& entry : entries) {
                combined.push_back(CloudFeedEntryText::make(entry.urlString, entry.folder));
            }
            if (combined.empty() || combined.front().empty()) return std::nullopt;
            return FeedLists{{std::move(combined), CloudFeedsType::user}};
        },
        std::nullopt, std::move(completion));
}

void ContainerCloudUserManager::saveUserFeeds(Completion completion) {
    writeFeedLists(
        "saveUserFeeds", [this](const auto&) { return allFeedLists(false); }, std::nullopt, std::move(completion));
}

void ContainerCloudUserManager::saveNotificationFeedLists(std::optional<Date> newsletterDailyDate,
                                                          Completion completion) {
    writeFeedLists(
        "saveNotificationFeedLists",
        [this](const auto&) -> std::optional<FeedLists> { return notificationFeedLists(); }, newsletterDailyDate,
        std::move(completion));
}

void ContainerCloudUserManager::saveAllFeedLists(Completion completion) {
    writeFeedLists(
        "saveAllFeedLists", [this](const auto&) { return allFeedLists(true); }, std::nullopt, std::move(completion));
}

void ContainerCloudUserManager::syncFeeds(Completion completion) {
    {
        std::lock_guard lock(mutex_);
        guidRecord_.reset();
    }
    guidRecordQueue_->async([this, completion = std::move(completion)] {
        fetchGUIDRecord([this, completion](std::optional<Record> record, auto,
                                           std::optional<CloudUserFailure> failure) {
            if (record) {
                reconcileIfDue(*record, completion);
            } else if (failure) {
                complete(completion);
            } else if (auto lists = allFeedLists(false)) {
                // A first sync of this user: the record starts with this device's feeds.
                createGUIDRecord(std::move(*lists), std::nullopt, [completion](auto) { complete(completion); });
            }
        });
    });
}

void ContainerCloudUserManager::reconcileIfDue(const Record& record, Completion completion) {
    const Date current = now();
    if (const auto lastSync = record.get<Date>(GUIDKey::lastSync); lastSync && current - *lastSync < recentSyncInterval) {
        complete(completion);
        return;
    }
    const auto texts = record.get<std::vector<std::string>>(GUIDKey::feeds);
    std::vector<CloudFeedEntry> cloudEntries = texts ? CloudFeedEntryText::parseAll(*texts) : std::vector<CloudFeedEntry>{};
    if (cloudEntries.empty()) {
        complete(completion);
        return;
    }
    const std::optional<Date> lastReconciled = preferences()->guidSyncDate();
    const std::optional<long> days = lastReconciled ? CalendarDays::wholeDays(*lastReconciled, current) : std::nullopt;
    if (days && *days < fullSyncDays) {
        // Only local feeds the record lacks make the reconciliation run.
        if (CloudFeedEntryText::allListed(feedListEntries(nodes()->allFeeds(), false),
                                          CloudFeedEntryText::normalizedURLs(cloudEntries))) {
            complete(completion);
            return;
        }
    }
    reconcile(std::move(cloudEntries), current, std::move(completion));
}

void ContainerCloudUserManager::reconcile(std::vector<CloudFeedEntry> cloudEntries, Date current,
                                          Completion completion) {
    guidRecordQueue_->async([this, cloudEntries = std::move(cloudEntries), current,
                             completion = std::move(completion)]() mutable {
        fetchGUIDRecord([this, cloudEntries = std::move(cloudEntries), current, completion](
                            std::optional<Record> record, auto, std::optional<CloudUserFailure> failure) {
            auto goOn = [this, cloudEntries, current, completion](auto...) {
                const std::shared_ptr<Preferences> settings = preferences();
                const std::optional<Date> previousSync = settings->guidSyncDate();
                settings->setGuidSyncDate(current);
                replaceLocalFeeds(cloudEntries, previousSync, completion);
            };
            // A failed write of the sync time does not stop the reconciliation.
            if (record && !failure) {
                saveGUIDRecord(std::move(*record), std::nullopt, std::nullopt, current, goOn);
            } else {
                goOn();
            }
        });
    });
}

void ContainerCloudUserManager::replaceLocalFeeds(std::vector<CloudFeedEntry> cloudEntries,
                                                  std::optional<Date> previousSync, Completion completion) {
    std::vector<URL> keep;
    keep.reserve(cloudEntries.size());
    for (const CloudFeedEntry& entry : cloudEntries) {
        if (auto url = URL::parse(entry.urlString)) keep.push_back(std::move(*url));
    }
    // Feeds this device made after its last reconciliation may never have
    // reached the record (added offline or with the cloud off): they stay
    // and go into the record. Without an earlier reconciliation the record wins.
    std::vector<CloudFeedEntry> kept;
    if (previousSync) {
        const std::unordered_set<std::string> cloudURLs = CloudFeedEntryText::normalizedURLs(cloudEntries);
        const graph::Date since{std::chrono::duration<double>(previousSync->time_since_epoch()).count()};
        for (const Feed& feed : nodes()->allFeeds()) {
            graph::Context* context = feed.context();
            if (!context) continue;
            context->performAndWait([&] {
                const auto url = feed.url();
                const auto created = feed.createdAt();
                if (!url || !created || *created <= since) return;
                if (cloudURLs.contains(lowercasedTrimmingSlashes(*url))) return;
                std::optional<std::string> folder;
                if (std::optional<Folder> parent = feed.folder()) folder = parent->name();
                kept.push_back(CloudFeedEntry{*url, folder});
            });
        }
    }
    const bool cloudNamesFeeds = !keep.empty();
    for (const CloudFeedEntry& entry : kept) {
        if (auto url = URL::parse(entry.urlString)) keep.push_back(std::move(*url));
    }
    auto afterDeletion = [this, cloudEntries = std::move(cloudEntries), kept, completion]() mutable {
        finishReconciliation(std::move(cloudEntries), std::move(kept), std::move(completion));
    };
    // A record without a single valid URL must not empty this device.
    if (!cloudNamesFeeds) {
        afterDeletion();
        return;
    }
    nodes()->deleteFeeds(keep, std::move(afterDeletion));
}

void ContainerCloudUserManager::finishReconciliation(std::vector<CloudFeedEntry> cloudEntries,
                                                     std::vector<CloudFeedEntry> kept, Completion completion) {
    AddFeeds addFeeds;
    {
        std::lock_guard lock(mutex_);
        addFeeds = feedListServices_.addFeeds;
    }
    addFeeds(std::move(cloudEntries), [this, kept = std::move(kept), completion = std::move(completion)]() mutable {
        // The feeds just added from the record are older than this date, so
        // a later reconciliation does not take them for this device's own.
        preferences()->setGuidSyncDate(now());
        if (kept.empty()) {
            complete(completion);
            return;
        }
        addFeed(std::move(kept), std::move(completion));
    });
}

void ContainerCloudUserManager::fetchCloudFeeds(Completion completion) {
    guidRecordQueue_->async([this, completion = std::move(completion)] {
        fetchGUIDRecord([this, completion](std::optional<Record> record, auto,
                                           std::optional<CloudUserFailure> failure) {
            if (failure) {
                complete(completion);
                return;
            }
            FeedLists lists;
            const std::pair<const char*, CloudFeedsType> keys[] = {
                {GUIDKey::pushFeeds, CloudFeedsType::push},
                {GUIDKey::newsletterHourlyFeeds, CloudFeedsType::newsletterHourly},
                {GUIDKey::newsletterDailyFeeds, CloudFeedsType::newsletterDaily},
            };
            for (const auto& [key, type] : keys) {
                if (!record) break;
                if (auto list = record->get<std::vector<std::string>>(key)) lists.emplace_back(std::move(*list), type);
            }
            nodes()->applyCloudFeedSettings(lists, completion);
        });
    });
}

void ContainerCloudUserManager::feedNotificationSettings(const std::string& url,
                                                         NotificationSettingsCompletion completion) {
    guidRecordQueue_->async([this, url, completion = std::move(completion)] {
        fetchGUIDRecord([url, completion](std::optional<Record> record, auto,
                                          std::optional<CloudUserFailure> failure) {
            if (failure || !record) {
                completion(true, NewsletterType::none);
                return;
            }
            auto listed = [&](const char* key) {
                const auto list = record->get<std::vector<std::string>>(key);
                return list ? std::optional<bool>(std::find(list->begin(), list->end(), url) != list->end())
                            : std::nullopt;
            };
            const bool notify = listed(GUIDKey::pushFeeds).value_or(true);
            NewsletterType newsletter = NewsletterType::none;
            if (listed(GUIDKey::newsletterDailyFeeds).value_or(false)) {
                newsletter = NewsletterType::daily;
            } else if (listed(GUIDKey::newsletterHourlyFeeds).value_or(false)) {
                newsletter = NewsletterType::hourly;
            }
            completion(notify, newsletter);
        });
    });
}

// --- Sign-in state and the user's record ---

std::optional<bool> ContainerCloudUserManager::isAuthenticated() const {
    std::lock_guard lock(mutex_);
    return isAuthenticated_;
}

std::optional<bool> ContainerCloudUserManager::cloudAvailabilityReply() const {
    const auto authenticated = isAuthenticated();
    if (!authenticated) return std::nullopt;
    if (!*authenticated) return false;
    return cloudEnabled_();
}

void ContainerCloudUserManager::checkCloudAvailability(AvailabilityCompletion completion) {
    if (isAuthenticated()) {
        completion(cloudAvailabilityReply());
        return;
    }
    userRecordQueue_->async([this, completion = std::move(completion)] {
        fetchUserRecord([this, completion](auto, auto, auto) { completion(cloudAvailabilityReply()); });
    });
}

UserInfo ContainerCloudUserManager::readUserInfo(const std::optional<Record>& record) {
    if (!record) return {};
    return UserInfo{record->get<std::string>(userGUIDKey), record->get<std::string>(userEmailKey)};
}

void ContainerCloudUserManager::fetchUserRecord(UserRecordCompletion completion) {
    {
        std::unique_lock lock(mutex_);
        if (userRecord_ || isAuthenticated_ == false) {
            auto record = userRecord_;
            auto info = userInfo_;
            lock.unlock();
            completion(std::move(record), std::move(info), std::nullopt);
            return;
        }
    }
    container()->fetchCurrentUserRecord([this, completion](std::optional<Record> record, std::optional<Error> error) {
        if (error && error->code == cloud::ErrorCode::notAuthenticated) {
            std::lock_guard lock(mutex_);
            isAuthenticated_ = false;
        } else {
            // A retry ends this attempt: it frees the queue and queues the
            // whole fetch again, which alone answers the caller.
            const bool retrying = handleError(error, [this, completion] {
                userRecordSemaphore_.signal();
                userRecordQueue_->async([this, completion] { fetchUserRecord(completion); });
            });
            if (retrying) return;
            std::lock_guard lock(mutex_);
            if (!error) isAuthenticated_ = true;
            userRecord_ = record;
            userInfo_ = readUserInfo(record);
        }
        finishUserFetch(std::move(error), completion);
    });
    userRecordSemaphore_.wait();
}

void ContainerCloudUserManager::finishUserFetch(std::optional<Error> error, const UserRecordCompletion& completion) {
    assignGUID([this, error = std::move(error), completion] {
        userRecordSemaphore_.signal();
        std::unique_lock lock(mutex_);
        auto record = userRecord_;
        auto info = userInfo_;
        lock.unlock();
        completion(std::move(record), std::move(info), error);
    });
}

void ContainerCloudUserManager::assignGUID(std::function<void()> finish) {
    std::unique_lock lock(mutex_);
    const auto info = userInfo_;
    const auto record = userRecord_;
    const auto makeGUID = makeGUID_;
    lock.unlock();
    if (info && info->guid && !info->guid->empty()) {
        notifications()->subscribeGUIDUpdates(*info->guid, std::move(finish));
        return;
    }
    if (record) {
        writeUserRecord(*record, makeGUID(), info ? info->email : std::nullopt,
                        [finish = std::move(finish)](bool) { finish(); });
        return;
    }
    finish();
}

void ContainerCloudUserManager::writeUserRecord(Record record, std::string guid, std::optional<std::string> email,
                                                SuccessCompletion completion) {
    Record changed = record;
    changed.set(userGUIDKey, guid);
    changed.setOptional(userEmailKey, email ? std::optional<cloud::FieldValue>(*email) : std::nullopt);
    publicDB()->modifyRecords(
        {changed}, {},
        [this, record = std::move(record), guid, email, completion](std::vector<Record> saved, auto,
                                                                    std::optional<Error> error) {
            if (error) {
                if (handleError(error, [this, record, guid, email, completion] {
                        writeUserRecord(record, guid, email, completion);
                    })) {
                    return;
                }
                Logger::error([&] { return "user set error: " + error->textualDescription(); });
                {
                    std::lock_guard lock(mutex_);
                    userRecord_.reset();
                }
                completion(false);
                return;
            }
            notifications()->subscribeGUIDUpdates(guid, [this, guid, email, saved, completion] {
                {
                    std::lock_guard lock(mutex_);
                    userInfo_ = UserInfo{guid, email};
                    // The saved form carries the new change tag the next write needs.
                    if (!saved.empty()) userRecord_ = saved.back();
                }
                completion(true);
            });
        });
}

void ContainerCloudUserManager::getGUID(TextCompletion completion) {
    userRecordQueue_->async([this, completion = std::move(completion)] {
        fetchUserRecord([completion](auto, std::optional<UserInfo> info, auto) {
            completion(info ? info->guid : std::nullopt);
        });
    });
}

void ContainerCloudUserManager::getEmail(TextCompletion completion) {
    userRecordQueue_->async([this, completion = std::move(completion)] {
        fetchUserRecord([completion](auto, std::optional<UserInfo> info, auto) {
            completion(info ? info->email : std::nullopt);
        });
    });
}

void ContainerCloudUserManager::setEmail(std::optional<std::string> email, SuccessCompletion completion) {
    userRecordQueue_->async([this, email = std::move(email), completion = std::move(completion)] {
        fetchUserRecord([this, email, completion](std::optional<Record> record, std::optional<UserInfo> info,
                                                  std::optional<Error> error) {
            if (!record || !info || !info->guid || error) {
                completion(false);
                return;
            }
            writeUserRecord(*record, *info->guid, email, completion);
        });
    });
}

// --- The identity record ---

void ContainerCloudUserManager::getNewsletterDailyDate(DateCompletion completion) {
    guidRecordQueue_->async([this, completion = std::move(completion)] {
        fetchGUIDRecord([completion](auto, std::optional<GUIDInfo> info, auto) {
            completion(info ? info->newsletterDailyDate : std::nullopt);
        });
    });
}

void ContainerCloudUserManager::fetchGUIDRecord(GUIDRecordCompletion completion) {
    guidRecordSemaphore_.wait();
    std::unique_lock lock(mutex_);
    if (guidRecord_) {
        auto record = guidRecord_;
        auto info = guidInfo_;
        lock.unlock();
        guidRecordSemaphore_.signal();
        completion(std::move(record), std::move(info), std::nullopt);
        return;
    }
    lock.unlock();
    userRecordQueue_->async([this, completion = std::move(completion)] {
        fetchUserRecord([this, completion](auto, std::optional<UserInfo> info, std::optional<Error> error) {
            queryGUIDRecord(std::move(info), std::move(error), completion);
        });
    });
}

void ContainerCloudUserManager::queryGUIDRecord(std::optional<UserInfo> userInfo, std::optional<Error> userError,
                                                GUIDRecordCompletion completion) {
    if (!userInfo || !userInfo->guid) {
        Logger::error([] { return "no user"; });
        guidRecordSemaphore_.signal();
        std::optional<CloudUserFailure> failure;
        if (userError) failure = *userError;
        completion(std::nullopt, std::nullopt, std::move(failure));
        return;
    }
    auto self = weak_from_this().lock();
    if (!self) {
        // The manager is going away; nothing may start on its behalf.
        guidRecordSemaphore_.signal();
        completion(std::nullopt, std::nullopt, CloudUserError::notAuthenticated);
        return;
    }
    CloudAvailability::decide(std::move(self), false,
                              [this, guid = *userInfo->guid, completion](bool mayRun) {
                                  if (mayRun) {
                                      runGUIDQuery(guid, completion);
                                      return;
                                  }
                                  Logger::warning([] { return "not authenticated"; });
                                  guidRecordSemaphore_.signal();
                                  completion(std::nullopt, std::nullopt, CloudUserError::notAuthenticated);
                              });
}

void ContainerCloudUserManager::runGUIDQuery(const std::string& guid, GUIDRecordCompletion completion) {
    cloud::Query query(guidRecordType, cloud::Predicate::equals(GUIDKey::guid, guid));
    cloud::QueryOptions options;
    options.resultsLimit = 1;
    publicDB()->query(
        query, options, [this](const Record& record) { readGUIDRecord(record); },
        [this, completion](std::optional<cloud::Cursor>, std::optional<Error> error) {
            if (error && handleError(error, [this, completion] {
                    guidRecordSemaphore_.signal();
                    guidRecordQueue_->async([this, completion] { fetchGUIDRecord(completion); });
                })) {
                return;
            }
            std::unique_lock lock(mutex_);
            auto record = guidRecord_;
            auto info = guidInfo_;
            lock.unlock();
            guidRecordSemaphore_.signal();
            std::optional<CloudUserFailure> failure;
            if (error) failure = *error;
            completion(std::move(record), std::move(info), std::move(failure));
        });
}

void ContainerCloudUserManager::readGUIDRecord(const Record& record) {
    const GUIDInfo info{NewsletterTime::dailyDate(record.get<std::int64_t>(GUIDKey::newsletterDailyHour),
                                                  record.get<std::int64_t>(GUIDKey::newsletterDailyMinute))};
    {
        std::lock_guard lock(mutex_);
        guidRecord_ = record;
        guidInfo_ = info;
    }
    setEmailVerified(record.get<bool>(GUIDKey::verified).value_or(false));
}

void ContainerCloudUserManager::makeGUIDRecord(std::optional<Record> fetched,
                                               std::optional<CloudUserFailure> fetchFailure, const std::string& guid,
                                               std::optional<std::vector<CloudFeedList>> feedLists,
                                               std::optional<Date> newsletterDailyDate, SaveCompletion completion) {
    if (fetchFailure) {
        completion(std::move(fetchFailure));
        return;
    }
    if (!fetched) {
        fetched.emplace(guidRecordType, cloud::RecordID(guid));
        fetched->set(GUIDKey::guid, guid);
    }
    saveGUIDRecord(std::move(*fetched), std::move(feedLists), newsletterDailyDate, std::nullopt,
                   std::move(completion));
}

const char* ContainerCloudUserManager::feedListKey(CloudFeedsType type) {
    switch (type) {
        case CloudFeedsType::user: return GUIDKey::feeds;
        case CloudFeedsType::push: return GUIDKey::pushFeeds;
        case CloudFeedsType::newsletterHourly: return GUIDKey::newsletterHourlyFeeds;
        case CloudFeedsType::newsletterDaily: return GUIDKey::newsletterDailyFeeds;
    }
    return GUIDKey::feeds;
}

void ContainerCloudUserManager::writeNewsletterTime(Record& record, Date date) {
    const auto time = NewsletterTime::hourMinute(date);
    record.setOptional(GUIDKey::newsletterDailyHour,
                       time ? std::optional<cloud::FieldValue>(std::int64_t{time->hour}) : std::nullopt);
    record.setOptional(GUIDKey::newsletterDailyMinute,
                       time ? std::optional<cloud::FieldValue>(std::int64_t{time->minute}) : std::nullopt);
    std::unique_lock lock(mutex_);
    if (guidInfo_) guidInfo_->newsletterDailyDate = date;
    const auto clock = clock_;
    lock.unlock();
    if (!time) return;
    const auto next = NewsletterTime::nextUpdate(*time, clock());
    record.setOptional(GUIDKey::newsletterDailyNextUpdate,
                       next ? std::optional<cloud::FieldValue>(*next) : std::nullopt);
}

void ContainerCloudUserManager::saveGUIDRecord(Record record, std::optional<std::vector<CloudFeedList>> feedLists,
                                               std::optional<Date> newsletterDailyDate,
                                               std::optional<Date> lastSync, SaveCompletion completion) {
    if (feedLists) {
        for (auto& [entries, type] : *feedLists) record.set(feedListKey(type), std::move(entries));
    }
    if (newsletterDailyDate) writeNewsletterTime(record, *newsletterDailyDate);
    Date now;
    {
        std::lock_guard lock(mutex_);
        now = clock_();
    }
    record.set(GUIDKey::timezoneSecondsOffset, NewsletterTime::secondsFromGMT(now));
    const LocaleCodes locale = LocaleCodes::current();
    record.setOptional(GUIDKey::language,
                       locale.language ? std::optional<cloud::FieldValue>(*locale.language) : std::nullopt);
    record.setOptional(GUIDKey::region,
                       locale.region ? std::optional<cloud::FieldValue>(*locale.region) : std::nullopt);
    if (lastSync) record.set(GUIDKey::lastSync, *lastSync);
    sendGUIDRecord(std::move(record), std::move(completion));
}

void ContainerCloudUserManager::sendGUIDRecord(Record record, SaveCompletion completion) {
    publicDB()->modifyRecords(
        {record}, {},
        [this, record, completion](std::vector<Record> saved, auto, std::optional<Error> error) {
            if (error && handleError(error, [this, record, completion] { sendGUIDRecord(record, completion); })) {
                return;
            }
            {
                std::lock_guard lock(mutex_);
                if (error) {
                    guidRecord_.reset();
                } else if (!saved.empty()) {
                    guidRecord_ = saved.back();
                }
            }
            if (!error) {
                completion(std::nullopt);
                return;
            }
            Logger::error([&] { return "guid record set error: " + error->textualDescription(); });
            const Error* itemError = error->code == cloud::ErrorCode::partialFailure
                                         ? error->partialError(record.recordID().recordName)
                                         : nullptr;
            completion(CloudUserFailure(itemError ? *itemError : *error));
        });
}

}  // namespace tallowmere
