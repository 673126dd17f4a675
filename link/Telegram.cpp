// Telegram buffers, the request builder and the answer decoders. Words travel
// high byte first whatever the machine's byte order.
#include "link/Link.h"

#include "core/SensorData.h"
#include "core/Session.h"
#include "core/Ui.h"

unsigned char szWriteBuf[1024];
unsigned char szReadBuf[1024];
uint16_t databuf[18];

namespace {
void PutWord(int word, uint16_t value) {
    szWriteBuf[2 * word] = static_cast<unsigned char>(value >> 8);
    szWriteBuf[2 * word + 1] = static_cast<unsigned char>(value & 0xFF);
}

uint16_t AnswerWord(int word) {
    return static_cast<uint16_t>(szReadBuf[2 * word] * 256 + szReadBuf[2 * word + 1]);
}
} // namespace

void FillTxBuf(uint16_t order, uint16_t start, uint16_t value, uint16_t count) {
    PutWord(0, telegram::sync);
    PutWord(1, order);
    switch (order) {
    case 2:
        PutWord(2, start);
        for (int i = 0; i < 8 && 16 + 8 * start + i < 264; ++i) PutWord(3 + i, pp[16 + 8 * start + i]);
        break;
    case 4:
    case 50:
    case 190:
        PutWord(2, start);
        break;
    case 30:
        PutWord(2, cfrot);
        PutWord(3, cfgruen);
        PutWord(4, cfblau);
        break;
    case 180:
        PutWord(2, value);
        break;
    case 182:
        PutWord(2, value);
        PutWord(3, count);
        for (int i = 0; i < count && i < 14 && start + i < 256; ++i) PutWord(4 + i, data3rdRoot[start + i]);
        break;
    default:
        // Words 2..19: only 2..17 travel, the buffer is larger than a telegram.
        for (int i = 0; i < 18; ++i) PutWord(2 + i, pp[i]);
        break;
    }
}

void GetRxBufPara() {
    for (int k = 0; k < anzframe && k < 18; ++k) pp[k] = AnswerWord(k);
}

void GetRxBufData() {
    for (int k = 0; k < anzframe && k < 18; ++k) databuf[k] = AnswerWord(k);
}
