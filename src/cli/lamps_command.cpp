#include "cli/lamps_command.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>
#include <cstdio>
#include "cli/cli_support.h"

#include "changes/journal.h"
#include "changes/lamp_state.h"
#include "session/console_session.h"

namespace vendra {

namespace {

constexpr int kOk = 0;
constexpr int kError = 2;
constexpr int kInterrupted = 130;

void Print(const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

void PrintRows(const QList<LampRow>& rows, bool json, const QString& time) {
    if (json && time.isEmpty()) {
        QJsonArray all;
        for (const LampRow& r : rows)
            all.append(LampJson(r));
        return Print(QString::fromUtf8(QJsonDocument(all).toJson(QJsonDocument::Indented)));
    }
    QString text;
    for (const LampRow& r : rows) {
        if (json) {
            QJsonObject o = LampJson(r);
            o.insert(QStringLiteral("time"), time);
            text += QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)) + u'\n';
        } else {
            text += (time.isEmpty() ? QString() : time + u'\t') + LampLine(r) + u'\n';
        }
    }
    Print(text);
}

// The rows the request names.
QList<LampRow> Named(const QList<LampRow>& rows, const LampsRequest& request) {
    QList<LampRow> named;
    for (const LampRow& r : rows)
        if (OutputMatches(r.Output, r.Name, r.Unit, r.Channel, request.output)) named.append(r);
    return named;
}

// Now, with the offset from UTC: a log read in another zone, or across a clock change, is
// still one time line.
QString Now() {
    return IsoWithOffset(QDateTime::currentDateTime(), true);
}

QString SilentUnits(const QList<int>& units) {
    QStringList silent;
    for (int u : units)
        silent.append(QString::number(u));
    return silent.join(QStringLiteral(", "));
}

// Polls until Ctrl+C; prints the whole state once, then each row whose lamp or reason changed.
int Watch(ConsoleSession& s, const LampsRequest& request) {
    QList<LampRow> shown;
    InputWatch& watch = s.Inputs();
    QObject watcher;
    QObject::connect(&watch, &InputWatch::CycleEnded, &watcher, [&](int, qint64) {
        if (request.stopped()) return;  // a poll the stop refused says nothing about the unit
        if (!watch.UnitCountsChecked()) return;  // no dark lamp before the units' counts
        const QList<LampRow> rows = Named(watch.Lamps(), request);
        QList<LampRow> changed;
        for (qsizetype i = 0; i < rows.size(); ++i)
            if (i >= shown.size() || rows[i] != shown[i]) changed.append(rows[i]);
        shown = rows;
        if (!changed.isEmpty()) PrintRows(changed, request.json, Now());
    });
    QTimer stopCheck;
    QObject::connect(&stopCheck, &QTimer::timeout, [&] {
        if (request.stopped()) QCoreApplication::exit(StopSignal::ExitCode());
    });
    stopCheck.start(100);
    watch.SettleWithUnitCounts(true);
    watch.WatchLamps(&watcher, true);
    const int code = QCoreApplication::exec();
    watch.WatchLamps(&watcher, false);
    return code;
}

}  // namespace

int LampsCommand(ConsoleSession& s, const LampsRequest& request) {
    const TableRead read = s.Table().ReadWholeTable();
    if (request.stopped()) return request.fail(QStringLiteral("interrupted"), kInterrupted);
    if (!read.result.Complete())
        return request.fail(QStringLiteral("the table could not be read whole (%1 mappings read); "
                                           "no lamp was worked out")
                                .arg(read.result.count),
                            kError);
    if (Named(ComputeLamps(s.Installation().Tables(), InputBits()), request).isEmpty())
        return request.fail(
            QStringLiteral("no configured output is named by \"%1\"").arg(request.output), kError);
    if (request.watch) return Watch(s, request);

    PrintRows(Named(s.Inputs().ReadLampsOnce(), request), request.json, QString());
    const QString silent = SilentUnits(s.Inputs().SilentUnits());
    if (!silent.isEmpty())
        return request.fail(
            QStringLiteral("no input bits from unit %1; its inputs are shown unknown").arg(silent),
            kError);
    return kOk;
}

}  // namespace vendra
