// Storage of the sensor's data that is not the parameter set itself.
#include "core/SensorData.h"

uint16_t ctt[31][7];
uint16_t groupbuf[31];

// A distinct colour per row, so that neighbouring circles in the graphs can
// be told apart; entries 31..44 are kept for the colour file's layout.
int tolvanearr[45] = {
    0xFF0000, 0x00C000, 0x0000FF, 0xFF8000, 0xC000C0, 0x00C0C0, 0x808000, 0x800000,
    0x008080, 0x000080, 0xFF0080, 0x80FF00, 0x0080FF, 0xFFC000, 0x8000FF, 0x00FF80,
    0x804000, 0x408000, 0x004080, 0x800080, 0xFF6060, 0x60C060, 0x6060FF, 0xC08040,
    0x40C0C0, 0xC040C0, 0x808080, 0x404040, 0xA0A000, 0x00A0A0, 0xA000A0, 0xC0C0C0,
    0xC0C0C0, 0xC0C0C0, 0xC0C0C0, 0xC0C0C0, 0xC0C0C0, 0xC0C0C0, 0xC0C0C0, 0xC0C0C0,
    0xC0C0C0, 0xC0C0C0, 0xC0C0C0, 0xC0C0C0, 0xC0C0C0};

uint16_t cfrot = 1024, cfgruen = 1024, cfblau = 1024;
uint16_t data3rdRoot[256];

uint16_t dataR, dataG, dataB, dataX, dataY, dataInt, dataColor, dataRawR, dataRawG, dataRawB,
    dataTemp, dataGroup, dataRef, dataDir, dataDif, dataGn;
uint16_t dataTrigger;
int rgbcolor;
