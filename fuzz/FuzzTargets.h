// The readers of outside bytes, each driven by one input: answers of the
// sensor and the files the program reads at start-up or on request. A broken
// promise (a refused input that changed something, a value outside its range)
// aborts, so that libFuzzer and the test suite catch it alike; crashes,
// reads outside a buffer and undefined behaviour are the sanitizers' part.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstddef>
#include <cstdint>

namespace fuzz {
using Run = void (*)(const uint8_t *data, size_t size);
struct Target {
    const char *name;
    Run run;
};

// Loads every panel (offscreen, pop-ups scripted) in a scratch program
// directory; once per process, before any target runs.
bool Start();
// Deletes the panels, as the program does at its end, so that the leak check
// sees real leaks; at the latest when the process exits.
void Stop();

// One answer to one request: byte 0 picks the order, byte 1 its row or
// switch, the rest is the answer as it arrived.
void Answer(const uint8_t *data, size_t size);
// The parameter file, as the file read.
void ParaFile(const uint8_t *data, size_t size);
// The start-up file of the table attributes (colours and texts).
void StartupFile(const uint8_t *data, size_t size);
// The stored connection settings.
void ComSettings(const uint8_t *data, size_t size);
// The host history of the interface panel's host field.
void HostHistory(const uint8_t *data, size_t size);

const QList<Target> &Targets();
Run TargetNamed(const char *name);
// Valid inputs of a target, the seeds of its corpus.
QList<QByteArray> Seeds(const QString &corpusDir);
} // namespace fuzz
