#include "FailureText.h"

#include "TextureError.h"

namespace quorvel {
namespace {

// One row per enumerator, in declaration order.
struct StepWords {
    const char* name;
    const char* action; // "Could not <action> <path>"
    const char* state;  // what that leaves behind
};

constexpr StepWords kWalkSteps[] = {
    {"openFolder", "open the folder", "Nothing in it was changed."},
    {"listFolder", "read the whole listing of the folder",
     "Files it did not list were left alone."},
    {"readName", "read the name of an entry in the folder", "That entry was left alone."},
    {"readEntry", "read the type of", "It was left alone."},
    {"readAttributes", "read the attributes of", "The file was left unchanged."},
    {"removeLeftover", "remove the leftover temporary file", "It was left in place."},
};

constexpr const char* kTextureStepNames[] = {
    "none",       "open",  "check", "read",    "compress",   "decompress",
    "createTemp", "write", "sync",  "replace", "syncFolder",
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
    {"readError", "the file could not be read"},
};

static_assert(std::size(kWalkSteps) == static_cast<std::size_t>(WalkStep::RemoveLeftover) + 1);
static_assert(std::size(kTextureStepNames) ==
              static_cast<std::size_t>(TextureStep::SyncFolder) + 1);
static_assert(std::size(kProblems) == static_cast<std::size_t>(VerifyProblem::ReadError) + 1);

template <typename Table, typename Enum> const auto* Row(const Table& table, Enum value) {
    const auto index = static_cast<std::size_t>(value);
    return index < std::size(table) ? &table[index] : nullptr;
}

} // namespace

const char* StepName(TextureStep step) {
    const auto* row = Row(kTextureStepNames, step);
    return row ? *row : "unknown";
}

const char* StepName(WalkStep step) {
    const auto* row = Row(kWalkSteps, step);
    return row ? row->name : "unknown";
}

const char* ProblemName(VerifyProblem problem) {
    const auto* row = Row(kProblems, problem);
    return row ? row->name : "unknown";
}

const char* DescribeProblem(VerifyProblem problem) {
    const auto* row = Row(kProblems, problem);
    return row ? row->phrase : "unknown problem";
}

std::string DescribeRestoreFailure(TextureStep step, const std::error_code& error,
                                   VerifyProblem problem, std::string_view shownPath) {
    const std::string name(shownPath);
    const std::string reason =
        problem != VerifyProblem::None ? DescribeProblem(problem) : DescribeError(error);
    const std::string kept = ". The original file is unchanged.";
    switch (step) {
    case TextureStep::Open:
    case TextureStep::Read:
        return DescribeFailure(step, error, shownPath);
    case TextureStep::None:
    case TextureStep::Check:
    case TextureStep::Compress:
    case TextureStep::Decompress:
        break;
    case TextureStep::CreateTemp:
        return "Could not create a temporary file beside " + name + ": " + reason + kept;
    case TextureStep::Write:
        return "Could not write the decompressed copy of " + name + ": " + reason + kept;
    case TextureStep::Sync:
        return "Could not flush the decompressed copy of " + name + " to disk: " + reason + kept;
    case TextureStep::Replace:
        return "Could not replace " + name + " with its decompressed copy: " + reason + kept;
    case TextureStep::SyncFolder:
        return "Decompressed " + name + ", but could not flush its folder to disk: " + reason +
               ". The change may be lost if the system stops now.";
    }
    return "Could not decompress " + name + ": " + reason + ". The file is unchanged.";
}

std::string DescribeFailure(TextureStep step, const std::error_code& error,
                            std::string_view shownPath) {
    const std::string name(shownPath);
    const std::string reason = DescribeError(error);
    const std::string untouched = ". The file is unchanged.";
    const std::string kept = ". The original file is unchanged.";
    if (step == TextureStep::Replace) {
        // The original was not ours to keep: someone else changed or replaced it meanwhile.
        if (error == TextureErrc::CompressedMeanwhile)
            return "Did not replace " + name +
                   " with its compressed copy: another program compressed it meanwhile. It is "
                   "left as that program wrote it.";
        if (error == TextureErrc::FileChanged || error == TextureErrc::InUse)
            return "Did not replace " + name + " with its compressed copy: " + reason +
                   ". It is left as the other program made it.";
    }
    switch (step) {
    case TextureStep::Open:
        return "Could not open " + name + ": " + reason + untouched;
    case TextureStep::Read:
        return "Could not read " + name + ": " + reason + untouched;
    case TextureStep::None:
    case TextureStep::Check:
    case TextureStep::Compress:
    case TextureStep::Decompress:
        break;
    case TextureStep::CreateTemp:
        return "Could not create a temporary file beside " + name + ": " + reason + kept;
    case TextureStep::Write:
        return "Could not write the compressed copy of " + name + ": " + reason + kept;
    case TextureStep::Sync:
        return "Could not flush the compressed copy of " + name + " to disk: " + reason + kept;
    case TextureStep::Replace:
        return "Could not replace " + name + " with its compressed copy: " + reason + kept;
    case TextureStep::SyncFolder:
        return "Compressed " + name + ", but could not flush its folder to disk: " + reason +
               ". The change may be lost if the system stops now.";
    }
    return "Could not compress " + name + ": " + reason + untouched;
}

std::string DescribeFailure(const TextureResult& result, std::string_view shownPath) {
    if (!result.failed())
        return {};
    const std::string name = shownPath.empty() ? result.path.string() : std::string(shownPath);
    if (result.transform == TextureTransform::Restore)
        return DescribeRestoreFailure(result.failedStep, result.error, result.problem, name);
    return DescribeFailure(result.failedStep, result.error, name);
}

std::string DescribeWalkFailure(WalkStep step, const std::error_code& error,
                                std::string_view shownPath) {
    const auto* row = Row(kWalkSteps, step);
    const std::string action = row ? row->action : "read";
    const std::string state = row ? row->state : "It was left alone.";
    return "Could not " + action + " " + std::string(shownPath) + ": " + DescribeError(error) +
           ". " + state;
}

std::string DescribeVerifyFailure(VerifyProblem problem, const std::error_code& error,
                                  std::string_view shownPath) {
    std::string text =
        "Verification failed for " + std::string(shownPath) + ": " + DescribeProblem(problem);
    if (error)
        text += " (" + DescribeError(error) + ")";
    return text + ". The file was not changed.";
}

} // namespace quorvel
