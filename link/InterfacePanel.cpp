// The interface panel: link selection, connection attempt, baud-rate change.
#include "link/Link.h"

#include "platform/Platform.h"
#include "core/HelpTexts.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "uir_ids.h"

namespace {
void DimAccept() { SetCtrlAttribute(interfacepanel, INTERFACEP_ButtonAccept, ATTR_DIMMED, 1); }

void DimAcceptAndBaudrate() {
    DimAccept();
    SetBaudrateChangeAllowed(0);
}

} // namespace

void InitConnectPanel() {
    int protocol = 0;
    GetCtrlVal(interfacepanel, INTERFACEP_EditCommunicationProtocol, &protocol);
    if (protocol != 0 && protocol != 1) return;
    comprotocol = static_cast<uint16_t>(protocol);
    const int serial = protocol == 0 ? 1 : 0;
    SetCtrlAttribute(interfacepanel, INTERFACEP_EditSelectComPort, ATTR_VISIBLE, serial);
    SetCtrlAttribute(interfacepanel, INTERFACEP_EditSelectBaudrate, ATTR_VISIBLE, serial);
    SetCtrlAttribute(interfacepanel, INTERFACEP_ButtonChangeBaudrate, ATTR_VISIBLE, serial);
    SetCtrlAttribute(interfacepanel, INTERFACEP_StringIpAdress, ATTR_VISIBLE, 1 - serial);
    SetCtrlAttribute(interfacepanel, INTERFACEP_StringPortNumber, ATTR_VISIBLE, 1 - serial);
    // The frames around each link's fields go with them.
    SetCtrlAttribute(interfacepanel, INTERFACEP_BoxSerial, ATTR_VISIBLE, serial);
    SetCtrlAttribute(interfacepanel, INTERFACEP_BoxNetwork, ATTR_VISIBLE, 1 - serial);
}

void LabelComPorts() {
    int count = 0;
    GetNumListItems(interfacepanel, INTERFACEP_EditSelectComPort, &count);
    for (int i = 0; i < count; ++i) {
        int port = 0;
        GetValueFromIndex(interfacepanel, INTERFACEP_EditSelectComPort, i, &port);
        // The device's own name (ttyS0, ttyUSB0, ...) fits the selector.
        const QString device = ComPortDevice(port).section('/', -1);
        ReplaceListItem(interfacepanel, INTERFACEP_EditSelectComPort, i,
                        QString("COM%1 %2").arg(port).arg(device), port);
    }
}

int CBF_ButtonTryToConnect(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonTryToConnect) || event != EVENT_COMMIT) return 0;
    TransferScope transfer;
    if (!transfer.refused()) TryToConnect();
    return 0;
}

int CBF_ButtonAccept(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonAccept) || event != EVENT_COMMIT) return 0;
    SaveCommunicationSettings();
    ShowChildPanel(2);
    return 0;
}

int CBF_ButtonChangeBaudrate(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonChangeBaudrate) || event != EVENT_COMMIT) return 0;
    TransferScope transfer;
    if (transfer.refused()) return 0;
    DimAcceptAndBaudrate();
    ChangeBaudrate();
    return 0;
}

int CBF_EditCommunicationProtocol(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoEditCommunicationProtocol) || event != EVENT_COMMIT) return 0;
    InitConnectPanel();
    DimAcceptAndBaudrate();
    return 0;
}

int CBF_EditSelectComPort(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoEditConnect) || event != EVENT_COMMIT) return 0;
    DimAcceptAndBaudrate();
    return 0;
}

int CBF_EditSelectBaudrate(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoEditSelectBaudrate) || event != EVENT_COMMIT) return 0;
    DimAccept();
    return 0;
}

int CBF_StringIpAdress(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoStringIpAdress) || event != EVENT_COMMIT) return 0;
    DimAccept();
    GetCtrlVal(interfacepanel, INTERFACEP_StringIpAdress, &ipBuf);
    return 0;
}

int CBF_StringPortNumber(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoStringPortNumber) || event != EVENT_COMMIT) return 0;
    DimAccept();
    return 0;
}

int CBF_EditID(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoEditID) || event != EVENT_COMMIT) return 0;
    QString id;
    GetCtrlVal(interfacepanel, INTERFACEP_EditID, &id);
    id.truncate(99);
    SetCtrlVal(colbigpanel, COLBIGP_DispID, id);
    SetCtrlVal(grpbigpanel, GRPBIGP_DispID, id);
    SetCtrlVal(recpanel, RECP_DispID, id);
    return 0;
}

int CBF_INTERFACEP(int, int, int, void *, int, int) { return 0; }
