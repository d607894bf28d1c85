#include <gtest/gtest.h>

#include <barrier>
#include <string>
#include <thread>
#include <vector>

#include "server/html/PageBuilder.h"
#include "server/html/Tags.h"

namespace {

using namespace qv::html;
using namespace qv::html::tags;

// A page that uses every slot rule, different for every seed.
void pageFor(int seed) {
    html([&] {
        body([&] {
            htmlAttributeSlots()["class"] = "page-" + std::to_string(seed);
            ul(std::vector<int>{seed, seed + 1, seed + 2}, [&](int n) {
                li([&] {
                    htmlAttributeSlots()["id"] = "item-" + std::to_string(n);
                    a([&] {
                        htmlAttributeSlots()["href"] = "/n/" + std::to_string(n);
                        htmlContentSlot() = std::to_string(n * seed);
                    });
                });
            });
            p([&] {
                span({});
                htmlContentSlot() = "drops the span " + std::to_string(seed);
            });
            evaluateElement("div", {{"data-seed", std::to_string(seed)}}, [&] {
                htmlAttributeSlots()["Name"] = "N";
                htmlAttributeSlots()["name"] = "n";
            });
        });
    });
}

std::string renderPage(int seed) {
    htmlPageBuffer().clear();
    pageFor(seed);
    return htmlPageBuffer();
}

TEST(ConcurrentPages, ThreadsBuildingAtOnceGetTheSingleThreadedBytes) {
    constexpr int threadCount = 8;
    constexpr int pagesPerThread = 200;
    std::vector<std::string> expected;
    for (int seed = 0; seed < threadCount; ++seed) expected.push_back(renderPage(seed));
    ASSERT_NE(expected[0], expected[1]);

    std::vector<int> mismatches(threadCount, 0);
    std::barrier start(threadCount);
    std::vector<std::thread> threads;
    for (int seed = 0; seed < threadCount; ++seed) {
        threads.emplace_back([&, seed] {
            start.arrive_and_wait();
            for (int i = 0; i < pagesPerThread; ++i)
                if (renderPage(seed) != expected[seed]) ++mismatches[seed];
        });
    }
    for (auto& t : threads) t.join();
    for (int seed = 0; seed < threadCount; ++seed) EXPECT_EQ(mismatches[seed], 0) << "thread " << seed;
}

}  // namespace
