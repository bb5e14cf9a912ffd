#pragma once

#include <QString>
#include <optional>

#include "prefs/CloudBackingEntry.h"
#include "prefs/PreferencesContentViewController.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QWebEngineProfile;

namespace tallowmere {

class ProgressIndicator;
class WebDataRemoval;
template <typename T>
class PopUpButton;
namespace desktop {
class SchemeHandlerRegistry;
}

// The third pane: removing the web data of the reader, making the program
// the desktop's default handler of "feed" links (with a line telling whether
// it is), and the cloud account that the next start signs in to.
class PreferencesAdvancedViewController : public PreferencesContentViewController {
    Q_OBJECT
public:
    static constexpr const char* tableName = "PreferencesAdvancedViewController";
    // The rows of the web data and the default reader; the cloud account's
    // rows come below them.
    static constexpr int height = 124;
    static constexpr const char* scheme = "feed";

    // `profile`: the web profile whose data is removed; the reader's when none is given.
    explicit PreferencesAdvancedViewController(QWebEngineProfile* profile = nullptr, QObject* parent = nullptr);

    // The program's desktop entry id, which the desktop names as the handler.
    static QString desktopId();

    QPushButton* removeWebCachesButton() const { return removeWebCachesButton_; }
    ProgressIndicator* removeWebCachesProgressIndicator() const { return removeWebCachesProgressIndicator_; }
    QPushButton* setAsDefaultButton() const { return setAsDefaultButton_; }
    QLabel* currentDefaultFeedReaderTextField() const { return currentDefaultFeedReaderTextField_; }
    QComboBox* cloudBackingPopUp() const;
    QLineEdit* cloudBackingField() const { return cloudBackingField_; }
    QPushButton* cloudBackingApplyButton() const { return cloudBackingApplyButton_; }
    QLabel* cloudStatusTextField() const { return cloudStatusTextField_; }

    void removeWebCaches();
    void setAsDefaultFeedReader();
    void updateDefaultFeedReaderStatus();
    // Stores the entered cloud account for the next start, or says why not.
    void applyCloudBacking();
    void updateCloudStatus();

protected:
    void viewDidLoad() override;
    void viewWillAppear() override;

private:
    void addCacheRows();
    void addCloudRows();
    void cloudBackingKindChosen(CloudBackingEntry::Kind kind);
    void prepareCloudBackingField(CloudBackingEntry::Kind kind);
    void chooseCloudFile();
    // Shows the stored entry; a connection string with its password masked.
    void showStoredCloudBacking();

    QWebEngineProfile* profile_;
    desktop::SchemeHandlerRegistry* handlers_;
    WebDataRemoval* removal_ = nullptr;
    QPushButton* removeWebCachesButton_ = nullptr;
    ProgressIndicator* removeWebCachesProgressIndicator_ = nullptr;
    QPushButton* setAsDefaultButton_ = nullptr;
    QLabel* currentDefaultFeedReaderTextField_ = nullptr;
    PopUpButton<CloudBackingEntry::Kind>* cloudBackingPopUp_ = nullptr;
    QLineEdit* cloudBackingField_ = nullptr;
    QToolButton* cloudFileChooser_ = nullptr;
    QPushButton* cloudBackingApplyButton_ = nullptr;
    QLabel* cloudStatusTextField_ = nullptr;
    // The stored entry; the field shows it (masked) until the user edits it.
    CloudBackingEntry stored_;
    bool fieldShowsStored_ = false;
};

}  // namespace tallowmere
