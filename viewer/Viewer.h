// The record viewer: a record file opened again as plots against time and
// as statistics, read in the background so that a day's file (millions of
// lines) shows its first picture within seconds and the window never stalls.
#pragma once

#include "platform/Platform.h"
#include "record/RecordLines.h"
#include "record/RecordStats.h"
#include "viewer/RecordStore.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

class QTimer;

// Opens `path` in a viewer window; a file that is no record file is refused
// with a message naming the line. With quitOnClose the event loop ends when
// the window closes (the program started only to view a file).
bool OpenRecordViewer(const QString &path, bool quitOnClose = false);

class RecordViewer : public ChartClient {
  public:
    // The buttons under the plots.
    enum Button { kReload, kExportPng, kExportPdf, kExportTsv };

    // Null, with the reason in *problem, when the file is refused.
    static RecordViewer *Open(const QString &path, QString *problem);
    // Every open viewer (at most a few; for the end of the program and tests).
    static QList<RecordViewer *> All();
    ~RecordViewer() override;

    int Window() const { return window_; }
    bool Reading() const { return worker_.joinable(); }
    // Waits in the event loop until the reading has ended (tests, benchmark).
    void WaitRead(double maxSeconds = 60);
    // Reads the lines appended since the last reading.
    void Reload();
    void Cancel();

    const rec::RecordStore &Store() const { return *store_; }
    const QStringList &Labels() const { return start_.labels; }
    qint64 BadLineCount() const;
    QList<qint64> BadLines() const;
    QString Status() const;
    // The statistics of the lines inside [lower, upper) of the time axis.
    rec::RecordStats StatsBetween(double lower, double upper) const;
    rec::RecordStats WholeStats() const;
    // Lines whose time lies inside [lower, upper).
    qint64 LinesBetween(double lower, double upper) const;
    // The first table's title: the whole file, or the lines read of it.
    QString WholeTitle() const;
    // What an exported picture says of itself: the file, the time range and the lines.
    QString ExportCaption() const;
    bool ExportTsv(const QString &path) const;
    bool ExportImage(const QString &path) const;

    // ChartClient
    void ChartRange(int window, double lower, double upper, int pixels) override;
    QString ChartReadout(int window, double x) override;
    void ChartButton(int window, int button) override;
    void ChartCancel(int window) override;
    void ChartClosed(int window) override;

    bool quitOnClose = false;

  private:
    RecordViewer(const QString &path, const rec::FileStart &start);
    void StartReading();
    void Tick();
    void Finished();
    void ShowFullRange(bool force);
    void ShowWholeStats();
    void ShowVisibleStats();
    void ShowStatus();
    void Export(int button);

    QString path_;
    rec::FileStart start_;
    std::unique_ptr<rec::RecordStore> store_;
    int window_ = 0;
    QTimer *timer_ = nullptr;      // progress while reading
    QTimer *statsTimer_ = nullptr; // the visible range's statistics, after the view settles

    // The reader's state; the window's thread reads it under the lock.
    std::thread worker_;
    std::atomic<bool> cancel_{false};
    std::atomic<bool> done_{false};
    std::atomic<qint64> bytesRead_{0};
    mutable std::mutex lock_;
    qint64 offset_ = 0;   // where the next reading begins
    qint64 nextLine_ = 0; // number of the last line read
    QByteArray tail_;     // the file's bytes just before offset_, as read
    qint64 fileSize_ = 0; // when the reading began
    qint64 badCount_ = 0;
    QList<qint64> bad_;    // the first numbers of unreadable lines
    qint64 clockBack_ = 0; // first line whose time lies before the line above it
    int64_t lastSeconds_ = INT64_MIN;
    bool full_ = false;       // the store holds no more lines
    bool incomplete_ = false; // the last line has no line end yet
    bool cancelled_ = false;
    QString readProblem_;

    double shownLo_ = 0, shownHi_ = 0; // the full range last shown
    double startTime_ = 0;             // Timer() when the reading began
    double lastDraw_ = 0;
    qint64 readSeconds10_ = 0; // tenths of a second the last reading took
};
