// The proxy's last error text is kept per thread.

#include "error_store.h"

#include <gtest/gtest.h>

#include <thread>

namespace velmora::proxy {
namespace {

TEST(ErrorStore, AFailureOnAnotherThreadLeavesThisThreadsText) {
    ErrorStore store;
    const Guid iid{7, 1, 2, {}};
    store.set("Folder not found");
    std::string seenFirst;
    std::string seenAfter;
    HRESULT thrown = S_OK;
    std::thread poller([&] {
        seenFirst = store.get();
        try {
            store.fail(E_ACCESSDENIED, iid, "Not signed in");
        } catch (const ComError& e) {
            thrown = e.hr();
        }
        seenAfter = store.get();
    });
    poller.join();
    EXPECT_EQ(seenFirst, "");
    EXPECT_EQ(thrown, E_ACCESSDENIED);
    EXPECT_EQ(seenAfter, "Not signed in");
    EXPECT_EQ(store.get(), "Folder not found");
}

} // namespace
} // namespace velmora::proxy
