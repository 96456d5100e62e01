#include "WalkFeed.h"

#include "LeftoverFiles.h"

namespace quorvel {

void WalkFeed::EnterFolder(const std::filesystem::path& folder) {
    m_pipeline.EnterFolder(folder);
}

void WalkFeed::Candidate(const FileInFolder& file) {
    WorkItem item;
    item.path = file.shown;
    item.file = file;
    if (m_beforeEachFile)
        m_beforeEachFile();
    m_pipeline.Submit(std::move(item));
}

void WalkFeed::TemporaryFile(const FileInFolder& file) {
    std::error_code error;
    const Outcome outcome = RemoveLeftoverTemporaryFile(*file.folder, file.name, error);
    if (outcome == Outcome::LeftoverRemoved)
        ++m_leftoversRemoved;
    else if (outcome == Outcome::WalkFailed)
        Failure(file.shown, Step::RemoveLeftover, error);
}

void WalkFeed::Failure(const std::filesystem::path& path, Step step, std::error_code error) {
    WorkItem item;
    item.path = path;
    FileReport report;
    report.path = path;
    report.outcome = Outcome::WalkFailed;
    report.step = step;
    report.error = error;
    item.preset = std::move(report);
    m_pipeline.Submit(std::move(item));
}

bool WalkFeed::StopRequested() {
    return m_pipeline.stopping();
}

} // namespace quorvel
