#include "sim/SensorModel.h"

#include "core/Protocol.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tsim {

namespace {

constexpr int kFullScale = 4095;
constexpr double kNominalPower = 500.0;
constexpr double kMaxPowerScale = 1000.0 / kNominalPower;

uint16_t Clamp12(double v) {
    if (v <= 0.0) return 0;
    if (v >= kFullScale) return kFullScale;
    return static_cast<uint16_t>(std::lround(v));
}

// Hue differences wrap around the circle; everything else is a plain difference.
double PairDelta(int a, int b, bool hue) {
    double d = std::abs(a - b);
    if (hue && d > kHueScale / 2) d = kHueScale - d;
    return d;
}

} // namespace

QList<Target> DefaultScene() {
    return {
        {QStringLiteral("white"), 3700, 3900, 3400, 300},
        {QStringLiteral("red"), 2900, 520, 430, 350},
        {QStringLiteral("green"), 600, 2400, 800, 320},
        {QStringLiteral("blue"), 450, 700, 2500, 300},
        {QStringLiteral("yellow"), 3000, 2700, 500, 330},
        {QStringLiteral("glossy black"), 180, 180, 182, 2600},
    };
}

int WhiteTargetIndex(const QList<Target> &scene) {
    for (int i = 0; i < scene.size(); ++i)
        if (scene[i].name == QLatin1String("white")) return i;
    return -1;
}

const char *DefaultVersionText() {
    // Exactly 36 characters and no terminator: the version answer is 36 raw bytes.
    return "TOLVANE-SIM V1.2 COLOUR/GLOSS SENSOR";
}

SensorState DefaultState(const QList<Target> &scene) {
    SensorState s{};
    const uint16_t params[16] = {500, 0, 8, 0, 10, 50, 5, 1, 0, 0, 0, 100, 3000, 0, 0, 0};
    std::copy(std::begin(params), std::end(params), s.ramParams);
    s.cf[0] = s.cf[1] = s.cf[2] = 1024;
    for (auto &row : s.ramRows) {
        std::fill(row, row + 7, uint16_t{1});
        row[7] = 0;
    }
    // The factory teaches the scene's targets into the first rows, in calculation
    // mode 0 with the usual tolerance of 100; the last target lies beyond MAXCOL-No.
    const uint16_t groups[] = {0, 1, 2, 2, 1, 0};
    for (int i = 0; i < std::min<int>(scene.size(), proto::kRows); ++i) {
        const Frame f = Measure(s, scene[i], 0.0, nullptr);
        const uint16_t row[8] = {f.x, f.y,  100, f.intensity,
                                 100, f.gn, 100, groups[i % std::size(groups)]};
        std::copy(std::begin(row), std::end(row), s.ramRows[i]);
    }
    std::copy(&s.ramParams[0], &s.ramParams[0] + 16, s.eepromParams);
    std::copy(&s.ramRows[0][0], &s.ramRows[0][0] + 31 * 8, &s.eepromRows[0][0]);
    for (int i = 0; i < proto::kThirdRootCount; ++i)
        s.thirdRoot[i] = static_cast<uint16_t>(1000.0 * std::cbrt(16.0 * i));
    s.baudIndex = s.eepromBaudIndex = 4; // 115200, the program's default too
    s.version = QByteArray(DefaultVersionText(), proto::kVersionBytes);
    s.autoSend = false;
    return s;
}

Chroma ChromaOf(int calcmode, int r, int g, int b) {
    const int sum = r + g + b;
    Chroma c{0, 0, static_cast<uint16_t>(sum / 3)};
    if (sum <= 0) return c;
    if ((calcmode & 1) == 0) {
        c.x = static_cast<uint16_t>(std::lround(double(kFullScale) * r / sum));
        c.y = static_cast<uint16_t>(std::lround(double(kFullScale) * g / sum));
        return c;
    }
    const int lowest = std::min({r, g, b});
    c.x = static_cast<uint16_t>(std::lround(kSaturationScale * (1.0 - 3.0 * lowest / sum)));
    if (c.x >= kAchromaticBelow) {
        double deg =
            std::atan2(std::sqrt(3.0) * (g - b), 2.0 * r - g - b) * 180.0 / std::numbers::pi;
        if (deg < 0) deg += 360.0;
        c.y = static_cast<uint16_t>(std::lround(deg * 10.0) % kHueScale);
    }
    return c;
}

