// The main dialog: the two path fields, the pack, browse and instructions
// commands, the log and the status line that follow a packing job, and the
// settings file that remembers the two paths.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "packer/PacketBuilder.h"
#include "ui/DialogBase.h"
#include "ui/LogEdit.h"

class CVelkaronDlg : public CDialogBase {
public:
    static constexpr int MAX_LOG_LINES = 200;

    explicit CVelkaronDlg(HWND hParent = nullptr);
    ~CVelkaronDlg() override;

    // Appends `strText` to the log; AppendLogText's result.
    int AddLog(const std::string& strText);
    // Appends `strText` to the edit control `pEdit`, keeping at most MAX_LOG_LINES
    // display lines before the append. 0 when there is no control, else 1.
    static int AppendLogText(CEdit* pEdit, const std::string& strText);
    // Leaves the control as AppendLogText would, given each of `texts` in turn, in
    // a few appends however many they are. 0 when there is no control, else 1.
    static int AppendLogTexts(CEdit* pEdit, const std::vector<std::string>& texts);

protected:
    BOOL OnInitDialog() override;
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, INT_PTR& nResult) override;

private:
    void DoDataExchange();
    bool OnSysCommand(UINT nID);
    bool OnPaint();
    HICON OnQueryDragIcon() const { return m_hIcon; }
    void OnPack();
    void OnBrowsePacket();
    void OnSelectFolder();
    void OnTimer();
    void OnInstructions();

    void LoadSettings();
    void SaveSettings();

    CEdit m_edLog;
    HICON m_hIcon;
    CPacketBuilder m_packer;
};
