// The browser's dialog boxes over its Unicode window: where to extract, a taken name,
// a job's report, the packet's properties, finding names, the about box.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "ui/DialogBase.h"
#include "viewer/ExtractJob.h"
#include "viewer/PacketView.h"

// The program's name, the caption of its message boxes.
extern const wchar_t kViewTitle[];

// A message box of the browser's (MB_ICONERROR and the like in `type`).
int ViewMessage(HWND hOwner, const std::wstring& text, UINT type);

// Asks what to do with a file whose name is taken (shown below the destination).
ConflictAnswer AskConflict(HWND hOwner, const std::wstring& path);

// Asks for the destination folder: its first edit field, filled with `destination`,
// a browse button (starting at `lastFolder`, the folder last extracted into, unless the
// field names an existing folder), OK to start. False when cancelled; else
// `destination` is the choice.
bool AskDestination(HWND hOwner, const std::wstring& what, const std::wstring& lastFolder, std::wstring& destination);

// Shows `heading` and one line per item of `lines`.
void ShowReport(HWND hOwner, const std::wstring& title, const std::wstring& heading,
                const std::vector<std::wstring>& lines);

// The packet's path, size, header fields, counts, data and index sizes.
void ShowProperties(HWND hOwner, const CPacketView& view);

// Finds names in the whole packet; true with `chosen` the hit the user opened.
bool FindInPacket(HWND hOwner, const CPacketView& view, std::size_t& chosen);

void ShowAbout(HWND hOwner);
