// What a real transfer cannot show yet: one that starts again below what it
// reported stays silent until it passes that point, and ends at its bytes.

#include "transfer_progress.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace velmora::proxy {

TEST(TransferProgress, ARestartedTransferNeverReportsBackwards) {
    auto now = TransferProgress::Clock::now();
    std::vector<std::pair<std::uint64_t, std::uint64_t>> reports;
    TransferProgress progress([&](auto done, auto total) { reports.emplace_back(done, total); },
                              1000, [&] { return now; });
    for (std::uint64_t done : {600, 300, 500, 800}) {
        now += TransferProgress::kInterval;
        progress.update(done);
    }
    progress.finish();
    EXPECT_EQ(reports, (decltype(reports){{600, 1000}, {800, 1000}, {800, 800}}));
}

} // namespace velmora::proxy
