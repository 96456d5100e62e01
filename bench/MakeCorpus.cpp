// quorvel-bench-corpus: writes a deterministic texture tree for the benchmark.
//
// The same seed and size always give the same tree, byte for byte. Texture payloads imitate
// what real game textures hold: raw 32- and 24-bit pixels with a full mip chain, made from a
// smooth, photo-like field (a few low-frequency waves, a gradient and a little grain), plus
// about a fifth of block-compressed-like data (two smooth endpoint colours and dense index bits
// per 4x4 block) that deflate barely shrinks. Around the textures sit the things a real tree
// has: about forty folders several levels deep, mixed-case names, decoys that are not
// candidates ("notes.aces", "ace", "readme.txt"), read-only textures and textures that are
// already compressed.
//
// A second mode writes many small textures of one size into a few folders, for the per-file
// overhead benchmark.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>
#include <zlib.h>

namespace fs = std::filesystem;

namespace {

// splitmix64: small, fast and the same on every platform, which is all the corpus needs.
class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // Uniform in [0, n).
    std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>((Next() >> 32) % n); }
    double Unit() { return static_cast<double>(Next() >> 11) / 9007199254740992.0; }

private:
    std::uint64_t m_state;
};

using Bytes = std::vector<std::uint8_t>;

constexpr std::array kFolderWords = {"Textures", "Props",   "Terrain", "Characters", "Vehicles",
                                     "Scenery",  "Weapons", "Foliage", "Bridges",    "Buildings",
                                     "Trees",    "Water",   "Roads",   "Sky",        "Interior",
                                     "Effects",  "Armor",   "Rocks",   "Detail",     "Night"};
constexpr std::array kFileWords = {"brick",  "Metal", "stone", "GRASS", "roof",  "Window",
                                   "wheel",  "Crate", "door",  "Sign",  "lamp",  "floor",
                                   "gravel", "Fence", "tree",  "Cloud", "panel", "Concrete"};
constexpr std::array kExtensions = {".ace", ".ACE", ".Ace", ".aCe", ".acE"};

std::uint8_t Clamp(double v) {
    return static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
}

// One smooth channel field of w x h: waves along both axes and a diagonal, a gradient, and
// grain of a couple of levels, which is what keeps photographs from compressing to nothing.
std::vector<double> SmoothField(Random& random, int w, int h) {
    const double fx = 1.0 + random.Unit() * 6.0;
    const double fy = 1.0 + random.Unit() * 6.0;
    const double fd = 2.0 + random.Unit() * 10.0;
    const double base = 60.0 + random.Unit() * 120.0;
    const double amp = 20.0 + random.Unit() * 40.0;
    const double pi2 = 6.283185307179586;
    std::vector<double> row(static_cast<std::size_t>(w));
    std::vector<double> col(static_cast<std::size_t>(h));
    for (int x = 0; x < w; ++x)
        row[static_cast<std::size_t>(x)] = amp * std::sin(pi2 * fx * x / w);
    for (int y = 0; y < h; ++y)
        col[static_cast<std::size_t>(y)] = amp * 0.7 * std::sin(pi2 * fy * y / h) + 20.0 * y / h;
    std::vector<double> field(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double diagonal = 10.0 * std::sin(pi2 * fd * (x + y) / (w + h));
            // Sensor-like grain: most pixels exact, some one level off.
            const std::uint32_t r = random.Below(8);
            const double grain = r == 0 ? -1.0 : (r == 1 ? 1.0 : 0.0);
            field[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) +
                  static_cast<std::size_t>(x)] = base + row[static_cast<std::size_t>(x)] +
                                                 col[static_cast<std::size_t>(y)] + diagonal +
                                                 grain;
        }
    }
    return field;
}

// Raw pixels with `channels` bytes each, top level followed by every mip level down to 1x1,
// each level the 2x2 box average of the one above.
Bytes RawPixelsWithMips(Random& random, int w, int h, int channels) {
    std::vector<Bytes> planes;
    Bytes level(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) *
                static_cast<std::size_t>(channels));
    for (int c = 0; c < channels; ++c) {
        const std::vector<double> field = SmoothField(random, w, h);
        for (std::size_t i = 0; i < field.size(); ++i)
            level[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] =
                c == 3 ? Clamp(field[i] * 0.2 + 200.0) : Clamp(field[i]);
    }
    Bytes out = level;
    int lw = w;
    int lh = h;
    while (lw > 1 || lh > 1) {
        const int nw = std::max(1, lw / 2);
        const int nh = std::max(1, lh / 2);
        Bytes next(static_cast<std::size_t>(nw) * static_cast<std::size_t>(nh) *
                   static_cast<std::size_t>(channels));
        for (int y = 0; y < nh; ++y) {
            for (int x = 0; x < nw; ++x) {
                for (int c = 0; c < channels; ++c) {
                    int sum = 0;
                    for (int dy = 0; dy < 2; ++dy) {
                        for (int dx = 0; dx < 2; ++dx) {
                            const int sx = std::min(lw - 1, x * 2 + dx);
                            const int sy = std::min(lh - 1, y * 2 + dy);
                            sum +=
                                level[(static_cast<std::size_t>(sy) * static_cast<std::size_t>(lw) +
                                       static_cast<std::size_t>(sx)) *
                                          static_cast<std::size_t>(channels) +
                                      static_cast<std::size_t>(c)];
                        }
                    }
                    next[(static_cast<std::size_t>(y) * static_cast<std::size_t>(nw) +
                          static_cast<std::size_t>(x)) *
                             static_cast<std::size_t>(channels) +
                         static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(sum / 4);
                }
            }
        }
        out.insert(out.end(), next.begin(), next.end());
        level = std::move(next);
        lw = nw;
        lh = nh;
    }
    return out;
}

