// The Windows installer, run as an administrator's script would run it, silently (/S): it
// installs both programs for every user with the Start-menu entry and the registry entries it
// promises; the Start-menu entry and "Open with" start the installed window program; the quiet
// uninstall command of the list of installed programs takes back exactly what was added; an
// older version is replaced where it was, never listed twice.
//
// scripts/windows-package-test.sh runs this program in a Wine prefix made for the run; on
// Windows it runs as an administrator on a machine without Quorvel. The installers to test:
//   QUORVEL_INSTALLER        the installer of this build's version
//   QUORVEL_OLDER_INSTALLER  one of an older version, carrying a file the other one doesn't
//   QUORVEL_OLDER_VERSION    that older version

#include "FileContents.h"
#include "Registry.h"
#include "TempDir.h"
#include "TextureSamples.h"
#include "WindowDriver.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <set>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <stdexcept>
#include <string>

namespace quorvel::test {
namespace {

const HKEY kMachine = HKEY_LOCAL_MACHINE;
const std::wstring kProgramList = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const std::wstring kProgramEntry = kProgramList + L"\\Quorvel";
const std::wstring kExtension = L"Software\\Classes\\.ace";
const std::wstring kOpenWith = kExtension + L"\\OpenWithProgids";
const std::wstring kFileClass = L"Quorvel.Texture";
const std::wstring kVersion = L"" QUORVEL_VERSION;

// What the installer puts in its folder: the zip's files and the uninstaller.
const std::set<std::wstring> kInstalledFiles = {L"COPYRIGHT.txt", L"README.txt", L"Uninstall.exe",
                                                L"quorvel-cli.exe", L"quorvel.exe"};

std::wstring Environment(const wchar_t* name) {
    const wchar_t* value = _wgetenv(name);
    return value ? value : L"";
}

std::wstring Quoted(const std::filesystem::path& path) {
    return L"\"" + path.wstring() + L"\"";
}

std::filesystem::path KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::filesystem::path result;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path)))
        result = path;
    CoTaskMemFree(path);
    return result;
}

std::set<std::wstring> NamesIn(const std::filesystem::path& folder) {
    std::set<std::wstring> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        names.insert(entry.path().filename().wstring());
    return names;
}

// Runs a command line to its end, two minutes at most, and gives its exit code; what it writes
// to standard output and error goes to the file `output` when one is named.
DWORD RunCommand(std::wstring commandLine, const std::filesystem::path& output = {}) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    HANDLE file = INVALID_HANDLE_VALUE;
    if (!output.empty()) {
        file = CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = file;
    }
    PROCESS_INFORMATION process{};
    const BOOL started =
        CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, file != INVALID_HANDLE_VALUE,
                       0, nullptr, nullptr, &startup, &process);
    const DWORD error = GetLastError();
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (!started)
        throw std::runtime_error("cannot run " + Utf8(commandLine) + ": error " +
                                 std::to_string(error));
    CloseHandle(process.hThread);
    DWORD code = WAIT_TIMEOUT;
    if (WaitForSingleObject(process.hProcess, 120'000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    else
        TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hProcess);
    return code;
}

// Opens `file` through the shell as Explorer does: a shortcut starts what it points to, and with
// `fileClass` the file class's open command runs, as when the user picks that class's program
// under "Open with". Gives the process started, or nullptr when it could not start one, or
// when the shell started one without handing it back (as Wine's does for a shortcut): then the
// process that shows a window of class `windowClass` is taken.
HANDLE ShellOpen(const std::filesystem::path& file, const wchar_t* windowClass,
                 const std::wstring& fileClass = {}) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    if (!fileClass.empty()) {
        info.fMask |= SEE_MASK_CLASSNAME;
        info.lpClass = fileClass.c_str();
    }
    info.lpVerb = L"open";
    info.lpFile = file.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&info))
        return nullptr;
    if (info.hProcess)
        return info.hProcess;
    HWND window = nullptr;
    WaitUntil([&] { return (window = FindWindowW(windowClass, nullptr)) != nullptr; });
    DWORD process = 0;
    if (!window || !GetWindowThreadProcessId(window, &process))
        return nullptr;
    return OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE,
                       process);
}

struct Shortcut {
    std::wstring target;
    std::wstring arguments;
};

// What a shortcut (.lnk) starts, read through the shell's own interface; nothing when it can't
// be read.
std::optional<Shortcut> ReadShortcut(const std::filesystem::path& path) {
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return std::nullopt;
    std::optional<Shortcut> shortcut;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        if (SUCCEEDED(file->Load(path.c_str(), STGM_READ))) {
            wchar_t text[4 * MAX_PATH] = {};
            shortcut.emplace();
            if (SUCCEEDED(link->GetPath(text, 4 * MAX_PATH, nullptr, SLGP_RAWPATH)))
                shortcut->target = text;
            if (SUCCEEDED(link->GetArguments(text, 4 * MAX_PATH)))
                shortcut->arguments = text;
        }
        file->Release();
    }
    link->Release();
    return shortcut;
}

