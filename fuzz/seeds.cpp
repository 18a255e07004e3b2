// Makes the seed corpus of the LZWDecode fuzz target: every image's data in
// the GIF files given, from the minimum code size byte to the block
// terminator, behind the two-byte array size the target reads first (the
// image's pixel count plus the decoder's slack, capped at 65535).
//
//   velmar_fuzz_seeds OUTDIR FILE...
//
// Files that are not GIF files, or that end early, give what they hold.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace
{

using Bytes = std::vector<uint8_t>;

// Skips data sub-blocks from p up to and including the zero length byte.
size_t skipSubBlocks(const Bytes &f, size_t p)
{
    while (p < f.size() && f[p] != 0)
        p += 1 + f[p];
    return std::min(p + 1, f.size());
}

// Calls out(width x height, data) for each image of the file.
template <typename Out> void forEachImage(const Bytes &f, Out out)
{
    if (f.size() < 13 || f[0] != 'G' || f[1] != 'I' || f[2] != 'F')
        return;
    size_t p = 13;
    if (f[10] & 0x80)
        p += 3 * (size_t(2) << (f[10] & 7));
    while (p < f.size()) {
        const uint8_t b = f[p++];
        if (b == 0x21) {
            p = skipSubBlocks(f, p + 1);
        } else if (b == 0x2C) {
            if (p + 9 > f.size())
                return;
            const size_t w = size_t(f[p + 4] | f[p + 5] << 8);
            const size_t h = size_t(f[p + 6] | f[p + 7] << 8);
            const uint8_t packed = f[p + 8];
            p += 9;
            if (packed & 0x80)
                p += 3 * (size_t(2) << (packed & 7));
            if (p >= f.size())
                return;
            const size_t end = skipSubBlocks(f, p + 1);
            out(w * h, Bytes(f.begin() + std::ptrdiff_t(p), f.begin() + std::ptrdiff_t(end)));
            p = end;
        } else if (b == 0x3B) {
            return;
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: velmar_fuzz_seeds OUTDIR FILE...\n");
        return 1;
    }
    const std::filesystem::path outDir = argv[1];
    std::filesystem::create_directories(outDir);
    int written = 0;
    for (int i = 2; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        int k = 0;
        forEachImage(file, [&](size_t pixels, const Bytes &data) {
            const size_t size = std::min<size_t>(pixels + 257, 65535);
            const std::filesystem::path name =
                outDir / (std::to_string(i) + "-" + std::filesystem::path(argv[i]).stem().string() + "-" +
                          std::to_string(k++) + ".lzw");
            std::ofstream o(name, std::ios::binary);
            o.put(char(size & 0xFF));
            o.put(char(size >> 8));
            o.write(reinterpret_cast<const char *>(data.data()), std::streamsize(data.size()));
            ++written;
        });
    }
    std::printf("%d LZW seeds in %s\n", written, outDir.c_str());
    return 0;
}
