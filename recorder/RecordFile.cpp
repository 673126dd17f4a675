// The record file: choosing it, its header line and the line appended per
// recorded frame, with the count of lines written and lost.
#include "recorder/Recorder.h"

#include "core/HelpTexts.h"
#include "core/SensorData.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "platform/Platform.h"
#include "record/RecordLines.h"
#include "uir_ids.h"
#include "viewer/Viewer.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

RecordTally recTally;

namespace {
constexpr int kAnnouncedColour = 0xFF8080;
constexpr int kPlainColour = 0xFFFFFF;
bool lossShown = false; // the file-name display is coloured for a lost line

void ShowRecFile() {
    SetCtrlVal(recpanel, RECP_DispRecFile, recFileName);
    if (!lossShown) return;
    lossShown = false;
    SetCtrlAttribute(recpanel, RECP_DispRecFile, ATTR_TEXT_BGCOLOR, kPlainColour);
}

// Whether the file holds records: anything but the header alone.
bool HoldsRecords(const QString &path) {
    qint64 size = 0;
    if (!FileExists(path, &size) || size == 0) return false;
    const QByteArray header = RecordHeaderText();
    QStringList lines;
    return !(size == header.size() && ReadTextLines(path, &lines, 2) && lines.size() == 1 &&
             lines[0].toLatin1() + "\r\n" == header);
}

// Takes the chosen path as the record file when its header can be written;
// otherwise the previous file stays selected. Records already in the file
// are moved aside first, never overwritten: the operator is told where.
void TakeRecFile(const QString &path) {
    QString kept;
    if (HoldsRecords(path)) {
        kept = MoveToNumberedCopy(path);
        if (kept.isEmpty()) {
            MessagePopup("ATTENTION!", "The record file can not be written! \n" + path +
                                           "\nIts records could not be kept aside; the previous "
                                           "record file stays selected.");
            return;
        }
    }
    const QString previous = recFileName;
    recFileName = path;
    if (WriteFileHeader()) {
        ShowRecFile();
        if (!kept.isEmpty())
            MessagePopup("INFO!", "The records the file held were kept as \n" + kept +
                                      "\nNew records go into \n" + path);
        return;
    }
    recFileName = previous;
    if (!kept.isEmpty() && !QFileInfo::exists(path)) QFile::rename(kept, path);
    MessagePopup("ATTENTION!", "The record file can not be written! \n" + path +
                                   "\nThe previous record file stays selected.");
}
} // namespace

void SelRecFile() {
    // The dialog opens in the folder of the current record file.
    const QString folder = recFileName.isEmpty() ? (data_dir.isEmpty() ? proj_dir : data_dir)
                                                 : QFileInfo(recFileName).absolutePath();
    QString path;
    const int chosen = FileSelectPopup(folder, "RecordFile.dat", "*.dat", "FILENAME!",
                                       VAL_OK_BUTTON, 0, 0, 1, 1, &path);
    if (chosen == VAL_NO_FILE_SELECTED || path.isEmpty()) {
        recFileName.clear();
        MessagePopup("ATTENTION!", "No filename was choosen! \nRecording will not be done! ");
        return;
    }
    if (chosen == VAL_EXISTING_FILE_SELECTED || FileExists(path)) {
        if (!ConfirmPopup("ATTENTION!",
                          "File already exist! \nDo you want to select existing file?"))
            return;
        MessagePopup("ATTENTION!", NotOpenedWarning(36));
    }
    // The header is written as the file's whole content, so that a file that
    // cannot be replaced keeps its earlier lines.
    TakeRecFile(path);
}

QByteArray RecordHeaderText() {
    return rec::HeaderText();
}

QByteArray RecordLineText() {
    const uint16_t values[rec::kChannels] = {dataR, dataG, dataB,   dataRef, dataDir,   dataDif,
                                             dataX, dataY, dataInt, dataGn,  dataColor, dataTemp};
    return rec::LineText(DateStr(), TimeStr(), values);
}

bool WriteFileHeader() {
    return WriteFileAtomic(recFileName, RecordHeaderText());
}

bool ToFile() {
    const QByteArray line = RecordLineText();
    // An empty name (the selection was cancelled) opens nothing.
    const bool written = !recFileName.isEmpty() && AppendToFile(recFileName, line);
    if (written)
        ++recTally.written;
    else
        ++recTally.lost;
    return written;
}

QString NotOpenedWarning(int blanks) {
    return " Make sure, that the file is not opened by any other program." + QString(blanks, ' ') +
           "\n Otherwise it can not be saved.";
}

bool RecordFileSelected() {
    if (!recFileName.isEmpty()) return true;
    MessagePopup("ATTENTION!", "No filename was choosen! \nRecording will not be done! ");
    return false;
}

void BeginRecordTally() {
    recTally = RecordTally{};
    ShowRecFile();
}

void RecordLine() {
    if (ToFile() || recTally.lost != 1) return;
    // Told once, where the operator looks, without a modal message that
    // would hold the recording up until someone answers it.
    lossShown = true;
    SetCtrlAttribute(recpanel, RECP_DispRecFile, ATTR_TEXT_BGCOLOR, kAnnouncedColour);
    ShowStatus("RECORD FILE CAN NOT BE WRITTEN!");
}

QString SkippedNote(unsigned skipped) {
    return QString("%1 broken frame%2 skipped").arg(skipped).arg(skipped == 1 ? "" : "s");
}

void ShowRecordResult(const QString &addition) {
    const QString more = addition.isEmpty() ? QString() : QStringLiteral("\n\n") + addition;
    if (recTally.lost == 0) {
        if (recTally.skipped == 0)
            MessagePopup("INFO!", "File has been saved!" + more);
        else
            MessagePopup("INFO!", "File has been saved! \n" + SkippedNote(recTally.skipped) +
                                      ", not recorded." + more);
        return;
    }
    MessagePopup("ATTENTION!", QString("File has not been saved completely! \n%1 lines were "
                                       "written, %2 lines could not be written \nto %3.")
                                       .arg(recTally.written)
                                       .arg(recTally.lost)
                                       .arg(recFileName) +
                                   more);
}

int CBF_ButtonSelRecFile(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonSelRecFile) || event != EVENT_COMMIT) return 0;
    SelRecFile();
    return 0;
}

// Proposes the record file in use; the viewer reads it while recording goes on.
int CBF_ButtonOpenRecord(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonOpenRecord) || event != EVENT_COMMIT) return 0;
    const QFileInfo current(recFileName);
    const QString folder =
        recFileName.isEmpty() ? (data_dir.isEmpty() ? proj_dir : data_dir) : current.absolutePath();
    QString path;
    const int chosen = FileSelectPopup(folder, current.fileName(), "*.dat", "OPEN RECORD",
                                       VAL_LOAD_BUTTON, 0, 0, 1, 0, &path);
    if (chosen != VAL_NO_FILE_SELECTED && !path.isEmpty()) OpenRecordViewer(path);
    return 0;
}

int CBF_DispRecFile(int, int, int event, void *, int, int) {
    return HelpOnly(event, InfoDisRecFile);
}
