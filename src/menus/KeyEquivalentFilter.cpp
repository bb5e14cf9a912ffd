#include "menus/KeyEquivalentFilter.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWebEngineView>

#include "menus/ArticlesMenuItem.h"
#include "reader/ReaderView.h"
#include "window/ActionRouter.h"

namespace tallowmere {
namespace {

constexpr Qt::KeyboardModifiers chordModifiers = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

bool isBare(const QKeyEvent& event) { return !(event.modifiers() & chordModifiers); }

// A key that types a character when nothing intercepts it.
bool isCharacterKey(int key) { return key >= Qt::Key_Space && key <= Qt::Key_AsciiTilde; }

QWidget* widgetOf(QObject* object) { return object && object->isWidgetType() ? static_cast<QWidget*>(object) : nullptr; }

bool isEditableWidget(QWidget* widget) {
    if (auto* line = qobject_cast<QLineEdit*>(widget)) return !line->isReadOnly();
    if (auto* text = qobject_cast<QTextEdit*>(widget)) return !text->isReadOnly();
    if (auto* plain = qobject_cast<QPlainTextEdit*>(widget)) return !plain->isReadOnly();
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(widget)) return !spin->isReadOnly();
    if (auto* combo = qobject_cast<QComboBox*>(widget)) return combo->isEditable();
    return false;
}

}  // namespace

KeyEquivalentFilter::KeyEquivalentFilter(QWidget* anchor, ArticlesMenuItem* articles, QObject* parent)
    : QObject(parent), anchor_(anchor), articles_(articles) {}

bool KeyEquivalentFilter::isTextInput(QWidget* focus) {
    for (QWidget* widget = focus; widget; widget = widget->isWindow() ? nullptr : widget->parentWidget()) {
        if (isEditableWidget(widget)) return true;
        if (qobject_cast<QWebEngineView*>(widget)) {
            // The reader's script reports focus in the page's fields; of any
            // other page nothing is known, so its keys are left to it.
            for (QWidget* outer = widget; outer; outer = outer->isWindow() ? nullptr : outer->parentWidget()) {
                if (auto* reader = qobject_cast<ReaderView*>(outer)) return reader->hasEditableFocus();
            }
            return true;
        }
    }
    return false;
}

bool KeyEquivalentFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        auto& key = static_cast<QKeyEvent&>(*event);
        if (overridesShortcut(watched, key)) {
            // Taken as the widget's own key: no menu entry fires, the key is typed.
            key.accept();
            return true;
        }
    } else if (event->type() == QEvent::KeyPress) {
        return handlesKeyPress(watched, static_cast<QKeyEvent&>(*event));
    }
    return false;
}

bool KeyEquivalentFilter::overridesShortcut(QObject* receiver, const QKeyEvent& event) const {
    if (!isBare(event) || !isCharacterKey(event.key())) return false;
    if (event.text().isEmpty()) return true;
    return isTextInput(widgetOf(receiver));
}

bool KeyEquivalentFilter::handlesKeyPress(QObject* receiver, QKeyEvent& event) const {
    QWidget* widget = widgetOf(receiver);
    if (!articles_ || !widget || !anchor_ || widget->window() != anchor_->window()) return false;
    if (isTextInput(widget)) return false;
    const auto action = articles_->menuHasKeyEquivalent(event);
    if (!action) return false;
    event.accept();
    sendActionToTarget(*action);
    return true;
}

}  // namespace tallowmere
