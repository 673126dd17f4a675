// The stored connection settings: five lines in the program's directory.
#include "link/Link.h"

#include "platform/Platform.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "uir_ids.h"

void GetConnectionSettingsFromFile() {
    if (!FileExists(conSettingsFileName)) return;
    QStringList lines;
    if (!ReadTextLines(conSettingsFileName, &lines, 5)) return;
    while (lines.size() < 5) lines << QString();
    comprotocol = static_cast<uint16_t>(LeadingNumber(lines[0].left(100)));
    comport = static_cast<uint16_t>(LeadingNumber(lines[1].left(100)));
    baudrate = static_cast<uint16_t>(LeadingNumber(lines[2].left(100)));
    ipBuf = lines[3].left(255);
    portNumStr = lines[4].left(31);

    SetCtrlVal(interfacepanel, INTERFACEP_EditCommunicationProtocol, int(comprotocol));
    SetCtrlVal(interfacepanel, INTERFACEP_EditSelectComPort, int(comport));
    SetCtrlVal(interfacepanel, INTERFACEP_EditSelectBaudrate, int(baudrate));
    SetCtrlVal(interfacepanel, INTERFACEP_StringIpAdress, ipBuf);
    SetCtrlVal(interfacepanel, INTERFACEP_StringPortNumber, portNumStr);
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
    if (!WriteFileAtomic(conSettingsFileName, text.toLocal8Bit()))
        MessagePopup("ATTENTION!", QString("The connection settings could not be written to\n%1")
                                       .arg(conSettingsFileName));
}