// What installing and uninstalling may touch, as lines that compare equal when nothing was
// added, removed or changed: the machine's and the user's registry branches for programs, the
// program folders, the Start menus and the desktops' shortcuts. Left out: the system's COM
// registrations (most of the machine's branch, and nothing a program without COM classes writes),
// and what the system itself keeps per user as programs start (the shell's bookkeeping; Wine's
// settings).
std::set<std::wstring> MachineState() {
    std::set<std::wstring> lines;
    DumpTree(HKEY_LOCAL_MACHINE, L"HKLM", L"Software", lines,
             {L"Software\\Classes\\CLSID", L"Software\\Classes\\Interface",
              L"Software\\Classes\\TypeLib", L"Software\\Classes\\Wow6432Node",
              L"Software\\Wow6432Node\\Classes"});
    DumpTree(HKEY_CURRENT_USER, L"HKCU", L"Software", lines,
             {L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer", L"Software\\Wine"});
    std::error_code error;
    const auto addFile = [&](const std::filesystem::directory_entry& entry) {
        std::error_code ignored;
        lines.insert(entry.path().wstring() +
                     (entry.is_directory(ignored)
                          ? L"\\"
                          : L" " + std::to_wstring(entry.file_size(ignored)) + L" bytes"));
    };
    for (const KNOWNFOLDERID* folder :
         {&FOLDERID_ProgramFiles, &FOLDERID_CommonPrograms, &FOLDERID_Programs}) {
        for (auto it = std::filesystem::recursive_directory_iterator(KnownFolder(*folder), error);
             !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error))
            addFile(*it);
    }
    // On the desktops only the shortcuts: Wine makes the user's desktop the host's home folder.
    for (const KNOWNFOLDERID* folder : {&FOLDERID_PublicDesktop, &FOLDERID_Desktop}) {
        for (const auto& entry : std::filesystem::directory_iterator(KnownFolder(*folder), error))
            if (_wcsicmp(entry.path().extension().c_str(), L".lnk") == 0)
                addFile(entry);
    }
    return lines;
}

// The lines only in `before` (-) and only in `after` (+), 30 at most.
std::string Differences(const std::set<std::wstring>& before, const std::set<std::wstring>& after) {
    std::string text;
    int shown = 0;
    for (const auto& line : before)
        if (!after.contains(line) && shown++ < 30)
            text += "- " + Utf8(line) + "\n";
    for (const auto& line : after)
        if (!before.contains(line) && shown++ < 30)
            text += "+ " + Utf8(line) + "\n";
    return text;
}

class WindowsInstaller : public testing::Test {
protected:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        m_installer = Environment(L"QUORVEL_INSTALLER");
        ASSERT_FALSE(m_installer.empty()) << "QUORVEL_INSTALLER names no installer";
        ASSERT_FALSE(KeyExists(kMachine, kProgramEntry)) << "Quorvel is installed already";
        m_before = MachineState();
    }

    // Whatever the test did, Quorvel is uninstalled again, and every test leaves the machine as
    // it found it: the uninstaller takes back exactly what was installed.
    void TearDown() override {
        if (!m_before.empty()) {
            if (KeyExists(kMachine, kProgramEntry))
                Uninstall();
            EXPECT_EQ(Differences(m_before, MachineState()), "")
                << "left behind (+) or removed (-) by installing and uninstalling";
        }
        CoUninitialize();
    }

    static DWORD Install(const std::filesystem::path& installer, const std::wstring& options = {}) {
        return RunCommand(Quoted(installer) + L" /S" + options);
    }

    // Runs the quiet uninstall command of the list of installed programs, as a management tool
    // would. The uninstaller hands over to a copy of itself in the temporary folder and returns;
    // the copy removes the list's entry last, so once the entry is gone it is done.
    static bool Uninstall() {
        const auto command = ReadString(kMachine, kProgramEntry, L"QuietUninstallString");
        if (!command || RunCommand(*command) != 0)
            return false;
        return WaitUntil([] { return !KeyExists(kMachine, kProgramEntry); }, 60s);
    }

    // Everything an installation of `version` in `folder` consists of, and the batch command
    // installed there answering.
    static void ExpectInstallation(const std::filesystem::path& folder,
                                   const std::wstring& version) {
        EXPECT_EQ(NamesIn(folder), kInstalledFiles);
        std::uintmax_t bytes = 0;
        for (const auto& name : kInstalledFiles) {
            std::error_code error;
            bytes += std::filesystem::file_size(folder / name, error);
        }
        const std::wstring program = (folder / L"quorvel.exe").wstring();
        const std::wstring uninstaller = Quoted(folder / L"Uninstall.exe");

        EXPECT_EQ(ReadString(kMachine, kProgramEntry, L"DisplayName"), L"Quorvel");
        EXPECT_EQ(ReadString(kMachine, kProgramEntry, L"DisplayVersion"), version);
        EXPECT_EQ(ReadString(kMachine, kProgramEntry, L"Publisher"), L"The Quorvel developers");
        EXPECT_EQ(ReadString(kMachine, kProgramEntry, L"DisplayIcon"), program + L",0");
        EXPECT_GE(ExtractIconExW(program.c_str(), -1, nullptr, nullptr, 0), 1u)
            << "quorvel.exe has no icon to show";
        EXPECT_EQ(ReadString(kMachine, kProgramEntry, L"InstallLocation"), folder.wstring());
        EXPECT_EQ(ReadString(kMachine, kProgramEntry, L"UninstallString"), uninstaller);
        EXPECT_EQ(ReadString(kMachine, kProgramEntry, L"QuietUninstallString"),
                  uninstaller + L" /S");
        EXPECT_EQ(ReadDword(kMachine, kProgramEntry, L"NoModify"), 1u);
        EXPECT_EQ(ReadDword(kMachine, kProgramEntry, L"NoRepair"), 1u);
        const auto size = ReadDword(kMachine, kProgramEntry, L"EstimatedSize");
        ASSERT_TRUE(size.has_value()) << "no EstimatedSize";
        EXPECT_NEAR(static_cast<double>(*size), static_cast<double>(bytes) / 1024,
                    static_cast<double>(kInstalledFiles.size()))
            << "EstimatedSize is in KiB";

        // "Open with": Quorvel's own file class, named beside whatever .ace opens with.
        EXPECT_EQ(ValueType(kMachine, kOpenWith, kFileClass), static_cast<DWORD>(REG_NONE));
        const std::wstring fileClass = L"Software\\Classes\\" + kFileClass;
        EXPECT_EQ(ReadString(kMachine, fileClass + L"\\shell\\open\\command", L""),
                  Quoted(program) + L" \"%1\"");
        EXPECT_EQ(ReadString(kMachine, fileClass + L"\\DefaultIcon", L""), program + L",0");

        const auto shortcut = ReadShortcut(KnownFolder(FOLDERID_CommonPrograms) / L"Quorvel.lnk");
        ASSERT_TRUE(shortcut.has_value()) << "no Start-menu entry for every user";
        EXPECT_EQ(shortcut->target, program);
        EXPECT_EQ(shortcut->arguments, L"") << "the Start-menu entry starts folder mode";

        TempDir temp;
        EXPECT_EQ(
            RunCommand(Quoted(folder / L"quorvel-cli.exe") + L" --version", temp / "version.txt"),
            0u);
        const Bytes said = ReadFileBytes(temp / "version.txt");
        EXPECT_EQ(std::string(said.begin(), said.end()).rfind("quorvel-cli " + Utf8(version), 0),
                  0u)
            << std::string(said.begin(), said.end());
    }

    std::filesystem::path m_installer;
    std::set<std::wstring> m_before;
    // A folder to install into, removed only after TearDown has uninstalled what is in it.
    TempDir m_temp;
};

