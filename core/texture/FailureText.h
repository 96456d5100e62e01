#pragma once
// The words for what happened to a file, shared by every front end: the stable names of verify
// problems (for machine-readable reports; those of outcomes and steps are Outcome.h's) and the
// one sentence per failure (for people).
//
// A failure sentence says what failed, on which file, why, and the file's state afterwards, e.g.
// "Could not write the compressed copy of a/brick.ace: Error 28: No space left on device. The
// original file is unchanged." There is one sentence per step and transform, in one table; front
// ends pass the file name as they show it (DisplayPath).

#include "Outcome.h"
#include "TextureFile.h"
#include "TextureFormat.h"

#include <string>
#include <string_view>
#include <system_error>

namespace quorvel {

// Stable lower-camel-case names: "notMarked", "sizeMismatch", ...
const char* ProblemName(VerifyProblem problem);

// The "problem" a report names: the damage found, or "readError" for a file verification
// couldn't read; null where there is none to name.
const char* ReportedProblemName(Outcome outcome, VerifyProblem problem);

// A short phrase for a verify problem: "the zlib stream is cut short", ...
const char* DescribeProblem(VerifyProblem problem);

// The sentence for a failure at `step` of compressing or restoring (`transform`), or of the walk
// (which ignores `transform`), for `error`. Restoring a damaged file names the damage
// (`problem`) as the reason: "Could not decompress a/brick.ace: the zlib stream is cut short.
// The file is unchanged."
std::string DescribeFailure(Step step, TextureTransform transform, const std::error_code& error,
                            VerifyProblem problem, std::string_view shownPath);

// The same for a result, with the temporary file it left behind (AddLeftover): empty when it
// did not fail; `shownPath` defaults to DisplayPath(result.path).
std::string DescribeFailure(const TextureResult& result, std::string_view shownPath = {});

// `sentence` (one of the above, ending in a full stop) with what became of a temporary file that
// could not be removed afterwards: "... The original file is unchanged; the temporary file
// a/.brick.ace.quorvel-tmp-Ab12Cd could not be removed: Error 13: Permission denied."
std::string AddLeftover(std::string sentence, std::string_view shownLeftover,
                        const std::error_code& error);

// The sentence for a file that failed verification: damaged (`problem`), or unreadable
// (VerifyProblem::None) for `error`.
std::string DescribeVerifyFailure(VerifyProblem problem, const std::error_code& error,
                                  std::string_view shownPath);

} // namespace quorvel
