// Checking a packet's contents: each file read to its end, as an extract would.
#include "viewer/PacketCheck.h"

#include <algorithm>

namespace {
constexpr std::size_t kPiece = 256 * 1024;  // bytes read at a time
constexpr std::size_t kProgressStep = 16;   // files between two progress calls
}  // namespace

std::vector<CheckProblem> CheckContents(const CPacketView& view,
                                        const std::function<bool(std::size_t done, std::size_t total)>& progress) {
    std::vector<CheckProblem> problems;
    const velkaron::Packet& packet = view.Packet();
    const std::size_t total = view.Figures().files;
    std::vector<char> buffer(kPiece);
    std::size_t done = 0;
    for (std::size_t index = 0; index < packet.Count(); ++index) {
        if (view.IsFolder(index)) continue;
        if (done % kProgressStep == 0 && progress && !progress(done, total)) return problems;
        const std::int64_t length = view.Length(index);
        for (std::int64_t at = 0; at < length;) {
            const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(length - at, kPiece));
            std::size_t got = 0;
            const velkaron::Status status = vkr_read(packet.Handle(), index, at, buffer.data(), want, &got);
            if (status != VKR_OK || got != want) {
                problems.push_back({index, u8"读取出错: " + (status != VKR_OK ? velkaron::LastMessage()
                                                                              : std::string(u8"数据包已变短"))});
                break;
            }
            at += static_cast<std::int64_t>(want);
        }
        ++done;
    }
    if (progress) progress(done, total);
    return problems;
}
