// The serial ports: numbered ports over QSerialPort, each with a bounded input
// queue of its own, read and written on the event-loop thread.
#include "platform/EventWait.h"
#include "platform/Platform.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QPointer>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QTimer>
#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kPortCount = kComPortCount;
constexpr int kDefaultQueue = 512; // queue sizes below 30 ask for the default
constexpr double kDefaultTimeout = 10.0;

// Where a piece of the input queue ends and when it came off the line.
struct Arrival {
    qsizetype end;
    double at;
};

struct ComPort {
    QPointer<QSerialPort> device;
    QByteArray queue;              // the input queue the callers see
    std::vector<Arrival> arrivals; // the queue's pieces, oldest first
    std::vector<double> readTimes; // the stamps of the bytes the last read returned
    int queueSize = kDefaultQueue;
    double timeout = kDefaultTimeout;
    bool broken = false;     // the device failed; closing is under way
    unsigned generation = 0; // tells one opening from the next
};

std::array<ComPort, kPortCount + 1> g_ports; // index = port number, 0 unused

constexpr qint64 kQtReadBuffer = 512;

bool validPort(int port) {
    return port >= 1 && port <= kPortCount;
}

bool isOpen(const ComPort &p) {
    return p.device && p.device->isOpen() && !p.broken;
}

qint64 toMs(double seconds) {
    return seconds <= 0 ? 0 : qint64(seconds * 1000.0 + 0.5);
}

// Moves what the device has received into the input queue. Bytes that find
// the queue full are lost, as on a UART whose queue overflows.
void pull(ComPort &p) {
    if (!isOpen(p) || p.device->bytesAvailable() <= 0) return;
    const QByteArray fresh = p.device->readAll();
    const qsizetype room = std::max<qsizetype>(0, p.queueSize - p.queue.size());
    const qsizetype kept = std::min(room, fresh.size());
    if (kept <= 0) return;
    p.queue.append(fresh.constData(), kept);
    p.arrivals.push_back({p.queue.size(), Timer()});
}

void forget(ComPort &p, qsizetype n) {
    size_t gone = 0;
    for (Arrival &a : p.arrivals) {
        a.end -= n;
        if (a.end <= 0) ++gone;
    }
    p.arrivals.erase(p.arrivals.begin(), p.arrivals.begin() + std::ptrdiff_t(gone));
}

qsizetype take(ComPort &p, char *buffer, qsizetype count) {
    const qsizetype n = std::min(count, p.queue.size());
    if (n > 0) {
        std::memcpy(buffer, p.queue.constData(), size_t(n));
        size_t piece = 0;
        for (qsizetype i = 0; i < n; ++i) {
            while (piece + 1 < p.arrivals.size() && p.arrivals[piece].end <= i)
                ++piece;
            p.readTimes.push_back(piece < p.arrivals.size() ? p.arrivals[piece].at : Timer());
        }
        p.queue.remove(0, n);
        forget(p, n);
    }
    return n;
}

void closeDevice(ComPort &p) {
    if (p.device && p.device->isOpen()) p.device->close();
    p.queue.clear();
    p.arrivals.clear();
    p.broken = false;
}

// A device that goes away (a pseudo-terminal whose other end closed, a USB
// adapter pulled out) keeps reporting read errors on every pass of the event
// loop; the port is closed instead. The close is posted because the error
// comes from inside the device's own read or write.
void onError(int port, QSerialPort::SerialPortError error) {
    ComPort &p = g_ports[port];
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError) return;
    if (!p.device || !p.device->isOpen() || p.broken) return;
    p.broken = true;
    const unsigned generation = p.generation;
    QTimer::singleShot(0, p.device.data(), [port, generation] {
        ComPort &q = g_ports[port];
        if (q.generation == generation && q.broken) closeDevice(q);
    });
}

QSerialPort *deviceFor(int port) {
    ComPort &p = g_ports[port];
    if (!p.device) {
        auto *app = QCoreApplication::instance();
        if (!app) return nullptr;
        p.device = new QSerialPort(app);
        QObject::connect(p.device, &QSerialPort::readyRead, p.device,
                         [port] { pull(g_ports[port]); });
        QObject::connect(p.device, &QSerialPort::errorOccurred, p.device,
                         [port](QSerialPort::SerialPortError e) { onError(port, e); });
    }
    return p.device;
}

int openErrorCode(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
    case QSerialPort::ResourceError: // a device node without hardware behind it
        return kComErrNoDevice;
    case QSerialPort::PermissionError: // busy, locked by another program, or forbidden
    case QSerialPort::OpenError:
        return kComErrCannotOpen;
    default:
        return kComErrSystem;
    }
}

} // namespace

namespace {
QString EnvironmentDevice(int port) {
    return qEnvironmentVariable(qPrintable(QStringLiteral("TOLVANE_COM%1").arg(port)));
}

// The stable names udev gives USB adapters, by the device they point to.
QHash<QString, QString> ByIdNames() {
    QHash<QString, QString> names;
    const QDir dir(QStringLiteral("/dev/serial/by-id"));
    const auto links = dir.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &link : links) {
        const QString target = link.canonicalFilePath();
        if (!target.isEmpty()) names.insert(target, link.fileName());
    }
    return names;
}

