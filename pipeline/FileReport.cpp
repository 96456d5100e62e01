#include "FileReport.h"

#include "DisplayPath.h"
#include "FailureText.h"

namespace quorvel {

void BatchTotals::Add(const FileReport& report) {
    ++files;
    switch (report.outcome) {
    case Outcome::Compressed:
        ++compressed;
        break;
    case Outcome::AlreadyCompressed:
        ++alreadyCompressed;
        break;
    case Outcome::NothingCompressed:
        ++nothingCompressed;
        break;
    case Outcome::ReadOnlySkipped:
        ++readOnlySkipped;
        break;
    case Outcome::Failed:
    case Outcome::WalkFailed:
    case Outcome::VerifyFailed:
        ++failed;
        break;
    case Outcome::Verified:
        ++verified;
        break;
    case Outcome::NotCompressed:
        ++notCompressed;
        break;
    case Outcome::Decompressed:
        ++decompressed;
        break;
    case Outcome::OtherLayout:
        ++otherLayout;
        break;
    case Outcome::NotProcessed:
        ++notProcessed;
        break;
    case Outcome::NotRegularSkipped: // the walk reports none of these
    case Outcome::LeftoverRemoved:
    case Outcome::LeftoverKept:
    case Outcome::NotLeftover:
        break;
    }
    sizes.Add(report.sizes);
}

FileReport ReportFromTexture(const TextureResult& result) {
    FileReport report;
    report.path = result.path;
    report.outcome = result.outcome;
    report.sizes = result.fileSizes();
    report.transform = result.transform;
    report.step = result.failedStep;
    report.error = result.error;
    report.problem = result.problem;
    report.leftover = result.leftover;
    report.leftoverError = result.leftoverError;
    return report;
}

FileReport ReportFromVerify(const std::filesystem::path& path, const VerifyResult& result) {
    FileReport report;
    report.path = path;
    report.outcome = result.outcome;
    report.problem = result.problem;
    report.error = result.error;
    return report;
}

std::string DescribeReport(const FileReport& report) {
    return DescribeReport(report, DisplayPath(report.path));
}

std::string DescribeReport(const FileReport& report, std::string_view shown) {
    switch (report.outcome) {
    case Outcome::Failed:
    case Outcome::WalkFailed: {
        std::string sentence =
            DescribeFailure(report.step, report.transform, report.error, report.problem, shown);
        if (report.leftover.empty())
            return sentence;
        return AddLeftover(std::move(sentence), DisplayPath(report.leftover), report.leftoverError);
    }
    case Outcome::NotProcessed:
        if (report.leftover.empty())
            return {};
        return AddLeftover("Left " + std::string(shown) +
                               " as it was: the run was interrupted. The original file is "
                               "unchanged.",
                           DisplayPath(report.leftover), report.leftoverError);
    case Outcome::VerifyFailed:
        return DescribeVerifyFailure(report.problem, report.error, shown);
    case Outcome::OtherLayout:
        return "Left " + std::string(shown) +
               " as it was: it is marked compressed, but not in the layout this program writes.";
    default:
        return {};
    }
}

} // namespace quorvel
