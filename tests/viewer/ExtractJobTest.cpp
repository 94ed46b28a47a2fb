// The browser's extract: selections and whole folders written as the packet holds
// them, conflicts answered each way, a cancel that leaves nothing partial, names and
// links that would lead elsewhere refused, a packet cut short after opening.
#include <gtest/gtest.h>

#include <deque>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "tests/viewer/ViewerTestSupport.h"
#include "viewer/ExtractJob.h"

namespace {

// Answers conflicts from a script and cancels after a number of questions.
class ScriptedEvents : public IExtractEvents {
public:
    void OnProgress(std::size_t, std::int64_t, const std::string& path) override { progress.push_back(path); }
    ConflictAnswer OnConflict(const std::string& path) override {
        conflicts.push_back(path);
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected conflict at " << path;
            return ConflictAnswer::Cancel;
        }
        ConflictAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    bool Cancelled() override { return ++asked > cancelAfter; }

    std::deque<ConflictAnswer> answers;
    std::size_t cancelAfter = static_cast<std::size_t>(-1);
    std::size_t asked = 0;
    std::vector<std::string> conflicts;
    std::vector<std::string> progress;
};

class ViewerExtractJobTest : public testing::Test {
protected:
    void OpenPacket(const std::vector<ViewItem>& items) {
        WritePacket(m_packet, items);
        std::string error;
        ASSERT_TRUE(m_view.Open(m_packet, error)) << error;
    }
    // Extracts `entries` of folder `base` into the destination; the job, after Run.
    std::unique_ptr<CExtractJob> Extract(std::size_t base, const std::vector<std::size_t>& entries,
                                         ScriptedEvents& events) {
        std::unique_ptr<CExtractJob> job(new CExtractJob(m_view, base, entries, m_dest));
        EXPECT_TRUE(job->Run(events)) << job->Message();
        return job;
    }
    std::unique_ptr<CExtractJob> ExtractAll(ScriptedEvents& events) {
        return Extract(kRootFolder, m_view.Children(kRootFolder), events);
    }
    std::string Dest(const std::string& relative) const { return m_dest + NativePath(relative); }
    static std::vector<std::string> PathsOf(const std::vector<ExtractProblem>& problems) {
        std::vector<std::string> paths;
        for (const ExtractProblem& problem : problems) paths.push_back(problem.path);
        return paths;
    }

