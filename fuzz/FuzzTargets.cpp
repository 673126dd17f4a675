// The fuzz targets shared by the libFuzzer programs and the suite's
// deterministic run.
#include "fuzz/FuzzTargets.h"

#include "controls/Combo.h"
#include "core/MasterCopy.h"
#include "core/Protocol.h"
#include "core/SensorData.h"
#include "core/Session.h"
#include "core/Ui.h"
#include "link/Link.h"
#include "live/Live.h"
#include "params/ParaFile.h"
#include "platform/Platform.h"
#include "record/RecordStats.h"
#include "shell/Shell.h"
#include "teach/TeachTable.h"
#include "uir_ids.h"
#include "viewer/RecordStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <tuple>

namespace fuzz {
namespace {
QTemporaryDir *g_dir = nullptr;

void Promise(bool kept, const char *what) {
    if (kept) return;
    qCritical("fuzz: broken promise: %s", what);
    std::abort();
}

QString Scratch(const char *name) {
    return QDir(g_dir->path()).filePath(QString::fromLatin1(name));
}

void WriteScratch(const QString &path, const uint8_t *data, size_t size) {
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(reinterpret_cast<const char *>(data), qint64(size));
}

std::array<uint16_t, 16> Parameters() {
    return {power,   pmode,   average,  evalmode, hold,     intlim,     maxcolno, outmode,
            trigger, exteach, calcmode, dynwinlo, dynwinhi, colorgroup, frei15,   frei16};
}

constexpr uint16_t kOrders[] = {proto::WriteParams, proto::WriteRow,          proto::ReadParams,
                                proto::ReadRow,     proto::SendFrame,         proto::StoreEeprom,
                                proto::SendVersion, proto::LoadEeprom,        proto::WriteCalib,
                                proto::ReadCalib,   proto::AnnounceThirdRoot, proto::WriteThirdRoot,
                                proto::ChangeBaud};
} // namespace

bool Start() {
    if (g_dir) return true;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    g_dir = new QTemporaryDir();
    if (!g_dir->isValid()) return false;
    static char arg0[] = "tolvane";
    static char *argv[] = {arg0, nullptr};
    // The form file lies beside every program of the build.
    if (!QCoreApplication::instance()) InitRunTimeEngine(1, argv);
    const QString uir = QDir(QCoreApplication::applicationDirPath()).filePath("Tolvane.uir");
    QFile::copy(uir, Scratch("Tolvane.uir"));
    SetProjectDir(g_dir->path());
    popupscript::Install();
    if (LoadAllPanels(1, argv) < 0) return false;
    // The host field becomes a combo box at start-up.
    Combo_NewComboBox(interfacepanel, INTERFACEP_StringIpAdress);
    std::atexit(Stop);
    anzpara = proto::kParaSetWords;
    anzframe = proto::kWords;
    anzVec = proto::kRows;
    telegram::sync = proto::kRequestSync;
    conSettingsFileName = Scratch("ComSettings.cfg");
    colorArrayStartupFileName = Scratch("StartupFile.cfg");
    ipComboBoxFileName = Scratch("IPComboBox.cfg");
    return true;
}

void Stop() {
    static bool stopped = false;
    if (stopped || !g_dir) return;
    stopped = true;
    DiscardAllPanels();
}

void Answer(const uint8_t *data, size_t size) {
    if (size < 2) return;
    const uint16_t request = kOrders[data[0] % std::size(kOrders)];
    order = request;
    FillTxBuf(request, data[1], proto::kThirdRootAddress, uint16_t(data[1] % 20));
    std::memcpy(szReadBuf, data + 2, std::min(size - 2, sizeof szReadBuf));

    const auto params = Parameters();
    uint16_t rows[31][7];
    std::memcpy(rows, ctt, sizeof rows);
    // The link refuses an answer that does not begin as one to the request
    // before any decoder sees it.
    if (!AnswerHeadFits()) return;
    switch (request) {
    case proto::ReadParams:
    case proto::ReadRow:
        GetRxBufPara();
        CopyPPtoVars();
        Promise(maxcolno <= anzVec, "MAXCOL-No. beyond the table");
        if (request == proto::ReadRow) {
            Promise(Parameters() == params, "a row answer changed the parameters");
            for (int r = 0; r < 31; ++r)
                if (r != pp[2])
                    Promise(!std::memcmp(rows[r], ctt[r], sizeof rows[r]), "another row");
        }
        SetPanelValues();
        break;
    case proto::SendFrame:
        GetRxBufData();
        CopyDatatoVars();
        SetPanelCalibData();
        SetPanelData();
        break;
    case proto::SendVersion: {
        std::memcpy(version, szReadBuf, proto::kVersionBytes);
        version[proto::kVersionBytes] = version[proto::kVersionBytes + 1] = 0;
        ShowStatus(QString::fromLatin1(version, int(strnlen(version, proto::kVersionBytes))));
        break;
    }
    default:
        Promise(Parameters() == params, "an echo changed the parameters");
        break;
    }
}

void ParaFile(const uint8_t *data, size_t size) {
    const QString path = Scratch("para.dat");
    WriteScratch(path, data, size);
    QStringList lines;
    QString problem;
    if (!ReadTextLines(path, &lines, -1, &problem)) return;
    uint16_t values[kParaFileValues];
    std::fill(std::begin(values), std::end(values), uint16_t(0xA5A5));
    if (!ParseParaFile(lines, values, &problem)) {
        Promise(std::all_of(std::begin(values), std::end(values),
                            [](uint16_t v) { return v == 0xA5A5; }),
                "a refused parameter file changed the set");
        Promise(!problem.isEmpty(), "a refused parameter file without a reason");
        return;
    }
    // What was taken is written back as the same set.
    uint16_t again[kParaFileValues];
    const QStringList written = QString::fromLatin1(FormatParaFile(values)).split('\n');
    Promise(ParseParaFile(written, again, &problem), "a written parameter file is refused");
    Promise(std::equal(std::begin(values), std::end(values), std::begin(again)),
            "a written parameter file reads back otherwise");
}

void StartupFile(const uint8_t *data, size_t size) {
    WriteScratch(colorArrayStartupFileName, data, size);
    int before[45];
    std::copy(std::begin(tolvanearr), std::end(tolvanearr), before);
    popupscript::Clear();
    LoadStartupFile();
    const bool refused = !popupscript::Log().isEmpty();
    popupscript::Clear();
    if (refused)
        Promise(std::equal(std::begin(before), std::end(before), std::begin(tolvanearr)),
                "a refused start-up file changed the colours");
    for (int c : tolvanearr)
        Promise(c >= 0 && c <= 0xFFFFFF, "a colour beyond 24 bits");
}

void ComSettings(const uint8_t *data, size_t size) {
    WriteScratch(conSettingsFileName, data, size);
    const auto before = std::make_tuple(comprotocol, comport, baudrate, ipBuf, portNumStr);
    QStringList lines;
    const bool readable = ReadTextLines(conSettingsFileName, &lines, 5);
    popupscript::Clear();
    GetConnectionSettingsFromFile();
    popupscript::Clear();
    if (!readable)
        Promise(before == std::make_tuple(comprotocol, comport, baudrate, ipBuf, portNumStr),
                "refused settings changed the connection");
    Promise(ipBuf.size() <= 255 && portNumStr.size() <= 255, "a host or port beyond its field");
}

void HostHistory(const uint8_t *data, size_t size) {
    WriteScratch(ipComboBoxFileName, data, size);
    GetHostHistoryFromFile();
    Promise(hostHistory.size() <= kHostHistoryMax, "more hosts than the list keeps");
    for (int i = 0; i < int(hostHistory.size()); ++i) {
        const QString &host = hostHistory[i];
        Promise(!host.trimmed().isEmpty() && host.size() <= kHostMaxChars,
                "a host the field cannot hold");
        int index = -1;
        Combo_GetIndexFromValue(interfacepanel, INTERFACEP_StringIpAdress, &index, host);
        Promise(index == i, "the drop-down list differs from the hosts read");
    }
    // What was taken is written back as the same list.
    const QString again = Scratch("IPComboBox.again");
    const QByteArray records = HostHistoryRecords(hostHistory);
    WriteScratch(again, reinterpret_cast<const uint8_t *>(records.constData()),
                 size_t(records.size()));
    Promise(ReadHostHistory(again) == hostHistory, "a written host list reads back otherwise");
}

void RecordFile(const uint8_t *data, size_t size) {
    const QString path = Scratch("record.dat");
    WriteScratch(path, data, size);
    rec::FileStart start;
    QString problem;
    if (!rec::CheckRecordFile(path, &start, &problem)) {
        Promise(!problem.isEmpty(), "a refused record file without a reason");
        return;
    }
    Promise(start.labels.size() == rec::kFields, "a record file without its fourteen labels");
    // The viewer's store and the line-by-line statistics take the same lines.
    rec::FileStatsResult whole;
    Promise(rec::StatsOfFile(path, INT64_MIN, INT64_MAX, &whole, &problem),
            "an accepted record file refused by the statistics");
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    rec::RecordStore store;
    rec::Line line;
    qint64 lines = 0;
    const rec::ScanResult r = rec::ScanLines(f, start.dataOffset, start.dataLine - 1,
                                             [&](qint64, const char *b, const char *e) {
                                                 ++lines;
                                                 if (b && rec::ParseLine(b, e, &line))
                                                     store.Append(line);
                                             });
    store.Publish();
    Promise(r.offset <= qint64(size), "read beyond the file");
    Promise(qint64(store.Count()) + whole.badLines == lines, "a line neither taken nor counted");
    rec::RecordStats fromStore;
    store.Accumulate(0, store.Count(), &fromStore);
    Promise(rec::StatsTsv(fromStore, start.labels) == rec::StatsTsv(whole.stats, whole.labels),
            "the viewer's statistics differ from the file's");
}

const QList<Target> &Targets() {
    static const QList<Target> targets{{"answer", Answer},           {"parafile", ParaFile},
                                       {"startupfile", StartupFile}, {"comsettings", ComSettings},
                                       {"hosthistory", HostHistory}, {"recordfile", RecordFile}};
    return targets;
}

Run TargetNamed(const char *name) {
    for (const Target &t : Targets())
        if (qstrcmp(t.name, name) == 0) return t.run;
    return nullptr;
}

QList<QByteArray> Seeds(const QString &corpusDir) {
    QList<QByteArray> seeds;
    const QDir dir(corpusDir);
    for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly)) seeds << f.readAll();
    }
    return seeds;
}
} // namespace fuzz
