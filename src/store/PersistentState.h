#pragma once

#include <memory>

#include "platform/defaults/UserDefaults.h"

namespace tallowmere {

// User-interface state that stays on this computer: whether the program runs
// for the first time, and the key under which the sidebar remembers the node
// selected last. That value is the text of the node's object-ID URI
// ("tallowmere://<store>/<Entity>/<key>"); the sidebar reads and writes it
// through defaults() and turns it into an object ID itself.
class PersistentState {
public:
    static constexpr const char* firstLaunchKey = "FirstLaunch";
    static constexpr const char* lastSelectedNodeKey = "LastSelectedNode";

    explicit PersistentState(std::shared_ptr<defaults::UserDefaults> defaults);
    PersistentState(const PersistentState&) = delete;
    PersistentState& operator=(const PersistentState&) = delete;

    // Over the standard settings file, made on first use.
    static std::shared_ptr<PersistentState> shared();
    // Puts another instance in place of the shared one (tests); nothing makes
    // the next shared() build a fresh one.
    static void replaceShared(std::shared_ptr<PersistentState> state);

    defaults::UserDefaults& defaults() const { return *defaults_; }

    // True until set to false; written to the file at once.
    bool firstLaunch() const;
    void setFirstLaunch(bool value);

private:
    std::shared_ptr<defaults::UserDefaults> defaults_;
};

}  // namespace tallowmere
