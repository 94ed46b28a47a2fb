// The packing job in one pass, for the command line: the same scan as the dialog's
// job, the packet written straight into a fresh temporary file beside it (64 bytes
// held for the header, the data as it is read, then the index), the header put in
// last and the file renamed over the packet. A failed job leaves an existing packet
// exactly as it was and removes its temporary file.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "packer/PacketBuilder.h"
#include "packer/JobHelper.h"
#include "platform/File.h"
#include "platform/SignalGuard.h"

struct OnePassOptions {
    int jobs = 1;                                 // 2 or more: the packet written on a thread of its own
                                                  // (started once there is a chunk to write); 1: none
    bool sync = false;                            // the packet on the disk before it replaces the old one,
                                                  // written back while it is made
    std::size_t indexInMemory = 16 * 1024 * 1024; // index bytes held in memory; the rest in a temporary file
    long long kernelCopyFrom = 64 * 1024;         // without a writing thread, files from this length on are
                                                  // copied inside the kernel
    int idleSpin = 0;                             // microseconds the second thread, done with a folder,
                                                  // looks for the next before it sleeps (0: at once)
    std::function<void(const std::string&)> named; // called with the packet's temporary name once it has one,
                                                  // just before it replaces PACKET (tests: a kill there)
    std::function<bool()> coreFree;               // with jobs > 1: one look, true when a core is free of
                                                  // other work; the second thread starts once one is
                                                  // (at most a few looks, early in the job); null: at once
    std::function<void(const std::string& folder)> listed;  // tests: called once each folder is listed,
                                                  // before any of its files is opened
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
    long long AppendFileData(const std::string& folder, const std::string& name) override;
    bool FlushData() override;

private:
    bool MayReplace(const std::string& target) const;
    bool OpenTemporaryFiles();
    bool StartHelperWhereCoreFree();
    const CFolder& Folder() const { return m_pHelper ? m_pHelper->Folder() : m_folder; }
    bool IsPlainlyEmpty(const CFolder& folder, const std::string& name) const;
    void NoteEmpty(bool empty);
    long long TakePrepared(PreparedFile& prepared, const std::string& folder, const std::string& name);
    bool OpenItem(const std::string& name, SkipReason& reason);
    long long StreamBytes(const char* data, std::size_t size);
    long long StreamFileData(CFile& source, long long total);
    long long NotPacked(const std::string& strPath, SkipReason reason);
    long long CopyUnlooked(CFile& source);
    long long CopyInKernel(CFile& source, long long total);
    bool AppendIndex();
    bool Complete();
    bool NameTemporary();
    void Written(long long bytes);

    OnePassOptions m_onePass;
    std::string m_strTarget;    // the file the packet replaces: the packet path, links followed
    std::string m_strTempPath;  // the packet's name until it takes PACKET's; empty before it has one
                                // (made without a name) and once it has PACKET's
    bool m_bNamedInPlace = false;  // the packet was made without a name and took PACKET's at once
    CRemoveOnSignal m_guard;
    CFolder m_folder;             // the folder whose entries are handled, without a second thread
    std::unique_ptr<CJobHelper> m_pHelper;  // the second thread and its ring, when there is one
    std::size_t m_nFileIndex = 0; // of the folder's file being handled, among its files
    std::string m_strFolder;      // the folder's path, and its files' names and listed inode numbers
    std::vector<const std::string*> m_names;
    std::vector<std::uint64_t> m_inodes;
    CFile m_item;                 // the file being copied, opened by the job's thread
    bool m_bLastEmpty = false;    // the last file packed was empty: the next one is looked at first
    int m_nCoreLooks = 0;         // looks for a free core taken; all of them once the second thread runs
    std::chrono::steady_clock::time_point m_lastCoreLook;
    long long m_nIndexSpilled = 0;  // index bytes in m_fileIndex
    long long m_nWritten = 0;       // bytes of the packet written so far
    long long m_nWrittenBack = 0;   // of which the disk was asked to take
};
