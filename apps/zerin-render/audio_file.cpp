#include "audio_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace zerin::render {

namespace {

std::string lowerExtension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

// A new, unique, hidden temporary file in the folder of `path`; -1 on failure.
int makeTemporary(const std::string& path, std::string* tempPath) {
    const std::filesystem::path target(path);
    std::filesystem::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    std::string name = ".";
    name += target.filename().string();
    name += ".XXXXXX";
    std::string pattern = (folder / name).string();
    const int fd = mkstemp(pattern.data());
    if (fd < 0) return fd;
    *tempPath = pattern;
    // mkstemp makes the file private; give it the permissions a new file normally gets.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    return fd;
}

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
    SF_INFO info{};
    mFile = sf_open(path.c_str(), SFM_READ, &info);
    if (mFile == nullptr) {
        *error = path + ": cannot read as audio: " + sf_strerror(nullptr);
        return false;
    }
    if (info.samplerate <= 0 || info.channels <= 0) {
        *error = path + ": has no usable sample rate or channel count";
        return false;
    }
    mInfo = {static_cast<double>(info.samplerate), info.channels, info.frames};
    return true;
}

AudioReader::~AudioReader() {
    if (mFile != nullptr) sf_close(mFile);
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
    const int fd = makeTemporary(path, &mTempPath);
    if (fd < 0) {
        *error = path + ": cannot write in its folder: " + std::strerror(errno);
        return false;
    }
    SF_INFO sfinfo{};
    sfinfo.samplerate = static_cast<int>(info.sampleRate);
    sfinfo.channels = info.channels;
    sfinfo.format = format;
    if (!sf_format_check(&sfinfo)) {
        close(fd);
        discard();
        *error = path + ": this format cannot hold " + std::to_string(sfinfo.samplerate) +
                 " Hz audio with " + std::to_string(info.channels) + " channels";
        return false;
    }
    mFd = fd;
    mFile = sf_open_fd(fd, SFM_WRITE, &sfinfo, SF_TRUE);
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
    if (!mTempPath.empty()) {
        std::remove(mTempPath.c_str());
        mTempPath.clear();
    }
}

bool AudioWriter::write(const float* interleaved, std::int64_t frames, std::string* error) {
    if (sf_writef_float(mFile, interleaved, frames) != frames) {
        *error = mPath + ": write failed: " + sf_strerror(mFile);
        return false;
    }
    // Start writing back to disk as we go, so that the sync that makes the finished file
    // durable has little left to wait for.
    mUnsynced += frames * static_cast<std::int64_t>(sizeof(float));
    if (mUnsynced >= (std::int64_t{4} << 20)) {
        sync_file_range(mFd, 0, 0, SYNC_FILE_RANGE_WRITE);
        mUnsynced = 0;
    }
    return true;
}

bool AudioWriter::commit(std::string* error) {
    sf_write_sync(mFile);
    const int closed = sf_close(mFile);
    mFile = nullptr;
    if (closed != 0) {
        *error = mPath + ": cannot finish writing";
        discard();
        return false;
    }
    if (std::rename(mTempPath.c_str(), mPath.c_str()) != 0) {
        *error = mPath + ": cannot move the finished file into place: " + std::strerror(errno);
        discard();
        return false;
    }
    mTempPath.clear();
    return true;
}

bool writeFileAtomically(const std::string& path, const std::string& text, std::string* error) {
    std::string temp;
    const int fd = makeTemporary(path, &temp);
    if (fd < 0) {
        *error = path + ": cannot write in its folder: " + std::strerror(errno);
        return false;
    }
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            *error = path + ": write failed: " + std::strerror(errno);
            close(fd);
            std::remove(temp.c_str());
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    const bool synced = fsync(fd) == 0;
    close(fd);
    if (!synced || std::rename(temp.c_str(), path.c_str()) != 0) {
        *error = path + ": cannot move the finished file into place: " + std::strerror(errno);
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

} // namespace zerin::render