// The machine's serial devices (real hardware only: pseudo-terminals and
// device nodes without a UART behind them are not listed), by canonical
// path, with what identifies each.
QHash<QString, QString> MachineDevices() {
    const QHash<QString, QString> byId = ByIdNames();
    QHash<QString, QString> devices;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        const QString path = QFileInfo(info.systemLocation()).canonicalFilePath();
        if (path.isEmpty()) continue;
        QStringList details;
        if (!info.description().isEmpty()) details << info.description();
        if (!info.manufacturer().isEmpty() && info.manufacturer() != info.description())
            details << info.manufacturer();
        if (!info.serialNumber().isEmpty()) details << QStringLiteral("SN ") + info.serialNumber();
        if (byId.contains(path)) details << byId.value(path);
        devices.insert(path, details.join(QStringLiteral(", ")));
    }
    return devices;
}

ComPortInfo Describe(int port, const QHash<QString, QString> &machine) {
    ComPortInfo info;
    if (!validPort(port)) return info;
    info.port = port;
    info.device = ComPortDevice(port);
    info.fromEnvironment = !EnvironmentDevice(port).isEmpty();
    const QString path = QFileInfo(info.device).canonicalFilePath();
    const auto found = path.isEmpty() ? machine.end() : machine.find(path);
    if (found != machine.end()) {
        info.details = *found;
        info.present = true;
    } else if (info.fromEnvironment) {
        // Pseudo-terminals and the like are named on purpose: there when they exist.
        info.present = !path.isEmpty();
    }
    return info;
}
} // namespace

QString ComPortDevice(int port) {
    if (!validPort(port)) return QString();
    const QString fromEnv = EnvironmentDevice(port);
    if (!fromEnv.isEmpty()) return fromEnv;
    if (port <= 16) return QStringLiteral("/dev/ttyS%1").arg(port - 1);
    if (port <= 32) return QStringLiteral("/dev/ttyUSB%1").arg(port - 17);
    return QStringLiteral("/dev/ttyACM%1").arg(port - 33);
}

QList<ComPortInfo> ListComPorts() {
    const QHash<QString, QString> machine = MachineDevices();
    QList<ComPortInfo> ports;
    for (int port = 1; port <= kPortCount; ++port) {
        ComPortInfo info = Describe(port, machine);
        if (info.present || info.fromEnvironment) ports.append(info);
    }
    return ports;
}

ComPortInfo DescribeComPort(int port) {
    return Describe(port, MachineDevices());
}

