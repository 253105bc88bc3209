#include "support/chromium_page.h"

#include <signal.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTimer>

namespace vendra {

namespace {

void Pump(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// GET of a DevTools path on the browser's port; the body.
QByteArray Get(quint16 port, const QByteArray& path) {
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!s.waitForConnected(5000)) return {};
    s.write("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) +
            "\r\nConnection: close\r\n\r\n");
    QByteArray all;
    while (s.waitForReadyRead(5000))
        all += s.readAll();
    return all.mid(all.indexOf("\r\n\r\n") + 4);
}

}  // namespace

ChromiumPage::ChromiumPage() {
    browser_.setProcessChannelMode(QProcess::MergedChannels);
    // Its own process group: the browser's helpers end with it.
    browser_.setChildProcessModifier([] { ::setsid(); });
    QObject::connect(&devtools_, &QWebSocket::textMessageReceived, [this](const QString& text) {
        const QJsonObject m = QJsonDocument::fromJson(text.toUtf8()).object();
        if (m.contains(QStringLiteral("id"))) replies_[m[QStringLiteral("id")].toInt()] = m;
    });
}

ChromiumPage::~ChromiumPage() {
    devtools_.abort();
    if (browser_.state() == QProcess::NotRunning) return;
    ::kill(-pid_t(browser_.processId()), SIGKILL);
    browser_.waitForFinished(10000);
}

bool ChromiumPage::Available() {
    return !QStandardPaths::findExecutable(QStringLiteral("chromium")).isEmpty();
}

bool ChromiumPage::Fail(const QString& text) {
    error_ = text;
    return false;
}

bool ChromiumPage::Open(const QUrl& url, QSize size, bool mobile) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"})
        env.insert(QString::fromLatin1(name), profile_.path());
    browser_.setProcessEnvironment(env);
    browser_.start(QStringLiteral("chromium"),
                   {"--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
                    "--disable-crash-reporter", "--disable-breakpad", "--disable-extensions",
                    "--disable-background-networking", "--disable-component-update",
                    "--remote-debugging-port=0", "--remote-allow-origins=*",
                    "--user-data-dir=" + profile_.path(),
                    QStringLiteral("--window-size=%1,%2").arg(size.width()).arg(size.height()),
                    "about:blank"});
    QFile active(profile_.filePath(QStringLiteral("DevToolsActivePort")));
    const QDeadlineTimer deadline(30000);
    while (!active.exists() || active.size() == 0) {
        if (deadline.hasExpired() || browser_.state() == QProcess::NotRunning)
            return Fail(QStringLiteral("chromium did not start: ") +
                        QString::fromLocal8Bit(browser_.readAll().right(2000)));
        Pump(50);
    }
    if (!active.open(QIODevice::ReadOnly)) return Fail(QStringLiteral("no DevToolsActivePort"));
    const quint16 port = quint16(active.readLine().trimmed().toUInt());
    QString target;
    for (const QJsonValue& t : QJsonDocument::fromJson(Get(port, "/json/list")).array())
        if (t[QStringLiteral("type")].toString() == QStringLiteral("page"))
            target = t[QStringLiteral("webSocketDebuggerUrl")].toString();
    if (target.isEmpty()) return Fail(QStringLiteral("chromium shows no page"));
    devtools_.open(QUrl(target));
    while (devtools_.state() != QAbstractSocket::ConnectedState) {
        if (deadline.hasExpired())
            return Fail(QStringLiteral("no DevTools connection to %1: %2")
                            .arg(target, devtools_.errorString()));
        Pump(20);
    }
    Call(QStringLiteral("Emulation.setDeviceMetricsOverride"),
         {{"width", size.width()},
          {"height", size.height()},
          {"deviceScaleFactor", mobile ? 2 : 1},
          {"mobile", mobile}},
         10000);
    Call(QStringLiteral("Page.navigate"), {{"url", url.toString()}}, 10000);
    const QString loaded = QStringLiteral(
        "new Promise(r => document.readyState === 'complete' && location.href !== 'about:blank'"
        " ? r(true) : addEventListener('load', () => r(true)))");
    while (Evaluate(loaded, 2000) != QJsonValue(true)) {
        if (deadline.hasExpired()) return Fail(QStringLiteral("the page did not load"));
        Pump(50);
    }
    return true;
}

QJsonObject ChromiumPage::Call(const QString& method, const QJsonObject& params, int waitMs) {
    const int id = nextId_++;
    devtools_.sendTextMessage(QString::fromUtf8(
        QJsonDocument(QJsonObject{{"id", id}, {"method", method}, {"params", params}})
            .toJson(QJsonDocument::Compact)));
    const QDeadlineTimer deadline(waitMs);
    while (!replies_.contains(id) && !deadline.hasExpired())
        Pump(1);
    return replies_.take(id);
}

QJsonValue ChromiumPage::Evaluate(const QString& script, int waitMs) {
    const QJsonObject reply =
        Call(QStringLiteral("Runtime.evaluate"),
             {{"expression", script}, {"awaitPromise", true}, {"returnByValue", true}}, waitMs);
    const QJsonObject result = reply[QStringLiteral("result")][QStringLiteral("result")].toObject();
    return result.contains(QStringLiteral("value")) ? result[QStringLiteral("value")]
                                                    : QJsonValue(QJsonValue::Undefined);
}

bool ChromiumPage::Screenshot(const QString& path) {
    const QJsonObject reply =
        Call(QStringLiteral("Page.captureScreenshot"), {{"format", "png"}}, 20000);
    const QByteArray png = QByteArray::fromBase64(
        reply[QStringLiteral("result")][QStringLiteral("data")].toString().toLatin1());
    QFile file(path);
    return !png.isEmpty() && file.open(QIODevice::WriteOnly) && file.write(png) == png.size();
}

}  // namespace vendra
