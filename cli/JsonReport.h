#pragma once
// JsonReport: the machine-readable report of a batch run, written as the reports arrive so a
// run over a million files needs no more memory for it than for one.
//
//   {"tool": "quorvel-cli", "version": "0.1.0", "mode": "compress", "engine": "zlib",
//    "jobs": 2, "files": [{"path": "...", "outcome": "compressed", "bytesIn": 1040,
//    "bytesOut": 310, "bytesSaved": 730}, {"path": "...", "outcome": "failed", "step": "write",
//    "errorCode": 28, "errorCategory": "system", "message": "Could not write ..."}, ...],
//    "interrupted": false, "totals": {"files": 2, "compressed": 1, ..., "bytesSaved": 730}}
//
// A path is its exact text (PathText). One that has none (POSIX: not valid UTF-8; Windows: an
// unpaired surrogate) is given as people see it (DisplayPath, quoted and escaped) and, beside it,
// losslessly as "pathBytes": its native bytes in base64 (Windows: UTF-16LE). A temporary file
// that could not be removed is named the same way ("leftover", "leftoverBytes"), with
// "leftoverErrorCode" and "leftoverErrorCategory". The per-file sizes add up to the totals, and
// the counts add up to "files".

#include "BatchRunner.h"
#include "FileReport.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace quorvel {

// `text` as a JSON string literal, quotes included. `text` must be valid UTF-8.
std::string JsonString(std::string_view text);

// `bytes` in base64 (RFC 4648, with padding).
std::string Base64(std::string_view bytes);

class JsonReport final : public BatchSink {
public:
    // Writes the opening part to `out`, which stays owned by the caller.
    JsonReport(std::FILE* out, BatchMode mode, EngineKind engine, unsigned jobs);

    void OnReport(const FileReport& report) override;
    // Writes the totals and closes the object. Returns false when any write failed.
    bool Finish(const BatchTotals& totals, bool interrupted);

private:
    std::FILE* m_out;
    bool m_first = true;
    bool m_restoring; // sizes say bytesGrown instead of bytesSaved
};

} // namespace quorvel
