#include "FailureText.h"

#include "DisplayPath.h"
#include "TextureError.h"

#include <iterator>

namespace quorvel {
namespace {

// One row per step, in declaration order: the sentence when compressing and when restoring, with
// {path} and {reason} to fill in. The walk's steps read the same either way.
struct StepWords {
    const char* name;
    const char* compressing;
    const char* restoring;
    // Restoring, the damage found (if any) is the reason rather than the error.
    bool damageIsReason;
};

constexpr StepWords kSteps[] = {
    {"none", "Could not compress {path}: {reason}. The file is unchanged.",
     "Could not decompress {path}: {reason}. The file is unchanged.", true},
    {"open", "Could not open {path}: {reason}. The file is unchanged.",
     "Could not open {path}: {reason}. The file is unchanged.", false},
    {"check", "Could not compress {path}: {reason}. The file is unchanged.",
     "Could not decompress {path}: {reason}. The file is unchanged.", true},
    {"read", "Could not read {path}: {reason}. The file is unchanged.",
     "Could not read {path}: {reason}. The file is unchanged.", false},
    {"compress", "Could not compress {path}: {reason}. The file is unchanged.",
     "Could not decompress {path}: {reason}. The file is unchanged.", true},
    {"decompress", "Could not compress {path}: {reason}. The file is unchanged.",
     "Could not decompress {path}: {reason}. The file is unchanged.", true},
    {"createTemp",
     "Could not create a temporary file beside {path}: {reason}. The original file is unchanged.",
     "Could not create a temporary file beside {path}: {reason}. The original file is unchanged.",
     true},
    {"write",
     "Could not write the compressed copy of {path}: {reason}. The original file is unchanged.",
     "Could not write the decompressed copy of {path}: {reason}. The original file is unchanged.",
     true},
    {"copyOwner",
     "Could not give the compressed copy of {path} its owner: {reason}. The original file is "
     "unchanged.",
     "Could not give the decompressed copy of {path} its owner: {reason}. The original file is "
     "unchanged.",
     true},
    {"copyPermissions",
     "Could not give the compressed copy of {path} its permissions: {reason}. The original file "
     "is unchanged.",
     "Could not give the decompressed copy of {path} its permissions: {reason}. The original file "
     "is unchanged.",
     true},
    {"copyAttributes",
     "Could not give the compressed copy of {path} its extended attributes: {reason}. The "
     "original file is unchanged.",
     "Could not give the decompressed copy of {path} its extended attributes: {reason}. The "
     "original file is unchanged.",
     true},
    {"copyFileAttributes",
     "Could not give the compressed copy of {path} its file attributes: {reason}. The original "
     "file is unchanged.",
     "Could not give the decompressed copy of {path} its file attributes: {reason}. The original "
     "file is unchanged.",
     true},
    {"sync",
     "Could not flush the compressed copy of {path} to disk: {reason}. The original file is "
     "unchanged.",
     "Could not flush the decompressed copy of {path} to disk: {reason}. The original file is "
     "unchanged.",
     true},
    {"replace",
     "Could not replace {path} with its compressed copy: {reason}. The original file is "
     "unchanged.",
     "Could not replace {path} with its decompressed copy: {reason}. The original file is "
     "unchanged.",
     true},
    {"syncFolder",
     "Compressed {path}, but could not flush its folder to disk: {reason}. The change may be lost "
     "if the system stops now.",
     "Decompressed {path}, but could not flush its folder to disk: {reason}. The change may be "
     "lost if the system stops now.",
     true},
    {"openFolder", "Could not open the folder {path}: {reason}. Nothing in it was changed.",
     "Could not open the folder {path}: {reason}. Nothing in it was changed.", false},
    {"listFolder",
     "Could not read the whole listing of the folder {path}: {reason}. Files it did not list were "
     "left alone.",
     "Could not read the whole listing of the folder {path}: {reason}. Files it did not list were "
     "left alone.",
     false},
    {"readName",
     "Could not read the name of an entry in the folder {path}: {reason}. That entry was left "
     "alone.",
     "Could not read the name of an entry in the folder {path}: {reason}. That entry was left "
     "alone.",
     false},
    {"readEntry", "Could not read the type of {path}: {reason}. It was left alone.",
     "Could not read the type of {path}: {reason}. It was left alone.", false},
    {"readAttributes",
     "Could not read the attributes of {path}: {reason}. The file was left unchanged.",
     "Could not read the attributes of {path}: {reason}. The file was left unchanged.", false},
    {"removeLeftover",
     "Could not remove the leftover temporary file {path}: {reason}. It was left in place.",
     "Could not remove the leftover temporary file {path}: {reason}. It was left in place.", false},
};

// Compressing, a replace refused because another program changed the file meanwhile: the
// original was not ours to keep.
constexpr char kCompressedMeanwhile[] =
    "Did not replace {path} with its compressed copy: another program compressed it meanwhile. "
    "It is left as that program wrote it.";
constexpr char kChangedMeanwhile[] =
    "Did not replace {path} with its compressed copy: {reason}. It is left as the other program "
    "made it.";
// Compressing, a replace refused because another program holds the file open: what that program
// does with it is its own, this program changed nothing.
constexpr char kInUse[] =
    "Did not replace {path} with its compressed copy: {reason}. This program did not change it.";

constexpr const char* kOutcomeNames[] = {
    "compressed",  "alreadyCompressed", "nothingCompressed", "readOnlySkipped", "failed",
    "walkFailed",  "verified",          "verifyFailed",      "notCompressed",   "decompressed",
    "otherLayout", "notProcessed",      "notRegularSkipped", "leftoverRemoved", "leftoverKept",
    "notLeftover",
};

struct ProblemWords {
    const char* name;
    const char* phrase;
};

constexpr ProblemWords kProblems[] = {
    {"none", "the file is sound"},
    {"notMarked", "the file is not marked as compressed"},
    {"tooShort", "the file is marked as compressed but shorter than its 16-byte header"},
    {"badSeparator", "header bytes 12 to 15 are not \"@@@@\""},
    {"negativeSize", "the stored payload size is negative"},
    {"corruptStream", "the zlib stream is damaged (bad data or checksum)"},
    {"truncated", "the zlib stream is cut short"},
    {"sizeMismatch", "the zlib stream does not inflate to the stored payload size"},
    {"trailingData", "bytes follow the end of the zlib stream"},
};

// A file verification couldn't read, which has no damage to name.
constexpr ProblemWords kUnreadable = {"readError", "the file could not be read"};

static_assert(std::size(kSteps) == static_cast<std::size_t>(Step::RemoveLeftover) + 1);
static_assert(std::size(kOutcomeNames) == static_cast<std::size_t>(Outcome::NotLeftover) + 1);
static_assert(std::size(kProblems) == static_cast<std::size_t>(VerifyProblem::TrailingData) + 1);

template <typename Table, typename Enum> const auto* Row(const Table& table, Enum value) {
    const auto index = static_cast<std::size_t>(value);
    return index < std::size(table) ? &table[index] : nullptr;
}

// `text` with {path} and {reason} filled in.
std::string Fill(std::string_view text, std::string_view path, std::string_view reason) {
    std::string out;
    while (!text.empty()) {
        const std::size_t at = text.find('{');
        out += text.substr(0, at);
        if (at == std::string_view::npos)
            break;
        text.remove_prefix(at);
        if (text.starts_with("{path}")) {
            out += path;
            text.remove_prefix(6);
        } else if (text.starts_with("{reason}")) {
            out += reason;
            text.remove_prefix(8);
        } else {
            out += '{';
            text.remove_prefix(1);
        }
    }
    return out;
}

} // namespace

const char* OutcomeName(Outcome outcome) {
    const auto* row = Row(kOutcomeNames, outcome);
    return row ? *row : "unknown";
}

const char* StepName(Step step) {
    const auto* row = Row(kSteps, step);
    return row ? row->name : "unknown";
}

const char* ProblemName(VerifyProblem problem) {
    const auto* row = Row(kProblems, problem);
    return row ? row->name : "unknown";
}

const char* ReportedProblemName(Outcome outcome, VerifyProblem problem) {
    if (problem != VerifyProblem::None)
        return ProblemName(problem);
    return outcome == Outcome::VerifyFailed ? kUnreadable.name : nullptr;
}

const char* DescribeProblem(VerifyProblem problem) {
    const auto* row = Row(kProblems, problem);
    return row ? row->phrase : "unknown problem";
}

std::string DescribeFailure(Step step, TextureTransform transform, const std::error_code& error,
                            VerifyProblem problem, std::string_view shownPath) {
    const bool restoring = transform == TextureTransform::Restore;
    if (step == Step::Replace && !restoring) {
        if (error == TextureErrc::CompressedMeanwhile)
            return Fill(kCompressedMeanwhile, shownPath, {});
        if (error == TextureErrc::FileChanged)
            return Fill(kChangedMeanwhile, shownPath, DescribeError(error));
        if (error == TextureErrc::InUse)
            return Fill(kInUse, shownPath, DescribeError(error));
    }
    const StepWords* row = Row(kSteps, step);
    if (row == nullptr)
        row = &kSteps[0];
    const bool namesDamage = restoring && row->damageIsReason && problem != VerifyProblem::None;
    const std::string reason = namesDamage ? DescribeProblem(problem) : DescribeError(error);
    return Fill(restoring ? row->restoring : row->compressing, shownPath, reason);
}

std::string DescribeFailure(const TextureResult& result, std::string_view shownPath) {
    if (!result.failed())
        return {};
    const std::string name = shownPath.empty() ? DisplayPath(result.path) : std::string(shownPath);
    std::string sentence =
        DescribeFailure(result.failedStep, result.transform, result.error, result.problem, name);
    if (result.leftover.empty())
        return sentence;
    return AddLeftover(std::move(sentence), DisplayPath(result.leftover), result.leftoverError);
}

std::string AddLeftover(std::string sentence, std::string_view shownLeftover,
                        const std::error_code& error) {
    if (sentence.ends_with('.'))
        sentence.pop_back();
    return sentence + "; the temporary file " + std::string(shownLeftover) +
           " could not be removed: " + DescribeError(error) + ".";
}

std::string DescribeVerifyFailure(VerifyProblem problem, const std::error_code& error,
                                  std::string_view shownPath) {
    const char* phrase =
        problem != VerifyProblem::None ? DescribeProblem(problem) : kUnreadable.phrase;
    std::string text = "Verification failed for " + std::string(shownPath) + ": " + phrase;
    if (error)
        text += " (" + DescribeError(error) + ")";
    return text + ". The file was not changed.";
}

} // namespace quorvel
