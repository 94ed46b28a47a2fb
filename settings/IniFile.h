// The settings store: an INI file held in memory as sections and entries in file
// order, read from and written to disk in one fixed layout with escaped values.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

class CFile;

// One section (m_bSection 1) or one entry (m_bSection 0). The children are borrowed:
// the store's node array owns every node.
class CIniNode {
public:
    std::string m_strName;
    std::string m_strValue;  // unescaped; always empty for a section
    int m_bSection = 0;
    std::vector<CIniNode*> m_arrChildren;  // a section's entries, or the root's sections
    CIniNode* m_pParent = nullptr;         // an entry's section; null for sections and the root
};

class CIniFile {
public:
    CIniFile();
    virtual ~CIniFile();
    CIniFile(const CIniFile&) = delete;
    CIniFile& operator=(const CIniFile&) = delete;

    // Removes every section and entry and forgets the current section.
    void Clear();
    // Replaces the content with the file's. False when the path does not exist (the
    // store is left untouched), when it cannot be opened (the store is left empty), or
    // on a read error (the lines read before it stay).
    bool Load(const std::string& strPath);
    // Writes the whole content, replacing the file through a new temporary file of a
    // fresh name beside it, which gets the file's permission bits. False when the file
    // cannot be opened for writing or a write fails; an existing file is then left
    // exactly as it was and no temporary file remains. In a folder that takes no new
    // file, a file that may be written is rewritten in place (a failed write then
    // leaves it cut short).
    bool Save(const std::string& strPath) const;
    // The value of the first entry `strKey` in the first section `strSection`; null when
    // either is missing. Valid until that value is set again or the store is cleared.
    const std::string* GetString(const std::string& strSection, const std::string& strKey);
    // Sets the value, appending the section and the entry when missing. Always true.
    bool SetString(const std::string& strSection, const std::string& strKey, const std::string& strValue);
    // Sets the value to the integer's decimal text. Always true.
    bool SetInt(const std::string& strSection, const std::string& strKey, int nValue);
    // The first child of `pParent` (of the root when null) named `strName`; null when none is.
    CIniNode* FindNode(CIniNode* pParent, const std::string& strName);

    // Encodes a value for the file: backslash, CR and LF become \\, \r and \n. Always true.
    static bool EscapeValue(std::string& strValue);
    // Decodes \\, \r and \n; any other backslash stays as it is. Always true.
    static bool UnescapeValue(std::string& strValue);

protected:
    // Reads the next bytes of an open file: the count, 0 at the end, -1 on a read error.
    virtual long long ReadBytes(CFile& file, void* pBuffer, std::size_t nSize);

    std::vector<std::unique_ptr<CIniNode>> m_arrNodes;  // every section and entry, in creation order
    CIniNode m_root;                                    // its children are the sections, in order
    CIniNode* m_pCurSection = nullptr;                  // section of the last successful lookup or setting

private:
    // Parses one line (without its LF) into the store; returns the new open section.
    CIniNode* ParseLine(std::string& strLine, CIniNode* pOpenSection);
    // The section named `strSection`, through m_pCurSection first; null when there is none.
    CIniNode* FindSection(const std::string& strSection);
    CIniNode* AddNode(CIniNode* pParent, const std::string& strName, const std::string& strValue, int bSection);
    bool SaveInPlace(const std::string& strPath) const;
    // Writes every section and entry in the file's layout; false when a write fails.
    bool WriteContent(CFile& file) const;
};
