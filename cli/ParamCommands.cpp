// The commands on the parameter set: version, get, send, verify and show,
// one sensor after the other.
#include "cli/Cli.h"

#include "core/MasterCopy.h"
#include "core/SensorData.h"
#include "core/Session.h"
#include "link/Link.h"
#include "params/ParaFile.h"
#include "params/Params.h"
#include "platform/Platform.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace {
// The names of the sixteen parameter words, in file order.
QString ParamName(int word) {
    if (word < int(std::size(kPanelParams))) return kPanelParams[word].name;
    if (word == 13) return QStringLiteral("GROUPS ON");
    return QStringLiteral("SPARE %1").arg(word + 1);
}

// The name of word 16.. of the set: "row 6 CTO" in the file's calculation mode.
QString WordName(const uint16_t values[kParaFileValues], int word) {
    if (word < proto::kParamWords) return ParamName(word);
    const int row = (word - proto::kParamWords) / proto::kRowWords;
    const int column = (word - proto::kParamWords) % proto::kRowWords;
    QString cell = column == 7 ? QStringLiteral("GROUP") : TeachColumnName(values[10], column);
    if (cell.isEmpty()) cell = QStringLiteral("cell %1").arg(column + 1);
    return QStringLiteral("row %1 %2").arg(row).arg(cell);
}

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

bool WriteResult(const QString &path, const QByteArray &bytes) {
    if (WriteFileAtomic(path, bytes)) return true;
    Say(QStringLiteral("%1 cannot be written; an earlier file of that name is left as it was")
            .arg(path));
    return false;
}
} // namespace

int ForEachSensor(const QList<LinkTarget> &all,
                  const std::function<int(const LinkTarget &link)> &each) {
    int worst = kExitOk;
    for (const LinkTarget &link : all) {
        if (Interrupted()) break;
        const int code = each(link);
        CloseSensor();
        worst = WorseExit(worst, code);
        if (all.size() > 1)
            Say(QStringLiteral("%1: %2").arg(link.Name(), code == kExitOk       ? "ok"
                                                          : code == kExitDiffer ? "differs"
                                                                                : "failed"));
    }
    return worst;
}

int CmdVersion(const CliArgs &, const QList<LinkTarget> &links) {
    return ForEachSensor(links, [&](const LinkTarget &link) {
        if (!OpenSensor(link)) return int(kExitSensor);
        const QString text = SensorVersion();
        Out((links.size() > 1 ? link.Name() + "\t" + text : text).toUtf8() + "\n");
        return int(kExitOk);
    });
}

int CmdGet(const CliArgs &args, const QList<LinkTarget> &links) {
    const bool eeprom = args.IsSet("eeprom");
    QString out = args.Value("o");
    if (IsStdStream(out)) out.clear();
    const bool toDir = out.endsWith('/') || QFileInfo(out).isDir();
    if (links.size() > 1 && !toDir) {
        Say("get: with several sensors -o names a folder (DIR/), one file per sensor");
        return kExitUsage;
    }
    if (toDir && !QDir().mkpath(out)) {
        Say(QStringLiteral("get: the folder %1 cannot be made").arg(out));
        return kExitUsage;
    }
    return ForEachSensor(links, [&](const LinkTarget &link) {
        uint16_t values[kParaFileValues];
        if (!OpenSensor(link) || !ReadSensorSet(eeprom, values)) return int(kExitSensor);
        const QByteArray text = FormatParaFile(values);
        if (out.isEmpty()) {
            Out(text);
            return int(kExitOk);
        }
        const QString path = toDir ? QDir(out).filePath(link.FileStem() + ".ini") : out;
        if (!WriteResult(path, text)) return int(kExitUsage);
        Say(QStringLiteral("%1: parameter set written to %2").arg(link.Name(), path));
        return int(kExitOk);
    });
}

int CmdSend(const CliArgs &args, const QList<LinkTarget> &links) {
    const bool eeprom = args.IsSet("eeprom");
    const QString file = args.Words().first();
    uint16_t values[kParaFileValues];
    if (!LoadParaFile(file, values)) return kExitUsage;
    // The set goes into the panels as FILE with GET puts it there; a value
    // the panels would have to limit, or a conflict they would report,
    // refuses the file: what is sent is exactly what the file holds.
    const int before = int(popupscript::Log().size());
    std::copy(values, values + kParaFileValues, pp);
    CopyFileParatoVars();
    RefreshAfterLoad(values[6]);
    if (int(popupscript::Log().size()) != before) {
        // The boxes' lists of values, without the window's words around them.
        QStringList changed;
        for (qsizetype i = before; i < popupscript::Log().size(); ++i)
            changed << popupscript::Log()[i]
                           .text.section(':', 1)
                           .remove(" The next SEND writes the limited values.")
                           .simplified();
        Say(QStringLiteral("the parameter file %1 holds values the panels would change (%2); "
                           "nothing was sent")
                .arg(InputName(file), changed.join("; ")));
        return kExitUsage;
    }
    return ForEachSensor(links, [&](const LinkTarget &link) {
        if (!OpenSensor(link)) return int(kExitSensor);
        target = eeprom ? EEPROM : RAM;
        SendPara();
        target = RAM;
        if (comecho != 1) {
            Say(QStringLiteral("%1: send interrupted: %2. %3")
                    .arg(link.Name(), ExplainAnswerFailure(), SendCutNote(LastSendProgress())));
            return int(kExitSensor);
        }
        Say(QStringLiteral("%1: parameter set sent%2")
                .arg(link.Name(), eeprom ? " and stored in the sensor's EEPROM" : ""));
        return int(kExitOk);
    });
}

int CmdVerify(const CliArgs &args, const QList<LinkTarget> &links) {
    const bool eeprom = args.IsSet("eeprom");
    uint16_t wanted[kParaFileValues];
    if (!LoadParaFile(args.Words().first(), wanted, "")) return kExitUsage;
    return ForEachSensor(links, [&](const LinkTarget &link) {
        uint16_t found[kParaFileValues];
        if (!OpenSensor(link) || !ReadSensorSet(eeprom, found)) return int(kExitSensor);
        QByteArray text;
        const QString prefix = links.size() > 1 ? link.Name() + "\t" : QString();
        for (int w = 0; w < kParaFileValues; ++w)
            if (wanted[w] != found[w])
                text += QStringLiteral("%1%2 %3 -> %4\n")
                            .arg(prefix, WordName(wanted, w))
                            .arg(wanted[w])
                            .arg(found[w])
                            .toUtf8();
        Out(text);
        return int(text.isEmpty() ? kExitOk : kExitDiffer);
    });
}

int CmdShow(const CliArgs &args, const QList<LinkTarget> & /*links*/) {
    uint16_t v[kParaFileValues];
    if (!LoadParaFile(args.Words().first(), v, "")) return kExitUsage;
    QByteArray text;
    for (int w = 0; w < proto::kParamWords; ++w)
        text += QStringLiteral("%1 %2\n").arg(ParamName(w), -12).arg(v[w], 6).toUtf8();
    text += "\nROW";
    for (int c = 0; c < proto::kRowWords; ++c) {
        QString head = c == 7 ? QStringLiteral("GROUP") : TeachColumnName(v[10], c);
        text += QStringLiteral(" %1").arg(head.isEmpty() ? QStringLiteral("-") : head, 6).toUtf8();
    }
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
