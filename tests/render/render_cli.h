#pragma once

// Runs the real zerin-render binary in a scratch folder on audio files written here with
// libsndfile, and reads its output back.

#include <sndfile.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace zerin::test {

namespace fs = std::filesystem;

struct Audio {
    double rate = 44100.0;
    std::vector<std::vector<float>> channels;
    std::size_t frames() const { return channels.empty() ? 0 : channels[0].size(); }
};

inline Audio silence(int channels, std::size_t frames, double rate = 44100.0) {
    return {rate, std::vector<std::vector<float>>(channels, std::vector<float>(frames, 0.0f))};
}

inline void writeAudio(const fs::path& path, const Audio& audio,
                       int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(audio.rate);
    info.channels = static_cast<int>(audio.channels.size());
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    std::vector<float> interleaved(audio.frames() * audio.channels.size());
    for (std::size_t i = 0; i < audio.frames(); ++i)
        for (std::size_t c = 0; c < audio.channels.size(); ++c)
            interleaved[i * audio.channels.size() + c] = audio.channels[c][i];
    EXPECT_EQ(sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(audio.frames())),
              static_cast<sf_count_t>(audio.frames()));
    sf_close(file);
}

inline Audio readAudio(const fs::path& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
    if (file == nullptr) return {};
    std::vector<float> interleaved(static_cast<std::size_t>(info.frames) * info.channels);
    const sf_count_t got = sf_readf_float(file, interleaved.data(), info.frames);
    sf_close(file);
    Audio audio{static_cast<double>(info.samplerate),
                std::vector<std::vector<float>>(info.channels,
                                                std::vector<float>(static_cast<std::size_t>(got)))};
    for (sf_count_t i = 0; i < got; ++i)
        for (int c = 0; c < info.channels; ++c)
            audio.channels[c][i] = interleaved[i * info.channels + c];
    return audio;
}

inline std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::string shellQuoted(const std::string& s) {
    std::string out = "'";
    for (const char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

struct RunResult {
    int status = -1;
    std::string out; // stdout
    std::string err; // stderr
};

// A scratch folder to render in, and another for the captured streams so that they never
// show up in the listing of the first.
class RenderCli : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "zerin-render-test.XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
        dir = root / "work";
        fs::create_directory(dir);
        // Presets are read from (and saved to) a store of the test's own, never the user's.
        setenv("ZERIN_CONFIG_DIR", (root / "config").c_str(), 1);
    }
    void TearDown() override {
        unsetenv("ZERIN_CONFIG_DIR");
        fs::remove_all(root);
    }

    RunResult render(const std::vector<std::string>& args) {
        // Appended piece by piece: GCC 12 warns falsely about `literal + std::string&&`.
        std::string command = "cd ";
        for (const std::string& piece :
             {shellQuoted(dir.string()), std::string(" && "), shellQuoted(ZERIN_RENDER_BINARY)})
            command += piece;
        for (const std::string& a : args)
            command.append(" ").append(shellQuoted(a));
        command.append(" >").append(shellQuoted((root / "stdout").string()));
        command.append(" 2>").append(shellQuoted((root / "stderr").string()));
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readText(root / "stdout"),
                readText(root / "stderr")};
    }

    // Renders and expects success; the output file read back.
    Audio rendered(std::vector<std::string> args, const std::string& output = "out.wav") {
        args.insert(args.end(), {"-q", "-o", output});
        const RunResult run = render(args);
        EXPECT_EQ(run.status, 0) << run.err;
        return readAudio(dir / output);
    }

    std::set<std::string> listing() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir))
            names.insert(entry.path().filename().string());
        return names;
    }

    fs::path root;
    fs::path dir;
};

// First index where the two differ by more than `tolerance`, or SIZE_MAX.
inline std::size_t firstDifference(const std::vector<float>& a, const std::vector<float>& b,
                                   float tolerance = 0.0f) {
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        if (!(std::abs(a[i] - b[i]) <= tolerance)) return i;
    return static_cast<std::size_t>(-1);
}

} // namespace zerin::test
