// Helpers shared by the settings store tests: a store whose tree can be inspected,
// and loading from bytes written to a real file.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/IniFile.h"
#include "tests/support/TestFs.h"

// A store that shows its tree: "[name]" for a section, "key=value" for an entry, in
// tree order. Dump() also checks the structure the store promises: two levels,
// parents set, flags right, every node owned exactly once.
class CIniProbe : public CIniFile {
public:
    std::vector<std::string> Dump() const {
        std::vector<std::string> lines;
        std::size_t nTreeNodes = 0;
        for (const CIniNode* pSection : m_root.m_arrChildren) {
            ++nTreeNodes;
            EXPECT_EQ(pSection->m_bSection, 1);
            EXPECT_EQ(pSection->m_pParent, nullptr);
            EXPECT_TRUE(pSection->m_strValue.empty());
            EXPECT_TRUE(Owns(pSection));
            lines.push_back("[" + pSection->m_strName + "]");
            for (const CIniNode* pEntry : pSection->m_arrChildren) {
                ++nTreeNodes;
                EXPECT_EQ(pEntry->m_bSection, 0);
                EXPECT_EQ(pEntry->m_pParent, pSection);
                EXPECT_TRUE(pEntry->m_arrChildren.empty());
                EXPECT_TRUE(Owns(pEntry));
                lines.push_back(pEntry->m_strName + "=" + pEntry->m_strValue);
            }
        }
        EXPECT_EQ(nTreeNodes, m_arrNodes.size()) << "every node is in the tree and owned once";
        EXPECT_TRUE(m_root.m_strName.empty() && m_root.m_strValue.empty());
        return lines;
    }

    const CIniNode* CurrentSection() const { return m_pCurSection; }
    const CIniNode* Root() const { return &m_root; }

private:
    bool Owns(const CIniNode* pNode) const {
        int nCount = 0;
        for (const auto& node : m_arrNodes) nCount += node.get() == pNode ? 1 : 0;
        return nCount == 1;
    }
};

using Lines = std::vector<std::string>;

// Writes `bytes` to a file in `dir` and loads it into `store`; the Load result.
inline bool LoadBytes(CIniFile& store, const TempDir& dir, const std::string& bytes) {
    const std::string path = dir / "load.ini";
    WriteFileBytes(path, bytes);
    return store.Load(path);
}

// Saves `store` to a file in `dir` and returns the file's bytes.
inline std::string SavedBytes(const CIniFile& store, const TempDir& dir) {
    const std::string path = dir / "save.ini";
    EXPECT_TRUE(store.Save(path));
    return ReadFileBytes(path);
}
