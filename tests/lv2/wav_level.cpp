// Prints the RMS level of an audio file from a given second on, for the host tests' scripts.
//
//   wav_level FILE [FROM_SECONDS]

#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    SF_INFO info{};
    SNDFILE* file = sf_open(argv[1], SFM_READ, &info);
    if (file == nullptr) {
        std::fprintf(stderr, "wav_level: %s: %s\n", argv[1], sf_strerror(nullptr));
        return 1;
    }
    const double from = argc > 2 ? std::atof(argv[2]) : 0.0;
    sf_seek(file, static_cast<sf_count_t>(from * info.samplerate), SEEK_SET);
    std::vector<float> block(4096 * static_cast<std::size_t>(info.channels));
    double sum = 0.0;
    long long count = 0;
    while (const sf_count_t n = sf_readf_float(file, block.data(), 4096)) {
        for (sf_count_t i = 0; i < n * info.channels; ++i)
            sum += static_cast<double>(block[i]) * block[i];
        count += n * info.channels;
    }
    sf_close(file);
    std::printf("%.9f\n", count > 0 ? std::sqrt(sum / static_cast<double>(count)) : 0.0);
    return 0;
}
