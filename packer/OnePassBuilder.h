// The packing job in one pass, for the command line: the same scan as the dialog's
// job, the packet written straight into a fresh temporary file beside it (64 bytes
// held for the header, the data as it is read, then the index), the header put in
// last and the file renamed over the packet. A failed job leaves an existing packet
// exactly as it was and removes its temporary file.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "packer/PacketBuilder.h"
#include "packer/FileStream.h"
#include "platform/File.h"
#include "platform/SignalGuard.h"

struct OnePassOptions {
    int jobs = 1;                                 // 2 or more: files read on a thread of their own; 1: none
    bool sync = false;                            // the packet on the disk before it replaces the old one,
                                                  // written back while it is made
    std::size_t indexInMemory = 16 * 1024 * 1024; // index bytes held in memory; the rest in a temporary file
    long long kernelCopyFrom = 64 * 1024;         // without a reading thread, files from this length on are
                                                  // copied inside the kernel
};

class COnePassBuilder : public CPacketBuilder {
public:
    COnePassBuilder();
    ~COnePassBuilder() override;

    void SetOnePassOptions(const OnePassOptions& options) { m_onePass = options; }

protected:
    bool OpenOutput(const std::string& strPacket) override;
    bool FinishOutput(const std::string& strPacket) override;
    void CloseOutput() override;
    bool FlushIndex() override;
    bool ListsFolderFirst() const override { return true; }
    void BeginFolder(const std::string& folder, const std::vector<ListedEntry>& entries,
                     const std::vector<EntryPlan>& plans) override;
    void EndFolder() override;
    long long AppendFileData(const std::string& strPath) override;
    bool FlushData() override;

private:
    bool MayReplace(const std::string& target) const;
    bool OpenTemporaryFiles();
    long long TakeStreamed(const std::string& strPath);
    long long NotPacked(const std::string& strPath, SkipReason reason);
    long long CopyInKernel(CFile& source, long long total);
    bool AppendIndex();
    bool Complete();
    bool NameTemporary();
    void Written(long long bytes);

    OnePassOptions m_onePass;
    std::string m_strTarget;    // the file the packet replaces: the packet path, links followed
    std::string m_strTempPath;  // the packet's name until it takes PACKET's; empty before it has one
                                // (made without a name) and once it has PACKET's
    CRemoveOnSignal m_guard;
    CFolder m_folder;             // the folder whose entries are handled
    std::size_t m_nFolderLength = 0;
    std::unique_ptr<CFileStream> m_pStream;  // the reading thread, when there is one
    CFile m_item;                 // the file being copied when there is none
    long long m_nIndexSpilled = 0;  // index bytes in m_fileIndex
    long long m_nWritten = 0;       // bytes of the packet written so far
    long long m_nWrittenBack = 0;   // of which the disk was asked to take
};
