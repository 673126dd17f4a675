// The logo band at the top of the main panel: frame colour, picture and one to
// four text lines, chosen by a brand index at start-up.
#include "shell/Shell.h"

#include "core/Session.h"
#include "platform/Platform.h"
#include "uir_ids.h"

#include <cstring>

namespace {
const char kTitle[] = "TOLVANE-Zaded V1.2";
// Drawn at build time beside the executable (ui/MakeLogo.cpp).
const char kPicture[] = "TolvaneLogo.png";

constexpr int kWhite = 0xFFFFFF;

struct TextLine {
    int style;        // 1, 2 or 3: ShowInfoText1/2/3
    const char *text; // null: the title
    int left, top, size;
};

struct LogoRow {
    int frameColor;
    int pictureTop, pictureLeft;
    const char *bitmap; // empty: no picture
    TextLine lines[4];
};

// Layout A: title, a company line and a telephone line, grey on white.
constexpr LogoRow LayoutA(int pictureLeft, const char *company, const char *phone) {
    return {kWhite,
            5,
            pictureLeft,
            kPicture,
            {{1, nullptr, 280, 20, 22}, {1, company, 15, 13, 14}, {1, phone, 15, 32, 14}, {}}};
}
// Layout B: the title alone.
constexpr LogoRow LayoutB(int pictureLeft) {
    return {kWhite, 6, pictureLeft, kPicture, {{1, nullptr, 20, 16, 25}, {}, {}, {}}};
}

const LogoRow kLogoTable[13] = {
    {kWhite, 5, 800, "", {{2, nullptr, 280, 20, 22}, {}, {}, {}}},
    LayoutA(1060, "Tolvane sensor systems", "Tel. on the sensor label"),
    LayoutA(1040, "Tolvane colour sensing", "Service: see the sensor label"),
    LayoutA(1020, "Tolvane measurement", "Colour and gloss"),
    LayoutB(1060),
    LayoutB(1040),
    LayoutB(900),
    LayoutB(800),
    {kWhite,
     5,
     1040,
     kPicture,
     {{2, nullptr, 280, 20, 22},
      {1, "Colour and gloss sensor", 15, 8, 12},
      {1, "Operating program", 15, 30, 12},
      {}}},
    {kWhite,
     5,
     1040,
     kPicture,
     {{2, nullptr, 300, 22, 18},
      {1, "Tolvane", 15, 5, 12},
      {1, "Colour and gloss", 15, 21, 12},
      {1, "Right click: help", 15, 37, 12}}},
    {kWhite,
     4,
     1060,
     kPicture,
     {{2, nullptr, 280, 12, 30}, {1, "Colour sensor", 15, 20, 14}, {}, {}}},
    {0x1F3A5F,
     5,
     1040,
     kPicture,
     {{3, nullptr, 280, 20, 22}, {3, "Tolvane colour sensing", 15, 20, 14}, {}, {}}},
    {0x303030,
     5,
     1040,
     kPicture,
     {{3, nullptr, 280, 20, 22},
      {3, "Colour and gloss sensor", 15, 10, 12},
      {3, "Operating program", 15, 30, 12},
      {}}},
};
} // namespace

void ShowInfoText1(const char *text, int left, int top, int pointSize) {
    NewTextMsg(mainpanel, QString::fromUtf8(text), top, left, pointSize, 0x808080, kWhite, false);
}

void ShowInfoText2(const char *text, int left, int top, int pointSize) {
    NewTextMsg(mainpanel, QString::fromUtf8(text), top, left, pointSize, 0x000000, kWhite, false);
}

void ShowInfoText3(const char *text, int left, int top, int pointSize) {
    NewTextMsg(mainpanel, QString::fromUtf8(text), top, left, pointSize, kWhite, kWhite, true);
}

void ShowLogo(int index) {
    char title[52];
    std::strncpy(title, kTitle, sizeof title - 1);
    title[sizeof title - 1] = '\0';
    if (index < 0 || index > 12) return;

    const LogoRow &row = kLogoTable[index];
    SetCtrlAttribute(mainpanel, MAINP_LogoFrame, ATTR_TEXT_BGCOLOR, row.frameColor);
    SetCtrlAttribute(mainpanel, MAINP_LogoPicture, ATTR_TOP, row.pictureTop);
    SetCtrlAttribute(mainpanel, MAINP_LogoPicture, ATTR_LEFT, row.pictureLeft);
    // A missing picture leaves the band without one; nothing to report.
    if (row.bitmap[0])
        DisplayImageFile(mainpanel, MAINP_LogoPicture, JoinPath(GetProjectDir(), row.bitmap));

    for (const TextLine &line : row.lines) {
        const char *text = line.text ? line.text : title;
        switch (line.style) {
        case 1:
            ShowInfoText1(text, line.left, line.top, line.size);
            break;
        case 2:
            ShowInfoText2(text, line.left, line.top, line.size);
            break;
        case 3:
            ShowInfoText3(text, line.left, line.top, line.size);
            break;
        default:
            break; // unused line
        }
    }
}
