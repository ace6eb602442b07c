#include "session/audio_file.h"

#include "platform/files/regular_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace zerin::session {

namespace {

std::string lowerExtension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

// libsndfile writes through these, so that every byte, including those the encoders write
// only while closing (FLAC's last frames and header, Ogg's last pages), goes through the
// AtomicFile, which keeps the first error for the commit to see.
sf_count_t vioLength(void* user) {
    struct stat info {};
    return ::fstat(static_cast<AtomicFile*>(user)->fd(), &info) == 0 ? info.st_size : -1;
}
sf_count_t vioSeek(sf_count_t offset, int whence, void* user) {
    return ::lseek(static_cast<AtomicFile*>(user)->fd(), offset, whence);
}
sf_count_t vioRead(void* data, sf_count_t count, void* user) {
    const int fd = static_cast<AtomicFile*>(user)->fd();
    sf_count_t done = 0;
    while (done < count) {
        const ssize_t n = ::read(fd, static_cast<char*>(data) + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}
sf_count_t vioWrite(const void* data, sf_count_t count, void* user) {
    auto* file = static_cast<AtomicFile*>(user);
    return file->write(data, static_cast<std::size_t>(count)) ? count : 0;
}
sf_count_t vioTell(void* user) {
    return ::lseek(static_cast<AtomicFile*>(user)->fd(), 0, SEEK_CUR);
}
SF_VIRTUAL_IO kVirtualIO{vioLength, vioSeek, vioRead, vioWrite, vioTell};

} // namespace

int outputFormatFor(const std::string& path) {
    const std::string ext = lowerExtension(path);
    if (ext == ".wav") return SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    if (ext == ".flac") return SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
    if (ext == ".ogg" || ext == ".oga") return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    if (ext == ".aiff" || ext == ".aif") return SF_FORMAT_AIFF | SF_FORMAT_PCM_24;
    return 0;
}

bool AudioReader::open(const std::string& path, std::string* error) {
    // A FIFO would block libsndfile's own open for ever: only a regular file is read.
    mFd = openRegularFile(path, error);
    if (mFd < 0) return false;
    SF_INFO info{};
    mFile = sf_open_fd(mFd, SFM_READ, &info, SF_FALSE);
    if (mFile == nullptr) {
        *error = path + ": cannot read as audio: " + sf_strerror(nullptr);
        return false;
    }
    if (info.channels <= 0) {
        *error = path + ": has no channels";
        return false;
    }
    if (info.samplerate < kMinSampleRate || info.samplerate > kMaxSampleRate) {
        *error = path + ": its sample rate, " + std::to_string(info.samplerate) +
                 " Hz, is outside the " + std::to_string(kMinSampleRate) + " to " +
                 std::to_string(kMaxSampleRate) + " Hz that Zerin renders";
        return false;
    }
    mInfo = {static_cast<double>(info.samplerate), info.channels, info.frames};
    return true;
}

AudioReader::~AudioReader() {
    if (mFile != nullptr) sf_close(mFile);
    if (mFd >= 0) ::close(mFd);
}

std::int64_t AudioReader::read(float* interleaved, std::int64_t frames) {
    return sf_readf_float(mFile, interleaved, frames);
}

bool AudioWriter::open(const std::string& path, const AudioInfo& info, std::string* error) {
    const int format = outputFormatFor(path);
    if (format == 0) {
        *error = path + ": unknown output format (use .wav, .flac, .ogg or .aiff)";
        return false;
    }
    mPath = path;
    SF_INFO sfinfo{};
    sfinfo.samplerate = static_cast<int>(info.sampleRate);
    sfinfo.channels = info.channels;
    sfinfo.format = format;
    if (!sf_format_check(&sfinfo)) {
        *error = path + ": this format cannot hold " + std::to_string(sfinfo.samplerate) +
                 " Hz audio with " + std::to_string(info.channels) + " channels";
        return false;
    }
    if (!mOut.open(path, error)) return false;
    mFile = sf_open_virtual(&kVirtualIO, SFM_WRITE, &sfinfo, &mOut);
    if (mFile == nullptr) {
        *error = path + ": cannot create: " + sf_strerror(nullptr);
        discard();
        return false;
    }
    if ((format & SF_FORMAT_SUBMASK) != SF_FORMAT_FLOAT) {
        // Integer and lossy formats: clip rather than wrap what lies beyond full scale.
        sf_command(mFile, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    }
    return true;
}

AudioWriter::~AudioWriter() {
    discard();
}

void AudioWriter::discard() {
    if (mFile != nullptr) {
        sf_close(mFile);
        mFile = nullptr;
    }
    mOut.discard();
}

bool AudioWriter::write(const float* interleaved, std::int64_t frames, std::string* error) {
    if (sf_writef_float(mFile, interleaved, frames) != frames || mOut.error() != 0) {
        *error = mPath + ": cannot write: " +
                 (mOut.error() != 0 ? std::strerror(mOut.error()) : sf_strerror(mFile));
        return false;
    }
    // Start writing back to disk as we go, so that the sync that makes the finished file
    // durable has little left to wait for.
    mUnsynced += frames * static_cast<std::int64_t>(sizeof(float));
    if (mUnsynced >= (std::int64_t{4} << 20)) {
        sync_file_range(mOut.fd(), 0, 0, SYNC_FILE_RANGE_WRITE);
        mUnsynced = 0;
    }
    return true;
}

bool AudioWriter::commit(std::string* error) {
    const int closed = sf_close(mFile);
    mFile = nullptr;
    if (closed != 0 && mOut.error() == 0) {
        // The encoder could not finish without a write error of ours: say what it says.
        *error = mPath + ": cannot finish writing: " + sf_error_number(closed);
        discard();
        return false;
    }
    return mOut.commit(error);
}

} // namespace zerin::session
