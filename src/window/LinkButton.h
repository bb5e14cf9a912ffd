#pragma once

#include <QPushButton>
#include <optional>
#include <string>

namespace tallowmere {

// A borderless button with an underlined title that opens its address in
// the default browser or mail program. Only http, https and mailto
// addresses are opened; any other address, or none, does nothing.
class LinkButton : public QPushButton {
    Q_OBJECT
public:
    LinkButton(const QString& title, std::optional<std::string> urlString, QWidget* parent = nullptr);

    const std::optional<std::string>& urlString() const { return urlString_; }
    void setUrlString(std::optional<std::string> urlString) { urlString_ = std::move(urlString); }

    // Opens the address; false when there was none to open.
    bool openLink();

private:
    std::optional<std::string> urlString_;
};

}  // namespace tallowmere
