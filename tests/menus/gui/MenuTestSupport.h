#pragma once

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "support/ui/UiWait.h"

namespace tallowmere::test {

// The entries of a menu as shown, a separator as "-".
inline std::vector<std::string> titles(const QMenu& menu) {
    std::vector<std::string> shown;
    for (const QAction* action : menu.actions()) shown.push_back(action->isSeparator() ? "-" : action->text().toStdString());
    return shown;
}

inline QAction* entry(const QMenu& menu, const std::string& title) {
    for (QAction* action : menu.actions())
        if (action->text().toStdString() == title) return action;
    return nullptr;
}

// What the modal alert showed when the test answered it.
struct AlertSeen {
    bool shown = false;
    QString text;
    QString informativeText;
    Qt::TextFormat informativeFormat = Qt::AutoText;
    std::vector<std::string> buttons;  // "accept <title>", "reject <title>"
    QRect frame;
    QRect screen;
};

// Waits, in the event loop that the alert runs, for the next modal alert and
// clicks its button of that title.
inline std::shared_ptr<AlertSeen> answerNextAlert(const QString& button) {
    auto seen = std::make_shared<AlertSeen>();
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, seen, button] {
        auto* alert = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!alert || !alert->isVisible()) return;
        seen->shown = true;
        seen->text = alert->text();
        seen->informativeText = alert->informativeText();
        if (auto* label = alert->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
            seen->informativeFormat = label->textFormat();
        for (QAbstractButton* each : alert->buttons()) {
            const auto role = alert->buttonRole(each);
            const std::string kind = role == QMessageBox::AcceptRole ? "accept " : role == QMessageBox::RejectRole ? "reject " : "other ";
            seen->buttons.push_back(kind + each->text().toStdString());
        }
        seen->frame = alert->frameGeometry();
        seen->screen = alert->screen()->availableGeometry();
        for (QAbstractButton* each : alert->buttons())
            if (each->text() == button) each->click();
        poll->deleteLater();
    });
    poll->start();
    return seen;
}

}  // namespace tallowmere::test
