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
    case kExitSigint:
    case kExitSigterm:
        return QStringLiteral("interrupted");
    default:
        return QStringLiteral("failed");
    }
}
} // namespace

int ForEachSensorJson(const QList<LinkTarget> &links,
                      const std::function<int(const LinkTarget &link, QJsonObject *fields)> &each) {
    return ForEachSensor(links, [&](const LinkTarget &link) {
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
