#pragma once

#include <QObject>
#include <QPointer>

class QKeyEvent;
class QWidget;

namespace tallowmere {

class ArticlesMenuItem;

// Watches the program's keys for the menu bar. A key without Ctrl, Alt or
// Meta never fires a menu entry while the focus is in a text input (a line
// edit, the rename editor, a text box, an editable element of a web page)
// or while a composition is under way: the key stays text. In the window of
// the menu bar, "[", "]" and "\" reach the Articles entries they stand for.
class KeyEquivalentFilter : public QObject {
    Q_OBJECT
public:
    // The keys of "[", "]" and "\" work in the window that holds `anchor`.
    KeyEquivalentFilter(QWidget* anchor, ArticlesMenuItem* articles, QObject* parent = nullptr);

    // Whether the widget with the focus takes typed text.
    static bool isTextInput(QWidget* focus);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool overridesShortcut(QObject* receiver, const QKeyEvent& event) const;
    bool handlesKeyPress(QObject* receiver, QKeyEvent& event) const;

    QPointer<QWidget> anchor_;
    QPointer<ArticlesMenuItem> articles_;
};

}  // namespace tallowmere