// Block-compressed-like data: 8 bytes per 4x4 block (two RGB565 endpoints that drift slowly
// across the image, then 32 bits of indices that are close to random), with mips.
Bytes BlockPixelsWithMips(Random& random, int w, int h) {
    Bytes out;
    int lw = w;
    int lh = h;
    std::uint16_t colour = static_cast<std::uint16_t>(random.Below(65536));
    for (;;) {
        const int blocks = std::max(1, lw / 4) * std::max(1, lh / 4);
        for (int b = 0; b < blocks; ++b) {
            if (random.Below(4) == 0)
                colour = static_cast<std::uint16_t>(colour + random.Below(65) - 32);
            const auto c1 = static_cast<std::uint16_t>(colour + random.Below(2048));
            out.push_back(static_cast<std::uint8_t>(c1 & 0xFF));
            out.push_back(static_cast<std::uint8_t>(c1 >> 8));
            out.push_back(static_cast<std::uint8_t>(colour & 0xFF));
            out.push_back(static_cast<std::uint8_t>(colour >> 8));
            const std::uint64_t indices = random.Next();
            for (int i = 0; i < 4; ++i)
                out.push_back(static_cast<std::uint8_t>(indices >> (8 * i)));
        }
        if (lw == 1 && lh == 1)
            break;
        lw = std::max(1, lw / 2);
        lh = std::max(1, lh / 2);
    }
    return out;
}

// 16 header bytes: a signature, the pixel format, byte 7 at or below 0x40 (not compressed),
// then width and height.
Bytes Header(int w, int h, std::uint8_t format, std::uint8_t marker) {
    Bytes header = {'Q', 'T', 'E', 'X', '0', '1', format, marker};
    for (int v : {w, h})
        for (int i = 0; i < 4; ++i)
            header.push_back(static_cast<std::uint8_t>(static_cast<unsigned>(v) >> (8 * i)));
    return header;
}

// The compressed layout: header bytes 0..6, marker 'F', payload size, "@@@@", zlib stream.
Bytes CompressedFile(const Bytes& header, const Bytes& payload) {
    uLongf destLen = compressBound(static_cast<uLong>(payload.size()));
    Bytes stream(destLen);
    if (compress(stream.data(), &destLen, payload.data(), static_cast<uLong>(payload.size())) !=
        Z_OK) {
        std::fprintf(stderr, "zlib compress failed\n");
        std::exit(1);
    }
    stream.resize(destLen);
    Bytes out(header.begin(), header.begin() + 7);
    out.push_back('F');
    const auto n = static_cast<std::uint32_t>(payload.size());
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
    out.insert(out.end(), 4, '@');
    out.insert(out.end(), stream.begin(), stream.end());
    return out;
}

void WriteFile(const fs::path& path, const Bytes& a, const Bytes& b = {}) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(a.data()), static_cast<std::streamsize>(a.size()));
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

std::vector<fs::path> MakeFolders(Random& random, const fs::path& root, int count) {
    std::vector<fs::path> folders = {root};
    while (static_cast<int>(folders.size()) < count) {
        // Pick a parent among the existing folders, so the tree grows both wide and deep.
        const fs::path& parent = folders[random.Below(static_cast<std::uint32_t>(folders.size()))];
        std::string name = kFolderWords[random.Below(kFolderWords.size())];
        name += std::to_string(folders.size());
        if (random.Below(3) == 0)
            std::transform(name.begin(), name.end(), name.begin(), ::toupper);
        folders.push_back(parent / name);
    }
    for (const fs::path& folder : folders)
        fs::create_directories(folder);
    return folders;
}