TEST_F(WindowsInstaller, InstallsForEveryUserStartsFromTheMenuAndOpenWithAndUninstalls) {
    ASSERT_EQ(Install(m_installer), 0u);
    const std::filesystem::path folder = KnownFolder(FOLDERID_ProgramFiles) / L"Quorvel";
    ExpectInstallation(folder, kVersion);
    EXPECT_EQ(ReadString(kMachine, kExtension, L""), std::nullopt)
        << ".ace must not be made to open with Quorvel without the user's choice";

    // The Start-menu entry: the folder dialog, which its close box cancels, then the main
    // window, which its close box closes.
    {
        HANDLE process =
            ShellOpen(KnownFolder(FOLDERID_CommonPrograms) / L"Quorvel.lnk", kDialogClass);
        ASSERT_NE(process, nullptr)
            << "the Start-menu entry starts nothing: error " << GetLastError();
        Program program(process);
        HWND dialog = program.WaitForWindow(kDialogClass, L"Select Start folder");
        ASSERT_NE(dialog, nullptr) << "no folder dialog";
        PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        HWND window = program.WaitForWindow(kMainClass);
        ASSERT_NE(window, nullptr) << "no main window after the folder dialog";
        EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(GetDlgItem(window, IDOK)) != FALSE; }));
        PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        DWORD code = 1;
        EXPECT_TRUE(program.WaitForExit(30s, &code));
        EXPECT_EQ(code, 0u);
    }

    // "Open with" Quorvel on a texture whose name has a blank: single-file mode compresses it,
    // and the installed batch command finds it sound.
    {
        TempDir temp;
        const std::filesystem::path texture = temp / L"brick wall.ace";
        const Bytes input = MakeTexture(0, CompressibleBytes(100'000));
        WriteFileBytes(texture, input);
        HANDLE process = ShellOpen(texture, kMainClass, kFileClass);
        ASSERT_NE(process, nullptr) << "Quorvel.Texture opens nothing: error " << GetLastError();
        Program program(process);
        HWND window = program.WaitForWindow(kMainClass);
        ASSERT_NE(window, nullptr) << "no main window";
        EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(GetDlgItem(window, IDOK)) != FALSE; }));
        EXPECT_EQ(ReadFileBytes(texture), ExpectedRewrite(input));
        EXPECT_EQ(
            RunCommand(Quoted(folder / L"quorvel-cli.exe") + L" -q --verify " + Quoted(texture)),
            0u);
        PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        DWORD code = 1;
        EXPECT_TRUE(program.WaitForExit(30s, &code));
        EXPECT_EQ(code, 0u);
    }

    // A file of the user's in the program's folder stays, and with it the folder.
    WriteFileBytes(folder / L"notes.txt", CompressibleBytes(10));
    ASSERT_TRUE(Uninstall());
    EXPECT_EQ(NamesIn(folder), std::set<std::wstring>{L"notes.txt"});
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

