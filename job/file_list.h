#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace zok {

// One node of the file list: the full path of one input file.
struct FileItem {
    std::unique_ptr<FileItem> next;
    std::string path;
};

// The ordered input paths chosen for one archive: a singly linked list headed by a sentinel
// node whose path is empty. Positions are 0-based; every walk is bounded by the count. The
// list accepts duplicates (refusing a listed file is the caller's check).
class CFileList {
public:
    CFileList();
    // Frees the nodes front to back without recursion, however long the list.
    ~CFileList();
    CFileList(const CFileList&) = delete;
    CFileList& operator=(const CFileList&) = delete;

    // Appends a copy of path at the end.
    void Add(const std::string& path);

    // Inserts a copy of path so that it takes position index. An index of 0 or below inserts
    // at the front; an index of count or above appends. Always true.
    bool InsertAt(const std::string& path, int32_t index);

    // Removes the first element whose path equals path byte for byte (case counts).
    // False, with the list unchanged, when no element matches.
    bool Remove(const std::string& path);

    // Removes the element at index. False, with the list unchanged, when index is below 0 or
    // above count - 1.
    bool RemoveAt(int32_t index);

    // A copy of the path at index. Throws std::out_of_range("IndexOutOfBounds") when index is
    // below 0 or above count - 1.
    std::string GetAt(int32_t index) const;

    int32_t GetCount() const { return m_nCount; }

private:
    // The node index links after the sentinel (the sentinel itself for 0); index <= count.
    FileItem* NodeAfter(int32_t links) const;

    std::unique_ptr<FileItem> m_pHead;  // the sentinel
    int32_t m_nCount = 0;
};

}  // namespace zok
