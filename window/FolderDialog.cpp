// The folder-picker dialog's logic; see FolderDialog.h. Every listing of Dir1 is built from
// scratch: the open folder's path split into its folders from the root down, then its
// subfolders from the FolderSource, sorted. The dialog keeps each entry's folder beside the
// entries, so the view only ever reports a row.
#include "FolderDialog.h"

#include "DirectoryLister.h"
#include "DisplayPath.h"
#include "System.h"
#include "TextureError.h"

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <utility>

namespace quorvel {

namespace {

// `folder` absolute (relative to `base`), cleaned, with the platform's separators and no
// trailing separator except on a root.
std::filesystem::path Normalised(const std::filesystem::path& folder,
                                 const std::filesystem::path& base) {
    std::filesystem::path full = (folder.is_absolute() ? folder : base / folder).lexically_normal();
    if (!full.has_filename() && full.has_relative_path())
        full = full.parent_path();
    return full;
}

// The components of `folder`, a trailing empty one (from a trailing separator) left out.
std::vector<std::filesystem::path> Components(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> parts(folder.begin(), folder.end());
    while (!parts.empty() && parts.back().empty())
        parts.pop_back();
    return parts;
}

// How many components `root` has when it holds `folder` (is it or one of its parents), else -1.
int HoldingDepth(const std::filesystem::path& root, const std::filesystem::path& folder) {
    const std::vector<std::filesystem::path> rootParts = Components(root);
    const std::vector<std::filesystem::path> folderParts = Components(folder);
    if (rootParts.empty() || rootParts.size() > folderParts.size())
        return -1;
    for (std::size_t i = 0; i < rootParts.size(); ++i) {
        if (!SameFileName(rootParts[i], folderParts[i]))
            return -1;
    }
    return static_cast<int>(rootParts.size());
}

// Decodes UTF-8 `text` into code points; an invalid byte becomes itself, which keeps the order
// total (DisplayPath gives valid UTF-8, escaping what isn't, so this is a fallback only).
std::u32string CodePoints(std::string_view text) {
    std::u32string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (lead < 0xC0 && lead >= 0x80) {
            out += lead;
            ++i;
            continue;
        }
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        std::size_t n = 1;
        for (; n < length && i + n < text.size(); ++n)
            c = (c << 6) | (static_cast<unsigned char>(text[i + n]) & 0x3F);
        out += c;
        i += n;
    }
    return out;
}

// Upper case folded to lower case for the Latin, Greek and Cyrillic alphabets, enough to sort
// folder names the way people read them.
char32_t FoldCase(char32_t c) {
    if ((c >= U'A' && c <= U'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||
        (c >= 0x391 && c <= 0x3AB && c != 0x3A2) || (c >= 0x410 && c <= 0x42F))
        return c + 0x20;
    if (c >= 0x400 && c <= 0x40F)
        return c + 0x50;
    if (c == 0x178) // capital Y with diaeresis, whose small letter is in Latin-1
        return 0xFF;
    if (c >= 0x100 && c <= 0x17E && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149) {
        // Latin Extended-A pairs capital and small letter; the pairs start on an even code
        // point, except in the two runs that start on an odd one.
        const bool oddPairs = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        const bool capital = oddPairs ? (c % 2 == 1) : (c % 2 == 0);
        return capital ? c + 1 : c;
    }
    return c;
}

// A before B when their names, case folded, come first; names equal but for case are kept apart
// by their exact text, so the order never depends on the listing's.
bool SortsBefore(const std::pair<std::string, std::filesystem::path>& a,
                 const std::pair<std::string, std::filesystem::path>& b) {
    const std::u32string x = CodePoints(a.first);
    const std::u32string y = CodePoints(b.first);
    const auto folded = std::lexicographical_compare(
        x.begin(), x.end(), y.begin(), y.end(),
        [](char32_t c, char32_t d) { return FoldCase(c) < FoldCase(d); });
    if (folded)
        return true;
    const auto foldedAfter = std::lexicographical_compare(
        y.begin(), y.end(), x.begin(), x.end(),
        [](char32_t c, char32_t d) { return FoldCase(c) < FoldCase(d); });
    if (foldedAfter)
        return false;
    return a.second.native() < b.second.native();
}

} // namespace

FolderDialog::FolderDialog(FolderDialogView& view, FolderSource& source)
    : m_view(view), m_source(source) {}

void FolderDialog::Load() {
    const std::filesystem::path current = m_source.CurrentFolder();
    const std::filesystem::path start = Normalised(current, current);

    m_drives = m_source.Drives();
    int best = -1;
    int bestDepth = -1;
    for (std::size_t i = 0; i < m_drives.size(); ++i) {
        const int depth = HoldingDepth(RootOfDrive(m_drives[i]), start);
        if (depth > bestDepth) {
            best = static_cast<int>(i);
            bestDepth = depth;
        }
    }
    if (best < 0 && start.has_root_name()) {
        // A folder on no listed drive (a network share on Windows): its root stands in as one.
        m_drives.push_back(start.root_name());
        best = static_cast<int>(m_drives.size()) - 1;
    }
    if (best < 0 && !m_drives.empty())
        best = 0;
    m_currentDrive = best;

    std::vector<std::string> names;
    names.reserve(m_drives.size());
    for (const std::filesystem::path& drive : m_drives)
        names.push_back(DisplayPath(drive));
    m_view.showDrives(names, m_currentDrive);

    std::error_code error;
    if (!SetOpenFolder(start, error))
        Show(start, {});
}

bool FolderDialog::SetOpenFolder(const std::filesystem::path& folder, std::error_code& error) {
    error.clear();
    const std::filesystem::path target = Normalised(folder, m_source.CurrentFolder());
    std::vector<std::filesystem::path> subfolders = m_source.Subfolders(target, error);
    if (error)
        return false;
    Show(target, subfolders);
    return true;
}

void FolderDialog::Show(const std::filesystem::path& folder,
                        const std::vector<std::filesystem::path>& subfolders) {
    std::vector<FolderListEntry> entries;
    std::vector<std::filesystem::path> paths;

    // The root as its full path, then each folder on the way down by its name.
    std::filesystem::path at = folder.root_path();
    if (!at.empty()) {
        entries.push_back({DisplayPath(at), 0, true});
        paths.push_back(at);
    }
    for (const std::filesystem::path& part : folder.relative_path()) {
        if (part.empty())
            continue;
        at /= part;
        entries.push_back({DisplayPath(part), static_cast<int>(entries.size()), true});
        paths.push_back(at);
    }
    if (entries.empty()) {
        // A path with neither root nor name: shown whole, so the list is never empty.
        entries.push_back({DisplayPath(folder), 0, true});
        paths.push_back(folder);
    }
    const int openRow = static_cast<int>(entries.size()) - 1;
    const int depth = openRow + 1;

    std::vector<std::pair<std::string, std::filesystem::path>> sorted;
    sorted.reserve(subfolders.size());
    for (const std::filesystem::path& name : subfolders)
        sorted.emplace_back(DisplayPath(name), name);
    std::sort(sorted.begin(), sorted.end(), SortsBefore);
    for (auto& [shown, name] : sorted) {
        entries.push_back({std::move(shown), depth, false});
        paths.push_back(folder / name);
    }

    m_open = folder;
    m_entries = std::move(entries);
    m_entryPaths = std::move(paths);
    m_view.showFolders(m_entries, openRow);
}

int FolderDialog::DriveOf(const std::filesystem::path& folder) const {
    int best = -1;
    int bestDepth = -1;
    for (std::size_t i = 0; i < m_drives.size(); ++i) {
        const int depth = HoldingDepth(RootOfDrive(m_drives[i]), folder);
        if (depth > bestDepth) {
            best = static_cast<int>(i);
            bestDepth = depth;
        }
    }
    return best;
}

void FolderDialog::ReportOpenFailure(const std::filesystem::path& folder,
                                     const std::error_code& error, int driveBefore) {
    // What failed may be gone: the open folder is read again, so that the list shows what is
    // there now (and its path alone when it can't be read either).
    std::error_code relistError;
    if (!SetOpenFolder(m_open, relistError))
        Show(m_open, {});

    const int shown = DriveOf(m_open);
    m_currentDrive = shown >= 0 ? shown : driveBefore;
    m_view.selectDrive(m_currentDrive);

    std::string text = "Could not open the folder ";
    text += DisplayPath(folder);
    text += ": ";
    text += DescribeError(error);
    text += ". The folder list still shows ";
    text += DisplayPath(m_open);
    text += '.';
    m_view.showWarning(text);
}

void FolderDialog::OKButton_Click() {
    path = m_open;
    m_view.hideDialog();
}

void FolderDialog::CancelButton_Click() {
    path.clear();
    m_view.hideDialog();
}

void FolderDialog::Drive1_Change(int index) {
    if (index < 0 || index >= static_cast<int>(m_drives.size()) || index == m_currentDrive)
        return;
    const int before = m_currentDrive;
    m_currentDrive = index;
    const std::filesystem::path root = RootOfDrive(m_drives[static_cast<std::size_t>(index)]);
    std::error_code error;
    if (!SetOpenFolder(root, error))
        ReportOpenFailure(root, error, before);
}

void FolderDialog::Dir1_Open(int row) {
    if (row < 0 || row >= static_cast<int>(m_entryPaths.size()))
        return;
    // A copy: a successful open replaces the entries.
    const std::filesystem::path folder = m_entryPaths[static_cast<std::size_t>(row)];
    std::error_code error;
    if (!SetOpenFolder(folder, error))
        ReportOpenFailure(folder, error, m_currentDrive);
}

bool FolderDialog::Form_QueryUnload(CloseReason reason) {
    if (reason != CloseReason::UserThroughFrame)
        return false;
    CancelButton_Click();
    return true;
}

std::vector<std::filesystem::path> SystemFolderSource::Drives() {
    return SystemDirectoryLister().Drives(CurrentFolder());
}

std::filesystem::path SystemFolderSource::CurrentFolder() {
    std::error_code error;
    std::filesystem::path current = std::filesystem::current_path(error);
    // The current folder was removed, or is out of reach: start at the top instead.
    if (error || current.empty())
        return TopFolder();
    return current;
}

std::vector<std::filesystem::path>
SystemFolderSource::Subfolders(const std::filesystem::path& folder, std::error_code& error) {
    return SystemDirectoryLister().Subfolders(folder, error);
}

} // namespace quorvel
