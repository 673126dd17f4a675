// The commands on the parameter set: version, get, send, verify and show,
// one sensor after the other.
#include "cli/Cli.h"
#include "cli/ParamNames.h"

#include "core/MasterCopy.h"
#include "core/SensorData.h"
#include "core/Session.h"
#include "link/Link.h"
#include "params/ParaFile.h"
#include "params/Params.h"
#include "platform/Platform.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

namespace {
// A parameter file checked whole, as FILE with GET checks it; the reason is
// said and false returned for a file the window would refuse.
bool LoadParaFile(const QString &path, uint16_t values[kParaFileValues],
                  const char *consequence = "; nothing was sent") {
    QStringList lines;
    QString problem;
    if (ReadInputLines(path, &lines, &problem) && ParseParaFile(lines, values, &problem))
        return true;
    Say(QStringLiteral("the parameter file %1 %2%3").arg(InputName(path), problem, consequence));
    return false;
}

// The sensor's set, as the line check or GET from EEPROM left it in the
// variables, in file order.
bool ReadSensorSet(bool eeprom, uint16_t values[kParaFileValues]) {
    if (eeprom) {
        target = EEPROM;
        GetPara();
        target = RAM;
        if (comecho != 1) {
            SayAbout(OpenLink(), ExplainAnswerFailure());
            return false;
        }
    }
    CopyVarsToPP();
    std::copy(pp, pp + kParaFileValues, values);
    return true;
}

// --format json: the outcome as JSON on stdout (the parser checked the word).
bool WantsJson(const CliArgs &args) {
    return args.Value("format") == QLatin1String("json");
}

bool WriteResult(const QString &path, const QByteArray &bytes) {
    if (WriteFileAtomic(path, bytes)) return true;
    Say(QStringLiteral("%1 cannot be written; an earlier file of that name is left as it was")
            .arg(path));
    return false;
}
} // namespace

namespace {
using EachSensor = std::function<int(const LinkTarget &link, QJsonObject *fields)>;

// Each sensor in turn; with json the outcome of each is a JSON line on
// stdout, and `each` receives the object to add its fields to (else null).
int RunEach(bool json, const QList<LinkTarget> &links, const EachSensor &each) {
    if (json) return ForEachSensorJson(links, each);
    return ForEachSensor(links, [&](const LinkTarget &link) { return each(link, nullptr); });
}

// A parameter word as JSON: its name, its number and its code's name.
QJsonObject WordJson(const uint16_t values[kParaFileValues], int word, int value) {
    QJsonObject o{{"name", WordName(values, word)}, {"word", word}, {"value", value}};
    if (const QString code = CodeName(word, value); word < proto::kParamWords && !code.isEmpty())
        o.insert("text", code);
    return o;
}
} // namespace

int CmdVersion(const CliArgs &args, const QList<LinkTarget> &links) {
    return RunEach(WantsJson(args), links, [&](const LinkTarget &link, QJsonObject *fields) {
        if (!OpenSensor(link)) return int(kExitSensor);
        const QString text = SensorVersion();
        if (fields)
            fields->insert("version", text);
        else
            Out((links.size() > 1 ? link.Name() + "\t" + text : text).toUtf8() + "\n");
        return int(kExitOk);
    });
}

int CmdGet(const CliArgs &args, const QList<LinkTarget> &links) {
    const bool eeprom = args.IsSet("eeprom");
    const bool json = WantsJson(args);
    QString out = args.Value("o");
    if (IsStdStream(out)) out.clear();
    if (json && out.isEmpty()) {
        Say("get: --format json reports on stdout, so the set goes into -o FILE or DIR/");
        return kExitUsage;
    }
    const bool toDir = out.endsWith('/') || QFileInfo(out).isDir();
    if (links.size() > 1 && !toDir) {
        Say("get: with several sensors -o names a folder (DIR/), one file per sensor");
        return kExitUsage;
    }
    if (toDir && !QDir().mkpath(out)) {
        Say(QStringLiteral("get: the folder %1 cannot be made").arg(out));
        return kExitUsage;
    }
    return RunEach(json, links, [&](const LinkTarget &link, QJsonObject *fields) {
        uint16_t values[kParaFileValues];
        if (!OpenSensor(link) || !ReadSensorSet(eeprom, values)) return int(kExitSensor);
        const QByteArray text = FormatParaFile(values);
        if (out.isEmpty()) {
            Out(text);
            return int(kExitOk);
        }
        const QString path = toDir ? QDir(out).filePath(link.FileStem() + ".ini") : out;
        if (!WriteResult(path, text)) return int(kExitUsage);
        if (fields) fields->insert("file", path);
        Say(QStringLiteral("%1: parameter set written to %2").arg(link.Name(), path));
        return int(kExitOk);
    });
}

namespace {
// Puts the file's set into the variables and the panels as FILE with GET
// does and reads back what SEND would write from them (the spare words,
// on no panel, from the variables). Each word that would not go out as the
// file holds it, and a conflict of modes, is named with its reason.
QStringList SendChanges(const uint16_t values[kParaFileValues]) {
    std::copy(values, values + kParaFileValues, pp);
    CopyFileParatoVars();
    // The refresh reports limited values in a box of the window, which the
    // tool does not repeat; the reasons below say it for a shell.
    RefreshAfterLoad(values[6]);
    GetPanelValues();
    CopyVarsToPP();
    QStringList changes;
    if (const QString conflict = ModeConflict(values); !conflict.isEmpty()) changes << conflict;
    for (int w = 0; w < kParaFileValues; ++w)
        if (pp[w] != values[w]) changes << ChangeReason(values, w, pp[w]);
    return changes;
}
} // namespace

