// What a real transfer cannot show yet: a transfer that starts again below
// what it reported, and one whose total is not known.

#include "transfer_progress.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace velmora::proxy {
namespace {

using Report = std::pair<std::uint64_t, std::uint64_t>; // done, total

struct ReporterCase {
    const char* name;
    std::uint64_t total;
    std::vector<std::uint64_t> steps; // done so far, one interval apart
    std::vector<Report> expected;     // the last one from finish()
};

void PrintTo(const ReporterCase& c, std::ostream* os) {
    *os << c.name;
}

class TransferProgressReporter : public ::testing::TestWithParam<ReporterCase> {};

TEST_P(TransferProgressReporter, ReportsNeverGoBackwardsAndEndAtTheTotal) {
    const ReporterCase& c = GetParam();
    const auto start = TransferProgress::Clock::now();
    auto now = start;
    std::vector<Report> reports;
    TransferProgress progress([&](auto done, auto total) { reports.emplace_back(done, total); },
                              c.total, [&] { return now; });
    for (std::uint64_t done : c.steps) {
        now += TransferProgress::kInterval;
        progress.update(done);
    }
    progress.finish();
    EXPECT_EQ(reports, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TransferProgressReporter,
    ::testing::Values(ReporterCase{"Restarted",
                                   1000,
                                   {600, 300, 500, 800, 1000},
                                   {{600, 1000}, {800, 1000}, {1000, 1000}, {1000, 1000}}},
                      ReporterCase{
                          "UnknownTotal", 0, {300, 900}, {{300, 300}, {900, 900}, {900, 900}}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace velmora::proxy
