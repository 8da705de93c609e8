// Runs every file of the given corpus folders (or the given files) once through the fuzz target:
// the plain-build form of a fuzzer, so that its seeds and past findings run as a regression test.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv)
{
    namespace fs = std::filesystem;
    std::vector<std::string> inputs(argv + 1, argv + argc);
#ifdef CORVANE_FUZZ_CORPUS
    if (inputs.empty())
        inputs.push_back(CORVANE_FUZZ_CORPUS);
#endif
    std::vector<fs::path> files;
    for (const std::string &input : inputs) {
        const fs::path path(input);
        if (fs::is_directory(path)) {
            for (const fs::directory_entry &entry : fs::recursive_directory_iterator(path)) {
                if (entry.is_regular_file())
                    files.push_back(entry.path());
            }
        } else if (fs::is_regular_file(path)) {
            files.push_back(path);
        } else {
            std::fprintf(stderr, "no such corpus: %s\n", input.c_str());
            return 2;
        }
    }
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        std::fprintf(stderr, "no inputs to replay\n");
        return 2;
    }

    int fakeArgc = 1;
    char **fakeArgv = argv;
    LLVMFuzzerInitialize(&fakeArgc, &fakeArgv);
    for (const fs::path &file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::vector<char> input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::fprintf(stderr, "replay %s (%zu bytes)\n", file.filename().c_str(), input.size());
        // A copy of exactly the input's size, so a read past the end is caught by AddressSanitizer.
        std::vector<uint8_t> copy(input.begin(), input.end());
        LLVMFuzzerTestOneInput(copy.empty() ? nullptr : copy.data(), copy.size());
    }
    std::printf("%zu inputs replayed\n", files.size());
    return 0;
}
