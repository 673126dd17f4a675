// The logo band at the top of the main panel.
#include "shell/Shell.h"

#include "core/Session.h"

#include "platform/Platform.h"
#include "uir_ids.h"

namespace {
const char kTitle[] = "TOLVANE-Zaded V1.2";
}

void ShowLogo(int index) {
    if (index < 0 || index > 12) return;
    SetCtrlAttribute(mainpanel, MAINP_LogoFrame, ATTR_TEXT_BGCOLOR, 0xFFFFFF);
    NewTextMsg(mainpanel, kTitle, 16, 20, 22, 0x808080, 0xFFFFFF, false);
    NewTextMsg(mainpanel, "Colour and gloss sensor - operating program", 24, 900, 11, 0x808080,
               0xFFFFFF, false);
}
