// Storage of the sensor's data that is not the parameter set itself.
#include "core/SensorData.h"

uint16_t ctt[31][7];
uint16_t groupbuf[31];

// Fifteen indicator colours, three times over; entries 31..44 are never
// shown but travel in the table-attributes files.
int tolvanearr[45] = {
    0xFF0000, 0x80FF00, 0x0000FF, 0x000000, 0xFF80C0, 0xFFFF00, 0x808000, 0x800080, 0x80FFFF,
    0xFF0080, 0x400080, 0xFF00FF, 0x008000, 0x408080, 0x800000, 0xFF0000, 0x80FF00, 0x0000FF,
    0x000000, 0xFF80C0, 0xFFFF00, 0x808000, 0x800080, 0x80FFFF, 0xFF0080, 0x400080, 0xFF00FF,
    0x008000, 0x408080, 0x800000, 0xFF0000, 0x80FF00, 0x0000FF, 0x000000, 0xFF80C0, 0xFFFF00,
    0x808000, 0x800080, 0x80FFFF, 0xFF0080, 0x400080, 0xFF00FF, 0x008000, 0x408080, 0x800000};

uint16_t cfrot = 1024, cfgruen = 1024, cfblau = 1024;
uint16_t data3rdRoot[256];

uint16_t dataR, dataG, dataB, dataX, dataY, dataInt, dataColor, dataRawR, dataRawG, dataRawB,
    dataTemp, dataGroup, dataRef, dataDir, dataDif, dataGn;
uint16_t dataTrigger;
int rgbcolor;
ShownFrame shownFrame{};
