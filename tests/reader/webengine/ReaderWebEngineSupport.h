#pragma once

#include <QPoint>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <QtTest/QTest>
#include <optional>
#include <string>

#include "support/ui/UiWait.h"

namespace tallowmere::test {

// The result of a script run in the page's own world (or ours).
inline QVariant evaluate(QWebEnginePage* page, const QString& script,
                         quint32 world = QWebEngineScript::MainWorld) {
    std::optional<QVariant> result;
    page->runJavaScript(script, world, [&](const QVariant& value) { result = value; });
    waitUntil([&] { return result.has_value(); }, 15000);
    return result.value_or(QVariant());
}

// Clicks the element with the id as a person would, with the mouse.
inline bool clickElement(QWebEngineView* view, const QString& id) {
    const QVariant rect = evaluate(view->page(),
                                   QStringLiteral("(function(){var e=document.getElementById('%1');"
                                                  "if(!e)return null;var r=e.getBoundingClientRect();"
                                                  "return [r.left+r.width/2,r.top+r.height/2];})()")
                                       .arg(id));
    const QVariantList point = rect.toList();
    if (point.size() != 2) return false;
    QWidget* target = view->focusProxy() ? view->focusProxy() : view;
    const QPoint at(static_cast<int>(point[0].toDouble()), static_cast<int>(point[1].toDouble()));
    QTest::mouseMove(target, at);
    QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, at);
    return true;
}

}  // namespace tallowmere::test
