// Table attributes: the rows' indicator colours and specification texts,
// set by hand or by TEACH DATA TO, saved to and loaded from a 76-line text
// file, and the start-up file read when the program starts.
#include "teach/TeachTable.h"

#include "core/HelpTexts.h"
#include "core/SensorData.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "uir_ids.h"

#include <algorithm>
#include <iterator>

namespace {
constexpr int kColourEntries = 45;
constexpr int kRowTextMax = 99;
constexpr int kRows = 31;
constexpr int kFileLines = kColourEntries + kRows;
constexpr int kColourMax = 0xFFFFFF;
constexpr int kColourFieldWidth = 10;
const char kDefaultFileName[] = "TableAttributes.cfg";

// The table-attributes file: 45 colours, then 31 specification texts.
struct TableAttributes {
    int colours[kColourEntries];
    QStringList texts;
};

void SetIndicator(int row, int colour) {
    SetTableCellAttribute(ttpanel, TTP_GridCtt, MakePoint(8, row), ATTR_TEXT_BGCOLOR, colour);
    SetTableCellAttribute(tapanel, TAP_GridSpec, MakePoint(2, row), ATTR_TEXT_BGCOLOR, colour);
    SetTableCellAttribute(grouppanel, PGROUP_EditGridGroups, MakePoint(2, row), ATTR_TEXT_BGCOLOR,
                          colour);
}

QByteArray FormatTableAttributes(const TableAttributes &a) {
    QByteArray out;
    for (int colour : a.colours)
        out += QByteArray::number(colour).rightJustified(kColourFieldWidth, ' ') + '\n';
    for (int r = 0; r < kRows; ++r) {
        // One text is one line, whatever was pasted into the cell.
        QString text = a.texts.value(r).left(kRowTextMax);
        text.replace(QLatin1Char('\r'), QLatin1Char(' '))
            .replace(QLatin1Char('\n'), QLatin1Char(' '));
        out += text.toUtf8() + '\n';
    }
    return out;
}

// False, with the reason in *problem, when the lines are not such a file.
bool ParseTableAttributes(const QStringList &lines, TableAttributes *a, QString *problem) {
    auto refuse = [problem](const QString &why) {
        if (problem) *problem = why;
        return false;
    };
    if (lines.size() < kColourEntries)
        return refuse(QStringLiteral("holds fewer than %1 colours").arg(kColourEntries));
    TableAttributes read;
    for (int i = 0; i < kColourEntries; ++i) {
        bool ok = false;
        const int colour = lines[i].trimmed().toInt(&ok, 10);
        if (!ok || colour < 0 || colour > kColourMax)
            return refuse(
                QStringLiteral("has no colour 0..%1 in line %2").arg(kColourMax).arg(i + 1));
        read.colours[i] = colour;
    }
    for (int r = 0; r < kRows; ++r) {
        // Lines missing at the end are empty texts.
        const QString text = lines.value(kColourEntries + r);
        const bool control =
            std::any_of(text.begin(), text.end(), [](QChar c) { return c < ' ' && c != '\t'; });
        if (control)
            return refuse(QStringLiteral("has no text in line %1").arg(kColourEntries + r + 1));
        read.texts << text.left(kRowTextMax);
    }
    *a = read;
    return true;
}

TableAttributes FromPanel() {
    TableAttributes a;
    std::copy(std::begin(tolvanearr), std::end(tolvanearr), std::begin(a.colours));
    for (int n = 1; n <= kRows; ++n) {
        QString text;
        GetTableCellVal(tapanel, TAP_GridSpec, MakePoint(1, n), &text);
        a.texts << text;
    }
    return a;
}

void ToPanel(const TableAttributes &a) {
    std::copy(std::begin(a.colours), std::end(a.colours), std::begin(tolvanearr));
    for (int n = 1; n <= kRows; ++n)
        SetTableCellVal(tapanel, TAP_GridSpec, MakePoint(1, n), a.texts.value(n - 1));
    ApplyRowColors();
}

// A file that cannot be read or is not a table-attributes file leaves
// colours and texts as they are.
bool ReadAttributes(const QString &path, TableAttributes *a, QString *problem) {
    QStringList lines;
    return ReadTextLines(path, &lines, kFileLines, problem) &&
           ParseTableAttributes(lines, a, problem);
}

bool WriteAttributes(const QString &path) {
    if (WriteFileAtomic(path, FormatTableAttributes(FromPanel()))) return true;
    MessagePopup("ATTENTION!", QStringLiteral("The table attributes could not be saved to \n%1. "
                                              "\nAn earlier file is left as it was.")
                                   .arg(path));
    return false;
}

bool SelectFile(int button, QString *path) {
    return FileSelectPopup(cfg_dir.isEmpty() ? proj_dir : cfg_dir, kDefaultFileName, "*.cfg",
                           "TableAttributes", button, 0, 0, 1, 1, path) != VAL_NO_FILE_SELECTED;
}
} // namespace