int OpenComConfig(int port, const QString &deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inputQueueSize, int outputQueueSize) {
    Q_UNUSED(outputQueueSize); // writes wait until the device took every byte
    if (!validPort(port)) return kComErrPortNumber;
    CloseCom(port);

    static const QSerialPort::Parity parities[] = {QSerialPort::NoParity, QSerialPort::OddParity,
                                                   QSerialPort::EvenParity, QSerialPort::MarkParity,
                                                   QSerialPort::SpaceParity};
    if (baudRate <= 0 || baudRate > 4000000 || parity < 0 || parity > 4 || dataBits < 5 ||
        dataBits > 8 || stopBits < 1 || stopBits > 2)
        return kComErrSystem;

    const QString name = deviceName.isEmpty() ? ComPortDevice(port) : deviceName;
    // Lock files are per name: a link and its target must end in the same lock.
    const QFileInfo info(name);
    const QString path = info.exists() ? info.canonicalFilePath() : QString();
    if (path.isEmpty()) return kComErrNoDevice;

    QSerialPort *device = deviceFor(port);
    if (!device) return kComErrSystem;
    device->setPortName(path);
    device->setBaudRate(qint32(baudRate));
    device->setParity(parities[parity]);
    device->setDataBits(QSerialPort::DataBits(dataBits));
    device->setStopBits(stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
    device->setFlowControl(QSerialPort::NoFlowControl);
    // Qt reads the line in pieces of this size into a buffer of its own,
    // which pull() empties at once; unlimited, every read would take a
    // fresh 32 KiB from the heap.
    device->setReadBufferSize(kQtReadBuffer);
    if (!device->open(QIODevice::ReadWrite)) {
        const int code = openErrorCode(device->error());
        device->clearError();
        return code;
    }

    ComPort &p = g_ports[port];
    ++p.generation;
    p.queue.clear();
    p.arrivals.clear();
    p.queueSize = inputQueueSize < 30 ? kDefaultQueue : inputQueueSize;
    p.timeout = kDefaultTimeout;
    p.broken = false;
    // Modem lines raised for devices powered from them; a pseudo-terminal has
    // none, which is harmless.
    device->setDataTerminalReady(true);
    device->setRequestToSend(true);
    device->clearError();
    return 0;
}

int CloseCom(int port) {
    if (!validPort(port)) return kComErrPortNumber;
    closeDevice(g_ports[port]);
    return 0;
}

int SetComTime(int port, double seconds) {
    if (!validPort(port)) return kComErrPortNumber;
    ComPort &p = g_ports[port];
    if (!isOpen(p)) return kComErrNotOpen;
    p.timeout = std::max(0.0, seconds);
    return 0;
}

int SetCTSMode(int port, int mode) {
    if (!validPort(port)) return kComErrPortNumber;
    ComPort &p = g_ports[port];
    if (!isOpen(p)) return kComErrNotOpen;
    const auto flow = mode ? QSerialPort::HardwareControl : QSerialPort::NoFlowControl;
    if (p.device->setFlowControl(flow)) return 0;
    p.device->clearError();
    return kComErrIo;
}

int ComWrt(int port, const char *buffer, int count) {
    if (!validPort(port)) return kComErrPortNumber;
    ComPort &p = g_ports[port];
    if (!isOpen(p)) return kComErrNotOpen;
    if (count <= 0 || !buffer) return 0;

    QSerialPort *device = p.device;
    // Clearing announces itself to every listener: only when there is
    // something to clear.
    if (device->error() != QSerialPort::NoError) device->clearError();
    // A telegram goes to the line directly: Qt's buffered write would watch
    // the line for the end of every one, a round of the event loop each.
    // What a stalled line does not take at once goes the buffered way.
    qsizetype direct = 0;
    if (device->bytesToWrite() == 0)
        direct = std::max<ssize_t>(0, ::write(device->handle(), buffer, size_t(count)));
    if (direct < count && device->write(buffer + direct, count - direct) != count - direct)
        return kComErrIo;
    device->flush();
    // A telegram leaves at once; the wait matters only for a stalled line.
    const QDeadlineTimer deadline(toMs(p.timeout), Qt::PreciseTimer);
    while (isOpen(p) && device->bytesToWrite() > 0) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0) return kComErrTimeout;
        if (!device->waitForBytesWritten(int(std::min<qint64>(left, INT_MAX)))) {
            const auto error = device->error();
            if (error != QSerialPort::NoError && error != QSerialPort::TimeoutError) break;
        }
    }
    if (!isOpen(p) || device->bytesToWrite() > 0) return kComErrIo;
    return count;
}

int ComRd(int port, char *buffer, int count) {
    if (!validPort(port)) return kComErrPortNumber;
    ComPort &p = g_ports[port];
    if (!isOpen(p)) return kComErrNotOpen;
    p.readTimes.clear();
    if (count <= 0 || !buffer) return 0;

    qsizetype got = 0;
    auto collect = [&] {
        pull(p);
        got += take(p, buffer + got, count - got);
        return got == count || !isOpen(p);
    };
    platform::WaitUntil(collect, toMs(p.timeout));
    if (got == 0 && !isOpen(p)) return kComErrIo;
    return int(got);
}

int ComWaitInput(int port, double seconds) {
    if (!validPort(port)) return kComErrPortNumber;
    ComPort &p = g_ports[port];
    if (!isOpen(p)) return kComErrNotOpen;
    if (!p.queue.isEmpty() || p.device->bytesAvailable() > 0) return 1;
    return platform::WaitReadable(int(p.device->handle()), seconds);
}

int ComReadTimes(int port, double *times, int max) {
    if (!validPort(port)) return kComErrPortNumber;
    const ComPort &p = g_ports[port];
    const int n = std::min(max, int(p.readTimes.size()));
    std::copy(p.readTimes.begin(), p.readTimes.begin() + n, times);
    return n;
}

int ComInputCount(int port) {
    if (!validPort(port)) return kComErrPortNumber;
    ComPort &p = g_ports[port];
    if (!isOpen(p)) return kComErrNotOpen;
    pull(p);
    int waiting = 0;
    if (::ioctl(int(p.device->handle()), FIONREAD, &waiting) != 0) waiting = 0;
    return int(p.queue.size() + p.device->bytesAvailable()) + waiting;
}

int GetInQLen(int port) {
    if (!validPort(port)) return kComErrPortNumber;
    ComPort &p = g_ports[port];
    if (!isOpen(p)) return kComErrNotOpen;
    pull(p);
    return int(p.queue.size());
}

int FlushInQ(int port) {
    if (!validPort(port)) return kComErrPortNumber;
    ComPort &p = g_ports[port];
    if (!isOpen(p)) return kComErrNotOpen;
    // Qt's buffer and what the kernel still holds go too.
    p.device->clear(QSerialPort::Input);
    p.queue.clear();
    p.arrivals.clear();
    return 0;
}

int FlushOutQ(int port) {
    if (!validPort(port)) return kComErrPortNumber;
    ComPort &p = g_ports[port];
    if (!isOpen(p)) return kComErrNotOpen;
    p.device->clear(QSerialPort::Output);
    return 0;
}
