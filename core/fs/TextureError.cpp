#include "TextureError.h"

#include <cerrno>

namespace quorvel {
namespace {

class TextureCategoryImpl : public std::error_category {
public:
    const char* name() const noexcept override { return "quorvel texture"; }

    std::string message(int value) const override {
        switch (static_cast<TextureErrc>(value)) {
        case TextureErrc::FileTooShort:
            return "File too short to hold a texture payload";
        case TextureErrc::PayloadTooLarge:
            return "File too large";
        case TextureErrc::FileChanged:
            return "File was changed by another program while it was being compressed";
        case TextureErrc::HardLinked:
            return "File has other hard links";
        case TextureErrc::NotRegularFile:
            return "Not a regular file";
        case TextureErrc::InUse:
            return "File is in use by another program";
        case TextureErrc::CompressedMeanwhile:
            return "Another program compressed the file meanwhile";
        case TextureErrc::DamagedStream:
            return "The compressed data is damaged";
        case TextureErrc::Unexpected:
            return "Unexpected internal failure";
        case TextureErrc::Encrypted:
            return "File is encrypted by the file system";
        }
        return "Unknown texture error " + std::to_string(value);
    }
};

} // namespace

const std::error_category& TextureCategory() noexcept {
    static const TextureCategoryImpl category;
    return category;
}

std::error_code make_error_code(TextureErrc reason) noexcept {
    return {static_cast<int>(reason), TextureCategory()};
}

std::error_code LastError() noexcept {
    return ErrorFromErrno(errno != 0 ? errno : EIO);
}

} // namespace quorvel