Verdict Evaluate(const uint16_t params[16], const uint16_t rows[31][8], const Chroma &c,
                 uint16_t gn) {
    const int calcmode = params[PCalcmode];
    const int evalmode = params[PEvalmode];
    const int layout = (calcmode & 7) / 2;
    const bool hue = (calcmode & 1) != 0;
    const int active = std::min<int>(params[PMaxcolno], proto::kRows);
    if (c.intensity < params[PIntlim]) return {kNoVector, kNoVector};

    // The cell of the vector tolerance (CTO/siTO or TOL) in each column layout.
    static constexpr int kVectorTolCell[4] = {2, 3, 3, 4};
    int best = -1;
    double bestDistance = 0;
    for (int r = 0; r < active; ++r) {
        const uint16_t *cell = rows[r];
        const double dx = PairDelta(c.x, cell[0], false);
        const double dy = PairDelta(c.y, cell[1], hue);
        const int tolerance =
            evalmode == EvalFixedTolerance ? kFixedTolerance : cell[kVectorTolCell[layout]];
        double d = 0;
        bool others = true; // the separately judged intensity and gloss
        switch (layout) {
        case 0: // X, Y, CTO, INT, ITO, GN, GTO
            d = std::hypot(dx, dy);
            others =
                std::abs(c.intensity - cell[3]) <= cell[4] && std::abs(gn - cell[5]) <= cell[6];
            break;
        case 1: { // X, Y, INT, TOL, GN, GTO
            const double di = c.intensity - cell[2];
            d = std::sqrt(dx * dx + dy * dy + di * di);
            others = std::abs(gn - cell[4]) <= cell[5];
            break;
        }
        case 2: { // X, Y, GN, TOL, INT, ITO
            const double dg = gn - cell[2];
            d = std::sqrt(dx * dx + dy * dy + dg * dg);
            others = std::abs(c.intensity - cell[4]) <= cell[5];
            break;
        }
        default: { // X, Y, INT, GN, TOL
            const double di = c.intensity - cell[2];
            const double dg = gn - cell[3];
            d = std::sqrt(dx * dx + dy * dy + di * di + dg * dg);
            break;
        }
        }
        if (!others || d > tolerance) continue;
        // Overlapping tolerances: the nearest row wins, the lower row on a tie;
        // in first-hit mode the lower row wins outright.
        if (best < 0 || d < bestDistance) {
            best = r;
            bestDistance = d;
        }
        if (evalmode == EvalFirstHit) break;
    }
    if (best < 0) return {kNoVector, kNoVector};
    const uint16_t color = static_cast<uint16_t>(best);
    return {color, params[PColorgroup] ? rows[best][7] : color};
}

uint32_t Noise::next() {
    m_state ^= m_state << 13;
    m_state ^= m_state >> 17;
    m_state ^= m_state << 5;
    return m_state;
}

int Noise::around(int amplitude) {
    if (amplitude <= 0) return 0;
    return static_cast<int>(next() % uint32_t(2 * amplitude + 1)) - amplitude;
}

Frame Measure(const SensorState &s, const Target &t, double seconds, Noise *noise) {
    const uint16_t *p = s.ramParams;
    double scale = std::min<double>(p[PPower], 1000.0) / kNominalPower;
    if (p[PPmode] == 1 && p[PDynwinhi] > p[PDynwinlo]) {
        // Dynamic power: the transmitter is tuned until the brightest receiver
        // lies within the dynamic window (as far as full power allows).
        const double bright = std::max({t.rawR, t.rawG, t.rawB}) * scale;
        if (bright > p[PDynwinhi])
            scale *= p[PDynwinhi] / bright;
        else if (bright > 0 && bright < p[PDynwinlo])
            scale = std::min(scale * p[PDynwinlo] / bright, kMaxPowerScale);
    }
    // More averaging, less noise; 8 scans give the nominal amount.
    const double quiet = std::clamp(std::sqrt(8.0 / std::max<int>(1, p[PAverage])), 0.35, 2.8);
    auto receiver = [&](double nominal) {
        const double v = nominal * scale;
        const int amplitude = noise ? int(std::lround((1.0 + v / 512.0) * quiet)) : 0;
        return Clamp12(v + (noise ? noise->around(amplitude) : 0));
    };

    Frame f{};
    f.rawR = receiver(t.rawR);
    f.rawG = receiver(t.rawG);
    f.rawB = receiver(t.rawB);
    f.r = Clamp12(double(f.rawR) * s.cf[0] / 1024.0);
    f.g = Clamp12(double(f.rawG) * s.cf[1] / 1024.0);
    f.b = Clamp12(double(f.rawB) * s.cf[2] / 1024.0);
    f.dif = static_cast<uint16_t>((f.rawR + f.rawG + f.rawB) / 3);
    f.dir = receiver(t.dir);
    f.ref = receiver(1500.0);
    const int glossBase = f.dir + f.dif;
    f.gn = glossBase > 0 ? static_cast<uint16_t>(kFullScale * f.dir / glossBase) : 0;
    f.temp = static_cast<uint16_t>(
        std::lround(35.0 + 4.5 * std::sin(2.0 * std::numbers::pi * seconds / 900.0)));

    const Chroma c = ChromaOf(p[PCalcmode], f.r, f.g, f.b);
    f.x = c.x;
    f.y = c.y;
    f.intensity = c.intensity;
    const Verdict v = Evaluate(p, s.ramRows, c, f.gn);
    f.color = v.color;
    f.group = v.group;
    return f;
}

} // namespace tsim
