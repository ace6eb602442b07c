#pragma once

// Runs the real zerin-render binary in a scratch folder on files written with libsndfile.

#include <sndfile.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace zerin::test {

namespace fs = std::filesystem;

struct Audio { // interleaved
    double rate = 44100.0;
    int channels = 1;
    std::vector<float> samples;
    std::size_t frames() const { return samples.size() / static_cast<std::size_t>(channels); }
};

inline Audio noise(int channels, std::size_t frames) {
    std::minstd_rand random(7);
    Audio audio{44100.0, channels, std::vector<float>(frames * channels)};
    for (float& v : audio.samples)
        v = 0.8f * static_cast<float>(random()) / static_cast<float>(random.max()) - 0.4f;
    return audio;
}

// 1.5 s of two sines (a different pair per channel), a click every quarter second and seeded
// noise: tones for the delay lines and freeze, transients for the classification.
inline Audio mixedInput(int channels) {
    constexpr std::size_t kFrames = 66150;
    Audio audio{44100.0, channels, std::vector<float>(kFrames * channels)};
    std::minstd_rand random(1729);
    for (std::size_t n = 0; n < kFrames; ++n)
        for (int c = 0; c < channels; ++c) {
            const double t = static_cast<double>(n) / 44100.0;
            const double tones = 0.3 * std::sin(2.0 * M_PI * (220.0 + 110.0 * c) * t) +
                                 0.15 * std::sin(2.0 * M_PI * (3150.0 - 400.0 * c) * t + 1.0);
            const double hiss = 0.05 * (static_cast<double>(random()) / random.max() - 0.5);
            const double click = n % 11025 == 300u + 7u * c ? 0.8 : 0.0;
            audio.samples[n * channels + c] = static_cast<float>(tones + hiss + click);
        }
    return audio;
}

inline void writeAudio(const fs::path& path, const Audio& audio) {
    SF_INFO info{
        0, static_cast<int>(audio.rate), audio.channels, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0, 0};
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    const auto frames = static_cast<sf_count_t>(audio.frames());
    EXPECT_EQ(sf_writef_float(file, audio.samples.data(), frames), frames);
    sf_close(file);
}

inline Audio readAudio(const fs::path& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
    if (file == nullptr) return {0.0, 1, {}};
    Audio audio{static_cast<double>(info.samplerate), info.channels,
                std::vector<float>(info.frames * info.channels)};
    audio.samples.resize(sf_readf_float(file, audio.samples.data(), info.frames) * info.channels);
    sf_close(file);
    return audio;
}

inline std::string readText(const fs::path& path) {
    std::stringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// A command line of words without spaces, as its arguments.
inline std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    return {std::istream_iterator<std::string>(in), {}};
}

struct RunResult {
    int status = -1;
    std::string out, err;
};

// A scratch folder to render in; the captured streams and the preset store live beside it,
// so that they never show up in its listing.
class RenderCli : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "zerin-render-test.XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
        dir = root / "work";
        fs::create_directory(dir);
        setenv("ZERIN_CONFIG_DIR", (root / "config").c_str(), 1); // never the user's presets
    }
    void TearDown() override {
        unsetenv("ZERIN_CONFIG_DIR");
        fs::remove_all(root);
    }

    // Starts the binary in the scratch folder; a file-size limit (bytes) stands for a disk
    // that fills up.
    pid_t start(const std::vector<std::string>& args, long fileSizeLimit = -1) {
        std::fflush(nullptr); // or the child would write what is buffered here again
        const pid_t child = fork();
        if (child == 0) {
            std::vector<char*> argv = {const_cast<char*>(ZERIN_RENDER_BINARY)};
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            alarm(600); // a run that hangs fails instead of stalling the suite
            if (fileSizeLimit >= 0) {
                const rlimit limit{static_cast<rlim_t>(fileSizeLimit),
                                   static_cast<rlim_t>(fileSizeLimit)};
                setrlimit(RLIMIT_FSIZE, &limit);
            }
            if (chdir(dir.c_str()) == 0 && freopen((root / "stdout").c_str(), "w", stdout) &&
                freopen((root / "stderr").c_str(), "w", stderr))
                execv(argv[0], argv.data());
            _exit(127);
        }
        return child;
    }

    RunResult finish(pid_t child) {
        int raw = 0;
        waitpid(child, &raw, 0);
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readText(root / "stdout"),
                readText(root / "stderr")};
    }

    // Waits until `child` holds `path` open (a render holds its output's folder once it
    // writes); the bound only keeps a lost child from hanging the test.
    static bool waitUntilHolding(pid_t child, const fs::path& path) {
        const fs::path wanted = fs::canonical(path);
        const fs::path descriptors = "/proc/" + std::to_string(child) + "/fd";
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        while (std::chrono::steady_clock::now() < giveUp) {
            std::error_code ec;
            for (fs::directory_iterator it(descriptors, ec), end; !ec && it != end;
                 it.increment(ec)) {
                std::error_code unreadable;
                if (fs::read_symlink(it->path(), unreadable) == wanted) return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5)); // between two looks
        }
        return false;
    }

    RunResult render(const std::vector<std::string>& args, long fileSizeLimit = -1) {
        return finish(start(args, fileSizeLimit));
    }

    // Renders quietly to `output`, expects success and reads the result back.
    Audio rendered(std::vector<std::string> args, const std::string& output = "out.wav") {
        args.insert(args.end(), {"-q", "-o", output});
        const RunResult run = render(args);
        EXPECT_EQ(run.status, 0) << run.err;
        return readAudio(dir / output);
    }

    std::set<std::string> listing() const { return listing(dir); }
    static std::set<std::string> listing(const fs::path& folder) {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.insert(entry.path().filename().string());
        return names;
    }

    fs::path root, dir;
};

} // namespace zerin::test
