#pragma once

// Spreading one image's encoding over the cores (the PNG bands, the TIFF strips).

#include <algorithm>
#include <cstddef>
#include <system_error>
#include <thread>
#include <vector>

namespace codec {

/// How many threads are worth starting for `items` independent pieces of work: `wanted` (0: one
/// per core), never more than there are pieces.
inline unsigned ThreadsFor(unsigned wanted, std::size_t items)
{
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const unsigned threads = wanted ? wanted : cores;
    return static_cast<unsigned>(std::max<std::size_t>(1, std::min<std::size_t>(threads, items)));
}

/// Runs `body` on `threads` threads at once, the calling thread being one of them, and returns
/// when every one has finished. A thread that cannot be started leaves its share to the others,
/// so `body` must take its pieces of work from a shared counter rather than by thread number,
/// and must not throw.
template <typename Body> void RunOnThreads(unsigned threads, const Body& body)
{
    std::vector<std::thread> helpers;
    try {
        helpers.reserve(threads > 1 ? threads - 1 : 0);
        for (unsigned t = 1; t < threads; ++t)
            helpers.emplace_back([&body] { body(); });
    } catch (const std::system_error&) {
    } catch (const std::bad_alloc&) {
    }
    body();
    for (std::thread& t : helpers)
        t.join();
}

} // namespace codec
