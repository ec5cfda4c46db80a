// Runs a fuzz target over every file below the given folder, so that the corpus serves as
// an ordinary test when no fuzzing engine is linked.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s corpus-folder\n", argv[0]);
        return 2;
    }
    std::error_code error;
    std::filesystem::recursive_directory_iterator files(argv[1], error);
    if (error) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 2;
    }
    int count = 0;
    for (const auto& entry : files) {
        if (!entry.is_regular_file()) {
            continue;
        }
        std::ifstream file(entry.path(), std::ios::binary);
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                        std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
        ++count;
    }
    std::printf("%d inputs replayed\n", count);
    return 0;
}
