#include "Registry.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace quorvel::test {
namespace {

// An open key, closed when it goes out of scope.
class OpenKey {
public:
    OpenKey(HKEY root, const std::wstring& key) {
        if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &m_key) != ERROR_SUCCESS)
            m_key = nullptr;
    }
    ~OpenKey() {
        if (m_key)
            RegCloseKey(m_key);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;

    explicit operator bool() const { return m_key != nullptr; }
    HKEY get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

struct Value {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

std::optional<Value> ReadValue(HKEY root, const std::wstring& key, const std::wstring& name) {
    OpenKey open(root, key);
    if (!open)
        return std::nullopt;
    Value value;
    DWORD size = 0;
    if (RegQueryValueExW(open.get(), name.c_str(), nullptr, &value.type, nullptr, &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    value.data.resize(size);
    if (RegQueryValueExW(open.get(), name.c_str(), nullptr, &value.type, value.data.data(),
                         &size) != ERROR_SUCCESS)
        return std::nullopt;
    value.data.resize(size);
    return value;
}

// A string value's text, without the terminating null(s) the data may or may not carry.
std::wstring TextOf(const Value& value) {
    std::wstring text(value.data.size() / sizeof(wchar_t), L'\0');
    if (!text.empty())
        std::memcpy(text.data(), value.data.data(), text.size() * sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0')
        text.pop_back();
    return text;
}

std::wstring Describe(const Value& value) {
    if (value.type == REG_SZ || value.type == REG_EXPAND_SZ)
        return L"type " + std::to_wstring(value.type) + L" \"" + TextOf(value) + L"\"";
    std::wstring text = L"type " + std::to_wstring(value.type);
    for (BYTE byte : value.data) {
        wchar_t hex[4];
        std::swprintf(hex, 4, L" %02x", byte);
        text += hex;
    }
    return text;
}

// One call per value, with buffers as large as the key's largest name and data: under Wine each
// registry call is a round trip to its server, and a branch holds tens of thousands of values.
void Dump(HKEY key, const std::wstring& path, const std::wstring& relative,
          const std::vector<std::wstring>& skipped, int depth, std::set<std::wstring>& lines) {
    lines.insert(path);
    DWORD subkeys = 0, longestSubkey = 0, values = 0, longestName = 0, largestData = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &longestSubkey, nullptr, &values,
                         &longestName, &largestData, nullptr, nullptr) != ERROR_SUCCESS)
        return;
    std::wstring name(longestName + 1, L'\0');
    for (DWORD index = 0; index < values; ++index) {
        auto length = static_cast<DWORD>(name.size());
        Value value{REG_NONE, std::vector<BYTE>(largestData)};
        auto size = static_cast<DWORD>(value.data.size());
        if (RegEnumValueW(key, index, name.data(), &length, nullptr, &value.type, value.data.data(),
                          &size) != ERROR_SUCCESS)
            continue;
        value.data.resize(size);
        lines.insert(path + L": " + name.substr(0, length) + L" = " + Describe(value));
    }
    if (depth == 0)
        return;
    std::wstring subkey(longestSubkey + 1, L'\0');
    for (DWORD index = 0; index < subkeys; ++index) {
        auto length = static_cast<DWORD>(subkey.size());
        if (RegEnumKeyExW(key, index, subkey.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            continue;
        const std::wstring child = subkey.substr(0, length);
        const std::wstring childRelative = relative + L"\\" + child;
        if (std::any_of(skipped.begin(), skipped.end(), [&](const std::wstring& skip) {
                return _wcsicmp(skip.c_str(), childRelative.c_str()) == 0;
            }))
            continue;
        OpenKey open(key, child);
        if (open)
            Dump(open.get(), path + L"\\" + child, childRelative, skipped, depth - 1, lines);
    }
}

} // namespace

bool KeyExists(HKEY root, const std::wstring& key) {
    return static_cast<bool>(OpenKey(root, key));
}

std::optional<std::wstring> ReadString(HKEY root, const std::wstring& key,
                                       const std::wstring& name) {
    const auto value = ReadValue(root, key, name);
    if (!value || (value->type != REG_SZ && value->type != REG_EXPAND_SZ))
        return std::nullopt;
    return TextOf(*value);
}

std::optional<DWORD> ReadDword(HKEY root, const std::wstring& key, const std::wstring& name) {
    const auto value = ReadValue(root, key, name);
    if (!value || value->type != REG_DWORD || value->data.size() != sizeof(DWORD))
        return std::nullopt;
    DWORD number = 0;
    std::memcpy(&number, value->data.data(), sizeof number);
    return number;
}

std::optional<DWORD> ValueType(HKEY root, const std::wstring& key, const std::wstring& name) {
    const auto value = ReadValue(root, key, name);
    if (!value)
        return std::nullopt;
    return value->type;
}

std::vector<std::wstring> SubkeysOf(HKEY root, const std::wstring& key) {
    std::vector<std::wstring> names;
    OpenKey open(root, key);
    if (!open)
        return names;
    std::wstring name(256, L'\0');
    for (DWORD index = 0;; ++index) {
        auto length = static_cast<DWORD>(name.size());
        if (RegEnumKeyExW(open.get(), index, name.data(), &length, nullptr, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS)
            break;
        names.push_back(name.substr(0, length));
    }
    return names;
}

void WriteString(HKEY root, const std::wstring& key, const std::wstring& name,
                 const std::wstring& value) {
    HKEY created = nullptr;
    LSTATUS status =
        RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &created, nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExW(created, name.c_str(), 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(created);
    }
    if (status != ERROR_SUCCESS)
        throw std::runtime_error("cannot write a registry value: error " + std::to_string(status));
}

void DeleteTree(HKEY root, const std::wstring& key) {
    RegDeleteTreeW(root, key.c_str());
    RegDeleteKeyW(root, key.c_str());
}

void DumpTree(HKEY root, const std::wstring& rootName, const std::wstring& key,
              std::set<std::wstring>& lines, const std::vector<std::wstring>& skipped) {
    OpenKey open(root, key);
    // Deep enough for any real branch; a key that links back into its own branch can't loop.
    if (open)
        Dump(open.get(), rootName + L"\\" + key, key, skipped, 32, lines);
}

} // namespace quorvel::test
