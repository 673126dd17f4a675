// Names of the parameter words and of the modes' codes, as the parameter
// panel's selectors show them, for show, verify and the refusals of send.
#include "cli/ParamNames.h"

#include "core/MasterCopy.h"
#include "core/Protocol.h"
#include "params/Params.h"

#include <QStringList>
#include <iterator>

namespace {
enum Word {
    kPower = 0,
    kPmode = 1,
    kEvalmode = 3,
    kIntlim = 5,
    kMaxcolNo = 6,
    kOutmode = 7,
    kTrigger = 8,
    kExteach = 9,
    kCalcmode = 10,
    kGroupsOn = 13,
};

struct Codes {
    int word;
    QStringList names; // index = code
};

const QList<Codes> &ModeCodes() {
    static const QList<Codes> codes = {
        {kPmode, {"STAT", "DYN"}},
        {kEvalmode, {"BEST HIT", "FIRST HIT", "FIXED TOL", "BINARY OUT"}},
        {kOutmode, {"DIRECT LO", "BINARY", "DIRECT HI"}},
        {kTrigger, {"CONT", "SELF", "EXT1", "EXT2", "EXT3", "EXT4"}},
        {kExteach, {"OFF", "ON", "STAT1", "DYN1"}},
        {kCalcmode,
         {"X/Y INT GN", "s/i M GN", "X/Y/INT GN", "s/i/M GN", "X/Y/GN INT", "s/i/GN M",
          "X/Y/INT/GN", "s/i/M/GN"}},
        {kGroupsOn, {"OFF", "ON"}},
    };
    return codes;
}

const Codes *CodesOf(int word) {
    for (const Codes &c : ModeCodes())
        if (c.word == word) return &c;
    return nullptr;
}

// "0 STAT, 1 DYN"
QString CodeList(const Codes &c) {
    QStringList items;
    for (int i = 0; i < c.names.size(); ++i)
        items << QStringLiteral("%1 %2").arg(i).arg(c.names[i]);
    return items.join(", ");
}
} // namespace

QString ParamName(int word) {
    if (word < int(std::size(kPanelParams))) return kPanelParams[word].name;
    if (word == kGroupsOn) return QStringLiteral("GROUPS ON");
    return QStringLiteral("SPARE %1").arg(word + 1);
}

QString WordName(const uint16_t values[kParaFileValues], int word) {
    if (word < proto::kParamWords) return ParamName(word);
    const int row = (word - proto::kParamWords) / proto::kRowWords;
    const int column = (word - proto::kParamWords) % proto::kRowWords;
    QString cell = column == 7 ? QStringLiteral("GROUP") : TeachColumnName(values[10], column);
    if (cell.isEmpty()) cell = QStringLiteral("cell %1").arg(column + 1);
    return QStringLiteral("row %1 %2").arg(row).arg(cell);
}

QString CodeName(int word, int value) {
    const Codes *c = CodesOf(word);
    return c && value >= 0 && value < c->names.size() ? c->names[value] : QString();
}

QString ValueText(int word, int value) {
    const QString name = CodeName(word, value);
    return name.isEmpty() ? QString::number(value) : QStringLiteral("%1 %2").arg(value).arg(name);
}

QString ChangeReason(const uint16_t v[kParaFileValues], int word, int sent) {
    const int value = v[word];
    QString why;
    if (const Codes *c = CodesOf(word); c && CodeName(word, value).isEmpty())
        why = QStringLiteral("no such code (%1)").arg(CodeList(*c));
    else if (word == kIntlim && v[kPmode] == 1)
        why = "power mode DYN sends no intensity limit: the sensor tunes the power itself";
    else if (word == kPmode && (v[kExteach] == 2 || v[kExteach] == 3))
        why = QStringLiteral("EXTEACH %1 works in power mode STAT")
                  .arg(ValueText(kExteach, v[kExteach]));
    else if (v[kEvalmode] == 3 && (word == kMaxcolNo || word == kOutmode || word == kGroupsOn))
        why = "evaluation mode 3 BINARY OUT checks five rows, sends BINARY and has no groups";
    else if (word == kMaxcolNo && value > proto::kRows)
        why = QStringLiteral("the teach table has %1 rows").arg(proto::kRows);
    else if (word == kPower)
        why = "POWER goes from 0 to 1000";
    else
        why = "beyond the panel's range";
    return QStringLiteral("%1 %2: %3; SEND would write %4")
        .arg(WordName(v, word), ValueText(word, value), why, ValueText(word, sent));
}

QString ModeConflict(const uint16_t v[kParaFileValues]) {
    if (v[kExteach] < 1 || v[kExteach] > 3 || v[kTrigger] < 2 || v[kTrigger] > 5) return QString();
    return QStringLiteral("EXTEACH %1 with TRIGGER %2: external teach and an external trigger "
                          "exclude each other")
        .arg(ValueText(kExteach, v[kExteach]), ValueText(kTrigger, v[kTrigger]));
}
