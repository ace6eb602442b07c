// Any bytes may arrive in a file named .wav: the reader must refuse what Zerin cannot render
// and hand out only what it promised, read to the end as a render would.

#include "fuzz_check.h"

#include "session/audio_file.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using zerin::fuzz::require;

constexpr std::int64_t kChunkFrames = 4096;
// Limits of this harness, not of the reader: more channels or frames than this only spend
// the fuzzer's memory and time on reading the same code again.
constexpr int kMaxChannels = 64;
constexpr std::int64_t kMaxFrames = 10'000'000;

void writeAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written <= 0) zerin::fuzz::harnessFailure("write to the memfd", errno);
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

void readThrough(const std::string& path) {
    zerin::session::AudioReader reader;
    std::string error;
    if (!reader.open(path, &error)) {
        require(!error.empty(), "a refused file says why");
        return;
    }
    const zerin::session::AudioInfo& info = reader.info();
    require(info.sampleRate >= zerin::session::kMinSampleRate &&
                info.sampleRate <= zerin::session::kMaxSampleRate,
            "an opened file's sample rate is one Zerin renders");
    require(info.channels > 0, "an opened file has a channel");
    if (info.channels > kMaxChannels) return;

    std::vector<float> buffer(static_cast<std::size_t>(kChunkFrames * info.channels));
    for (std::int64_t total = 0; total < kMaxFrames;) {
        const std::int64_t got = reader.read(buffer.data(), kChunkFrames);
        // The caller sizes its buffer for the frames it asks for; a count beyond them would
        // mean samples written past it.
        require(got >= 0 && got <= kChunkFrames, "a read returns at most the frames asked for");
        if (got == 0) break;
        total += got;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A file with no name on disk, opened by path as the command opens its input.
    const int fd = ::memfd_create("zerin-fuzz-audio", MFD_CLOEXEC);
    if (fd < 0) zerin::fuzz::harnessFailure("memfd_create", errno);
    writeAll(fd, data, size);
    readThrough("/proc/self/fd/" + std::to_string(fd));
    ::close(fd);
    return 0;
}
