// Writing settings files: the layout byte for byte, round trips, and that a failed
// Save never harms the file that was there.
#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#else
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "IniTestSupport.h"
#include "platform/File.h"

namespace {

std::string FixturePath(const std::string& name) {
    std::string path = std::string(VELKARON_INI_FIXTURES) + "/" + name;
#ifdef _WIN32
    // The source tree is reached through Wine's drive Z:, which maps the Unix root.
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    path = "Z:" + path;
#endif
    return path;
}

// Allows or forbids writing `path` for its owner (the read-only attribute on Windows).
void SetWritable(const std::string& path, bool bWritable) {
#ifdef _WIN32
    ASSERT_EQ(_chmod(path.c_str(), bWritable ? (_S_IREAD | _S_IWRITE) : _S_IREAD), 0);
#else
    ASSERT_EQ(chmod(path.c_str(), bWritable ? 0644 : 0444), 0);
#endif
}

std::string EveryByte() {
    std::string bytes;
    for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
    return bytes;
}

}  // namespace

TEST(IniFileSave, SettingsFileOfThePackCommandByteForByte) {
    TempDir dir;
    CIniFile store;
    store.SetString(".", "SourcePath", "D:\\site");
    store.SetString(".", "PacketName", "D:\\out.dat");
    const std::string expected = ReadFileBytes(FixturePath("pack-command-settings.ini"));
    ASSERT_EQ(expected.size(), 52u) << "fixture missing or altered";
    EXPECT_EQ(SavedBytes(store, dir), expected);
}

TEST(IniFileSave, LayoutOfEmptyStoresSectionsAndEntries) {
    TempDir dir;
    CIniFile store;
    EXPECT_EQ(SavedBytes(store, dir), "");

    CIniFile oneEmptySection;
    ASSERT_TRUE(LoadBytes(oneEmptySection, dir, "[Empty]\r\n"));
    EXPECT_EQ(SavedBytes(oneEmptySection, dir), "\r\n[Empty]\r\n");

    CIniFile several;
    several.SetString("A\\b", "k\\ey", "x\\y\r\n");  // names go out as they are, values escaped
    several.SetString("B", "", "");
    several.SetString("A\\b", "second", "2");
    EXPECT_EQ(SavedBytes(several, dir), "\r\n[A\\b]\r\nk\\ey=x\\\\y\\r\\n\r\nsecond=2\r\n\r\n[B]\r\n=\r\n");
    EXPECT_EQ(*several.GetString("A\\b", "k\\ey"), "x\\y\r\n") << "the value in memory stays unencoded";
}

TEST(IniFileSave, ValuesOfEveryByteComeBackUnchanged) {
    TempDir dir;
    CIniProbe store;
    const std::string all = EveryByte();
    store.SetString("S", "all", all);
    store.SetString("S", "reversed", std::string(all.rbegin(), all.rend()));
    for (int b = 0; b < 256; ++b) store.SetString("T", "k" + std::to_string(b), std::string(1, static_cast<char>(b)));
    store.SetString("T", "tricky", "\\\\r\\n\\\r\n\\");

    const std::string saved = SavedBytes(store, dir);
    CIniProbe loaded;
    ASSERT_TRUE(LoadBytes(loaded, dir, saved));
    EXPECT_EQ(loaded.Dump(), store.Dump());
    EXPECT_EQ(SavedBytes(loaded, dir), saved);
}

// ... and removes the temporary file of a save killed before its rename.
TEST(IniFileSave, ReplacesALongerFileWhollyAndLeavesNoTemporaryFile) {
    TempDir dir;
    const std::string path = dir / "settings.ini";
    WriteFileBytes(path, std::string(10000, '#'));
    WriteFileBytes(path + ".velkaron-99999999-0badf00d.tmp", "killed");
    CIniFile store;
    store.SetString("S", "k", "v");
    ASSERT_TRUE(store.Save(path));
    EXPECT_EQ(ReadFileBytes(path), "\r\n[S]\r\nk=v\r\n");
    EXPECT_EQ(NamesIn(dir.Path()), Lines{"settings.ini"});
}


TEST(IniFileSave, FolderInTheWayOrMissingFolderFails) {
    TempDir dir;
    CIniFile store;
    store.SetString("S", "k", "v");
    MakeDirs(dir / "taken.ini");
    WriteFileBytes(dir / "taken.ini/keep", "x");
    EXPECT_FALSE(store.Save(dir / "taken.ini"));
    EXPECT_EQ(ReadFileBytes(dir / "taken.ini/keep"), "x");
    EXPECT_EQ(NamesIn(dir.Path()), Lines{"taken.ini"});

    EXPECT_FALSE(store.Save(dir / "no/such/folder.ini"));
}

#ifdef _WIN32
TEST(IniFileSave, ReadOnlyFileIsLeftAsItWas) {
    TempDir dir;
    const std::string path = dir / "settings.ini";
    WriteFileBytes(path, "\r\n[Old]\r\nk=v\r\n");
    SetWritable(path, false);
    CFile premise;
    if (premise.Open(path, CFile::modeWrite)) {
        premise.Close();
        SetWritable(path, true);
        GTEST_SKIP() << "this system lets the file be written all the same (Wine run as root)";
    }
    CIniFile store;
    store.SetString("New", "k", "v");
    const bool bSaved = store.Save(path);
    SetWritable(path, true);  // lets the temporary folder go
    EXPECT_FALSE(bSaved);
    EXPECT_EQ(ReadFileBytes(path), "\r\n[Old]\r\nk=v\r\n");
    EXPECT_EQ(NamesIn(dir.Path()), Lines{"settings.ini"});
}

