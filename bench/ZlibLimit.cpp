// quorvel-bench-limit: the in-memory speed limit for one thread.
//
// Reads the files named in a list (one path a line), and times zlib's one-shot compress() over
// each file's payload (everything after the 16 header bytes) with no file I/O inside the timed
// part. A rewrite of the same files can't go faster than this on one core, so the benchmark
// reports every other run as a ratio to it. With "libdeflate" as second argument it times
// libdeflate's zlib encoder at the level quorvel-cli uses instead, which bounds what that engine
// can gain over zlib on the same bytes. Prints "payload-bytes compressed-bytes seconds".

#include <chrono>
#include <cstdio>
#include <fstream>
#include <libdeflate.h>
#include <memory>
#include <string>
#include <vector>
#include <zlib.h>

namespace {

// quorvel-cli's libdeflate level.
constexpr int kLibdeflateLevel = 6;

struct FreeCompressor {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

} // namespace

int main(int argc, char** argv) {
    const bool libdeflate = argc == 3 && std::string(argv[2]) == "libdeflate";
    if (argc != 2 && !(argc == 3 && (libdeflate || std::string(argv[2]) == "zlib"))) {
        std::fprintf(stderr, "usage: quorvel-bench-limit LISTFILE [zlib|libdeflate]\n");
        return 2;
    }
    std::unique_ptr<libdeflate_compressor, FreeCompressor> deflater;
    if (libdeflate)
        deflater.reset(libdeflate_alloc_compressor(kLibdeflateLevel));
    std::ifstream list(argv[1]);
    std::string path;
    unsigned long long payloadBytes = 0;
    unsigned long long compressedBytes = 0;
    std::chrono::steady_clock::duration busy{};
    std::vector<unsigned char> output;
    while (std::getline(list, path)) {
        std::ifstream in(path, std::ios::binary | std::ios::ate);
        const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
        std::vector<unsigned char> file(size > 0 ? static_cast<std::size_t>(size) : 0);
        in.seekg(0);
        in.read(reinterpret_cast<char*>(file.data()), static_cast<std::streamsize>(file.size()));
        if (!in || file.size() <= 16) {
            std::fprintf(stderr, "cannot read a payload from %s\n", path.c_str());
            return 1;
        }
        const auto n = static_cast<uLong>(file.size() - 16);
        output.resize(deflater ? libdeflate_zlib_compress_bound(deflater.get(), n)
                               : compressBound(n));
        uLongf destLen = static_cast<uLongf>(output.size());
        const auto start = std::chrono::steady_clock::now();
        int status = Z_OK;
        if (deflater) {
            destLen = libdeflate_zlib_compress(deflater.get(), file.data() + 16, n, output.data(),
                                               output.size());
            status = destLen == 0 ? Z_BUF_ERROR : Z_OK;
        } else {
            status = compress(output.data(), &destLen, file.data() + 16, n);
        }
        busy += std::chrono::steady_clock::now() - start;
        if (status != Z_OK) {
            std::fprintf(stderr, "compression failed (%d) on %s\n", status, path.c_str());
            return 1;
        }
        payloadBytes += n;
        compressedBytes += destLen;
    }
    std::printf("%llu %llu %.6f\n", payloadBytes, compressedBytes,
                std::chrono::duration<double>(busy).count());
    return 0;
}
