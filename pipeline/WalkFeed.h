#pragma once
// WalkFeed: hands what a folder walk finds to a pipeline while the walk goes on, in walk order:
// each folder entered and each candidate file. A folder or entry the walk couldn't read is
// reported as WalkFailed; temporary files a killed run left behind are removed on the way
// (RemoveLeftoverTemporaryFile), and a removal that fails is reported the same way. The walk
// ends early once the pipeline is stopping.
//
// It runs on the thread that walks, which must be the pipeline's feeder.

#include "FolderWalk.h"
#include "RewritePipeline.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <utility>

namespace quorvel {

class WalkFeed final : public FolderVisitor {
public:
    // `beforeEachFile`, if any, is called as each candidate is handed over.
    explicit WalkFeed(RewritePipeline& pipeline, std::function<void()> beforeEachFile = {})
        : m_pipeline(pipeline), m_beforeEachFile(std::move(beforeEachFile)) {}

    // Leftover temporary files removed so far.
    std::int64_t leftoversRemoved() const { return m_leftoversRemoved; }

    void EnterFolder(const std::filesystem::path& folder) override;
    void Candidate(const FileInFolder& file) override;
    void TemporaryFile(const FileInFolder& file) override;
    void Failure(const std::filesystem::path& path, Step step, std::error_code error) override;
    bool StopRequested() override;

private:
    RewritePipeline& m_pipeline;
    std::function<void()> m_beforeEachFile;
    std::int64_t m_leftoversRemoved = 0;
};

} // namespace quorvel
