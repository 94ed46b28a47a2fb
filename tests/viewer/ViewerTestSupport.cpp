// Hand-made packets for the browser's tests.
#include "tests/viewer/ViewerTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "packer/PacketFormat.h"
#include "velkaron/reader.hpp"

ViewItem Folder(const std::string& path) { return {path, true, std::string()}; }
ViewItem File(const std::string& path, const std::string& content) { return {path, false, content}; }

void WriteTree(const std::string& root, const std::vector<ViewItem>& items) {
    for (const ViewItem& item : items) {
        std::string utf8, local;
        ASSERT_EQ(velkaron::GbkToUtf8(item.path, utf8), VKR_OK) << item.path;
        // Split in UTF-8, where no byte of a character is a backslash.
        for (std::size_t start = 0; start <= utf8.size();) {
            std::size_t end = utf8.find('\\', start);
            if (end == std::string::npos) end = utf8.size();
            if (!local.empty()) local += kPathSep;
            local += LocalName(utf8.substr(start, end - start));
            start = end + 1;
        }
        if (item.folder) {
            MakeDirs(root + local);
        } else {
            WriteFileBytes(root + local, item.content);
        }
    }
}

void WritePacket(const std::string& path, const std::vector<ViewItem>& items) {
    WriteFileBytes(path, MakePacket(items));
}

// Through the C library, whose opens share the file with the reader's on Windows
// (the platform layer's are exclusive).
void CutFile(const std::string& path, std::size_t size) {
    std::string bytes(size, '\0');
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr) << path;
    const std::size_t got = std::fread(&bytes[0], 1, size, file);
    std::fclose(file);
    ASSERT_EQ(got, size) << path;
    file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    const std::size_t written = std::fwrite(bytes.data(), 1, bytes.size(), file);
    ASSERT_EQ(std::fclose(file), 0);
    ASSERT_EQ(written, bytes.size());
}

std::string LocalName(const std::string& utf8) {
#ifdef _WIN32
    std::string gbk;
    EXPECT_EQ(velkaron::Utf8ToGbk(utf8, gbk), VKR_OK);
    return gbk;
#else
    return utf8;
#endif
}
