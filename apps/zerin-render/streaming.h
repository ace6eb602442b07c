#pragma once

// Reading and writing audio on threads of their own, so that decoding, encoding and the
// disk overlap the rendering on another core. Chunks of planar audio pass through bounded
// queues: memory stays the same whatever the length of the file.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zerin::render {

inline constexpr std::int64_t kChunkFrames = 16384;

struct Chunk {
    std::vector<std::vector<float>> channels; // planar
    std::int64_t frames = 0;
};

// A bounded queue between two threads: push waits while full, pop while empty.
class ChunkQueue {
public:
    explicit ChunkQueue(std::size_t capacity) : mCapacity(capacity) {}
    // Without waiting: a chunk if one is there; false if full or closed.
    std::optional<Chunk> tryPop();
    bool tryPush(Chunk chunk);
    // False when the queue was closed (the other side gave up).
    bool push(Chunk chunk);
    // Nothing once the queue is closed and empty.
    std::optional<Chunk> pop();
    void close();

private:
    std::mutex mMutex;
    std::condition_variable mChanged;
    std::deque<Chunk> mChunks;
    std::size_t mCapacity;
    bool mClosed = false;
};

// Reads interleaved frames with `read` (0 at the end) on its own thread; hands them out as
// planar frames, then silence for ever.
class InputStream {
public:
    using Read = std::function<std::int64_t(float* interleaved, std::int64_t frames)>;
    InputStream(int channels, Read read);
    ~InputStream();
    // Copies the next `frames` frames of each channel to `destinations`.
    void take(float* const* destinations, std::int64_t frames);

private:
    void run();
    int mChannels;
    Read mRead;
    ChunkQueue mQueue{4};
    ChunkQueue mSpare{8}; // chunks handed back for reuse: no fresh memory per chunk
    std::optional<Chunk> mCurrent;
    std::int64_t mOffset = 0;
    bool mEnded = false;
    std::thread mThread;
};

// Collects planar frames into chunks and writes them with `write` on its own thread.
class OutputStream {
public:
    using Write =
        std::function<bool(const float* interleaved, std::int64_t frames, std::string* error)>;
    OutputStream(int channels, Write write);
    ~OutputStream();
    void append(const float* const* sources, std::int64_t frames);
    // Writes what is left and waits for the writer; false with the first write error.
    bool finish(std::string* error);
    // True once a write has failed (the render can stop early).
    bool failed();

private:
    void run();
    void flush();
    int mChannels;
    Write mWrite;
    ChunkQueue mQueue{4};
    ChunkQueue mSpare{8}; // written chunks handed back for reuse
    Chunk mPending;
    std::mutex mErrorMutex;
    std::string mError;
    bool mFailed = false;
    std::thread mThread;
};

} // namespace zerin::render
