#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/graph/TextFolding.h"

using tallowmere::graph::TextFolding;

// The comparison keeps a bounded per-thread cache of sort keys; the comparison
// that fills it up must still read both of its keys (under AddressSanitizer a
// key freed while in use is reported, elsewhere it gives a wrong order).
TEST(TextFolding, LocalizedCompareStaysRightWhenItsKeyCacheFillsUp) {
    std::thread([] {  // a thread of its own starts with an empty cache
        auto text = [](int i) { return "feed " + std::to_string(i); };
        for (int i = 1; i < 16383; ++i) ASSERT_GT(TextFolding::localizedCompare(text(i), text(0)), 0) << i;
        EXPECT_GT(TextFolding::localizedCompare("zebra", "apple"), 0);
        EXPECT_LT(TextFolding::localizedCompare("apple 2", "apple 10"), 0);
    }).join();
}