TEST(IniFileSave, FileHeldOpenElsewhereIsLeftAsItWas) {
    TempDir dir;
    const std::string path = dir / "settings.ini";
    WriteFileBytes(path, "old");
    CFile holder;
    ASSERT_TRUE(holder.Open(path, CFile::modeRead));
    CIniFile store;
    store.SetString("New", "k", "v");
    EXPECT_FALSE(store.Save(path));
    holder.Close();
    EXPECT_EQ(ReadFileBytes(path), "old");
    EXPECT_EQ(NamesIn(dir.Path()), Lines{"settings.ini"});
}

TEST(IniFileSave, FullDiskLeavesExistingFileAsItWas) {
    GTEST_SKIP() << "Wine offers no way to fill a disk from inside the test; the native build covers this";
}
#else
namespace {

// Runs `save` in a child process and returns its result. With `nFileLimit` set, the
// child may not write files beyond that many bytes, as on a full disk; with
// `bUnprivileged`, a child running as root drops to the nobody user first, since
// file permissions do not stop root.
bool SaveInChild(const CIniFile& store, const std::string& path, long nFileLimit, bool bUnprivileged) {
    pid_t pid = fork();
    if (pid == 0) {
        if (bUnprivileged && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        if (nFileLimit > 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit = {static_cast<rlim_t>(nFileLimit), static_cast<rlim_t>(nFileLimit)};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(3);
        }
        _exit(store.Save(path) ? 0 : 1);
    }
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 3) << "the child could not set itself up";
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

TEST(IniFileSave, ReadOnlyFileIsLeftAsItWas) {
    TempDir dir;
    // The folder is open to everyone: only the file's own protection may stop the save.
    std::string folder = dir.Path();
    folder.pop_back();
    ASSERT_EQ(chmod(folder.c_str(), 0777), 0);
    const std::string path = dir / "settings.ini";
    WriteFileBytes(path, "\r\n[Old]\r\nk=v\r\n");
    SetWritable(path, false);
    CIniFile store;
    store.SetString("New", "k", "v");
    EXPECT_FALSE(SaveInChild(store, path, 0, true));
    EXPECT_EQ(ReadFileBytes(path), "\r\n[Old]\r\nk=v\r\n");
    EXPECT_EQ(NamesIn(dir.Path()), Lines{"settings.ini"});
}

TEST(IniFileSave, FullDiskLeavesExistingFileAsItWas) {
    // One store is written in a single piece at the end, the other in several pieces on the way.
    for (int nEntries : {20, 100}) {
        TempDir dir;
        const std::string path = dir / "settings.ini";
        const std::string old = "\r\n[Old]\r\nk=v\r\n";
        WriteFileBytes(path, old);
        WriteFileBytes(path + ".tmp", "mine");  // a failed save takes no file of the user's either
        CIniFile store;
        for (int i = 0; i < nEntries; ++i) store.SetString("S", "key" + std::to_string(i), std::string(100, 'v'));
        const long nLimit = nEntries * 100 / 2;

        EXPECT_FALSE(SaveInChild(store, path, nLimit, false)) << nEntries;
        EXPECT_EQ(ReadFileBytes(path), old);
        EXPECT_EQ(ReadFileBytes(path + ".tmp"), "mine");

        EXPECT_FALSE(SaveInChild(store, dir / "new.ini", nLimit, false)) << nEntries;
        EXPECT_EQ(NamesIn(dir.Path()), (Lines{"settings.ini", "settings.ini.tmp"}));

        EXPECT_TRUE(SaveInChild(store, path, 1 << 20, false)) << "the same store fits when the disk has room";
        EXPECT_EQ(ReadFileBytes(path), SavedBytes(store, dir));
    }
}

TEST(IniFileSave, LinkAtTheOldTemporaryNameIsNotWrittenThroughAndPermissionsStay) {
    TempDir dir;
    const std::string path = dir / "settings.ini";
    WriteFileBytes(path, "old");
    WriteFileBytes(dir / "victim", "victim");
    ASSERT_TRUE(chmod(path.c_str(), 0604) == 0 && symlink("victim", (path + ".tmp").c_str()) == 0);
    CIniFile store;
    ASSERT_TRUE(store.Save(path));
    EXPECT_EQ(ReadFileBytes(dir / "victim"), "victim");
    EXPECT_EQ(GetPathKind(path + ".tmp"), PathKind::Link);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
}

TEST(IniFileSave, WritableFileInAFolderThatTakesNoNewFileIsSavedInPlace) {
    TempDir dir;
    const std::string path = dir / "settings.ini";
    WriteFileBytes(path, "old");
    std::string folder = dir.Path();
    folder.pop_back();
    // The child below may write the file but make no file beside it.
    ASSERT_TRUE(chmod(path.c_str(), 0666) == 0 && chmod(folder.c_str(), 0555) == 0);
    CIniFile store;
    store.SetString("S", "k", "v");
    EXPECT_TRUE(SaveInChild(store, path, 0, true));
    EXPECT_FALSE(SaveInChild(store, dir / "new.ini", 0, true));
    ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
    EXPECT_EQ(ReadFileBytes(path), "\r\n[S]\r\nk=v\r\n");
    EXPECT_EQ(NamesIn(dir.Path()), Lines{"settings.ini"});
}
#endif
