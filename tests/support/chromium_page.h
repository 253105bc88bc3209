#pragma once
// Headless Chromium driven through its DevTools socket: one page, scripts evaluated in it, and
// screenshots. Its profile, caches and crash reports stay in a temporary folder of its own; the
// browser and every process it started end with this object.
#include <QHash>
#include <QJsonObject>
#include <QJsonValue>
#include <QProcess>
#include <QSize>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>
#include <QWebSocket>

namespace vendra {

class ChromiumPage {
public:
    ChromiumPage();
    ~ChromiumPage();
    ChromiumPage(const ChromiumPage&) = delete;
    ChromiumPage& operator=(const ChromiumPage&) = delete;

    // True when a chromium program is installed.
    static bool Available();
    // Starts the browser with a viewport of `size` (a phone's when mobile) and opens `url`; false
    // with ErrorText() when it does not come up.
    bool Open(const QUrl& url, QSize size, bool mobile = false);
    // The value of a script (a promise is awaited); an undefined value on an error or time-out.
    QJsonValue Evaluate(const QString& script, int waitMs = 10000);
    // The page as a PNG file.
    bool Screenshot(const QString& path);
    QString ErrorText() const { return error_; }

private:
    QJsonObject Call(const QString& method, const QJsonObject& params, int waitMs);
    bool Fail(const QString& text);

    QTemporaryDir profile_;
    QProcess browser_;
    QWebSocket devtools_;
    QHash<int, QJsonObject> replies_;
    int nextId_ = 1;
    QString error_;
};

}  // namespace vendra
