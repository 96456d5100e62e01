// quorvel-bench-walk: the folder mode exactly as the window program runs it, without windows.
//
// One thread, one Brevora, the same TextureScan that drives the main window: the walk hands
// each candidate to CompressTextureFile, which rewrites it through a synced temporary file and
// syncs its folder, and the status lines are formatted after every file but shown nowhere.
// Prints "bytes-saved failures seconds".

#include "Brevora.h"
#include "BufferReuse.h"
#include "ProgressView.h"
#include "TextureScan.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace {

// Takes the status lines and drops them, as a window that is never painted would.
class NoView final : public quorvel::ProgressView {
public:
    void setTitle(const std::string& text) override { m_title = text; }
    void setStatus(const std::string& text) override { m_status = text; }
    void repaintStatus() override {}

private:
    std::string m_title;
    std::string m_status;
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quorvel-bench-walk FOLDER\n");
        return 2;
    }
    quorvel::KeepFreedBuffersForReuse(); // as the window program does at start-up
    NoView view;
    quorvel::Brevora compressor;
    quorvel::TextureScan scan(view, compressor);
    const auto start = std::chrono::steady_clock::now();
    scan.Scan(argv[1]);
    scan.Finish();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (const auto& failure : scan.failures())
        std::fprintf(stderr, "%s\n", failure.message.c_str());
    std::printf("%lld %zu %.6f\n", static_cast<long long>(scan.totalSaved()),
                scan.failures().size(), seconds);
    return scan.failures().empty() ? 0 : 1;
}
