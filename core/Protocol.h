// The sensor protocol: telegram size, sync words and command codes. Shared
// by the program and the simulated sensor.
#pragma once

#include <cstdint>

namespace proto {
constexpr int kWords = 18;         // words in one telegram
constexpr int kTelegramBytes = 36; // bytes in one telegram
constexpr int kBufferBytes = 1024; // transmit and receive buffer size
constexpr uint16_t kRequestSync = 0x0055;
constexpr uint16_t kAnswerSync = 0x00AA;
constexpr int kRows = 31;    // teach-table rows
constexpr int kRowWords = 8; // 7 cells and the group
constexpr int kParamWords = 16;
constexpr int kParaSetWords = 264; // 16 + 31 * 8
constexpr int kVersionBytes = 36;
constexpr uint16_t kThirdRootAddress = 5888; // first sensor address of the table
constexpr int kThirdRootCount = 256;         // addresses 5888..6143
constexpr int kThirdRootPiece = 14;          // values per order-182 telegram
constexpr int kGroupTriggerFlag = 1024;      // added to the group word on a trigger

enum Order : uint16_t {
    WriteParams = 1,
    WriteRow = 2,
    ReadParams = 3,
    ReadRow = 4,
    SendFrame = 5,
    StoreEeprom = 6,
    SendVersion = 7,
    LoadEeprom = 8,
    WriteCalib = 30,
    ReadCalib = 31,
    AutoSend = 50,
    AnnounceThirdRoot = 180,
    WriteThirdRoot = 182,
    ChangeBaud = 190,
};

// Baud-rate index -> bits per second; any other index means 19200.
constexpr long BaudOfIndex(int index) {
    switch (index) {
    case 0:
        return 9600;
    case 1:
        return 19200;
    case 2:
        return 38400;
    case 3:
        return 57600;
    case 4:
        return 115200;
    default:
        return 19200;
    }
}

// Time-outs and pauses of the transactions.
constexpr double kAnswerTimeoutS = 3.0;          // one answer
constexpr int kTcpWriteTimeoutMs = 2000;         // one TCP write
constexpr double kLineCheckAnswerTimeoutS = 5.0; // the version answer of a TCP line check
constexpr int kLineCheckWriteTimeoutMs = 5000;   // the version request of a TCP line check
constexpr int kTcpConnectTimeoutMs = 5000;       // opening a TCP connection
constexpr double kAutoSendStopPauseS = 0.1;      // lets a frame in flight arrive after order 50
constexpr double kEepromStoreS = 0.5;            // the sensor stores its set after order 6

// The simulated sensor's default TCP port, also the program's default.
constexpr int kDefaultTcpPort = 10002;
} // namespace proto
