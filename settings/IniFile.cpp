// The settings store: parsing, lookups, the value escapes and the safe save.
#include "settings/IniFile.h"

#include <algorithm>
#include <cstring>

#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Leftovers.h"
#include "platform/MbText.h"

namespace {

constexpr std::size_t kBufferSize = 4096;

// Collects the output and hands it to the file in pieces of about kBufferSize bytes.
class CBufferedWriter {
public:
    explicit CBufferedWriter(CFile& file) : m_file(file) {}

    bool Put(const std::string& text) {
        m_strPending += text;
        return m_strPending.size() < kBufferSize || Flush();
    }
    bool Flush() {
        bool bOk = m_file.Write(m_strPending.data(), m_strPending.size());
        m_strPending.clear();
        return bOk;
    }

private:
    CFile& m_file;
    std::string m_strPending;
};

}  // namespace

CIniFile::CIniFile() = default;

CIniFile::~CIniFile() { Clear(); }

void CIniFile::Clear() {
    m_root.m_arrChildren.clear();
    m_arrNodes.clear();
    m_pCurSection = nullptr;
}

long long CIniFile::ReadBytes(CFile& file, void* pBuffer, std::size_t nSize) { return file.Read(pBuffer, nSize); }

bool CIniFile::Load(const std::string& strPath) {
    if (!PathExists(strPath)) return false;
    Clear();
    CFile file;
    if (!file.Open(strPath, CFile::modeRead)) return false;

    // The file is read as raw bytes and split at LF, so a 1A byte is data like any
    // other and never ends the input early.
    CIniNode* pOpenSection = nullptr;
    std::string strLine;
    char buffer[kBufferSize];
    for (;;) {
        long long nRead = ReadBytes(file, buffer, sizeof buffer);
        // The lines completed before a read error stay; the one it cut is dropped.
        if (nRead < 0) return false;
        if (nRead == 0) break;
        const char* p = buffer;
        const char* pEnd = buffer + nRead;
        while (p < pEnd) {
            const char* pLf = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(pEnd - p)));
            if (pLf == nullptr) {
                strLine.append(p, pEnd);
                break;
            }
            strLine.append(p, pLf);
            pOpenSection = ParseLine(strLine, pOpenSection);
            strLine.clear();
            p = pLf + 1;
        }
    }
    if (!strLine.empty()) ParseLine(strLine, pOpenSection);
    return true;
}

CIniNode* CIniFile::ParseLine(std::string& strLine, CIniNode* pOpenSection) {
    // A CR LF pair and a lone CR alike vanish, wherever they stand in the line.
    strLine.erase(std::remove_if(strLine.begin(), strLine.end(), [](char c) { return c == '\r' || c == '\n'; }),
                  strLine.end());
    TrimLeftChar(strLine, ' ');
    if (strLine.empty()) return pOpenSection;

    if (strLine[0] == '[') {
        std::size_t nClose = FindChar(strLine, ']');
        if (nClose == std::string::npos) return pOpenSection;
        std::string strName = strLine.substr(0, nClose);
        TrimLeftChar(strName, '[');
        return AddNode(&m_root, strName, std::string(), 1);
    }

    std::size_t nEquals = FindChar(strLine, '=');
    if (nEquals == std::string::npos || pOpenSection == nullptr) return pOpenSection;
    std::string strValue = strLine.substr(nEquals + 1);
    UnescapeValue(strValue);
    AddNode(pOpenSection, strLine.substr(0, nEquals), strValue, 0);
    return pOpenSection;
}

bool CIniFile::Save(const std::string& strPath) const {
    // A file we may not write (read-only, locked, a folder) is refused before
    // anything is created, so it stays exactly as it was.
    if (PathExists(strPath)) {
        CFile probe;
        if (!probe.Open(strPath, CFile::modeWrite)) return false;
    }

    // The content goes to a temporary file of its own beside the target, which
    // replaces the target only once it is completely written: a full disk never
    // leaves half a file, and no file of the user's is taken for the temporary one.
    // Those of saves that were killed outright go first.
    RemoveLeftoversBeside(strPath);
    std::string strTemp;
    CFile file;
    switch (file.OpenTempBeside(strPath, strTemp)) {
        case CFile::TempResult::Opened: break;
        case CFile::TempResult::NotAllowed: return SaveInPlace(strPath);
        case CFile::TempResult::Failed: return false;
    }
    // On the disk before it takes the target's name: a crash right after the
    // replace must not leave an empty settings file.
    bool bOk = WriteContent(file) && file.Flush();
    bOk = file.Close() && bOk;
    if (bOk && ReplaceFile(strTemp, strPath)) return true;
    RemoveFile(strTemp);
    return false;
}

