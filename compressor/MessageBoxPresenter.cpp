#include "MessageBoxPresenter.h"

#include <iostream>
#include <mutex>
#include <utility>

namespace quorvel {
namespace {

// UTF-8 for the terminal; an unpaired surrogate becomes U+FFFD.
std::string ToUtf8(const std::u16string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00u);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        const auto put = [&out](char32_t bits) { out.push_back(static_cast<char>(bits)); };
        if (c < 0x80) {
            put(c);
        } else if (c < 0x800) {
            put(0xC0 | (c >> 6));
            put(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            put(0xE0 | (c >> 12));
            put(0x80 | ((c >> 6) & 0x3F));
            put(0x80 | (c & 0x3F));
        } else {
            put(0xF0 | (c >> 18));
            put(0x80 | ((c >> 12) & 0x3F));
            put(0x80 | ((c >> 6) & 0x3F));
            put(0x80 | (c & 0x3F));
        }
    }
    return out;
}

class StandardErrorPresenter : public MessageBoxPresenter {
public:
    void ShowInformation(const std::u16string& title, const std::u16string& text) override {
        std::cerr << ToUtf8(title) << "\n\n" << ToUtf8(text) << std::endl;
    }
};

std::mutex g_mutex;
std::shared_ptr<MessageBoxPresenter> g_installed;

} // namespace

std::shared_ptr<MessageBoxPresenter>
SetMessageBoxPresenter(std::shared_ptr<MessageBoxPresenter> presenter) {
    const std::lock_guard lock(g_mutex);
    return std::exchange(g_installed, std::move(presenter));
}

std::shared_ptr<MessageBoxPresenter> CurrentMessageBoxPresenter() {
    static const auto fallback = std::make_shared<StandardErrorPresenter>();
    const std::lock_guard lock(g_mutex);
    return g_installed ? g_installed : fallback;
}

} // namespace quorvel
