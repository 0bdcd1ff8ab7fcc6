#include "job/file_list.h"

#include <stdexcept>
#include <utility>

namespace zok {

CFileList::CFileList() : m_pHead(std::make_unique<FileItem>()) {}

CFileList::~CFileList() {
    // Unlink one node at a time so that freeing a long chain never recurses.
    std::unique_ptr<FileItem> node = std::move(m_pHead->next);
    for (int32_t i = 0; i < m_nCount && node != nullptr; ++i) {
        node = std::move(node->next);
    }
}

FileItem* CFileList::NodeAfter(int32_t links) const {
    FileItem* node = m_pHead.get();
    for (int32_t i = 0; i < links; ++i) {
        node = node->next.get();
    }
    return node;
}

void CFileList::Add(const std::string& path) {
    FileItem* last = NodeAfter(m_nCount);
    last->next = std::make_unique<FileItem>();
    last->next->path = path;
    ++m_nCount;
}

bool CFileList::InsertAt(const std::string& path, int32_t index) {
    const int32_t links = index <= 0 ? 0 : (index > m_nCount ? m_nCount : index);
    FileItem* before = NodeAfter(links);
    auto item = std::make_unique<FileItem>();
    item->path = path;
    item->next = std::move(before->next);
    before->next = std::move(item);
    ++m_nCount;
    return true;
}

bool CFileList::Remove(const std::string& path) {
    FileItem* before = m_pHead.get();
    for (int32_t i = 0; i < m_nCount; ++i) {
        if (before->next->path == path) {
            before->next = std::move(before->next->next);
            --m_nCount;
            return true;
        }
        before = before->next.get();
    }
    return false;
}

bool CFileList::RemoveAt(int32_t index) {
    if (index < 0 || index > m_nCount - 1) {
        return false;
    }
    FileItem* before = NodeAfter(index);
    before->next = std::move(before->next->next);
    --m_nCount;
    return true;
}

std::string CFileList::GetAt(int32_t index) const {
    if (index < 0 || index > m_nCount - 1) {
        throw std::out_of_range("IndexOutOfBounds");
    }
    return NodeAfter(index + 1)->path;
}

}  // namespace zok
