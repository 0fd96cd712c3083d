// A single-producer single-consumer ring of samples between a normal-priority thread and a
// time-critical audio thread (playback, recording, live monitoring). Its storage is allocated once
// by the constructor, before either side runs; write and read then never allocate, lock or wait.
// Exactly one thread writes and one thread reads; reset only while neither runs.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <memory>

template <typename T> class TRingBuffer {
public:
    // Holds at least `capacity` samples (rounded up to a power of two, at least 2).
    explicit TRingBuffer(std::size_t capacity) {
        std::size_t size = 2;
        while (size < capacity)
            size *= 2;
        data_ = std::make_unique<T[]>(size);
        mask_ = size - 1;
    }
    TRingBuffer(const TRingBuffer&) = delete;
    TRingBuffer& operator=(const TRingBuffer&) = delete;

    std::size_t capacity() const { return mask_ + 1; }
    // Samples the reader may take now (exact on the reader's thread, a lower bound elsewhere).
    std::size_t readable() const {
        return head_.load(std::memory_order_acquire) - tail_.load(std::memory_order_relaxed);
    }
    // Room the writer may fill now (exact on the writer's thread, a lower bound elsewhere).
    std::size_t writable() const {
        return capacity() - (head_.load(std::memory_order_relaxed) - tail_.load(std::memory_order_acquire));
    }

    // Writer: copies up to `count` samples, as many as there is room for; returns how many.
    std::size_t write(const T* in, std::size_t count) {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        const std::size_t n = std::min(count, capacity() - (head - tail_.load(std::memory_order_acquire)));
        for (std::size_t i = 0; i < n; ++i)
            data_[(head + i) & mask_] = in[i];
        head_.store(head + n, std::memory_order_release);
        return n;
    }
    // Reader: copies up to `count` samples, as many as are there; returns how many.
    std::size_t read(T* out, std::size_t count) {
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        const std::size_t n = std::min(count, head_.load(std::memory_order_acquire) - tail);
        for (std::size_t i = 0; i < n; ++i)
            out[i] = data_[(tail + i) & mask_];
        tail_.store(tail + n, std::memory_order_release);
        return n;
    }
    // Empties the ring; only while neither side runs.
    void reset() {
        head_.store(0, std::memory_order_relaxed);
        tail_.store(0, std::memory_order_relaxed);
    }

private:
    std::unique_ptr<T[]> data_;
    std::size_t mask_ = 1;
    alignas(64) std::atomic<std::size_t> head_{0}; // samples written so far, by the writer
    alignas(64) std::atomic<std::size_t> tail_{0}; // samples read so far, by the reader
};
