#pragma once

// The files of the record of in-place appends, and the layout of one record: written by the
// recording during a run (AppendJournal.cpp), read by the resolution of a record that a killed
// process left (AppendJournalRecovery.cpp).
#include <QByteArrayView>
#include <QLatin1StringView>
#include <QtGlobal>

namespace tarnwell::journal {

// A record is a header and the file's path in UTF-8. The state byte lies outside the checksum, so
// marking an append done is one byte written in place; everything after the checksum is covered
// by it, so a record cut short or overwritten with anything else is never taken for one. The
// record file has room for the longest path and is mapped into memory for the run: its pages are
// the system's cache of the file, so what is stored there outlives a killed process, and a record
// costs no system call.
//   0 magic (8)  8 state (1)  16 checksum (8)  24 old length (8, -1: no file)  32 appendix length (8)
//   40 appendix checksum (8)  48 appendix number (4)  52 path length (4)  56 path
inline constexpr char kMagic[] = {'T', 'a', 'r', 'n', 'R', 'e', 'c', '1'};
inline constexpr qsizetype kStateAt = 8;
inline constexpr qsizetype kChecksumAt = 16;
inline constexpr qsizetype kBodyAt = 24;
inline constexpr qsizetype kHeaderBytes = 56;
inline constexpr qsizetype kMaxPathBytes = qsizetype(1) << 16;
inline constexpr qsizetype kRecordFileBytes = kHeaderBytes + kMaxPathBytes;
inline constexpr char kOpen = 'O';
inline constexpr char kClosed = 'C';

inline constexpr QLatin1StringView kSlotPrefix("append-");
inline constexpr QLatin1StringView kRecordSuffix(".record");
inline constexpr QLatin1StringView kLockSuffix(".lock");
inline constexpr QLatin1StringView kTextSuffix(".text");

// FNV-1a, 64 bits: enough to tell a damaged record from a whole one.
inline quint64 Checksum(QByteArrayView bytes)
{
    quint64 hash = 14695981039346656037ULL;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    }
    return hash;
}

} // namespace tarnwell::journal
