#include "cloud/ContainerCloudUserManager.h"

#include <utility>

#include "cloud/BackgroundCompletion.h"
#include "cloud/CloudAvailability.h"
#include "cloud/LocaleCodes.h"
#include "cloud/NewsletterTime.h"
#include "foundation/DispatchQueueFactory.h"
#include "foundation/Logger.h"
#include "foundation/UUID.h"
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

// --- Feed lists: not kept in the cloud by this manager; answered at once ---

void ContainerCloudUserManager::feedNotificationSettings(const std::string&,
                                                         NotificationSettingsCompletion completion) {
    completeInBackground(std::move(completion), false, NewsletterType::none);
}

void ContainerCloudUserManager::addFeed(std::vector<CloudFeedEntry>, Completion completion) {
    completeInBackground(std::move(completion));
}

void ContainerCloudUserManager::saveUserFeeds(Completion completion) { completeInBackground(std::move(completion)); }

void ContainerCloudUserManager::saveAllFeedLists(Completion completion) {
    completeInBackground(std::move(completion));
}

void ContainerCloudUserManager::syncFeeds(Completion completion) { completeInBackground(std::move(completion)); }

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
    CloudAvailability::decide(shared_from_this(), false,
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
