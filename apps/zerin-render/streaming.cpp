#include "streaming.h"

#include <algorithm>
#include <cstring>

namespace zerin::render {

bool ChunkQueue::push(Chunk chunk) {
    std::unique_lock<std::mutex> lock(mMutex);
    mChanged.wait(lock, [this] { return mClosed || mChunks.size() < mCapacity; });
    if (mClosed) return false;
    mChunks.push_back(std::move(chunk));
    mChanged.notify_all();
    return true;
}

std::optional<Chunk> ChunkQueue::pop() {
    std::unique_lock<std::mutex> lock(mMutex);
    mChanged.wait(lock, [this] { return mClosed || !mChunks.empty(); });
    if (mChunks.empty()) return std::nullopt;
    Chunk chunk = std::move(mChunks.front());
    mChunks.pop_front();
    mChanged.notify_all();
    return chunk;
}

std::optional<Chunk> ChunkQueue::tryPop() {
    std::lock_guard<std::mutex> lock(mMutex);
    if (mChunks.empty()) return std::nullopt;
    Chunk chunk = std::move(mChunks.front());
    mChunks.pop_front();
    mChanged.notify_all();
    return chunk;
}

bool ChunkQueue::tryPush(Chunk chunk) {
    std::lock_guard<std::mutex> lock(mMutex);
    if (mClosed || mChunks.size() >= mCapacity) return false;
    mChunks.push_back(std::move(chunk));
    mChanged.notify_all();
    return true;
}

namespace {

// A chunk for `channels` channels of kChunkFrames: a spare one if there is one.
Chunk reuse(ChunkQueue& spare, int channels) {
    if (auto chunk = spare.tryPop()) {
        chunk->frames = 0;
        return std::move(*chunk);
    }
    Chunk chunk;
    chunk.channels.assign(channels, std::vector<float>(kChunkFrames));
    return chunk;
}

// Hands a used chunk back, or lets it go when enough are spare.
void recycle(ChunkQueue& spare, Chunk chunk) {
    spare.tryPush(std::move(chunk));
}

} // namespace

void ChunkQueue::close() {
    std::lock_guard<std::mutex> lock(mMutex);
    mClosed = true;
    mChanged.notify_all();
}

InputStream::InputStream(int channels, Read read)
    : mChannels(channels), mRead(std::move(read)), mThread([this] { run(); }) {}

InputStream::~InputStream() {
    mQueue.close(); // a reader still waiting to push gives up
    mThread.join();
}

void InputStream::run() {
    std::vector<float> interleaved(static_cast<std::size_t>(kChunkFrames) * mChannels);
    for (;;) {
        const std::int64_t got = std::max<std::int64_t>(0, mRead(interleaved.data(), kChunkFrames));
        if (got == 0) break;
        Chunk chunk = reuse(mSpare, mChannels);
        chunk.frames = got;
        for (int c = 0; c < mChannels; ++c) {
            float* dst = chunk.channels[c].data();
            for (std::int64_t i = 0; i < got; ++i)
                dst[i] = interleaved[i * mChannels + c];
        }
        if (!mQueue.push(std::move(chunk))) return;
        if (got < kChunkFrames) break;
    }
    mQueue.close();
}

void InputStream::take(float* const* destinations, std::int64_t frames) {
    std::int64_t done = 0;
    while (done < frames) {
        if (!mEnded && (!mCurrent || mOffset == mCurrent->frames)) {
            if (mCurrent) recycle(mSpare, std::move(*mCurrent));
            mCurrent = mQueue.pop();
            mOffset = 0;
            mEnded = !mCurrent;
        }
        if (mEnded) {
            for (int c = 0; c < mChannels; ++c)
                std::fill(destinations[c] + done, destinations[c] + frames, 0.0f);
            return;
        }
        const std::int64_t n = std::min(frames - done, mCurrent->frames - mOffset);
        for (int c = 0; c < mChannels; ++c)
            std::memcpy(destinations[c] + done, mCurrent->channels[c].data() + mOffset,
                        sizeof(float) * static_cast<std::size_t>(n));
        mOffset += n;
        done += n;
    }
}

OutputStream::OutputStream(int channels, Write write)
    : mChannels(channels), mWrite(std::move(write)), mThread([this] { run(); }) {
    mPending = reuse(mSpare, mChannels);
}

OutputStream::~OutputStream() {
    mQueue.close();
    mThread.join();
}

void OutputStream::run() {
    std::vector<float> interleaved(static_cast<std::size_t>(kChunkFrames) * mChannels);
    while (auto chunk = mQueue.pop()) {
        for (int c = 0; c < mChannels; ++c) {
            const float* src = chunk->channels[c].data();
            for (std::int64_t i = 0; i < chunk->frames; ++i)
                interleaved[i * mChannels + c] = src[i];
        }
        std::string error;
        const bool wrote = mWrite(interleaved.data(), chunk->frames, &error);
        recycle(mSpare, std::move(*chunk));
        if (!wrote) {
            std::lock_guard<std::mutex> lock(mErrorMutex);
            mFailed = true;
            mError = error;
            mQueue.close();
            return;
        }
    }
}

void OutputStream::flush() {
    if (mPending.frames == 0) return;
    Chunk full = std::move(mPending);
    mPending = reuse(mSpare, mChannels);
    mQueue.push(std::move(full)); // refused only after a failure, which finish() reports
}

void OutputStream::append(const float* const* sources, std::int64_t frames) {
    std::int64_t done = 0;
    while (done < frames) {
        const std::int64_t n = std::min(frames - done, kChunkFrames - mPending.frames);
        for (int c = 0; c < mChannels; ++c)
            std::memcpy(mPending.channels[c].data() + mPending.frames, sources[c] + done,
                        sizeof(float) * static_cast<std::size_t>(n));
        mPending.frames += n;
        done += n;
        if (mPending.frames == kChunkFrames) flush();
    }
}

bool OutputStream::failed() {
    std::lock_guard<std::mutex> lock(mErrorMutex);
    return mFailed;
}

bool OutputStream::finish(std::string* error) {
    flush();
    mQueue.close();
    mThread.join();
    mThread = std::thread([] {}); // the destructor joins once more
    std::lock_guard<std::mutex> lock(mErrorMutex);
    if (mFailed) *error = mError;
    return !mFailed;
}

} // namespace zerin::render
