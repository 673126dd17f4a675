// The per-sensor outcome as JSON lines: what a script or cron job reads from
// stdout alone, the messages of a sensor that failed included.
#include "cli/Cli.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {
QString ResultName(int code) {
    switch (code) {
    case kExitOk:
        return QStringLiteral("ok");
    case kExitDiffer:
        return QStringLiteral("differs");
    case kExitInterrupted:
    case kExitTerminated:
        return QStringLiteral("interrupted");
    default:
        return QStringLiteral("failed");
    }
}
} // namespace

int ForEachSensorJson(const QList<LinkSpec> &links,
                      const std::function<int(const LinkSpec &link, QJsonObject *fields)> &each) {
    return ForEachSensor(links, [&](const LinkSpec &link) {
        QStringList said;
        QJsonObject fields;
        CaptureSaid(&said);
        const int code = each(link, &fields);
        CaptureSaid(nullptr);
        QJsonObject o{{"sensor", link.Name()}, {"result", ResultName(code)}, {"exit", code}};
        for (auto it = fields.constBegin(); it != fields.constEnd(); ++it)
            o.insert(it.key(), it.value());
        o.insert("messages", QJsonArray::fromStringList(said));
        Out(QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n');
        return code;
    });
}

bool TakeFormat(QStringList *args, const char *command, bool *json) {
    const int at = args->indexOf("--format");
    if (at < 0) return true;
    const QString value = at + 1 < args->size() ? args->at(at + 1) : QString();
    if (value != "text" && value != "tsv" && value != "json") {
        Say(QStringLiteral("%1: --format takes text or json").arg(command));
        return false;
    }
    *json = value == "json";
    args->remove(at, 2);
    return true;
}