// In a folder the user may not write into, a settings file that may itself be written
// is rewritten where it stands, as the plain format has it.
bool CIniFile::SaveInPlace(const std::string& strPath) const {
    CFile file;
    if (!file.Open(strPath, CFile::modeCreate | CFile::modeWrite)) return false;
    bool bOk = WriteContent(file);
    return file.Close() && bOk;
}

bool CIniFile::WriteContent(CFile& file) const {
    CBufferedWriter writer(file);
    bool bOk = true;
    for (const CIniNode* pSection : m_root.m_arrChildren) {
        bOk = bOk && writer.Put("\r\n[" + pSection->m_strName + "]\r\n");
        for (const CIniNode* pEntry : pSection->m_arrChildren) {
            std::string strValue = pEntry->m_strValue;
            EscapeValue(strValue);
            bOk = bOk && writer.Put(pEntry->m_strName + "=" + strValue + "\r\n");
        }
    }
    return bOk && writer.Flush();
}

CIniNode* CIniFile::FindSection(const std::string& strSection) {
    if (m_pCurSection != nullptr && m_pCurSection->m_strName == strSection) return m_pCurSection;
    return FindNode(nullptr, strSection);
}

const std::string* CIniFile::GetString(const std::string& strSection, const std::string& strKey) {
    CIniNode* pSection = FindSection(strSection);
    if (pSection == nullptr) return nullptr;
    CIniNode* pEntry = FindNode(pSection, strKey);
    if (pEntry == nullptr) return nullptr;
    m_pCurSection = pSection;
    return &pEntry->m_strValue;
}

bool CIniFile::SetString(const std::string& strSection, const std::string& strKey, const std::string& strValue) {
    CIniNode* pSection = FindSection(strSection);
    if (pSection == nullptr) pSection = AddNode(&m_root, strSection, std::string(), 1);
    CIniNode* pEntry = FindNode(pSection, strKey);
    if (pEntry == nullptr) pEntry = AddNode(pSection, strKey, std::string(), 0);
    pEntry->m_strValue = strValue;
    m_pCurSection = pSection;
    return true;
}

bool CIniFile::SetInt(const std::string& strSection, const std::string& strKey, int nValue) {
    return SetString(strSection, strKey, std::to_string(nValue));
}

CIniNode* CIniFile::FindNode(CIniNode* pParent, const std::string& strName) {
    const CIniNode& parent = pParent != nullptr ? *pParent : m_root;
    for (CIniNode* pChild : parent.m_arrChildren) {
        if (pChild->m_strName == strName) return pChild;
    }
    return nullptr;
}

CIniNode* CIniFile::AddNode(CIniNode* pParent, const std::string& strName, const std::string& strValue,
                            int bSection) {
    auto node = std::make_unique<CIniNode>();
    node->m_strName = strName;
    node->m_strValue = strValue;
    node->m_bSection = bSection;
    node->m_pParent = pParent == &m_root ? nullptr : pParent;
    CIniNode* pNode = node.get();
    m_arrNodes.push_back(std::move(node));
    pParent->m_arrChildren.push_back(pNode);
    return pNode;
}

bool CIniFile::EscapeValue(std::string& strValue) {
    std::string strOut;
    strOut.reserve(strValue.size());
    for (char c : strValue) {
        switch (c) {
            case '\\': strOut += "\\\\"; break;
            case '\r': strOut += "\\r"; break;
            case '\n': strOut += "\\n"; break;
            default: strOut += c; break;
        }
    }
    strValue = std::move(strOut);
    return true;
}

bool CIniFile::UnescapeValue(std::string& strValue) {
    std::string strOut;
    strOut.reserve(strValue.size());
    std::size_t i = 0;
    while (i < strValue.size()) {
        char c = strValue[i];
        if (c != '\\' || i + 1 == strValue.size()) {
            strOut += c;
            ++i;
            continue;
        }
        switch (strValue[i + 1]) {
            case '\\': strOut += '\\'; i += 2; break;
            case 'r': strOut += '\r'; i += 2; break;
            case 'n': strOut += '\n'; i += 2; break;
            // Any other pair stays: the backslash is copied, the next byte is read afresh.
            default: strOut += '\\'; ++i; break;
        }
    }
    strValue = std::move(strOut);
    return true;
}
