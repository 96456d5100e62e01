// fuzz_seeds FOLDER: writes the seed corpus of every fuzz target, FOLDER/<target>/<case>.
//
// Each seed is a small input of the target's format that reaches one road through the code: a
// sound file and each kind of damage the verifier names, every call of the compression
// component with OrigSize just right, one short and out of range, a realistic mount table with
// escapes, pseudo mounts and a mount over another, Windows command lines with quoted and
// unquoted program names, names with control characters and bytes that aren't UTF-8. libFuzzer
// mutates from there. Compressed seeds are made with the zlib linked here, at build time.

#include "FileContents.h"
#include "TextureFormat.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>
#include <zlib.h>

namespace {

using namespace quorvel;
using test::Bytes;
using test::CompressibleBytes;
using test::RandomBytes;
using test::ZlibCompress;

Bytes Text(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A zlib stream of `data` at `level`, optionally needing a preset dictionary.
Bytes Deflate(const Bytes& data, int level, const Bytes& dictionary = {}) {
    z_stream z{};
    if (deflateInit(&z, level) != Z_OK)
        throw std::runtime_error("deflateInit failed");
    if (!dictionary.empty())
        deflateSetDictionary(&z, dictionary.data(), static_cast<uInt>(dictionary.size()));
    Bytes out(deflateBound(&z, static_cast<uLong>(data.size())));
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// A texture file in the compressed layout: the header bytes, `marker`, the stored size, "@@@@"
// and `stream`.
Bytes Compressed(std::int32_t storedSize, const Bytes& stream, std::uint8_t marker = 0x46) {
    const std::uint8_t header[8] = {'T', 'X', 'R', 0x01, 0x00, 0x7F, 0xA5, 0x00};
    TextureHead head = CompressedHead(std::span<const std::uint8_t, 8>(header), storedSize);
    head[kMarkerIndex] = marker;
    return Bytes(head.begin(), head.end()) + stream;
}

class SeedWriter {
public:
    explicit SeedWriter(std::filesystem::path folder) : m_folder(std::move(folder)) {
        std::filesystem::create_directories(m_folder);
    }
    void operator()(const std::string& name, const Bytes& bytes) const {
        test::WriteFileBytes(m_folder / name, bytes);
    }

private:
    std::filesystem::path m_folder;
};

// Texture files for the verifier and for restoring: sound ones and every kind of damage.
void TextureFiles(const SeedWriter& seed) {
    const Bytes text = CompressibleBytes(300);
    const Bytes noise = RandomBytes(600, 7);
    const Bytes stream = ZlibCompress(text);
    seed("sound-empty", Compressed(0, ZlibCompress({})));
    seed("sound-noise", Compressed(600, ZlibCompress(noise)));
    seed("sound-long-run", Compressed(3000, ZlibCompress(Bytes(3000, 'x'))));
    seed("sound-stored-blocks", Compressed(300, Deflate(text, 0)));
    seed("sound-level-9", Compressed(300, Deflate(text, 9)));
    seed("other-marker", Compressed(300, stream, 0x47));
    seed("not-marked", Compressed(300, stream, 0x40));
    const Bytes sound = Compressed(300, stream);
    seed("sound-text", sound);
    seed("too-short", Bytes(sound.begin(), sound.begin() + 12));
    Bytes separator = sound;
    separator[14] = '#';
    seed("bad-separator", separator);
    seed("negative-size", Compressed(-5, stream));
    Bytes corrupt = sound;
    corrupt[kTextureHeaderBytes + 4] ^= 0x55;
    seed("corrupt-stream", corrupt);
    Bytes checksum = sound;
    checksum.back() ^= 1;
    seed("bad-checksum", checksum);
    Bytes overflowing = Compressed(298, stream);
    overflowing.back() ^= 1;
    seed("size-two-short-bad-checksum", overflowing);
    seed("truncated", Bytes(sound.begin(), sound.end() - 3));
    seed("size-one-short", Compressed(299, stream));
    seed("size-one-over", Compressed(301, stream));
    seed("size-huge", Compressed(0x7FFFFFF0, stream));
    seed("trailing-data", sound + Text("tail"));
    seed("needs-dictionary", Compressed(300, Deflate(text, 6, Text("dictionary"))));
}

Bytes Utf16(std::u16string_view text) {
    Bytes out;
    for (const char16_t unit : text) {
        out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        out.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return out;
}

// Byte 0: call (low two bits) and variation; see BrevoraFuzzer.cpp.
void BrevoraCalls(const SeedWriter& seed) {
    const Bytes text = CompressibleBytes(200);
    for (std::uint8_t variation = 0; variation < 10; ++variation) {
        const auto data = static_cast<std::uint8_t>(variation << 2);
        seed("data-round-trip-" + std::to_string(variation), Bytes{data} + text);
        seed("string-round-trip-" + std::to_string(variation),
             Bytes{static_cast<std::uint8_t>(data | 1)} + text);
        seed("utf16-round-trip-" + std::to_string(variation),
             Bytes{static_cast<std::uint8_t>(data | 1 | 4)} + Utf16(u"Text \u00E9\u20AC\xD83C"));
    }
    seed("data-round-trip-tiny", Bytes{0x00, 'a', 'b'});
    seed("data-round-trip-one", Bytes{0x00, 'a'});
    seed("string-round-trip-empty", Bytes{0x01});
    const Bytes stream = ZlibCompress(text);
    // OrigSize + 1 as two bytes, the lower bound, the array.
    seed("decompress-data-exact", Bytes{0x02, 201, 0, 0} + stream);
    seed("decompress-data-one-short", Bytes{0x02, 200, 0, 0} + stream);
    seed("decompress-data-two-short", Bytes{0x02, 199, 0, 0} + stream);
    seed("decompress-data-lower-bound-below-0", Bytes{0x02, 201, 0, 0xFD} + Text("abc") + stream);
    seed("decompress-data-lower-bound-1", Bytes{0x02, 201, 0, 1} + stream);
    seed("decompress-data-negative-size", Bytes{0x02, 0, 0, 0} + stream);
    seed("decompress-data-empty-stream", Bytes{0x02, 1, 0, 0} + ZlibCompress({}));
    seed("decompress-data-not-zlib", Bytes{0x02, 100, 0, 0} + Text("not a zlib stream"));
    // OrigSize + 2 as two bytes, the text one character per byte.
    seed("decompress-string-exact", Bytes{0x03, 202, 0} + stream);
    seed("decompress-string-one-short", Bytes{0x03, 201, 0} + stream);
    seed("decompress-string-size-minus-1", Bytes{0x03, 1, 0} + ZlibCompress(Text("a")));
    seed("decompress-string-size-below-minus-1", Bytes{0x03, 0, 0} + stream);
    seed("decompress-string-not-zlib", Bytes{0x03, 100, 0} + Text("not a zlib stream"));
}

// The current folder on the first line, then the table.
void MountTables(const SeedWriter& seed) {
    const std::string table = "sysfs /sys sysfs rw,nosuid,nodev,noexec,relatime 0 0\n"
                              "proc /proc proc rw,nosuid,nodev,noexec,relatime 0 0\n"
                              "udev /dev devtmpfs rw,nosuid,relatime,size=8131812k 0 0\n"
                              "devpts /dev/pts devpts rw,nosuid,noexec,relatime 0 0\n"
                              "tmpfs /run tmpfs rw,nosuid,nodev,noexec,relatime 0 0\n"
                              "/dev/sda2 / ext4 rw,relatime,errors=remount-ro 0 0\n"
                              "cgroup2 /sys/fs/cgroup cgroup2 rw,nosuid,nodev 0 0\n"
                              "/dev/sda1 /boot/efi vfat rw,relatime,fmask=0077 0 0\n"
                              "/dev/sdb1 /media/user/USB\\040Stick vfat rw,nosuid 0 0\n"
                              "server:/export /mnt/tex\\011tures nfs4 rw,relatime 0 0\n"
                              "tmpfs /tmp tmpfs rw,nosuid,nodev 0 0\n"
                              "/dev/sdc1 /tmp ext4 rw 0 0\n"
                              "overlay /var/lib/docker/overlay2/x/merged overlay rw 0 0\n"
                              "short line\n"
                              "back\\134slash /mnt/a\\134b\\012c fuse.sshfs rw 0 0\n";
    seed("home", Text("/home/user/Textures\n" + table));
    seed("under-pseudo", Text("/proc/self/fd\n" + table));
    seed("under-run", Text("/run/user/1000\n" + table));
    seed("escaped-point", Text("/media/user/USB Stick/Levels\n" + table));
    seed("relative-folder", Text("Textures\n" + table));
    seed("container", Text("/\noverlay / overlay rw,relatime,lowerdir=/l,upperdir=/u 0 0\n"
                           "proc /proc proc rw 0 0\n"));
    seed("tabs-and-crlf", Text("/data\r\n/dev/sdd1\t/data\txfs\trw\t0\t0\r\n"));
    seed("empty-table", Text("/home\n"));
}

// Command lines as bytes and as UTF-16 (both readings are tried on every input).
void CommandLines(const SeedWriter& seed) {
    const std::string_view lines[] = {
        "\"C:\\Program Files\\Quorvel\\quorvel.exe\" \"D:\\Textures\\brick wall.ace\"",
        "quorvel.exe D:\\Textures\\brick wall.ace  ",
        "quorvel.exe\t\t\"D:\\Textures\\brick.ace\"",
        "\"C:\\Program Files\\Quorvel\\quorvel.exe",
        "quor\"vel fi\"le.exe \"a\"b\"c\"",
        "\"\" x",
        "\"D:\\Textures\\brick.ace\" trailing",
        "",
    };
    int number = 0;
    for (const std::string_view line : lines)
        seed("line-" + std::to_string(number++), Text(line));
    seed("utf16-quoted",
         Utf16(u"\"C:\\Quorvel\\quorvel.exe\" \"D:\\T\u00EBxtures\\caf\u00E9\u0416.ace\""));
    seed("utf16-surrogates", Utf16(u"quorvel.exe \"\xD83D\xDE00 \xD800.ace\""));
    constexpr char kArguments[] = "brick\0wall.ace\0\"quoted\"";
    seed("posix-arguments", Text(std::string_view(kArguments, sizeof kArguments - 1)));
}

void Names(const SeedWriter& seed) {
    const std::string_view names[] = {
        "Textures/brick.ace",
        "Walls/caf\xC3\xA9 \xE6\x96\x87\xF0\x9F\x98\x80.ace",
        "\xFF\xFE.ace",
        "x\n\x1B[31mfake line.ace",
        "tab\there\rand\x7F\x01.ace",
        "csi\xC2\x9B"
        "31m.ace",
        "\"quoted\".ace",
        "\"\\x41\"",
        "\"\\e41\"",
        "back\\slash\\n.ace",
        "rtl\xE2\x80\xAEgpj.ace",
        "line\xE2\x80\xA8sep.ace",
        "overlong\xC0\xAF.ace",
        "surrogate\xED\xA0\x80.ace",
        "cut\xE6\x96",
        "isolates\xE2\x81\xA6x\xE2\x81\xA9 mark\xE2\x80\x8F\xD8\x9C.ace",
        // Two names, split at the NUL: each pair could pass for the other if shown carelessly.
        std::string_view("a\xFF\0a\xFE", 5),
        std::string_view("\"\\xFF\"\0\xFF", 8),
        std::string_view("a\\nb\0a\nb", 8),
        std::string_view("\xEF\xBF\xBD\0\xFF", 5),
    };
    int number = 0;
    for (const std::string_view name : names)
        seed("name-" + std::to_string(number++), Text(name));
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    try {
        TextureFiles(SeedWriter(folder / "fuzz_verify"));
        TextureFiles(SeedWriter(folder / "fuzz_restore"));
        BrevoraCalls(SeedWriter(folder / "fuzz_brevora"));
        MountTables(SeedWriter(folder / "fuzz_mount_table"));
        CommandLines(SeedWriter(folder / "fuzz_command_line"));
        Names(SeedWriter(folder / "fuzz_display_name"));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "fuzz_seeds: %s\n", error.what());
        return 1;
    }
    return 0;
}
