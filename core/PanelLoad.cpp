// Loading the thirteen panels into their handles: the window and the
// command-line tool hold the same panels as the master copy.
#include "core/Session.h"

#include "platform/Platform.h"
#include "uir_ids.h"

extern const UirPanelInfo kUirPanels[];

namespace {
const char kUir[] = "Tolvane.uir";
} // namespace

int LoadPanelHandles() {
    InstallUirTable(kUirPanels, kUirPanelCount);
    struct Load {
        int *handle;
        bool child;
        int id;
    };
    const Load loads[] = {{&mainpanel, false, MAINP},
                          {&parapanel, true, PARAP},
                          {&ttpanel, true, TTP},
                          {&datapanel, true, DATAP},
                          {&tapanel, true, TAP},
                          {&interfacepanel, true, INTERFACEP},
                          {&grouppanel, true, PGROUP},
                          {&recpanel, true, RECP},
                          {&calibpanel, true, CALIBP},
                          {&teachpanel, false, TEACHP},
                          {&colbigpanel, false, COLBIGP},
                          {&grpbigpanel, false, GRPBIGP},
                          {&p3sidesview, false, P3SIDESVIEW}};
    for (const Load &l : loads) {
        *l.handle = LoadPanel(l.child ? mainpanel : 0, kUir, l.id);
        if (*l.handle < 0) return -1;
    }
    return 0;
}
