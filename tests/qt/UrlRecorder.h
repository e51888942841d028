#pragma once
// Stands in for the desktop's web browser: records the addresses the program asks to open.

#include <QObject>
#include <QStringList>
#include <QUrl>

namespace tovanel::testing {

class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QStringList opened;
public slots:
    void Open(const QUrl& url) { opened << url.toString(); }
};

}  // namespace tovanel::testing
