#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <memory>
#include <optional>
#include <string_view>

#include "foundation/Localizable.h"
#include "platform/desktop/ViewController.h"
#include "window/CleanStringFormatter.h"

namespace tallowmere {

class NodesSource;

// The sheet that asks for a feed's (or a site's) address and, optionally, a
// folder. Add sends the address and the trimmed folder name up the action
// chain and closes; Cancel and Escape close without sending. The folder box
// offers and completes the stored folders' names. A new sheet each time.
class FeedAddViewController : public desktop::ViewController, public Localizable<FeedAddViewController> {
    Q_OBJECT
public:
    static constexpr std::string_view tableName = "FeedAddViewController";
    static constexpr QSize size{500, 84};
    static constexpr int edgeInsets = 14;

    explicit FeedAddViewController(std::shared_ptr<NodesSource> nodesSource, QObject* parent = nullptr);

    QLabel* infoTextField() const { return infoTextField_; }
    QLineEdit* feedURLTextField() const { return feedURLTextField_; }
    QComboBox* folderNameComboBox() const { return folderNameComboBox_; }
    QPushButton* cancelButton() const { return cancelButton_; }
    QPushButton* addButton() const { return addButton_; }
    CleanStringFormatter* cleanStringFormatter() const { return cleanStringFormatter_; }

    // The folder box's list: the stored folders' names, read anew each call.
    int numberOfItems() const;
    std::optional<QString> objectValueForItem(int index) const;
    // The first name that begins with the text, ignoring case, in its own case.
    std::optional<QString> completedString(const QString& text) const;
    // The first name equal to the text (case matters), or -1.
    int indexOfItemWithStringValue(const QString& text) const;

    void add();
    void cancel();
    void focusFolderNameComboBox();

protected:
    void loadView() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::vector<std::string> folderNames() const;
    void completeFolderName(const QString& typed);
    void close();

    std::shared_ptr<NodesSource> nodesSource_;
    QLabel* infoTextField_;
    QLineEdit* feedURLTextField_;
    QComboBox* folderNameComboBox_;
    QPushButton* cancelButton_;
    QPushButton* addButton_;
    CleanStringFormatter* cleanStringFormatter_;
    QString lastTypedFolder_;
    bool closing_ = false;
};

}  // namespace tallowmere
