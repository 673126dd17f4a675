// The interface panel: link selection, connection attempt, baud-rate change.
#include "link/Link.h"

#include "controls/Combo.h"
#include "core/Edits.h"
#include "core/HelpTexts.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "platform/Platform.h"
#include "uir_ids.h"

namespace {
void DimAccept() {
    SetCtrlAttribute(interfacepanel, INTERFACEP_ButtonAccept, ATTR_DIMMED, 1);
}

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
    // The host field's list button goes with it; before start-up made it a
    // combo box it is a plain field.
    if (Combo_SetComboAttribute(interfacepanel, INTERFACEP_StringIpAdress, ATTR_COMBO_VISIBLE,
                                1 - serial) < 0)
        SetCtrlAttribute(interfacepanel, INTERFACEP_StringIpAdress, ATTR_VISIBLE, 1 - serial);
    SetCtrlAttribute(interfacepanel, INTERFACEP_StringPortNumber, ATTR_VISIBLE, 1 - serial);
    // The frames around each link's fields go with them.
    SetCtrlAttribute(interfacepanel, INTERFACEP_BoxSerial, ATTR_VISIBLE, serial);
    SetCtrlAttribute(interfacepanel, INTERFACEP_BoxNetwork, ATTR_VISIBLE, 1 - serial);
}

namespace {
QString ComPortLabel(const ComPortInfo &info) {
    // A device of the fixed numbering is known by its own name (ttyS0,
    // ttyUSB0); one named through the environment by its path.
    QString label = QString("COM%1 %2")
                        .arg(info.port)
                        .arg(info.fromEnvironment ? info.device : info.device.section('/', -1));
    if (!info.details.isEmpty()) label += ": " + info.details;
    if (!info.present) label += " (absent)";
    return label;
}

int SelectedComPort() {
    int port = 0;
    int index = -1;
    GetCtrlIndex(interfacepanel, INTERFACEP_EditSelectComPort, &index);
    if (index >= 0) GetValueFromIndex(interfacepanel, INTERFACEP_EditSelectComPort, index, &port);
    return port;
}
} // namespace

bool SelectComPort(int port) {
    constexpr int ring = INTERFACEP_EditSelectComPort;
    int index = -1;
    GetIndexFromValue(interfacepanel, ring, &index, port);
    if (index < 0) {
        const ComPortInfo info = DescribeComPort(port);
        if (info.port == 0) return false;
        int count = 0;
        GetNumListItems(interfacepanel, ring, &count);
        int at = 0;
        for (int value = 0; at < count; ++at) {
            GetValueFromIndex(interfacepanel, ring, at, &value);
            if (value > port) break;
        }
        InsertListItem(interfacepanel, ring, at, ComPortLabel(info), port);
    }
    return SetCtrlVal(interfacepanel, ring, port) >= 0;
}

void FillComPortSelector() {
    const int selected = SelectedComPort();
    DeleteListItem(interfacepanel, INTERFACEP_EditSelectComPort, 0, -1);
    for (const ComPortInfo &info : ListComPorts())
        InsertListItem(interfacepanel, INTERFACEP_EditSelectComPort, -1, ComPortLabel(info),
                       info.port);
    // A machine without any serial device still shows the first port.
    if (!SelectComPort(selected) && SelectedComPort() == 0) SelectComPort(1);
}

int CBF_ButtonTryToConnect(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoButtonTryToConnect) || event != EVENT_COMMIT) return 0;
    // A connection reads the sensor's set into the panels.
    if (!MayDiscardUnsent()) return 0;
    TransferScope transfer;
    if (transfer.refused()) return 0;
    // The port used is the one that stands in the field: a mark for a value
    // refused before it goes.
    QString port;
    GetCtrlVal(interfacepanel, INTERFACEP_StringPortNumber, &port);
    SetCtrlVal(interfacepanel, INTERFACEP_StringPortNumber, port);
    TryToConnect();
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
    if (!MayDiscardUnsent()) return 0;
    TransferScope transfer;
    if (transfer.refused()) return 0;
    DimAcceptAndBaudrate();
    ChangeBaudrate();
    return 0;
}

int CBF_EditCommunicationProtocol(int, int, int event, void *, int, int) {
    if (ShowHelpOnRightClick(event, InfoEditCommunicationProtocol) || event != EVENT_COMMIT)
        return 0;
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
    UpdateHostHistory(ipBuf);
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

int CBF_INTERFACEP(int, int, int, void *, int, int) {
    return 0;
}
