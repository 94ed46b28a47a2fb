// Entries put in place of a listed plain file between the folder's listing and the open:
// however the job opens and reads the file, only a plain file is packed; anything else is
// skipped as no file, and the job goes on.
#ifndef _WIN32

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstring>

#include "tests/packer/PackTestUtil.h"

namespace {

// Who reads the files of the folder whose entries are replaced.
enum class Reader {
    JobAlone,        // one thread: the buffered copy
    JobBesideHelper, // the job's thread into the ring, the second thread preparing none
    HelperAhead,     // the second thread, opening and reading them ahead
};

// Replaces listed plain files of sub/: by a folder, a FIFO holding bytes from a writer
// that is still there and, where this process may make devices, the null and zero devices.
class Swapper {
public:
    explicit Swapper(const PackFixture& f) : m_f(f) {
        const std::string probe = f.Dir() / "device";
        m_devices = ::mknod(probe.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0 && ::unlink(probe.c_str()) == 0;
    }
    ~Swapper() {
        if (m_writer >= 0) ::close(m_writer);
    }
    bool Devices() const { return m_devices; }
    // The names replaced, below the source.
    const std::vector<std::string>& Swapped() const { return m_swapped; }

    void Swap() {
        Replace("dir", [](const char* path) { return ::mkdir(path, 0755); });
        Replace("fifo", [](const char* path) { return ::mkfifo(path, 0644); });
        m_writer = ::open(m_f.Src("sub/fifo").c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        EXPECT_TRUE(m_writer >= 0 && ::write(m_writer, "pipe", 4) == 4);
        if (!m_devices) return;
        Replace("null", [](const char* path) { return ::mknod(path, S_IFCHR | 0666, makedev(1, 3)); });
        Replace("zero", [](const char* path) { return ::mknod(path, S_IFCHR | 0666, makedev(1, 5)); });
    }

private:
    void Replace(const char* name, int (*make)(const char* path)) {
        const std::string path = m_f.Src(std::string("sub/") + name);
        EXPECT_EQ(::unlink(path.c_str()), 0);
        EXPECT_EQ(make(path.c_str()), 0) << name;
        m_swapped.push_back(std::string("sub/") + name);
    }

    const PackFixture& m_f;
    bool m_devices = false;
    int m_writer = -1;
    std::vector<std::string> m_swapped;
};

// Holds the job's thread before the first file of sub/ until the second thread has read
// sub/z, the folder's last file, whole: every file before it was prepared ahead by then.
struct HelperWait {
    int watch = -1;
    bool armed = false;  // sub/ is listed: the next pump is the one before its first file
    bool waited = false;

    static void Pump(void* self) {
        HelperWait& w = *static_cast<HelperWait*>(self);
        if (!w.armed) return;
        w.armed = false;
        alignas(struct inotify_event) char buffer[4096];
        struct pollfd p = {w.watch, POLLIN, 0};
        while (!w.waited && ::poll(&p, 1, 10000) == 1) {
            const ssize_t n = ::read(w.watch, buffer, sizeof buffer);
            for (char* at = buffer; n > 0 && at < buffer + n;) {
                auto* event = reinterpret_cast<struct inotify_event*>(at);
                if (event->len > 0 && std::strcmp(event->name, "z") == 0) w.waited = true;
                at += sizeof(struct inotify_event) + event->len;
            }
        }
    }
};

TEST(PackSwap, EntryThatIsNoPlainFileWhenReadIsSkippedAsNoFileByEveryReader) {
    for (Reader reader : {Reader::JobAlone, Reader::JobBesideHelper, Reader::HelperAhead}) {
        SCOPED_TRACE("reader " + std::to_string(static_cast<int>(reader)));
        PackFixture f;
        f.Write("big", std::string(300 * 1024, 'b'));  // starts the second thread
        // After an empty file the second thread prepares nothing ahead in the next folder.
        if (reader == Reader::JobBesideHelper) f.Write("empty", "");
        for (const char* name : {"a", "dir", "fifo", "null", "zero"}) f.Write(std::string("sub/") + name, "plain");
        f.Write("sub/z", "zz");
        PackOptions options = f.Options();
        options.sorted = true;
        Swapper swapper(f);
        HelperWait wait;
        wait.watch = ::inotify_init1(IN_CLOEXEC);
        ASSERT_GE(::inotify_add_watch(wait.watch, f.Src("sub").c_str(), IN_CLOSE_NOWRITE), 0);
        OnePassOptions onePass;
        onePass.jobs = reader == Reader::JobAlone ? 1 : 2;
        onePass.listed = [&](const std::string& folder) {
            if (folder != f.Src("sub/")) return;
            swapper.Swap();
            wait.armed = reader == Reader::HelperAhead;
        };
        SetPumpHook(&HelperWait::Pump, &wait);
        OnePassRun run = PackOnePass(f, f.Dir() / "p.dat", options, onePass);
        SetPumpHook(nullptr, nullptr);
        ::close(wait.watch);

        EXPECT_TRUE(run.ok) << (run.messages.empty() ? "" : run.messages.back());
        EXPECT_EQ(wait.waited, reader == Reader::HelperAhead);
        std::vector<std::string> skipped;
        for (const SkippedEntry& s : run.skipped) {
            EXPECT_EQ(s.reason, SkipReason::NotAFile) << s.path;
            skipped.push_back(s.path.substr(f.Source().size()));
        }
        EXPECT_EQ(skipped, swapper.Swapped());
        std::vector<std::string> packed = {"big", "sub", "sub\\a", "sub\\z"};
        if (reader == Reader::JobBesideHelper) packed.insert(packed.begin() + 1, "empty");
        if (!swapper.Devices()) packed.insert(packed.end() - 1, {"sub\\null", "sub\\zero"});
        EXPECT_EQ(PathsOf(ReadValidPacket(f.Dir() / "p.dat")), packed);
    }
}

}  // namespace

#endif  // _WIN32
