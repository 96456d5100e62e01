#include "FileReport.h"

#include "DisplayPath.h"
#include "FailureText.h"
#include "TextureFormat.h"

#include <iterator>

namespace quorvel {
namespace {

constexpr auto kHeaderBytes = static_cast<std::int64_t>(kTextureHeaderBytes);

} // namespace

void BatchTotals::Add(const FileReport& report) {
    ++files;
    switch (report.outcome) {
    case FileOutcome::Compressed:
        ++compressed;
        break;
    case FileOutcome::AlreadyCompressed:
        ++alreadyCompressed;
        break;
    case FileOutcome::NothingCompressed:
        ++nothingCompressed;
        break;
    case FileOutcome::ReadOnlySkipped:
        ++readOnlySkipped;
        break;
    case FileOutcome::Failed:
    case FileOutcome::WalkFailed:
    case FileOutcome::VerifyFailed:
        ++failed;
        break;
    case FileOutcome::Verified:
        ++verified;
        break;
    case FileOutcome::NotCompressed:
        ++notCompressed;
        break;
    case FileOutcome::Decompressed:
        ++decompressed;
        break;
    case FileOutcome::OtherLayout:
        ++otherLayout;
        break;
    case FileOutcome::NotProcessed:
        ++notProcessed;
        break;
    }
    bytesIn += report.bytesIn;
    bytesOut += report.bytesOut;
}

FileReport ReportFromTexture(const TextureResult& result) {
    FileReport report;
    report.path = result.path;
    report.transform = result.transform;
    report.step = result.failedStep;
    report.error = result.error;
    report.problem = result.problem;
    const bool replaced =
        result.rewritten() || (result.failed() && result.failedStep == TextureStep::SyncFolder);
    if (replaced) {
        const bool restored = result.transform == TextureTransform::Restore;
        report.bytesIn = kHeaderBytes + (restored ? result.compressedSize : result.originalSize);
        report.bytesOut = kHeaderBytes + (restored ? result.originalSize : result.compressedSize);
    }
    switch (result.outcome) {
    case TextureOutcome::Compressed:
        report.outcome = FileOutcome::Compressed;
        break;
    case TextureOutcome::AlreadyCompressed:
        report.outcome = FileOutcome::AlreadyCompressed;
        break;
    case TextureOutcome::NothingCompressed:
        report.outcome = FileOutcome::NothingCompressed;
        break;
    case TextureOutcome::Failed:
        report.outcome = FileOutcome::Failed;
        break;
    case TextureOutcome::Restored:
        report.outcome = FileOutcome::Decompressed;
        break;
    case TextureOutcome::NotCompressed:
        report.outcome = FileOutcome::NotCompressed;
        break;
    case TextureOutcome::OtherLayout:
        report.outcome = FileOutcome::OtherLayout;
        break;
    }
    return report;
}

const char* OutcomeName(FileOutcome outcome) {
    // One name per enumerator, in declaration order.
    static constexpr const char* kNames[] = {
        "compressed",    "alreadyCompressed", "nothingCompressed", "readOnlySkipped",
        "failed",        "walkFailed",        "verified",          "verifyFailed",
        "notCompressed", "decompressed",      "otherLayout",       "notProcessed",
    };
    static_assert(std::size(kNames) == static_cast<std::size_t>(FileOutcome::NotProcessed) + 1);
    const auto index = static_cast<std::size_t>(outcome);
    return index < std::size(kNames) ? kNames[index] : "unknown";
}

std::string DescribeReport(const FileReport& report) {
    return DescribeReport(report, DisplayPath(report.path));
}

std::string DescribeReport(const FileReport& report, std::string_view shown) {
    switch (report.outcome) {
    case FileOutcome::Failed:
        if (report.transform == TextureTransform::Restore)
            return DescribeRestoreFailure(report.step, report.error, report.problem, shown);
        return DescribeFailure(report.step, report.error, shown);
    case FileOutcome::WalkFailed:
        return DescribeWalkFailure(*report.walkStep, report.error, shown);
    case FileOutcome::VerifyFailed:
        return DescribeVerifyFailure(report.problem, report.error, shown);
    case FileOutcome::OtherLayout:
        return "Left " + std::string(shown) +
               " as it was: it is marked compressed, but not in the layout this program writes.";
    default:
        return {};
    }
}

} // namespace quorvel
