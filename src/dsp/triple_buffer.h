#pragma once

#include <atomic>
#include <cstdint>

namespace zerin {

// Index protocol of a triple buffer: one producer and one consumer, each owning one of three
// slots, exchange whole slots through a shared word without ever waiting for each other and
// without ever touching a slot the other side owns. The producer fills its `back` slot and
// publishes it; the consumer takes the newest published slot as its `front`. The data lives
// with the owner; this only hands out indices.
struct TripleBufferIndex {
    static constexpr std::uint32_t kFresh =
        4; // set while the shared slot holds an untaken publication

    std::atomic<std::uint32_t> shared{1};
    int back = 2;   // producer's slot
    int front = 0;  // consumer's slot
    int latest = 0; // producer side: the slot it published last (still readable by it)

    // Producer: the slot to fill next.
    int writeSlot() const noexcept { return back; }

    // Producer: make the filled back slot the newest publication. Release orders the slot's
    // contents before the index; acquire hands back a slot the consumer no longer reads.
    void publish() noexcept {
        latest = back;
        back = static_cast<int>(
            shared.exchange(static_cast<std::uint32_t>(back) | kFresh, std::memory_order_acq_rel) &
            3u);
    }

    // Consumer: whether a publication is waiting (a relaxed peek, for cheap polling).
    bool hasFresh() const noexcept {
        return (shared.load(std::memory_order_relaxed) & kFresh) != 0;
    }

    // Consumer: take the newest publication into `front`. False when nothing new was published.
    bool acquire() noexcept {
        if (!hasFresh()) return false;
        front = static_cast<int>(
            shared.exchange(static_cast<std::uint32_t>(front), std::memory_order_acq_rel) & 3u);
        return true;
    }
};

} // namespace zerin
