// The packing job in one pass, for the command line: the same scan as the dialog's
// job, the packet written straight into a fresh temporary file beside it (64 bytes
// held for the header, the data as it is read, then the index), the header put in
// last and the file renamed over the packet. A failed job leaves an existing packet
// exactly as it was and removes its temporary file.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "packer/ChunkPipe.h"
#include "packer/PacketBuilder.h"
#include "packer/ReadAhead.h"
#include "platform/File.h"
#include "platform/SignalGuard.h"

struct OnePassOptions {
    int jobs = 1;                                 // threads that open and read files ahead; 1: none
    bool sync = false;                            // the packet on the disk before it replaces the old one,
                                                  // written back while it is made
    std::size_t indexInMemory = 16 * 1024 * 1024; // index bytes held in memory; the rest in a temporary file
    long long kernelCopyFrom = 64 * 1024;         // files from this length on are copied inside the kernel,
    long long pipeFrom = 4 * 1024 * 1024;         // or from this one, with threads, read on one and written on
                                                  // the job's own
    std::size_t readAheadBytes = 16 * 1024 * 1024;// file contents held ahead by the threads at most
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
    bool AppendHead(const std::vector<char>& head);
    long long CopyInKernel(CFile& source, long long total);
    long long CopyThroughPipe(CFile& source, long long total);
    CChunkPipe* Pipe();
    bool AppendIndex();
    bool Complete();
    void Written(long long bytes);

    OnePassOptions m_onePass;
    std::string m_strTarget;    // the file the packet replaces: the packet path, links followed
    std::string m_strTempPath;  // the packet until it takes its name; empty once it has
    CRemoveOnSignal m_guard;
    CFolder m_folder;             // the folder whose entries are handled
    std::size_t m_nFolderLength = 0;
    std::unique_ptr<CReadAhead> m_pReadAhead;
    std::unique_ptr<CChunkPipe> m_pPipe;  // made for the first file that takes it
    ReadItem m_item;              // the file being copied when there is no look ahead
    long long m_nIndexSpilled = 0;  // index bytes in m_fileIndex
    long long m_nWritten = 0;       // bytes of the packet written so far
    long long m_nWrittenBack = 0;   // of which the disk was asked to take
};