// Picks texture dimensions so sizes run from 16 KiB up to several MiB, most of them small.
void PickDimensions(Random& random, int& w, int& h) {
    static constexpr std::array kSides = {64, 64, 128, 128, 128, 256, 256, 256, 512, 512, 1024};
    w = kSides[random.Below(kSides.size())];
    h = w;
    if (w > 64 && random.Below(4) == 0)
        h = w / 2;
}

int MakeTextureTree(const fs::path& root, std::uint64_t targetBytes, std::uint64_t seed) {
    Random random(seed);
    const std::vector<fs::path> folders = MakeFolders(random, root, 40);
    std::uint64_t written = 0;
    int files = 0;
    while (written < targetBytes) {
        const fs::path& folder = folders[random.Below(static_cast<std::uint32_t>(folders.size()))];
        std::string name = kFileWords[random.Below(kFileWords.size())];
        name += '_';
        name += std::to_string(files);
        int w = 0;
        int h = 0;
        PickDimensions(random, w, h);
        const std::uint32_t kind = random.Below(20);
        Bytes payload;
        std::uint8_t format = 0;
        if (kind < 4) { // about a fifth: block-compressed-like, 4 bits a pixel
            w = std::max(256, w * 2);
            h = std::max(128, h * 2);
            payload = BlockPixelsWithMips(random, w, h);
            format = 0x12;
        } else if (kind < 12) {
            payload = RawPixelsWithMips(random, w, h, 4);
            format = 0x0E;
        } else {
            payload = RawPixelsWithMips(random, w, h, 3);
            format = 0x0B;
        }
        const Bytes header = Header(w, h, format, random.Below(2) == 0 ? 0x40 : 0x00);
        const fs::path path = folder / (name + kExtensions[random.Below(kExtensions.size())]);
        const std::uint32_t role = random.Below(25);
        if (role == 0) {
            WriteFile(path, CompressedFile(header, payload));
        } else {
            WriteFile(path, header, payload);
            if (role == 1) // read-only: the walk passes it over
                fs::permissions(path, fs::perms::owner_read | fs::perms::group_read |
                                          fs::perms::others_read);
        }
        written += header.size() + payload.size();
        ++files;
        // A decoy now and then: names that are not candidates, holding texture-like bytes.
        if (random.Below(8) == 0) {
            static constexpr std::array kDecoys = {".aces", ".txt", ".ace.bak", ""};
            const std::string decoy = kDecoys[random.Below(kDecoys.size())];
            WriteFile(folder / (decoy.empty() ? std::string("ace") : name + decoy), header,
                      Bytes(payload.begin(),
                            payload.begin() + static_cast<std::ptrdiff_t>(
                                                  std::min<std::size_t>(payload.size(), 8192))));
        }
    }
    std::printf("%d textures, %llu bytes, %zu folders in %s\n", files,
                static_cast<unsigned long long>(written), folders.size(), root.c_str());
    return 0;
}

int MakeSmallFiles(const fs::path& root, int count, std::size_t size, std::uint64_t seed) {
    Random random(seed);
    const std::vector<fs::path> folders = MakeFolders(random, root, 10);
    for (int i = 0; i < count; ++i) {
        // 32x32 RGBA with mips is 5460 bytes; cut or pad the pixels to the requested size.
        Bytes payload = RawPixelsWithMips(random, 32, 32, 4);
        payload.resize(size > 16 ? size - 16 : 1);
        const fs::path& folder = folders[static_cast<std::size_t>(i) % folders.size()];
        WriteFile(folder / ("tile_" + std::to_string(i) + kExtensions[random.Below(2)]),
                  Header(32, 32, 0x0E, 0x40), payload);
    }
    std::printf("%d textures of %zu bytes in %s\n", count, size, root.c_str());
    return 0;
}

int Usage() {
    std::fprintf(stderr, "usage: quorvel-bench-corpus OUTDIR [--size-mb N] [--seed N]\n"
                         "       quorvel-bench-corpus OUTDIR --small N [--file-size BYTES]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return Usage();
    const fs::path root = argv[1];
    std::uint64_t sizeMb = 300;
    std::uint64_t seed = 20240601;
    int small = 0;
    std::size_t fileSize = 4096;
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const unsigned long long value = std::strtoull(argv[i + 1], nullptr, 10);
        if (option == "--size-mb")
            sizeMb = value;
        else if (option == "--seed")
            seed = value;
        else if (option == "--small")
            small = static_cast<int>(value);
        else if (option == "--file-size")
            fileSize = static_cast<std::size_t>(value);
        else
            return Usage();
    }
    if (fs::exists(root) && !fs::is_empty(root)) {
        std::fprintf(stderr, "%s exists and is not empty\n", root.c_str());
        return 1;
    }
    if (small > 0)
        return MakeSmallFiles(root, small, fileSize, seed);
    return MakeTextureTree(root, sizeMb * 1024 * 1024, seed);
}
