#include "FileReport.h"

#include "DisplayPath.h"
#include "TextureError.h"

namespace quorvel {
namespace {

constexpr std::int64_t kHeaderBytes = 16;

const char* WalkStepPhrase(WalkStep step) {
    switch (step) {
    case WalkStep::OpenFolder:
        return "open the folder";
    case WalkStep::ListFolder:
        return "list the folder";
    case WalkStep::ReadName:
        return "read an entry's name in";
    case WalkStep::ReadEntry:
        return "read the folder entry";
    case WalkStep::ReadAttributes:
        return "read the attributes of";
    }
    return "read";
}

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
    report.step = result.failedStep;
    report.error = result.error;
    const bool replaced = result.outcome == TextureOutcome::Compressed ||
                          (result.failed() && result.failedStep == TextureStep::SyncFolder);
    if (replaced) {
        report.bytesIn = kHeaderBytes + result.originalSize;
        report.bytesOut = kHeaderBytes + result.compressedSize;
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
    }
    return report;
}

const char* OutcomeName(FileOutcome outcome) {
    switch (outcome) {
    case FileOutcome::Compressed:
        return "compressed";
    case FileOutcome::AlreadyCompressed:
        return "alreadyCompressed";
    case FileOutcome::NothingCompressed:
        return "nothingCompressed";
    case FileOutcome::ReadOnlySkipped:
        return "readOnlySkipped";
    case FileOutcome::Failed:
        return "failed";
    case FileOutcome::WalkFailed:
        return "walkFailed";
    case FileOutcome::Verified:
        return "verified";
    case FileOutcome::VerifyFailed:
        return "verifyFailed";
    case FileOutcome::NotCompressed:
        return "notCompressed";
    case FileOutcome::NotProcessed:
        return "notProcessed";
    }
    return "unknown";
}

const char* StepName(TextureStep step) {
    switch (step) {
    case TextureStep::None:
        return "none";
    case TextureStep::Open:
        return "open";
    case TextureStep::Check:
        return "check";
    case TextureStep::Read:
        return "read";
    case TextureStep::Compress:
        return "compress";
    case TextureStep::CreateTemp:
        return "createTemp";
    case TextureStep::Write:
        return "write";
    case TextureStep::Sync:
        return "sync";
    case TextureStep::Replace:
        return "replace";
    case TextureStep::SyncFolder:
        return "syncFolder";
    }
    return "unknown";
}

std::string DescribeReport(const FileReport& report) {
    const std::string shown = DisplayPath(report.path);
    switch (report.outcome) {
    case FileOutcome::Failed: {
        TextureResult result;
        result.path = report.path;
        result.setFailure(report.step, report.error);
        return DescribeFailure(result, shown);
    }
    case FileOutcome::WalkFailed:
        return "Could not " + std::string(WalkStepPhrase(*report.walkStep)) + " " + shown + ": " +
               DescribeError(report.error) + ". Nothing in it was changed.";
    case FileOutcome::VerifyFailed: {
        std::string text =
            "Verification failed for " + shown + ": " + DescribeProblem(report.problem);
        if (report.error)
            text += " (" + DescribeError(report.error) + ")";
        return text + ". The file was not changed.";
    }
    default:
        return {};
    }
}

} // namespace quorvel
