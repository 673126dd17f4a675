// Telegram buffers, the request builder and the answer decoders. Words travel
// high byte first whatever the machine's byte order.
#include "link/Link.h"

#include "core/Protocol.h"

#include "core/SensorData.h"
#include "core/Session.h"
#include "core/Ui.h"

unsigned char szWriteBuf[proto::kBufferBytes];
unsigned char szReadBuf[proto::kBufferBytes];
uint16_t databuf[proto::kWords];

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
    case proto::WriteRow:
        PutWord(2, start);
        for (int i = 0; i < proto::kRowWords &&
                        proto::kParamWords + proto::kRowWords * start + i < proto::kParaSetWords;
             ++i)
            PutWord(3 + i, pp[proto::kParamWords + proto::kRowWords * start + i]);
        break;
    case proto::ReadRow:
    case proto::AutoSend:
    case proto::ChangeBaud:
        PutWord(2, start);
        break;
    case proto::WriteCalib:
        PutWord(2, cfrot);
        PutWord(3, cfgruen);
        PutWord(4, cfblau);
        break;
    case proto::AnnounceThirdRoot:
        PutWord(2, value);
        break;
    case proto::WriteThirdRoot:
        PutWord(2, value);
        PutWord(3, count);
        for (int i = 0;
             i < count && i < proto::kThirdRootPiece && start + i < proto::kThirdRootCount; ++i)
            PutWord(4 + i, data3rdRoot[start + i]);
        break;
    default:
        // Words 2..19: only 2..17 travel, the buffer is larger than a telegram.
        for (int i = 0; i < proto::kWords; ++i)
            PutWord(2 + i, pp[i]);
        break;
    }
}

void GetRxBufPara() {
    for (int k = 0; k < anzframe && k < proto::kWords; ++k)
        pp[k] = AnswerWord(k);
}

void GetRxBufData() {
    for (int k = 0; k < anzframe && k < proto::kWords; ++k)
        databuf[k] = AnswerWord(k);
}
