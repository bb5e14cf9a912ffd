#pragma once

#include <QObject>
#include <QStringList>
#include <QUrl>

namespace tallowmere::test {

// Stands in for the desktop's handlers of the schemes the reader may open
// (and of some it must not), recording every address handed to them.
class LinkCatcher : public QObject {
    Q_OBJECT
public:
    LinkCatcher();
    ~LinkCatcher() override;
    QStringList opened;

public Q_SLOTS:
    void open(const QUrl& url);
};

}  // namespace tallowmere::test