    TempDir m_dir;
    std::string m_packet = m_dir / "p.pak";
    std::string m_dest = m_dir / "out/deeper/";  // made with its missing parents
    CPacketView m_view;
};

const std::string kZhongWen = "\xD6\xD0\xCE\xC4";  // GBK 中文

// Where the Windows rules on names hold (device names, "a:b").
constexpr bool kWindowsTestNames =
#ifdef _WIN32
    true;
#else
    false;
#endif

TEST_F(ViewerExtractJobTest, WritesASelectionAndWholeFoldersBelowTheirBase) {
    OpenPacket({Folder("a"), File("top.txt", "t"), Folder(kZhongWen), File("a\\x.txt", "xxx"), Folder("a\\b"),
                Folder("a\\e"), File("a\\b\\y.txt", "yy"), File(kZhongWen + "\\z", "zz")});
    ScriptedEvents events;
    auto job = ExtractAll(events);
    EXPECT_TRUE(job->Problems().empty());
    EXPECT_EQ(job->TotalFiles(), 4u);
    EXPECT_EQ(job->TotalBytes(), 8);
    EXPECT_EQ(job->FilesWritten(), 4u);
    EXPECT_EQ(job->BytesWritten(), 8);
    const std::string zi = LocalName(u8"中文");
    EXPECT_EQ(ReadTree(m_dest), (std::map<std::string, std::string>{{"a/", ""},
                                                                    {"a/x.txt", "xxx"},
                                                                    {"a/b/", ""},
                                                                    {"a/b/y.txt", "yy"},
                                                                    {"a/e/", ""},
                                                                    {"top.txt", "t"},
                                                                    {zi + "/", ""},
                                                                    {zi + "/z", "zz"}}));
    EXPECT_EQ(events.progress, (std::vector<std::string>{"top.txt", "a\\x.txt", "a\\b\\y.txt", u8"中文\\z"}));

    // Chosen in folder a: their paths below a.
    RemoveTree(m_dest);
    std::unique_ptr<CExtractJob> part = Extract(0, {4, 3}, events);  // a\b and a\x.txt
    EXPECT_EQ(part->TotalFiles(), 2u);
    EXPECT_EQ(ReadTree(m_dest), (std::map<std::string, std::string>{{"x.txt", "xxx"}, {"b/", ""}, {"b/y.txt", "yy"}}));
}

TEST_F(ViewerExtractJobTest, ConflictsAreAnsweredFileByFileOrForAll) {
    OpenPacket({File("1", "new1"), File("2", "new2"), File("3", "new3"), File("4", "new4")});
    MakeDirs(m_dest);
    for (const char* name : {"1", "2", "3", "4"}) WriteFileBytes(Dest(name), "old");

    ScriptedEvents events;
    events.answers = {ConflictAnswer::Skip, ConflictAnswer::Overwrite, ConflictAnswer::SkipAll};
    auto job = ExtractAll(events);
    EXPECT_EQ(events.conflicts, (std::vector<std::string>{"1", "2", "3"}));  // 4 by the SkipAll
    EXPECT_EQ(ReadTree(m_dest),
              (std::map<std::string, std::string>{{"1", "old"}, {"2", "new2"}, {"3", "old"}, {"4", "old"}}));
    EXPECT_EQ(PathsOf(job->Problems()), (std::vector<std::string>{"1", "3", "4"}));
    EXPECT_EQ(job->Problems()[0].reason, u8"已存在, 已跳过");
    EXPECT_EQ(job->FilesWritten(), 1u);

    events.conflicts.clear();
    events.answers = {ConflictAnswer::OverwriteAll};
    job = ExtractAll(events);
    EXPECT_EQ(events.conflicts, (std::vector<std::string>{"1"}));
    EXPECT_TRUE(job->Problems().empty());
    EXPECT_EQ(ReadTree(m_dest),
              (std::map<std::string, std::string>{{"1", "new1"}, {"2", "new2"}, {"3", "new3"}, {"4", "new4"}}));

    for (const char* name : {"1", "2", "3", "4"}) WriteFileBytes(Dest(name), "old");
    events.answers = {ConflictAnswer::Overwrite, ConflictAnswer::Cancel};
    job = ExtractAll(events);
    EXPECT_TRUE(job->WasCancelled());
    EXPECT_EQ(ReadTree(m_dest),
              (std::map<std::string, std::string>{{"1", "new1"}, {"2", "old"}, {"3", "old"}, {"4", "old"}}));
}

TEST_F(ViewerExtractJobTest, ACancelPartWayLeavesNoPartialFile) {
    std::string big(1024 * 1024, 'b');  // four pieces
    OpenPacket({File("small", "s"), File("big", big), File("after", "a")});
    ScriptedEvents events;
    events.cancelAfter = 4;  // before "small" and its piece, before "big" and its first piece
    auto job = ExtractAll(events);
    EXPECT_TRUE(job->WasCancelled());
    EXPECT_EQ(job->FilesWritten(), 1u);
    EXPECT_EQ(NamesIn(m_dest), (std::vector<std::string>{"small"}));  // no temporary file either
}

TEST_F(ViewerExtractJobTest, HostileNamesAreRefusedAndTheRestWritten) {
    // Names no Windows file may have, below the top level where the reader takes them.
    OpenPacket({Folder("d"), File("d\\C:", "1"), Folder("d\\CON"), File("d\\a:b", "3"), File("d\\ok", "4"),
                File("d\\bad\xFFgbk", "5"), File("d\\CON\\in", "2")});
    ScriptedEvents events;
    auto job = ExtractAll(events);
    std::vector<std::string> refused = {"d\\C:"};
    std::map<std::string, std::string> written = {{"d/", ""}, {"d/ok", "4"}};
    if (kWindowsTestNames) {
        refused.insert(refused.end(), {"d\\CON", "d\\a:b"});  // CON listed once, its content left out
    } else {
        written.insert({{"d/CON/", ""}, {"d/CON/in", "2"}, {"d/a:b", "3"}});
    }
    refused.push_back("d\\bad\\xffgbk");
    ASSERT_EQ(PathsOf(job->Problems()), refused);
    EXPECT_EQ(job->Problems().back().reason, u8"名称不是有效的 GBK");
    EXPECT_EQ(ReadTree(m_dest), written);
}

#ifndef _WIN32
TEST_F(ViewerExtractJobTest, ALinkInTheDestinationIsNotFollowed) {
    OpenPacket({Folder("a"), File("g", "g"), File("a\\f", "into a")});
    TempDir elsewhere;
    MakeDirs(m_dest);
    ASSERT_EQ(::symlink(elsewhere.Path().c_str(), Dest("a").c_str()), 0);
    ScriptedEvents events;
    auto job = ExtractAll(events);
    ASSERT_EQ(PathsOf(job->Problems()), (std::vector<std::string>{"a"}));
    EXPECT_NE(job->Problems()[0].reason.find(u8"链接"), std::string::npos);
    EXPECT_TRUE(NamesIn(elsewhere.Path()).empty());
    EXPECT_EQ(ReadFileBytes(Dest("g")), "g");
}
#endif

TEST_F(ViewerExtractJobTest, APacketCutAfterOpeningGivesReadProblemsAndTheJobGoesOn) {
    OpenPacket({File("one", "1111"), File("two", "2222"), File("three", "3333")});
    CutFile(m_packet, 64 + 6);
    ScriptedEvents events;
    auto job = ExtractAll(events);
    ASSERT_EQ(PathsOf(job->Problems()), (std::vector<std::string>{"two", "three"}));
    EXPECT_EQ(job->Problems()[0].reason.rfind(u8"读取数据包出错: ", 0), 0u);
    EXPECT_EQ(NamesIn(m_dest), (std::vector<std::string>{"one"}));
}

TEST_F(ViewerExtractJobTest, ADestinationThatCannotBeMadeFailsTheJob) {
    OpenPacket({File("one", "1")});
    WriteFileBytes(m_dir / "file", "x");
    CExtractJob job(m_view, kRootFolder, {0}, m_dir / "file/below");
    ScriptedEvents events;
    EXPECT_FALSE(job.Run(events));
    EXPECT_FALSE(job.Message().empty());
    EXPECT_EQ(job.FilesWritten(), 0u);
}

}  // namespace
