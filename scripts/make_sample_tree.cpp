// quorvel-make-sample: writes a small folder tree of generated texture files to try the window
// program on (`make run` starts it in such a tree).
//
// Every texture is made up here: a 16-byte header whose byte 7 (the compression marker) is 0x40
// or below, then a payload of RGBA pixels with smooth gradients, tiles and a little noise, so
// zlib shrinks it to a fraction as it would a real texture. The tree mixes in what the folder
// walk must pass over: names that only look like textures, one read-only texture and one that
// is already compressed (marker 0x46, size, "@@@@", zlib stream). Output is the same on every run.
//
// Usage: quorvel-make-sample FOLDER   (FOLDER must not exist yet or be empty)

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>
#include <zlib.h>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

enum class Kind { Plain, ReadOnly, AlreadyCompressed, Decoy };

struct SampleFile {
    const char* path;
    int width; // pixels; the payload is width * height * 4 bytes
    int height;
    std::uint32_t seed;
    Kind kind;
};

// The tree: eleven names ending in .ace in some case, of which nine are compressible, and
// three decoys.
constexpr std::array<SampleFile, 14> Tree{{
    {"readme.txt", 0, 0, 0, Kind::Decoy},
    {"ground/grass.ACE", 128, 128, 1, Kind::Plain},
    {"ground/gravel.ace", 128, 64, 2, Kind::Plain},
    {"ground/Sand.Ace", 64, 64, 3, Kind::Plain},
    {"ground/detail/moss.ACE", 256, 128, 4, Kind::Plain},
    {"ground/detail/speck.ace", 8, 8, 5, Kind::Plain},
    {"buildings/brick_wall.ACE", 256, 256, 6, Kind::Plain},
    {"buildings/roof_tiles.ace", 128, 128, 7, Kind::Plain},
    {"buildings/window_lit.ACE", 64, 128, 8, Kind::ReadOnly},
    {"buildings/old/door.ace", 64, 128, 9, Kind::AlreadyCompressed},
    {"buildings/old/door_notes.aces", 0, 0, 0, Kind::Decoy},
    {"sky/clouds.ACE", 256, 64, 10, Kind::Plain},
    {"sky/stars.ace", 128, 128, 11, Kind::Plain},
    {"sky/ace", 0, 0, 0, Kind::Decoy},
}};

// xorshift32: a fixed noise source, so every run writes the same bytes.
std::uint32_t NextRandom(std::uint32_t& state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

std::uint8_t Channel(int value) {
    return static_cast<std::uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

Bytes MakePixels(const SampleFile& file) {
    Bytes pixels;
    pixels.reserve(static_cast<std::size_t>(file.width) * static_cast<std::size_t>(file.height) *
                   4);
    std::uint32_t state = 0x9e3779b9u * (file.seed + 1);
    for (int y = 0; y < file.height; ++y) {
        for (int x = 0; x < file.width; ++x) {
            const bool tile = ((x / 16) + (y / 8)) % 2 == 0;
            const int noise = static_cast<int>(NextRandom(state) % 8);
            const int base = static_cast<int>(file.seed * 37 % 128);
            pixels.push_back(Channel(base + x / 2 + noise));
            pixels.push_back(Channel(base / 2 + y + (tile ? 24 : 0)));
            pixels.push_back(Channel(200 - base + (x + y) / 4));
            pixels.push_back(255);
        }
    }
    return pixels;
}

void PutLittleEndian(Bytes& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// The 16 header bytes of an uncompressed texture: a made-up format tag in bytes 0 to 6, byte 7
// (the marker) 0x40, then width and height.
Bytes MakeHeader(const SampleFile& file) {
    Bytes header{'Q', 'V', 'T', 'E', 'X', '0', '1', 0x40};
    PutLittleEndian(header, static_cast<std::uint32_t>(file.width));
    PutLittleEndian(header, static_cast<std::uint32_t>(file.height));
    return header;
}

// The file as the window program would leave it after compressing it.
bool MakeCompressed(const SampleFile& file, const Bytes& pixels, Bytes& out) {
    uLongf capacity = compressBound(static_cast<uLong>(pixels.size()));
    Bytes stream(capacity);
    if (compress(stream.data(), &capacity, pixels.data(), static_cast<uLong>(pixels.size())) !=
        Z_OK)
        return false;
    stream.resize(capacity);
    out = MakeHeader(file);
    out.resize(8);
    out[7] = 0x46;
    PutLittleEndian(out, static_cast<std::uint32_t>(pixels.size()));
    out.insert(out.end(), {'@', '@', '@', '@'});
    out.insert(out.end(), stream.begin(), stream.end());
    return true;
}

bool WriteFile(const fs::path& path, const Bytes& contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(contents.data()),
              static_cast<std::streamsize>(contents.size()));
    out.close();
    return static_cast<bool>(out);
}

bool MakeSample(const fs::path& root, const SampleFile& file) {
    const fs::path path = root / file.path;
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    if (error) {
        std::fprintf(stderr, "quorvel-make-sample: cannot create folder %s: %s\n",
                     path.parent_path().string().c_str(), error.message().c_str());
        return false;
    }

    Bytes contents;
    if (file.kind == Kind::Decoy) {
        const std::string text = "Not a texture: the folder walk passes this file over.\n";
        contents.assign(text.begin(), text.end());
    } else {
        const Bytes pixels = MakePixels(file);
        if (file.kind == Kind::AlreadyCompressed) {
            if (!MakeCompressed(file, pixels, contents)) {
                std::fprintf(stderr, "quorvel-make-sample: zlib failed on %s\n",
                             path.string().c_str());
                return false;
            }
        } else {
            contents = MakeHeader(file);
            contents.insert(contents.end(), pixels.begin(), pixels.end());
        }
    }
    if (!WriteFile(path, contents)) {
        std::fprintf(stderr, "quorvel-make-sample: cannot write %s\n", path.string().c_str());
        return false;
    }
    if (file.kind == Kind::ReadOnly) {
        fs::permissions(path,
                        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove, error);
        if (error) {
            std::fprintf(stderr, "quorvel-make-sample: cannot make %s read-only: %s\n",
                         path.string().c_str(), error.message().c_str());
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quorvel-make-sample FOLDER\n"
                             "Writes a small tree of generated texture files into FOLDER, which "
                             "must not exist yet or be empty.\n");
        return 2;
    }
    const fs::path root = argv[1];
    std::error_code error;
    if (fs::exists(root, error) && !fs::is_empty(root, error)) {
        std::fprintf(stderr, "quorvel-make-sample: %s is not empty; remove it first\n", argv[1]);
        return 1;
    }
    for (const SampleFile& file : Tree) {
        if (!MakeSample(root, file))
            return 1;
    }
    std::printf("quorvel-make-sample: wrote %zu files under %s\n", Tree.size(), argv[1]);
    return 0;
}
