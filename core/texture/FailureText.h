#pragma once
// The words for what happened to a file, shared by every front end: the stable names of steps
// and problems (for machine-readable reports) and the one sentence per failure (for people).
//
// A failure sentence says what failed, on which file, why, and the file's state afterwards, e.g.
// "Could not write the compressed copy of a/brick.ace: Error 28: No space left on device. The
// original file is unchanged." Front ends pass the file name as they show it.

#include "TextureFile.h"
#include "TextureFormat.h"

#include <string>
#include <string_view>
#include <system_error>

namespace quorvel {

// What a folder walk was doing when it met a failure.
enum class WalkStep {
    OpenFolder,     // opening a folder (missing, no permission, not a folder, a link)
    ListFolder,     // reading a folder's entries; the entries read before it are still walked
    ReadName,       // reading one entry's name; the failure names the folder
    ReadEntry,      // reading one entry's kind (it vanished, say)
    ReadAttributes, // reading a candidate file's read-only state
    RemoveLeftover, // removing a temporary file a killed run left behind
};

// Stable lower-camel-case names: "createTemp", "listFolder", "sizeMismatch", ...
const char* StepName(TextureStep step);
const char* StepName(WalkStep step);
const char* ProblemName(VerifyProblem problem);

// A short phrase for a verify problem: "the zlib stream is cut short", ...
const char* DescribeProblem(VerifyProblem problem);

// The sentence for a texture rewrite that failed at `step` for `error`.
std::string DescribeFailure(TextureStep step, const std::error_code& error,
                            std::string_view shownPath);
// The sentence for a restore (TextureTransform::Restore) that failed at `step`: for a damaged
// file (Decompress with a `problem`) the problem's phrase is the reason, e.g. "Could not
// decompress a/brick.ace: the zlib stream is cut short. The file is unchanged."
std::string DescribeRestoreFailure(TextureStep step, const std::error_code& error,
                                   VerifyProblem problem, std::string_view shownPath);
// The same for a result, compressing or restoring: empty when it did not fail; `shownPath`
// defaults to result.path.
std::string DescribeFailure(const TextureResult& result, std::string_view shownPath = {});

// The sentence for a folder or entry a walk couldn't read.
std::string DescribeWalkFailure(WalkStep step, const std::error_code& error,
                                std::string_view shownPath);

// The sentence for a file that failed verification; `error` is the system's reason, if any.
std::string DescribeVerifyFailure(VerifyProblem problem, const std::error_code& error,
                                  std::string_view shownPath);

} // namespace quorvel
