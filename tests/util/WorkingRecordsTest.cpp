// Records of unfinished work, followed by two passes of one program at once, as the recordings'
// and the working files' clean-ups are at start-up.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "util/WorkingRecords.h"

namespace fs = std::filesystem;
using namespace qv::util;

// One pass holds each record for a moment, its own kind or not; the other pass, started while the
// first holds the other's record, still follows that record, instead of taking it for one of a
// running maker's and leaving it for the next start.
TEST(WorkingRecords, TwoPassesOfOneProgramEachFollowTheirOwnRecords) {
    char folderTemplate[] = "/tmp/qv-records-XXXXXX";
    ASSERT_NE(::mkdtemp(folderTemplate), nullptr);
    const std::string folder = folderTemplate;
    // As a killed maker leaves them: the fields, each ending with a NUL, and no lock.
    for (const auto& [name, text] : {std::pair{"movie.note", std::string("movie\0a.mp4\0", 12)},
                                     std::pair{"entry.note", std::string("entry\0a.part\0", 13)}}) {
        std::ofstream(fs::path(folder) / name, std::ios::binary) << text;
    }

    std::mutex m;
    std::condition_variable changed;
    bool secondStarted = false, secondDone = false;
    std::atomic<int> entriesFollowed{0};
    std::thread second;
    followAbandonedRecords(folder, [&](const RecordFields& fields) {
        if (fields.at(0) != "movie") {
            // The first pass has the other's record in hand: the other starts now.
            std::unique_lock<std::mutex> lock(m);
            if (!secondStarted) {
                secondStarted = true;
                second = std::thread([&] {
                    followAbandonedRecords(folder, [&](const RecordFields& f) {
                        if (f.at(0) != "entry") return false;
                        ++entriesFollowed;
                        return true;
                    });
                    const std::lock_guard<std::mutex> done(m);
                    secondDone = true;
                    changed.notify_all();
                });
            }
            // Until the other pass is done, or a while: a pass that waits for this one ends later.
            changed.wait_for(lock, std::chrono::seconds(2), [&] { return secondDone; });
            return false;
        }
        return true;
    });
    ASSERT_TRUE(secondStarted);
    second.join();
    EXPECT_EQ(entriesFollowed.load(), 1) << "the other pass skipped its record, held by this one";
    EXPECT_TRUE(fs::is_empty(folder)) << "a record stayed";
    fs::remove_all(folder);
}
