// The progress reporter on a clock of the test's own: when it reports, and
// that what it reports never goes backwards.

#include "transfer_progress.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace velmora::proxy {
namespace {

using Report = std::pair<std::uint64_t, std::uint64_t>; // done, total

struct Step {
    int atMs;
    std::uint64_t doneSoFar;
};

struct ReporterCase {
    const char* name;
    std::uint64_t total;
    std::vector<Step> steps;
    std::vector<Report> expected; // the last one from finish()
};

void PrintTo(const ReporterCase& c, std::ostream* os) {
    *os << c.name;
}

class TransferProgressReporter : public ::testing::TestWithParam<ReporterCase> {};

TEST_P(TransferProgressReporter, ReportsAsExpected) {
    const ReporterCase& c = GetParam();
    const auto start = TransferProgress::Clock::now();
    int nowMs = 0;
    std::vector<Report> reports;
    TransferProgress progress(
        [&](std::uint64_t done, std::uint64_t total) { reports.emplace_back(done, total); },
        c.total, [&] { return start + std::chrono::milliseconds(nowMs); });
    for (const Step& step : c.steps) {
        nowMs = step.atMs;
        progress.update(step.doneSoFar);
    }
    progress.finish();
    EXPECT_EQ(reports, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TransferProgressReporter,
    ::testing::Values(
        ReporterCase{"AtMostOneReportPerInterval",
                     1000,
                     {{10, 100},
                      {50, 200},
                      {99, 300},
                      {100, 400},
                      {150, 500},
                      {199, 600},
                      {200, 700},
                      {250, 1000}},
                     {{400, 1000}, {700, 1000}, {1000, 1000}}},
        ReporterCase{
            "AShortTransferReportsOnlyItsEnd", 1000, {{5, 500}, {60, 1000}}, {{1000, 1000}}},
        // A download that starts again below what it had reported stays
        // silent until it passes that point.
        ReporterCase{"ARestartNeverGoesBackwards",
                     1000,
                     {{100, 600}, {200, 300}, {300, 500}, {400, 800}, {450, 1000}},
                     {{600, 1000}, {800, 1000}, {1000, 1000}}},
        ReporterCase{"AnUnknownTotalGrowsWithTheBytes",
                     0,
                     {{100, 300}, {200, 900}},
                     {{300, 300}, {900, 900}, {900, 900}}},
        // The end counts what really came, whatever the total said.
        ReporterCase{"TheEndIsWhatCame", 5000, {{100, 1200}}, {{1200, 5000}, {1200, 1200}}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace velmora::proxy
