// The stored connection settings: five lines in the program's directory.
#include "link/Link.h"

#include "core/Session.h"
#include "core/Ui.h"
#include "platform/Platform.h"
#include "uir_ids.h"

namespace {
constexpr int kSettingsLines = 5;

// The decimal value of a line's leading digits, read from its first 100
// characters, when it lies within [low, high]; -1 for anything else.
int StoredNumber(const QString &line, int low, int high) {
    const QString text = line.left(100).trimmed();
    if (text.isEmpty() || !text[0].isDigit()) return -1;
    const int value = LeadingNumber(text);
    return value >= low && value <= high ? value : -1;
}

bool PlausibleHostLine(const QString &host) {
    if (host.size() > kHostMaxChars) return false;
    for (const QChar c : host)
        if (c.category() == QChar::Other_Control || c == QChar::ReplacementCharacter) return false;
    return true;
}

bool PlausiblePortNumber(const QString &text) {
    if (text.isEmpty()) return true; // a serial link needs none
    if (text.size() > 5) return false;
    for (const QChar c : text)
        if (!c.isDigit()) return false;
    const int port = text.toInt();
    return port >= 1 && port <= 65535;
}
} // namespace

void GetConnectionSettingsFromFile() {
    if (!FileExists(conSettingsFileName)) return;
    QStringList lines;
    QString problem;
    QStringList fellBack;
    if (!ReadTextLines(conSettingsFileName, &lines, kSettingsLines, &problem)) {
        MessagePopup("ATTENTION!", QString("The connection settings file\n%1\n%2; the default "
                                           "settings are used.")
                                       .arg(conSettingsFileName, problem));
        return;
    }
    while (lines.size() < kSettingsLines)
        lines << QString();

    // The rings take only the values they offer.
    const int protocol = StoredNumber(lines[0], 0, 1);
    if (protocol < 0 ||
        SetCtrlVal(interfacepanel, INTERFACEP_EditCommunicationProtocol, protocol) < 0)
        fellBack << "PROTOCOL";
    const int port = StoredNumber(lines[1], 1, kComPortCount);
    if (port < 0 || !SelectComPort(port)) fellBack << "COM-PORT";
    const int baud = StoredNumber(lines[2], 0, 4);
    if (baud < 0 || SetCtrlVal(interfacepanel, INTERFACEP_EditSelectBaudrate, baud) < 0)
        fellBack << "BAUDRATE";
    const QString host = lines[3].left(255);
    if (PlausibleHostLine(host))
        SetCtrlVal(interfacepanel, INTERFACEP_StringIpAdress, host);
    else
        fellBack << "HOST";
    const QString portNumber = lines[4].left(31).trimmed();
    if (PlausiblePortNumber(portNumber))
        SetCtrlVal(interfacepanel, INTERFACEP_StringPortNumber, portNumber);
    else
        fellBack << "PORT";

    // The variables follow the panel, so that a line that fell back leaves
    // them on the panel's default, never on a value no control can show.
    GetCtrlVal(interfacepanel, INTERFACEP_EditCommunicationProtocol, &comprotocol);
    GetCtrlVal(interfacepanel, INTERFACEP_EditSelectComPort, &comport);
    GetCtrlVal(interfacepanel, INTERFACEP_EditSelectBaudrate, &baudrate);
    GetCtrlVal(interfacepanel, INTERFACEP_StringIpAdress, &ipBuf);
    GetCtrlVal(interfacepanel, INTERFACEP_StringPortNumber, &portNumStr);

    if (!fellBack.isEmpty())
        MessagePopup("ATTENTION!", QString("The connection settings file\n%1\nholds no valid %2; "
                                           "the default is used.")
                                       .arg(conSettingsFileName, fellBack.join(", ")));
}

void SaveCommunicationSettings() {
    GetCtrlVal(interfacepanel, INTERFACEP_EditCommunicationProtocol, &comprotocol);
    GetCtrlVal(interfacepanel, INTERFACEP_EditSelectComPort, &comport);
    GetCtrlVal(interfacepanel, INTERFACEP_EditSelectBaudrate, &baudrate);
    GetCtrlVal(interfacepanel, INTERFACEP_StringIpAdress, &ipBuf);
    GetCtrlVal(interfacepanel, INTERFACEP_StringPortNumber, &portNumStr);
    const QString text = QString("%1\n%2\n%3\n%4\n%5\n")
                             .arg(comprotocol)
                             .arg(comport)
                             .arg(baudrate)
                             .arg(ipBuf, portNumStr);
    if (!WriteFileAtomic(conSettingsFileName, text.toUtf8()))
        MessagePopup("ATTENTION!", QString("The connection settings could not be written to\n%1")
                                       .arg(conSettingsFileName));
}
