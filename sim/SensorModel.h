// What the simulated sensor holds and what it measures: the parameter and
// teach-table memories, the scene of targets, the frame computation and the
// evaluation of the taught table. Pure logic, no links.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>

namespace tsim {

// Parameter word indices (telegram order).
enum Param : int {
    PPower = 0,
    PPmode,
    PAverage,
    PEvalmode,
    PHold,
    PIntlim,
    PMaxcolno,
    POutmode,
    PTrigger,
    PExteach,
    PCalcmode,
    PDynwinlo,
    PDynwinhi,
    PColorgroup,
    PFrei15,
    PFrei16
};

struct SensorState {
    uint16_t ramParams[16];
    uint16_t eepromParams[16];
    uint16_t ramRows[31][8]; // 7 cells + group
    uint16_t eepromRows[31][8];
    uint16_t cf[3];          // calibration factors r, g, b in 1/1024 (1024 = 1.0)
    uint16_t thirdRoot[256]; // sensor addresses 5888..6143
    int baudIndex;           // line rate in use
    int eepromBaudIndex;     // line rate after a restart
    QByteArray version;      // 36 bytes, sent as they stand
    bool autoSend;
};

// One thing the sensor can look at. Receiver counts at POWER 500, before the
// calibration factors: the white target is clearly unbalanced, as an
// uncalibrated sensor's receivers are, so that a calibration visibly evens it out.
struct Target {
    QString name;
    uint16_t rawR, rawG, rawB; // diffuse receivers
    uint16_t dir;              // direct (specular) receiver
};

// The sixteen words of a data frame, in telegram order (words 2..17).
struct Frame {
    uint16_t r, g, b;
    uint16_t x, y, intensity; // X/Y/INT, or s/i/M in the odd calculation modes
    uint16_t color;
    uint16_t rawR, rawG, rawB;
    uint16_t temp;
    uint16_t group; // the trigger flag is added by the sender
    uint16_t ref, dir, dif, gn;
};

struct Chroma {
    uint16_t x, y, intensity;
};

struct Verdict {
    uint16_t color; // row number, 255 = no row / intensity too low
    uint16_t group;
};

// Evaluation modes (EVALMODE): how the row is chosen among the active rows.
enum EvalMode : int {
    EvalBestHit = 0,        // the nearest row within its tolerance
    EvalFirstHit = 1,       // the first row in table order within its tolerance
    EvalFixedTolerance = 2, // as best hit, the vector tolerance fixed at kFixedTolerance
    EvalBinary = 3,         // as best hit; the outputs spell the vector number in base 2
};

constexpr uint16_t kNoVector = 255;
constexpr int kFixedTolerance = 40;
constexpr int kSaturationScale = 10000; // s runs 0..10000
constexpr int kHueScale = 3600;         // i is the hue in tenths of a degree
constexpr int kAchromaticBelow = 500;   // s below this has no hue: i = 0

QList<Target> DefaultScene();
// Index of the target named "white" (the calibration target), -1 if there is none.
int WhiteTargetIndex(const QList<Target> &scene);
const char *DefaultVersionText();

// A sensor fresh from the factory: default parameters in RAM and EEPROM, the
// first targets of the scene taught into rows 0.. (calculation mode 0).
SensorState DefaultState(const QList<Target> &scene);

// Chromaticity and intensity of calibrated R, G, B for a calculation mode.
// Even modes: X = 4095 R/(R+G+B), Y = 4095 G/(R+G+B), INT = (R+G+B)/3.
// Odd modes: s = 10000 (1 - 3 min/(R+G+B)), i = hue angle in 0.1 degree
// (0 below kAchromaticBelow), M = (R+G+B)/3.
Chroma ChromaOf(int calcmode, int r, int g, int b);

// Judges one measurement against the active rows of the teach table, the way
// the parameters (evalmode, calcmode, intlim, maxcolno, colorgroup) say.
Verdict Evaluate(const uint16_t params[16], const uint16_t rows[31][8], const Chroma &c,
                 uint16_t gn);

// Small deterministic noise source (xorshift32).
class Noise {
  public:
    explicit Noise(uint32_t seed = 1) { reseed(seed); }
    void reseed(uint32_t seed) { m_state = seed ? seed : 0x9E3779B9u; }
    uint32_t next();
    int around(int amplitude); // uniform in -amplitude..amplitude
  private:
    uint32_t m_state;
};

// Computes the frame the sensor sends when it looks at `t`, `seconds` after
// power-up (the temperature drifts with time). `noise` null = exact values.
Frame Measure(const SensorState &s, const Target &t, double seconds, Noise *noise);

} // namespace tsim
