// The words every front end shares: each (step, transform) sentence pinned word for word, which
// reason each names, and the outcome, step and problem names machine-readable reports carry.

#include "FailureText.h"

#include "DisplayPath.h"
#include "TextureError.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace quorvel {
namespace {

constexpr auto kCompress = TextureTransform::Compress;
constexpr auto kRestore = TextureTransform::Restore;

struct Sentence {
    Step step;
    TextureTransform transform;
    const char* text; // R stands for the reason
};

// "R" in a sentence stands for the reason, P for the path.
std::string Expected(std::string text, const std::string& reason) {
    std::string out;
    for (const char c : text) {
        if (c == 'R')
            out += reason;
        else if (c == 'P')
            out += "a/brick.ace";
        else
            out += c;
    }
    return out;
}

const Sentence kSentences[] = {
    {Step::None, kCompress, "Could not compress P: R. The file is unchanged."},
    {Step::None, kRestore, "Could not decompress P: R. The file is unchanged."},
    {Step::Open, kCompress, "Could not open P: R. The file is unchanged."},
    {Step::Open, kRestore, "Could not open P: R. The file is unchanged."},
    {Step::Check, kCompress, "Could not compress P: R. The file is unchanged."},
    {Step::Check, kRestore, "Could not decompress P: R. The file is unchanged."},
    {Step::Read, kCompress, "Could not read P: R. The file is unchanged."},
    {Step::Read, kRestore, "Could not read P: R. The file is unchanged."},
    {Step::Compress, kCompress, "Could not compress P: R. The file is unchanged."},
    {Step::Compress, kRestore, "Could not decompress P: R. The file is unchanged."},
    {Step::Decompress, kCompress, "Could not compress P: R. The file is unchanged."},
    {Step::Decompress, kRestore, "Could not decompress P: R. The file is unchanged."},
    {Step::CreateTemp, kCompress,
     "Could not create a temporary file beside P: R. The original file is unchanged."},
    {Step::CreateTemp, kRestore,
     "Could not create a temporary file beside P: R. The original file is unchanged."},
    {Step::Write, kCompress,
     "Could not write the compressed copy of P: R. The original file is unchanged."},
    {Step::Write, kRestore,
     "Could not write the decompressed copy of P: R. The original file is unchanged."},
    {Step::CopyOwner, kCompress,
     "Could not give the compressed copy of P its owner: R. The original file is unchanged."},
    {Step::CopyOwner, kRestore,
     "Could not give the decompressed copy of P its owner: R. The original file is unchanged."},
    {Step::CopyPermissions, kCompress,
     "Could not give the compressed copy of P its permissions: R. The original file is "
     "unchanged."},
    {Step::CopyPermissions, kRestore,
     "Could not give the decompressed copy of P its permissions: R. The original file is "
     "unchanged."},
    {Step::CopyAttributes, kCompress,
     "Could not give the compressed copy of P its extended attributes: R. The original file is "
     "unchanged."},
    {Step::CopyAttributes, kRestore,
     "Could not give the decompressed copy of P its extended attributes: R. The original file is "
     "unchanged."},
    {Step::CopyFileAttributes, kCompress,
     "Could not give the compressed copy of P its file attributes: R. The original file is "
     "unchanged."},
    {Step::CopyFileAttributes, kRestore,
     "Could not give the decompressed copy of P its file attributes: R. The original file is "
     "unchanged."},
    {Step::Sync, kCompress,
     "Could not flush the compressed copy of P to disk: R. The original file is unchanged."},
    {Step::Sync, kRestore,
     "Could not flush the decompressed copy of P to disk: R. The original file is unchanged."},
    {Step::Replace, kCompress,
     "Could not replace P with its compressed copy: R. The original file is unchanged."},
    {Step::Replace, kRestore,
     "Could not replace P with its decompressed copy: R. The original file is unchanged."},
    {Step::SyncFolder, kCompress,
     "Compressed P, but could not flush its folder to disk: R. The change may be lost if the "
     "system stops now."},
    {Step::SyncFolder, kRestore,
     "Decompressed P, but could not flush its folder to disk: R. The change may be lost if the "
     "system stops now."},
};

const Sentence kWalkSentences[] = {
    {Step::OpenFolder, kCompress, "Could not open the folder P: R. Nothing in it was changed."},
    {Step::ListFolder, kCompress,
     "Could not read the whole listing of the folder P: R. Files it did not list were left "
     "alone."},
    {Step::ReadName, kCompress,
     "Could not read the name of an entry in the folder P: R. That entry was left alone."},
    {Step::ReadEntry, kCompress, "Could not read the type of P: R. It was left alone."},
    {Step::ReadAttributes, kCompress,
     "Could not read the attributes of P: R. The file was left unchanged."},
    {Step::RemoveLeftover, kCompress,
     "Could not remove the leftover temporary file P: R. It was left in place."},
};

TEST(FailureText, EachStepAndTransformHasItsSentence) {
    const std::error_code full = ErrorFromErrno(ENOSPC);
    for (const Sentence& s : kSentences) {
        EXPECT_EQ(DescribeFailure(s.step, s.transform, full, VerifyProblem::None, "a/brick.ace"),
                  Expected(s.text, DescribeError(full)))
            << StepName(s.step);
    }
    // The walk's sentences read the same whichever way the run goes.
    for (const Sentence& s : kWalkSentences) {
        for (const TextureTransform transform : {kCompress, kRestore})
            EXPECT_EQ(
                DescribeFailure(s.step, transform, full, VerifyProblem::Truncated, "a/brick.ace"),
                Expected(s.text, DescribeError(full)))
                << StepName(s.step);
    }
}

// Restoring a damaged file names the damage; opening and reading name the system's reason, and
// compressing never names damage.
TEST(FailureText, RestoringNamesTheDamageFoundInsteadOfTheError) {
    const std::error_code damaged = make_error_code(TextureErrc::DamagedStream);
    for (const Sentence& s : kSentences) {
        const bool systemReason =
            s.transform == kCompress || s.step == Step::Open || s.step == Step::Read;
        const std::string reason =
            systemReason ? DescribeError(damaged) : DescribeProblem(VerifyProblem::Truncated);
        EXPECT_EQ(
            DescribeFailure(s.step, s.transform, damaged, VerifyProblem::Truncated, "a/brick.ace"),
            Expected(s.text, reason))
            << StepName(s.step);
    }
}

// A compressed copy not put in place because another program changed the file says whose the
// file now is, and one held back because another program only holds it open says this program
// changed nothing; a restore says what it says for any refused replace.
TEST(FailureText, AReplaceRefusedForAnotherProgramsChangeSaysWhoseTheFileIs) {
    const auto describe = [](TextureTransform transform, TextureErrc reason) {
        return DescribeFailure(Step::Replace, transform, make_error_code(reason),
                               VerifyProblem::None, "a/brick.ace");
    };
    EXPECT_EQ(describe(kCompress, TextureErrc::CompressedMeanwhile),
              "Did not replace a/brick.ace with its compressed copy: another program compressed "
              "it meanwhile. It is left as that program wrote it.");
    EXPECT_EQ(describe(kCompress, TextureErrc::FileChanged),
              "Did not replace a/brick.ace with its compressed copy: " +
                  DescribeError(make_error_code(TextureErrc::FileChanged)) +
                  ". It is left as the other program made it.");
    EXPECT_EQ(describe(kCompress, TextureErrc::InUse),
              "Did not replace a/brick.ace with its compressed copy: " +
                  DescribeError(make_error_code(TextureErrc::InUse)) +
                  ". This program did not change it.");
    EXPECT_EQ(describe(kRestore, TextureErrc::FileChanged),
              "Could not replace a/brick.ace with its decompressed copy: " +
                  DescribeError(make_error_code(TextureErrc::FileChanged)) +
                  ". The original file is unchanged.");
}

// A temporary file that stayed after a failure is named, with why, after the file's state.
TEST(FailureText, ALeftoverTemporaryFileIsNamedAfterTheFilesState) {
    TextureResult result;
    result.path = "a/brick.ace";
    result.SetFailure(Step::Write, ErrorFromErrno(ENOSPC));
    result.leftover = "a/.brick.ace.quorvel-tmp-Ab12Cd";
    result.leftoverError = ErrorFromErrno(EACCES);
    const std::string expected =
        "Could not write the compressed copy of " + DisplayPath(result.path) + ": " +
        DescribeError(result.error) + ". The original file is unchanged; the temporary file " +
        DisplayPath(result.leftover) +
        " could not be removed: " + DescribeError(result.leftoverError) + ".";
    EXPECT_EQ(DescribeFailure(result), expected);
    result.leftover.clear();
    EXPECT_EQ(DescribeFailure(result), expected.substr(0, expected.find(';')) + ".");
}

TEST(FailureText, VerifyFailuresNameTheDamageOrThatTheFileCouldNotBeRead) {
    EXPECT_EQ(DescribeVerifyFailure(VerifyProblem::Truncated, {}, "a/brick.ace"),
              "Verification failed for a/brick.ace: the zlib stream is cut short. The file was "
              "not changed.");
    const std::error_code gone = ErrorFromErrno(ENOENT);
    EXPECT_EQ(DescribeVerifyFailure(VerifyProblem::None, gone, "a/brick.ace"),
              "Verification failed for a/brick.ace: the file could not be read (" +
                  DescribeError(gone) + "). The file was not changed.");
}

// The names are an interface: scripts read them from the JSON report.
TEST(FailureText, OutcomeStepAndProblemNamesAreStable) {
    const std::vector<std::string> outcomes = {
        "compressed",  "alreadyCompressed", "nothingCompressed", "readOnlySkipped", "failed",
        "walkFailed",  "verified",          "verifyFailed",      "notCompressed",   "decompressed",
        "otherLayout", "notProcessed",      "notRegularSkipped", "leftoverRemoved", "leftoverKept",
        "notLeftover"};
    for (std::size_t i = 0; i < outcomes.size(); ++i)
        EXPECT_EQ(OutcomeName(static_cast<Outcome>(i)), outcomes[i]);
    const std::vector<std::string> steps = {"none",           "open",
                                            "check",          "read",
                                            "compress",       "decompress",
                                            "createTemp",     "write",
                                            "copyOwner",      "copyPermissions",
                                            "copyAttributes", "copyFileAttributes",
                                            "sync",           "replace",
                                            "syncFolder",     "openFolder",
                                            "listFolder",     "readName",
                                            "readEntry",      "readAttributes",
                                            "removeLeftover"};
    for (std::size_t i = 0; i < steps.size(); ++i)
        EXPECT_EQ(StepName(static_cast<Step>(i)), steps[i]);

    EXPECT_STREQ(ReportedProblemName(Outcome::VerifyFailed, VerifyProblem::SizeMismatch),
                 "sizeMismatch");
    EXPECT_STREQ(ReportedProblemName(Outcome::VerifyFailed, VerifyProblem::None), "readError");
    EXPECT_STREQ(ReportedProblemName(Outcome::NotCompressed, VerifyProblem::NotMarked),
                 "notMarked");
    EXPECT_EQ(ReportedProblemName(Outcome::Failed, VerifyProblem::None), nullptr);
}

} // namespace
} // namespace quorvel
