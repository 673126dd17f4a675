// SEND and GET with the memory selector on FILE: the whole parameter set to
// and from a text file the operator chooses.
#include "params/ParaFile.h"

#include "params/Params.h"

#include "core/Edits.h"
#include "core/LinkStatus.h"
#include "core/MasterCopy.h"
#include "core/SensorData.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "platform/Platform.h"

#include <QFileInfo>
#include <algorithm>

namespace {
// The same dialog for both directions; it opens where the last one left off.
bool ChooseParaFile(QString *path) {
    const int chosen = FileSelectPopup(paraFileName, "Parameter.ini", "*.ini", "Parameter",
                                       VAL_OK_BUTTON, 0, 0, 1, 1, path);
    if (chosen <= 0 || path->isEmpty()) return false;
    paraFileName = *path;
    return true;
}

void ReportFileProblem(const QString &path, const QString &problem) {
    MessagePopup(
        "ATTENTION!",
        QString(" The parameter file \n %1 \n %2. \n Nothing was loaded.").arg(path, problem));
}
} // namespace

bool ParseParaFile(const QStringList &lines, uint16_t out[kParaFileValues], QString *problem) {
    uint16_t values[kParaFileValues];
    int count = 0;
    for (int i = 0; i < lines.size() && count < kParaFileValues; ++i) {
        QString line = lines[i];
        if (i == 0 && line.startsWith(QChar(0xFEFF))) line.remove(0, 1);
        const QStringList fields = line.simplified().split(' ', Qt::SkipEmptyParts);
        for (const QString &field : fields) {
            if (count == kParaFileValues) break;
            bool ok = false;
            const uint value = field.toUInt(&ok, 10);
            if (!ok || value > 65535) {
                if (problem)
                    *problem = QString("holds \"%1\" in line %2, which is not a number from 0 "
                                       "to 65535")
                                   .arg(field.left(20))
                                   .arg(i + 1);
                return false;
            }
            values[count++] = uint16_t(value);
        }
    }
    if (count < kParaFileValues) {
        if (problem)
            *problem = QString("holds only %1 of the %2 values").arg(count).arg(kParaFileValues);
        return false;
    }
    std::copy(values, values + kParaFileValues, out);
    return true;
}

QByteArray FormatParaFile(const uint16_t values[kParaFileValues]) {
    QByteArray text;
    text.reserve(kParaFileValues * 12);
    for (int i = 0; i < kParaFileValues; ++i)
        text += QByteArray::number(values[i]).rightJustified(10, ' ') + "\r\n";
    return text;
}

void SendParaToFile() {
    QString path;
    if (!ChooseParaFile(&path)) return;
    GetPanelValues();
    CopyVarsToPP();
    if (WriteFileAtomic(path, FormatParaFile(pp))) {
        SetLinkNote(QStringLiteral("parameter set written to %1").arg(QFileInfo(path).fileName()));
        NoteChangesSentOrReplaced();
    } else
        MessagePopup("ATTENTION!", QString(" The parameter file \n %1 \n could not be written. \n"
                                           " An earlier file of that name is left as it was.")
                                       .arg(path));
}

void ReadParaFromFile() {
    QString path;
    if (!ChooseParaFile(&path)) return;
    // The file is checked whole before anything is taken from it: a refused
    // file leaves the parameter set, the variables and the panels as they were.
    QStringList lines;
    QString problem;
    if (!ReadTextLines(path, &lines, -1, &problem)) {
        ReportFileProblem(path, problem);
        return;
    }
    uint16_t values[kParaFileValues];
    if (!ParseParaFile(lines, values, &problem)) {
        ReportFileProblem(path, problem);
        return;
    }
    std::copy(values, values + kParaFileValues, pp);
    CopyFileParatoVars();
    RefreshAfterLoad(values[6]); // word 6, MAXCOL-No., as the file held it
    SetLinkNote(QStringLiteral("parameter set read from %1").arg(QFileInfo(path).fileName()));
}
