// Small measurements on audio files for the host tests' scripts.
//
//   wav_tool level FILE [FROM_SECONDS]   RMS level from that second on
//   wav_tool diff A B [SKIP]             largest |A[n] - B[n + SKIP]| over A (same channels)

#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Audio {
    int channels = 0;
    int rate = 0;
    std::vector<float> samples; // interleaved
};

bool read(const char* path, Audio& audio) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path, SFM_READ, &info);
    if (file == nullptr) {
        std::fprintf(stderr, "wav_tool: %s: %s\n", path, sf_strerror(nullptr));
        return false;
    }
    audio.channels = info.channels;
    audio.rate = info.samplerate;
    audio.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, audio.samples.data(), info.frames);
    sf_close(file);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "level") == 0) {
        Audio a;
        if (!read(argv[2], a)) return 1;
        const double from = argc > 3 ? std::atof(argv[3]) : 0.0;
        const auto first = static_cast<std::size_t>(from * a.rate) * a.channels;
        double sum = 0.0;
        for (std::size_t i = first; i < a.samples.size(); ++i)
            sum += static_cast<double>(a.samples[i]) * a.samples[i];
        const std::size_t n = a.samples.size() > first ? a.samples.size() - first : 0;
        std::printf("%.9f\n", n > 0 ? std::sqrt(sum / static_cast<double>(n)) : 0.0);
        return 0;
    }
    if (argc >= 4 && std::strcmp(argv[1], "diff") == 0) {
        Audio a, b;
        if (!read(argv[2], a) || !read(argv[3], b)) return 1;
        const auto skip = static_cast<std::size_t>(argc > 4 ? std::atol(argv[4]) : 0);
        if (a.channels != b.channels) {
            std::fprintf(stderr, "wav_tool: the files have different channel counts\n");
            return 1;
        }
        const std::size_t offset = skip * static_cast<std::size_t>(b.channels);
        if (b.samples.size() < offset + a.samples.size()) {
            std::fprintf(stderr, "wav_tool: %s is too short\n", argv[3]);
            return 1;
        }
        double largest = 0.0;
        for (std::size_t i = 0; i < a.samples.size(); ++i)
            largest = std::fmax(largest, std::fabs(a.samples[i] - b.samples[i + offset]));
        std::printf("%.9g\n", largest);
        return 0;
    }
    std::fprintf(stderr, "usage: wav_tool level FILE [FROM] | diff A B [SKIP]\n");
    return 2;
}
