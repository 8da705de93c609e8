// Runs every file of the corpus folder (CORVANE_FUZZ_CORPUS, or the folder given) once through the
// fuzz target: the plain-build form of a fuzzer, so that its seeds and past findings run as a
// regression test.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv)
{
    namespace fs = std::filesystem;
    const std::set<fs::path> files(
        fs::directory_iterator(argc > 1 ? argv[1] : CORVANE_FUZZ_CORPUS), fs::directory_iterator());
    if (files.empty()) {
        std::fprintf(stderr, "no inputs to replay\n");
        return 2;
    }
    int fakeArgc = 1;
    LLVMFuzzerInitialize(&fakeArgc, &argv);
    for (const fs::path &file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::vector<char> read((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // A copy of exactly the input's size, so a read past the end is caught by AddressSanitizer.
        std::vector<uint8_t> input(read.begin(), read.end());
        std::fprintf(stderr, "replay %s (%zu bytes)\n", file.filename().c_str(), input.size());
        LLVMFuzzerTestOneInput(input.empty() ? nullptr : input.data(), input.size());
    }
    std::printf("%zu inputs replayed\n", files.size());
    return 0;
}
