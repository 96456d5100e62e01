#include "JsonReport.h"

#include "DisplayPath.h"
#include "FailureText.h"

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <optional>

namespace quorvel {
namespace {

const char* ModeName(BatchMode mode) {
    switch (mode) {
    case BatchMode::Compress:
        return "compress";
    case BatchMode::DryRun:
        return "dryRun";
    case BatchMode::Verify:
        return "verify";
    case BatchMode::Decompress:
        return "decompress";
    case BatchMode::DecompressDryRun:
        return "decompressDryRun";
    }
    return "unknown";
}

// `"key": text` for a path with an exact text, and `"key": display, "keyBytes": base64` for one
// without: the display form (DisplayPath) for people, the native bytes for programs.
std::string PathFields(const char* key, const std::filesystem::path& path) {
    if (const std::optional<std::string> text = PathText(path))
        return std::string("\"") + key + "\": " + JsonString(*text);
    return std::string("\"") + key + "\": " + JsonString(DisplayPath(path)) + ", \"" + key +
           "Bytes\": \"" + Base64(NativeBytes(path)) + "\"";
}

} // namespace

std::string Base64(std::string_view bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t count = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k) {
            const auto byte = k < count ? static_cast<unsigned char>(bytes[i + k]) : 0u;
            group = (group << 8) | byte;
        }
        for (std::size_t k = 0; k < 4; ++k)
            out += k <= count ? kDigits[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
    return out;
}

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", u);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

JsonReport::JsonReport(std::FILE* out, BatchMode mode, EngineKind engine, unsigned jobs)
    : m_out(out), m_restoring(IsRestoreMode(mode)) {
    std::fprintf(m_out,
                 "{\n  \"tool\": \"quorvel-cli\",\n  \"version\": \"%s\",\n  \"mode\": \"%s\",\n"
                 "  \"engine\": \"%s\",\n  \"jobs\": %u,\n  \"files\": [",
                 QUORVEL_VERSION, ModeName(mode), EngineName(engine), jobs);
}

void JsonReport::OnReport(const FileReport& report) {
    std::string entry = m_first ? "\n    {" : ",\n    {";
    m_first = false;
    entry +=
        PathFields("path", report.path) + ", \"outcome\": \"" + OutcomeName(report.outcome) + "\"";
    const FileSizes& sizes = report.sizes;
    if (report.outcome == Outcome::Compressed || report.outcome == Outcome::Decompressed ||
        sizes.bytesIn != 0)
        entry += ", \"bytesIn\": " + std::to_string(sizes.bytesIn) +
                 ", \"bytesOut\": " + std::to_string(sizes.bytesOut) +
                 (m_restoring ? ", \"bytesGrown\": " + std::to_string(-sizes.bytesSaved())
                              : ", \"bytesSaved\": " + std::to_string(sizes.bytesSaved()));
    if (report.outcome == Outcome::Failed || report.outcome == Outcome::WalkFailed)
        entry += std::string(", \"step\": \"") + StepName(report.step) + "\"";
    if (const char* problem = ReportedProblemName(report.outcome, report.problem))
        entry += std::string(", \"problem\": \"") + problem + "\"";
    if (report.error)
        entry += ", \"errorCode\": " + std::to_string(report.error.value()) +
                 ", \"errorCategory\": " + JsonString(report.error.category().name());
    if (!report.leftover.empty())
        entry +=
            ", " + PathFields("leftover", report.leftover) +
            ", \"leftoverErrorCode\": " + std::to_string(report.leftoverError.value()) +
            ", \"leftoverErrorCategory\": " + JsonString(report.leftoverError.category().name());
    if (report.isFailure() || !report.leftover.empty())
        entry += ", \"message\": " + JsonString(DescribeReport(report));
    entry += "}";
    std::fputs(entry.c_str(), m_out);
}

bool JsonReport::Finish(const BatchTotals& t, bool interrupted) {
    std::fprintf(m_out,
                 "%s],\n  \"interrupted\": %s,\n  \"totals\": {\"files\": %" PRId64
                 ", \"compressed\": %" PRId64 ", \"alreadyCompressed\": %" PRId64
                 ", \"nothingCompressed\": %" PRId64 ", \"readOnlySkipped\": %" PRId64
                 ", \"failed\": %" PRId64 ", \"verified\": %" PRId64 ", \"notCompressed\": %" PRId64
                 ", \"decompressed\": %" PRId64 ", \"otherLayout\": %" PRId64
                 ", \"notProcessed\": %" PRId64 ", \"bytesIn\": %" PRId64 ", \"bytesOut\": %" PRId64
                 ", \"%s\": %" PRId64 ", \"leftoversRemoved\": %" PRId64 "}\n}\n",
                 m_first ? "" : "\n  ", interrupted ? "true" : "false", t.files, t.compressed,
                 t.alreadyCompressed, t.nothingCompressed, t.readOnlySkipped, t.failed, t.verified,
                 t.notCompressed, t.decompressed, t.otherLayout, t.notProcessed, t.sizes.bytesIn,
                 t.sizes.bytesOut, m_restoring ? "bytesGrown" : "bytesSaved",
                 m_restoring ? -t.sizes.bytesSaved() : t.sizes.bytesSaved(), t.leftoversRemoved);
    return std::fflush(m_out) == 0 && !std::ferror(m_out);
}

} // namespace quorvel
