// The parameter file: the 264 words of the parameter set as text, one value
// per line, each right-aligned in a field of 10 characters.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>

constexpr int kParaFileValues = 264;

// Takes the first 264 numbers of the file's lines, skipping blanks and line
// ends around them; whatever follows is ignored. Fails, with the reason in
// *problem, when fewer than 264 numbers are there or one of them is not a
// whole number from 0 to 65535; out is then left as it was.
bool ParseParaFile(const QStringList &lines, uint16_t out[kParaFileValues], QString *problem);

// The file's contents for the given words; lines end in CR LF.
QByteArray FormatParaFile(const uint16_t values[kParaFileValues]);
