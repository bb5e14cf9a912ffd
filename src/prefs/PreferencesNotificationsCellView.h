#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>
#include <optional>
#include <type_traits>

#include "prefs/PreferencesNotificationsCellViewDelegate.h"
#include "store/Feed.h"

class QCheckBox;
class QComboBox;
class QLabel;

namespace tallowmere {

class NodesSource;

// One cell of the notifications pane's table; its column identifier decides
// what it shows of the row's feed: icon and name ("feed"), a checkbox for
// new-article notifications ("notifications") or the newsletter choice
// ("newsletter"). Cells are reused: each new object value refreshes them.
class PreferencesNotificationsCellView : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* feedIdentifier = "feed";
    static constexpr const char* notificationsIdentifier = "notifications";
    static constexpr const char* newsletterIdentifier = "newsletter";
    static constexpr int iconSize = 16;
    static constexpr int spacing = 2;
    static constexpr int iconCornerRadius = 4;

    PreferencesNotificationsCellView(const QString& identifier, std::shared_ptr<NodesSource> nodes,
                                     QWidget* parent = nullptr);

    const QString& identifier() const { return identifier_; }

    // Setting it shows the feed at once.
    const std::optional<Feed>& objectValue() const { return objectValue_; }
    void setObjectValue(std::optional<Feed> feed);

    // Held weakly: once the delegate object is gone, choices are dropped.
    template <typename T>
    void setDelegate(T* delegate) {
        static_assert(std::is_base_of_v<QObject, T> && std::is_base_of_v<PreferencesNotificationsCellViewDelegate, T>);
        delegateObject_ = delegate;
        delegate_ = delegate;
    }
    PreferencesNotificationsCellViewDelegate* delegate() const { return delegateObject_ ? delegate_ : nullptr; }

    QCheckBox* notificationsCheckboxButton() const { return notificationsCheckboxButton_; }
    QComboBox* newsletterPopUpButton() const { return newsletterPopUpButton_; }
    QLabel* imageView() const { return imageView_; }
    QLabel* textField() const { return textField_; }
    // The name shown, before it is shortened to fit.
    const QString& fullText() const { return fullText_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildFeed();
    void buildNotifications();
    void buildNewsletter();
    void configure();
    // A feed no longer in the store shows nothing rather than the previous row's values.
    void clear();
    void showName(const QString& name);
    void notificationUpdated();
    void newsletterUpdated(int index);

    QString identifier_;
    std::shared_ptr<NodesSource> nodes_;
    std::optional<Feed> objectValue_;
    QPointer<QObject> delegateObject_;
    PreferencesNotificationsCellViewDelegate* delegate_ = nullptr;
    QCheckBox* notificationsCheckboxButton_ = nullptr;
    QComboBox* newsletterPopUpButton_ = nullptr;
    QLabel* imageView_ = nullptr;
    QLabel* textField_ = nullptr;
    QString fullText_;
};

}  // namespace tallowmere
