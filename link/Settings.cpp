// The stored connection settings: five lines in the program's directory.
#include "link/Link.h"

#include "core/Session.h"
#include "core/Ui.h"
#include "platform/Address.h"
#include "platform/Platform.h"
#include "uir_ids.h"

#include <algorithm>
#include <iterator>

// A host given on a command line fits the host history's record.
static_assert(kHostTextMax == kHostMaxChars);

namespace {
// The decimal value of a line's leading digits, read from its first 100
// characters, when it lies within [low, high]; -1 for anything else.
int StoredNumber(const QString &line, int low, int high) {
    const QString text = line.left(100).trimmed();
    if (text.isEmpty() || !text[0].isDigit()) return -1;
    const int value = LeadingNumber(text);
    return value >= low && value <= high ? value : -1;
}

bool HasControlCharacters(const QString &text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) {
        return c.category() == QChar::Other_Control || c == QChar::ReplacementCharacter;
    });
}

// Each line is put on the panel when it holds a value the control can show;
// the rings take only the values they offer.
bool RestoreProtocol(const QString &line) {
    const int protocol = StoredNumber(line, 0, 1);
    return protocol >= 0 &&
           SetCtrlVal(interfacepanel, INTERFACEP_EditCommunicationProtocol, protocol) >= 0;
}

bool RestoreComPort(const QString &line) {
    const int port = StoredNumber(line, 1, kComPortCount);
    return port >= 0 && SelectComPort(port);
}

bool RestoreBaudrate(const QString &line) {
    const int baud = StoredNumber(line, 0, 4);
    return baud >= 0 && SetCtrlVal(interfacepanel, INTERFACEP_EditSelectBaudrate, baud) >= 0;
}

// An empty host or port number is what a serial link leaves; it is kept.
bool RestoreHost(const QString &line) {
    const QString host = line.left(255);
    if (host.size() > kHostMaxChars || HasControlCharacters(host)) return false;
    return SetCtrlVal(interfacepanel, INTERFACEP_StringIpAdress, host) >= 0;
}

bool RestorePortNumber(const QString &line) {
    const QString text = line.left(31).trimmed();
    if (!text.isEmpty()) {
        if (text.size() > 5 ||
            !std::all_of(text.begin(), text.end(), [](QChar c) { return c >= '0' && c <= '9'; }))
            return false;
        if (const int port = text.toInt(); port < 1 || port > 65535) return false;
    }
    return SetCtrlVal(interfacepanel, INTERFACEP_StringPortNumber, text) >= 0;
}

const struct {
    const char *field;
    bool (*restore)(const QString &line);
} kSettingsLines[] = {{"PROTOCOL", RestoreProtocol},
                      {"COM-PORT", RestoreComPort},
                      {"BAUDRATE", RestoreBaudrate},
                      {"HOST", RestoreHost},
                      {"PORT", RestorePortNumber}};
constexpr int kSettingsLineCount = int(std::size(kSettingsLines));

// The variables follow the panel, so that a line that fell back leaves them
// on the panel's default, never on a value no control can show.
void TakeSettingsFromPanel() {
    GetCtrlVal(interfacepanel, INTERFACEP_EditCommunicationProtocol, &comprotocol);
    GetCtrlVal(interfacepanel, INTERFACEP_EditSelectComPort, &comport);
    GetCtrlVal(interfacepanel, INTERFACEP_EditSelectBaudrate, &baudrate);
    GetCtrlVal(interfacepanel, INTERFACEP_StringIpAdress, &ipBuf);
    GetCtrlVal(interfacepanel, INTERFACEP_StringPortNumber, &portNumStr);
}
} // namespace

void GetConnectionSettingsFromFile() {
    if (!FileExists(conSettingsFileName)) return;
    QStringList lines;
    QString problem;
    if (!ReadTextLines(conSettingsFileName, &lines, kSettingsLineCount, &problem)) {
        TakeSettingsFromPanel();
        MessagePopup("ATTENTION!",
                     QString("The connection settings file\n%1\n%2; the default settings are used.")
                         .arg(conSettingsFileName, problem));
        return;
    }
    QStringList fellBack;
    for (int i = 0; i < kSettingsLineCount; ++i)
        if (i >= lines.size() || !kSettingsLines[i].restore(lines[i]))
            fellBack << kSettingsLines[i].field;
    TakeSettingsFromPanel();
    if (!fellBack.isEmpty())
        MessagePopup("ATTENTION!",
                     QString("The connection settings file\n%1\nholds no valid %2; the default "
                             "is used.")
                         .arg(conSettingsFileName, fellBack.join(", ")));
}

void SaveCommunicationSettings() {
    TakeSettingsFromPanel();
    const QString text = QString("%1\n%2\n%3\n%4\n%5\n")
                             .arg(comprotocol)
                             .arg(comport)
                             .arg(baudrate)
                             .arg(ipBuf, portNumStr);
    if (!WriteFileAtomic(conSettingsFileName, text.toUtf8()))
        MessagePopup("ATTENTION!", QString("The connection settings could not be written to\n%1")
                                       .arg(conSettingsFileName));
}
