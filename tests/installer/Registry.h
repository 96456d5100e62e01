#pragma once
// The registry as the installer's tests see it: reading one value, listing a key, writing the
// keys another program would have, and taking a whole branch down as text to compare before and
// after. Keys are named below a root (HKEY_LOCAL_MACHINE...) with backslashes, as regedit shows
// them; a test program is 64-bit, so it sees the registry's 64-bit view, as the installer does.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <optional>
#include <set>
#include <string>
#include <vector>
#include <windows.h>

namespace quorvel::test {

bool KeyExists(HKEY root, const std::wstring& key);

// A value of type REG_SZ (or REG_EXPAND_SZ, unexpanded); nothing when it is missing or of
// another type. An empty `name` reads the key's default value.
std::optional<std::wstring> ReadString(HKEY root, const std::wstring& key,
                                       const std::wstring& name);
// A REG_DWORD value; nothing when it is missing or of another type.
std::optional<DWORD> ReadDword(HKEY root, const std::wstring& key, const std::wstring& name);
// The type of a value (REG_NONE, REG_SZ...); nothing when there is no such value.
std::optional<DWORD> ValueType(HKEY root, const std::wstring& key, const std::wstring& name);

// Names of the subkeys directly below `key`; none when it is missing.
std::vector<std::wstring> SubkeysOf(HKEY root, const std::wstring& key);

// Creates the key as needed and sets a REG_SZ value. Throws std::runtime_error on failure.
void WriteString(HKEY root, const std::wstring& key, const std::wstring& name,
                 const std::wstring& value);
// Removes the key with everything below it; a missing key is no error.
void DeleteTree(HKEY root, const std::wstring& key);

// Every key and value below `key` (`rootName` stands for `root`), one line each:
// "HKLM\Software\X" for a key, "HKLM\Software\X: name = type data" for a value, strings as
// text and other data as hex bytes; the keys named in `skipped` (below `root`, as `key` is) are
// left out with everything below them. Two lists compare equal when nothing there was added,
// removed or changed.
void DumpTree(HKEY root, const std::wstring& rootName, const std::wstring& key,
              std::set<std::wstring>& lines, const std::vector<std::wstring>& skipped = {});

} // namespace quorvel::test
