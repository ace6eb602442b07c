#pragma once

// Kept renders: a render's block statistics (sum, sum of squares and peak per 2048-frame block
// and channel) and, for renders that must stay the same to the bit, a hash of every sample's
// bits together with a fingerprint of the FFT that made it.
//
// Renders repeat to the bit on one machine, but another CPU may run other FFTW codelets,
// which round differently. The fingerprint tells the two apart: where this machine's FFT
// gives the bits the reference's did, the hash must match exactly; elsewhere the blocks are
// held to kTolerance, as the golden renders are.

#include "dsp/fft.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace zerin::test {

inline constexpr std::size_t kReferenceBlock = 2048;
// FFT outputs jittered by four float steps of their level move scatter (whose borrowed
// magnitudes take the phases of quiet bins) by up to 2e-5 of a block's peak and the other
// renders by under 1e-6. 1e-4 leaves room for that, while a meant change as small as
// 0.01 dB of gain or 0.1 % of mix moves blocks by 1e-3.
inline constexpr double kReferenceTolerance = 1e-4;
// Blocks quieter than -60 dBFS are held to the tolerance of a block at -60 dBFS.
inline constexpr double kReferenceQuietPeak = 1e-3;

struct BlockStats {
    double sum = 0.0, squares = 0.0, peak = 0.0;
};

// FNV-1a over the bits of `count` floats.
inline std::uint64_t bitsHash(const float* values, std::size_t count) {
    std::uint64_t h = 14695981039346656037ull;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t bits;
        std::memcpy(&bits, &values[i], sizeof bits);
        for (int b = 0; b < 4; ++b) {
            h ^= (bits >> (8 * b)) & 0xffu;
            h *= 1099511628211ull;
        }
    }
    return h;
}

// The bits this machine's FFT gives for a fixed frame, forward and back.
inline std::uint64_t fftFingerprint() {
    FFTSetup* setup = acquireFFTSetup(2048);
    float* frame = allocateFloats(2048);
    auto* spectrum = reinterpret_cast<std::complex<float>*>(allocateFloats(2 * 1032));
    for (int n = 0; n < 2048; ++n)
        frame[n] = static_cast<float>(std::sin(0.37 * n) + 0.25 * std::cos(2.9 * n + 0.1 * n * n));
    forwardFFT(setup, frame, spectrum);
    std::uint64_t h = bitsHash(reinterpret_cast<const float*>(spectrum), 2 * 1025);
    inverseFFT(setup, spectrum, frame);
    h ^= bitsHash(frame, 2048) * 31u;
    freeFloats(spectrum);
    freeFloats(frame);
    releaseFFTSetup(setup);
    return h;
}

struct RenderReference {
    std::size_t frames = 0;
    int channels = 0;
    std::uint64_t fingerprint = 0; // 0: no exact hash kept
    std::uint64_t hash = 0;
    std::vector<BlockStats> blocks; // per block, the channels in order
};

// `samples` interleaved.
inline RenderReference referenceOf(const std::vector<float>& samples, int channels, bool exact) {
    RenderReference r;
    r.channels = channels;
    r.frames = samples.size() / static_cast<std::size_t>(channels);
    if (exact) {
        r.fingerprint = fftFingerprint();
        r.hash = bitsHash(samples.data(), samples.size());
    }
    for (std::size_t start = 0; start < r.frames; start += kReferenceBlock)
        for (int c = 0; c < channels; ++c) {
            BlockStats s;
            for (std::size_t n = start; n < std::min(start + kReferenceBlock, r.frames); ++n) {
                const double v = samples[n * channels + c];
                s.sum += v;
                s.squares += v * v;
                s.peak = std::max(s.peak, std::fabs(v));
            }
            r.blocks.push_back(s);
        }
    return r;
}

// `header` is one or more lines of comment, each without its "# ".
inline void writeReference(const std::filesystem::path& path, const std::string& header,
                           const RenderReference& r) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr) << path;
    std::istringstream lines(header);
    for (std::string line; std::getline(lines, line);)
        std::fprintf(file, "# %s\n", line.c_str());
    std::fprintf(file, "# per %zu-frame block, per channel: sum, sum of squares, peak\n",
                 kReferenceBlock);
    if (r.fingerprint != 0)
        std::fprintf(file, "exact %016llx %016llx\n",
                     static_cast<unsigned long long>(r.fingerprint),
                     static_cast<unsigned long long>(r.hash));
    std::fprintf(file, "%zu frames %d channels\n", r.frames, r.channels);
    for (std::size_t i = 0; i < r.blocks.size(); ++i)
        std::fprintf(file, "%.9g %.9g %.9g%s", r.blocks[i].sum, r.blocks[i].squares,
                     r.blocks[i].peak, (i + 1) % r.channels == 0 ? "\n" : "  ");
    EXPECT_EQ(std::fclose(file), 0) << path;
}

inline RenderReference readReference(const std::filesystem::path& path) {
    std::stringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    RenderReference r;
    std::string line, word;
    while (text.peek() == '#')
        std::getline(text, line);
    if (text.peek() == 'e') {
        text >> word >> std::hex >> r.fingerprint >> r.hash >> std::dec;
    }
    text >> r.frames >> word >> r.channels >> word;
    for (BlockStats s; text >> s.sum >> s.squares >> s.peak;)
        r.blocks.push_back(s);
    return r;
}

// Whether a kept render should be written again instead of compared (README.md says when
// that is fair).
inline bool regeneratingReferences() {
    const char* regenerate = std::getenv("ZERIN_REGENERATE_GOLDEN");
    return regenerate != nullptr && std::string(regenerate) == "1";
}

inline void expectMatchesReference(const RenderReference& kept, const RenderReference& now,
                                   const std::string& name) {
    ASSERT_EQ(kept.frames, now.frames) << name << ": reference missing or damaged";
    ASSERT_EQ(kept.channels, now.channels) << name;
    ASSERT_EQ(kept.blocks.size(), now.blocks.size()) << name;
    if (kept.fingerprint != 0 && kept.fingerprint == fftFingerprint()) {
        EXPECT_EQ(kept.hash, now.hash) << name << ": not the same bits as the kept render";
    }
    for (std::size_t i = 0; i < now.blocks.size(); ++i) {
        // Every sample within the tolerance of its block's peak moves the sum by at most that
        // times the block length, the squares by twice that times the sum of magnitudes.
        const BlockStats& g = kept.blocks[i];
        const double perSample = kReferenceTolerance * std::max(g.peak, kReferenceQuietPeak);
        const double n = static_cast<double>(kReferenceBlock);
        const double magnitudes = std::sqrt(n * g.squares); // bounds the sum of |sample|
        const std::string where = name + ": block " + std::to_string(i / now.channels) +
                                  ", channel " + std::to_string(i % now.channels);
        EXPECT_NEAR(now.blocks[i].sum, g.sum, perSample * n) << where;
        EXPECT_NEAR(now.blocks[i].squares, g.squares,
                    perSample * (2.0 * magnitudes + perSample * n))
            << where;
        EXPECT_NEAR(now.blocks[i].peak, g.peak, perSample) << where;
    }
}

} // namespace zerin::test
