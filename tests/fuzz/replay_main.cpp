// Replays a fuzz target over files without libFuzzer, so the seed corpora run as ordinary
// tests in every build:  fuzz_NAME PATH...  (a file, or a folder whose files run sorted).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

// The inputs an argument names; false with a message when there are none, so a misspelt or
// emptied corpus folder fails the test instead of passing with nothing run.
bool collect(const fs::path& argument, std::vector<fs::path>& inputs) {
    std::error_code ec;
    if (fs::is_regular_file(argument, ec)) {
        inputs.push_back(argument);
        return true;
    }
    std::vector<fs::path> files;
    for (fs::directory_iterator it(argument, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file(ec)) files.push_back(it->path());
    if (ec || files.empty()) {
        std::cerr << argument.string() << ": no inputs there" << (ec ? ": " + ec.message() : "")
                  << '\n';
        return false;
    }
    std::sort(files.begin(), files.end());
    inputs.insert(inputs.end(), files.begin(), files.end());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: " << argv[0] << " FILE_OR_FOLDER...\n";
        return 2;
    }
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i)
        if (!collect(argv[i], inputs)) return 1;

    for (const fs::path& input : inputs) {
        std::ifstream in(input, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                      std::istreambuf_iterator<char>()};
        if (!in.good() && !in.eof()) {
            std::cerr << input.string() << ": cannot read\n";
            return 1;
        }
        // A buffer of exactly the input's size, as libFuzzer passes it, so that AddressSanitizer
        // sees a read one byte past the end.
        const std::size_t size = bytes.size();
        const auto data = std::make_unique<std::uint8_t[]>(size == 0 ? 1 : size);
        std::copy(bytes.begin(), bytes.end(), data.get());
        std::cout << "input " << input.string() << std::endl;
        LLVMFuzzerTestOneInput(data.get(), size);
    }
    std::cout << fs::path(argv[0]).filename().string() << ": ran " << inputs.size() << " inputs\n";
    return 0;
}
