// The confined tree's walk along the current path, the same on every system: only
// opening and closing one folder are each system's own.
#include "platform/ConfinedTree.h"

#include "platform/FileSystem.h"

CConfinedTree::~CConfinedTree() { CloseDownTo(0); }

void CConfinedTree::CloseDownTo(std::size_t depth) {
    while (m_stack.size() > depth) {
        Release(m_stack.back().handle);
        m_stack.pop_back();
    }
}

std::string CConfinedTree::FolderPath() const {
    std::string path = m_strRoot;
    for (std::size_t i = 1; i < m_stack.size(); ++i) path += m_stack[i].name + kPathSep;
    return path;
}

TreeStatus CConfinedTree::Enter(const std::vector<std::string>& path) {
    if (m_stack.empty()) return TreeStatus::Failed;
    std::size_t held = 0;  // folders of `path` already on the stack
    while (held < path.size() && held + 1 < m_stack.size() && m_stack[held + 1].name == path[held]) ++held;
    CloseDownTo(held + 1);
    for (std::size_t i = held; i < path.size(); ++i) {
        Handle folder;
        TreeStatus status = OpenFolder(m_stack.back().handle, path[i], folder);
        if (status != TreeStatus::Ok) return status;
        m_stack.push_back({path[i], folder});
    }
    return TreeStatus::Ok;
}
