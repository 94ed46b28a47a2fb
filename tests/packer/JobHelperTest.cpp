// The one-pass job's second thread on its own, driven as the job's thread drives it.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "packer/JobHelper.h"
#include "tests/packer/PackTestUtil.h"

namespace {

// Descriptors the process holds; -1 where the system cannot tell.
int OpenDescriptors() {
#ifdef __linux__
    return static_cast<int>(NamesIn("/proc/self/fd").size());
#else
    return -1;
#endif
}

TEST(JobHelper, FilesOpenedAheadAreClosedAndLeftToTheJobsThreadWhenDescriptorsRunOut) {
    TempDir dir;
    // Files too long to be read whole ahead: each prepared one holds its descriptor. The
    // second thread prepares them in order, from the one after the job's thread's on; its
    // open of the last one, which holds none, tells that the others are ready.
    const std::vector<std::string> names = {"f0", "f1", "f2", "f3", "f4", "last"};
    for (const std::string& name : names) WriteFileBytes(dir / name, std::string(20000, 'x'));
    std::mutex mutex;
    std::condition_variable cv;
    bool lastTried = false;
    CJobHelper helper(16, 4, 0, [](const char*, std::size_t) { return true; },
                      [&](CFile& file, const CFolder& folder, const char* name, std::uint64_t, SkipReason& reason) {
                          reason = SkipReason::Unreadable;
                          if (std::strcmp(name, "last") != 0) return file.OpenAt(folder, name, CFile::modeRead);
                          std::lock_guard<std::mutex> lock(mutex);
                          lastTried = true;
                          cv.notify_all();
                          return false;
                      });
    std::vector<const std::string*> listed;
    for (const std::string& name : names) listed.push_back(&name);
    helper.BeginFolder(dir.Path(), listed, std::vector<std::uint64_t>(names.size(), 0), 0);
    std::size_t room = 0;
    ASSERT_NE(helper.Room(room), nullptr);
    helper.Commit(16);  // a full chunk: the second thread starts
    {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return lastTried; }));
    }
    const int held = OpenDescriptors();
    helper.GiveBackAhead(0);
    if (held >= 0) {
        EXPECT_EQ(OpenDescriptors(), held - 4) << "f1 to f4 closed";
    }
    for (std::size_t i = 1; i < 5; ++i) EXPECT_EQ(helper.Take(i), nullptr) << names[i] << " was not given back";
    EXPECT_TRUE(helper.Flush());
    helper.EndFolder();
}

}  // namespace
