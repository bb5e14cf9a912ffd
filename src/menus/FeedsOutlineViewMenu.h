#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/Localizable.h"
#include "menus/TableViewMenu.h"
#include "store/Node.h"

namespace tallowmere {

class FeedsManager;
class NodesSource;

// Context menu of one sidebar row. A feed offers its new-article
// notifications, its address and its removal; a folder its renaming and
// removal; any other node its removal alone. Every item acts on the node
// the menu was made for, which the menu holds until it is released.
class FeedsOutlineViewMenu : public TableViewMenu, public Localizable<FeedsOutlineViewMenu> {
    Q_OBJECT
public:
    static constexpr std::string_view tableName = "FeedsOutlineViewMenu";
    // The informative text of the removal alert is cut to this width, and to
    // half the screen's, so that no name makes the alert outgrow the screen.
    static constexpr int maximumNameWidth = 480;

    // What the items work with.
    struct Services {
        std::shared_ptr<NodesSource> nodesSource;
        FeedsManager* feedsManager = nullptr;
        // Those put in place by setShared, else the program's shared objects
        // (made here on first use).
        static Services shared();
        // Nothing puts the program's own back.
        static void setShared(std::optional<Services> services);
    };

    // `row` is the clicked row of the outline (negative: none). Without
    // services the menu uses the shared ones when an item is chosen.
    FeedsOutlineViewMenu(Node node, int row, QWidget* parent = nullptr);
    FeedsOutlineViewMenu(Node node, int row, std::optional<Services> services, QWidget* parent = nullptr);

    const Node& node() const { return node_; }
    int row() const { return row_; }

    // The items' actions. The notify item passes the state it showed. The
    // menu may be gone when removeNode returns.
    void toggleNotifyUpdates(bool shownOn);
    void copyFeedURL();
    void renameFolder();
    void removeNode();

    // The removal alert's informative text for a node name: on one line, cut
    // in the middle to fit the alert's width on its screen.
    static QString shownName(const std::string& name, const QWidget& alert);

private:
    QAction* addItem(std::string_view key);
    Services services() const;
    // Whether the user chose the alert's first button.
    static bool confirmRemoval(const std::string& name, QWidget* window);

    Node node_;
    int row_;
    std::optional<Services> services_;
};

}  // namespace tallowmere