int CmdSend(const CliArgs &args, const QList<LinkTarget> &links) {
    const bool eeprom = args.IsSet("eeprom");
    const QString file = args.Words().first();
    uint16_t values[kParaFileValues];
    if (!LoadParaFile(file, values)) return kExitUsage;
    // What is sent is exactly what the file holds, or nothing at all.
    if (const QStringList changes = SendChanges(values); !changes.isEmpty()) {
        Say(QStringLiteral("the parameter file %1 holds values that would not reach the sensor "
                           "as they are; nothing was sent:")
                .arg(InputName(file)));
        for (const QString &change : changes)
            Say("  " + change);
        return kExitUsage;
    }
    return RunEach(WantsJson(args), links, [&](const LinkTarget &link, QJsonObject *) {
        if (!OpenSensor(link)) return int(kExitSensor);
        // The line check read this sensor's set into the variables: the
        // file's set goes back in, spare words included.
        if (!SendChanges(values).isEmpty()) {
            SayAbout(link, "the set to send differs from the file; nothing was sent");
            return int(kExitUsage);
        }
        target = eeprom ? EEPROM : RAM;
        SendPara();
        target = RAM;
        if (comecho != 1) {
            SayAbout(link, QStringLiteral("send interrupted: %1. %2")
                               .arg(ExplainAnswerFailure(), SendCutNote(LastSendProgress())));
            return int(kExitSensor);
        }
        Say(QStringLiteral("%1: parameter set sent%2")
                .arg(link.Name(), eeprom ? " and stored in the sensor's EEPROM" : ""));
        return int(kExitOk);
    });
}

int CmdVerify(const CliArgs &args, const QList<LinkTarget> &links) {
    const bool eeprom = args.IsSet("eeprom");
    const QString file = args.Words().first();
    uint16_t wanted[kParaFileValues];
    if (!LoadParaFile(file, wanted, "")) return kExitUsage;
    return RunEach(WantsJson(args), links, [&](const LinkTarget &link, QJsonObject *fields) {
        uint16_t found[kParaFileValues];
        if (!OpenSensor(link) || !ReadSensorSet(eeprom, found)) return int(kExitSensor);
        QByteArray text;
        QJsonArray differences;
        const QString prefix = links.size() > 1 ? link.Name() + "\t" : QString();
        for (int w = 0; w < kParaFileValues; ++w) {
            if (wanted[w] == found[w]) continue;
            text += QStringLiteral("%1%2 %3 -> %4\n")
                        .arg(prefix, WordName(wanted, w), ValueText(w, wanted[w]),
                             ValueText(w, found[w]))
                        .toUtf8();
            QJsonObject d{{"name", WordName(wanted, w)},
                          {"word", w},
                          {"file", wanted[w]},
                          {"sensor", found[w]}};
            if (w < proto::kParamWords && !CodeName(w, wanted[w]).isEmpty())
                d.insert("file_text", CodeName(w, wanted[w]));
            if (w < proto::kParamWords && !CodeName(w, found[w]).isEmpty())
                d.insert("sensor_text", CodeName(w, found[w]));
            differences.append(d);
        }
        if (fields) {
            fields->insert("file", InputName(file));
            fields->insert("differences", differences);
        } else {
            Out(text);
        }
        return int(text.isEmpty() ? kExitOk : kExitDiffer);
    });
}

int CmdShow(const CliArgs &args, const QList<LinkTarget> & /*links*/) {
    const QString file = args.Words().first();
    uint16_t v[kParaFileValues];
    if (!LoadParaFile(file, v, "")) return kExitUsage;
    QStringList heads;
    for (int c = 0; c < proto::kRowWords; ++c) {
        const QString head = c == 7 ? QStringLiteral("GROUP") : TeachColumnName(v[10], c);
        heads << (head.isEmpty() ? QStringLiteral("-") : head);
    }
    if (WantsJson(args)) {
        QJsonArray params, rows;
        for (int w = 0; w < proto::kParamWords; ++w)
            params.append(WordJson(v, w, v[w]));
        for (int r = 0; r < proto::kRows; ++r) {
            QJsonArray row;
            for (int c = 0; c < proto::kRowWords; ++c)
                row.append(v[proto::kParamWords + r * proto::kRowWords + c]);
            rows.append(row);
        }
        const QJsonObject o{{"file", InputName(file)},
                            {"parameters", params},
                            {"columns", QJsonArray::fromStringList(heads)},
                            {"rows", rows}};
        Out(QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n');
        return kExitOk;
    }
    QByteArray text;
    // The number first, as in the file; a mode's code named beside it.
    for (int w = 0; w < proto::kParamWords; ++w)
        text += QStringLiteral("%1 %2 %3")
                    .arg(ParamName(w), -12)
                    .arg(v[w], 6)
                    .arg(CodeName(w, v[w]))
                    .trimmed()
                    .toUtf8() +
                "\n";
    text += "\nROW";
    for (const QString &head : heads)
        text += QStringLiteral(" %1").arg(head, 6).toUtf8();
    text += "\n";
    for (int r = 0; r < proto::kRows; ++r) {
        text += QStringLiteral("%1").arg(r, 3).toUtf8();
        for (int c = 0; c < proto::kRowWords; ++c)
            text += QStringLiteral(" %1")
                        .arg(v[proto::kParamWords + r * proto::kRowWords + c], 6)
                        .toUtf8();
        text += "\n";
    }
    Out(text);
    return kExitOk;
}