// Another program's association of .ace (a default class and an "Open with" entry of its own)
// stays as it was while Quorvel is installed, and after.
TEST_F(WindowsInstaller, LeavesTheProgramTexturesOpenWithAsItIs) {
    const std::wstring otherClass = L"Software\\Classes\\Other.Texture";
    struct OtherProgram {
        OtherProgram(const std::wstring& otherClass) : m_class(otherClass) {
            WriteString(kMachine, kExtension, L"", L"Other.Texture");
            WriteString(kMachine, kOpenWith, L"Other.Texture", L"");
            WriteString(kMachine, m_class + L"\\shell\\open\\command", L"",
                        L"\"C:\\Other\\other.exe\" \"%1\"");
        }
        ~OtherProgram() {
            DeleteTree(kMachine, kExtension);
            DeleteTree(kMachine, m_class);
        }
        std::wstring m_class;
    } other(otherClass);

    ASSERT_EQ(Install(m_installer), 0u);
    EXPECT_EQ(ReadString(kMachine, kExtension, L""), L"Other.Texture");
    EXPECT_EQ(ReadString(kMachine, kOpenWith, L"Other.Texture"), L"");
    EXPECT_EQ(ValueType(kMachine, kOpenWith, kFileClass), static_cast<DWORD>(REG_NONE));

    ASSERT_TRUE(Uninstall());
    EXPECT_EQ(ReadString(kMachine, kExtension, L""), L"Other.Texture");
    EXPECT_EQ(ReadString(kMachine, kOpenWith, L"Other.Texture"), L"");
    EXPECT_EQ(ValueType(kMachine, kOpenWith, kFileClass), std::nullopt);
    EXPECT_EQ(ReadString(kMachine, otherClass + L"\\shell\\open\\command", L""),
              L"\"C:\\Other\\other.exe\" \"%1\"");
}

TEST_F(WindowsInstaller, ReplacesAnOlderVersionWhereItWasWithoutASecondEntry) {
    const std::filesystem::path older = Environment(L"QUORVEL_OLDER_INSTALLER");
    const std::wstring olderVersion = Environment(L"QUORVEL_OLDER_VERSION");
    ASSERT_FALSE(older.empty() || olderVersion.empty())
        << "QUORVEL_OLDER_INSTALLER and QUORVEL_OLDER_VERSION name no older installer";
    const std::filesystem::path folder = m_temp / L"My Tools" / L"Quorvel";

    // /D= comes last and unquoted, blanks and all.
    ASSERT_EQ(Install(older, L" /D=" + folder.wstring()), 0u);
    EXPECT_EQ(ReadString(kMachine, kProgramEntry, L"DisplayVersion"), olderVersion);
    ASSERT_NE(NamesIn(folder), kInstalledFiles)
        << "the older installer must carry a file the newer one doesn't";

    ASSERT_EQ(Install(m_installer), 0u);
    ExpectInstallation(folder, kVersion);
    int entries = 0;
    for (const std::wstring& key : SubkeysOf(kMachine, kProgramList))
        if (ReadString(kMachine, kProgramList + L"\\" + key, L"DisplayName") == L"Quorvel")
            ++entries;
    EXPECT_EQ(entries, 1);
    EXPECT_FALSE(std::filesystem::exists(KnownFolder(FOLDERID_ProgramFiles) / L"Quorvel"));

    ASSERT_TRUE(Uninstall());
    EXPECT_FALSE(std::filesystem::exists(folder));
}

} // namespace
} // namespace quorvel::test