void ApplyRowColors() {
    for (int r = 1; r <= anzVec; ++r)
        SetIndicator(r, tolvanearr[r - 1]);
}

void SetRowColor() {
    int r = 0, c = 0;
    GetCtrlVal(tapanel, TAP_EditRow, &r);
    GetCtrlVal(tapanel, TAP_EditColorNumericRow, &c);
    if (r < 0 || r >= anzVec) return;
    c = std::clamp(c, 0, kColourMax);
    tolvanearr[r] = c;
    SetIndicator(r + 1, c);
}

void InitSrcPanel() {
    int m = 0;
    GetCtrlVal(tapanel, TAP_EditSetColor, &m);
    const int automatic = m != 0 ? 1 : 0;
    for (int control : {TAP_EditRow, TAP_EditColorNumericRow, TAP_ButtonSetRowColor})
        SetCtrlAttribute(tapanel, control, ATTR_DIMMED, automatic);
    SetCtrlAttribute(datapanel, DATAP_ColorPatch, ATTR_VISIBLE, automatic);
}

void SaveTableSettings() {
    QString path;
    if (!SelectFile(VAL_SAVE_BUTTON, &path)) return;
    WriteAttributes(path);
}

void GetTableSettings() {
    QString path;
    if (!SelectFile(VAL_LOAD_BUTTON, &path)) return;
    TableAttributes a;
    QString problem;
    if (!ReadAttributes(path, &a, &problem)) {
        MessagePopup(
            "ATTENTION!",
            QStringLiteral("The table attributes were not loaded: \n%1 \n%2.").arg(path, problem));
        return;
    }
    ToPanel(a);
}

void SetStartupArray() {
    const QString path = colorArrayStartupFileName.isEmpty() ? JoinPath(proj_dir, "StartupFile.cfg")
                                                             : colorArrayStartupFileName;
    if (WriteAttributes(path))
        MessagePopup("INFO!", "File has been saved as \nstartup configuration file.");
}

void LoadStartupFile() {
    // Anything at the path is reported when it cannot be read, a directory or
    // a pipe too; only a missing file is no news.
    if (PathExists(colorArrayStartupFileName)) {
        TableAttributes a;
        QString problem;
        if (ReadAttributes(colorArrayStartupFileName, &a, &problem)) {
            ToPanel(a);
            return;
        }
        MessagePopup("ATTENTION!", QStringLiteral("The start-up file \n%1 \n%2. \nThe built-in "
                                                  "indicator colors are used.")
                                       .arg(colorArrayStartupFileName, problem));
    }
    ApplyRowColors();
}

// ---- callbacks of the table-attributes panel

namespace {
// The table-attributes subsystem titles its help "Info".
constexpr const char kHelpTitle[] = "Info";
} // namespace

int CBF_TAP(int, int, int, void *, int, int) {
    return 0;
}

// The texts and colours are the program's, never the sensor's: SEND does not
// write them, so editing them leaves SEND as it is.
int CBF_GridSpec(int, int, int event, void *, int, int) {
    ShowHelpOnRightClick(event, InfoGridSpec, kHelpTitle);
    return 0;
}

int CBF_EditSetColor(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoEditSetColor, kHelpTitle) || event != EVENT_COMMIT)
        return 0;
    InitSrcPanel();
    return 0;
}

int CBF_EditRow(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoEditRow, kHelpTitle) || event != EVENT_COMMIT) return 0;
    InitSrcPanel();
    return 0;
}

int CBF_EditColorNumericRow(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoEditColorNumRow, kHelpTitle) || event != EVENT_COMMIT)
        return 0;
    InitSrcPanel();
    return 0;
}

int CBF_ButtonSetRowColor(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonSetRowColor, kHelpTitle) || event != EVENT_COMMIT)
        return 0;
    SetRowColor();
    return 0;
}

int CBF_ButtonSaveArray(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonSaveArray, kHelpTitle) || event != EVENT_COMMIT)
        return 0;
    SaveTableSettings();
    return 0;
}

int CBF_ButtonGetArray(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonGetArray, kHelpTitle) || event != EVENT_COMMIT)
        return 0;
    GetTableSettings();
    return 0;
}

int CBF_ButtonSetStartupArray(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonSetStartupArray, kHelpTitle) || event != EVENT_COMMIT)
        return 0;
    SetStartupArray();
    return 0;
}
